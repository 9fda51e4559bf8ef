#pragma once

#include "sync/Requests.h"

#include <QString>
#include <QStringList>

#include <functional>

class TTransferSinks;

// The incremental synchronisation step: asks for the changes since the local data version,
// imports them, cleans up and records the new version and time. Returns "" on success.
QString SyncIncremental(const TSessionValues& session);

// The first run's data: asks for the full data, imports it into the open database and
// records its data version and service time as every import does, so that the first
// synchronisation asks only for what changed since. Returns "" on success.
QString ImportFullData(const TSessionValues& session);

// After an import that changed tables: drops the agency's locally created properties whose
// service copy has arrived, with their details, photos and owner links.
QString CleanupAfterSync();

// What the window shows after a successful synchronisation (agency, user and installation
// values, the synchronisation labels); the main window installs it.
void SetAfterSyncRefresh(std::function<void()> refresh);

// Where photo downloads show their progress; the main window and the report dialog offer one.
class TPhotoDownloadPanel {
public:
    virtual ~TPhotoDownloadPanel() = default;
    // Shows the panel and gives the sinks to report into.
    virtual TTransferSinks* ShowPanel() = 0;
    virtual void HidePanel() = 0;
};
void SetPhotoDownloadPanel(TPhotoDownloadPanel* panel);

// The local photo files of the given properties (one code or a comma-separated list),
// downloading the missing ones first when allowed. Does nothing while another call runs.
QStringList FetchPhotos(const TSessionValues& session, const QString& propertyCodes, bool firstPhotoOnly, bool force);

// Data version and time of the last import, from the settings row.
int LocalDataVersion();
