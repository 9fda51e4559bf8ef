#pragma once

#include "sync/Requests.h"

#include <QString>

// Keeping the program current: which version the service has, and fetching and starting it.

namespace DwlText {
// The result text of a download whose new program is running: this process must end now
// and free its files for the hand-over.
extern const QString Close;
extern const QString Title;
extern const QString VersionCheckFailed;
extern const QString UpdateFailed;
extern const QString OldFileNotDeleted;
extern const QString NotSaved;
extern const QString NotAProgram;
extern const QString NotStarted;
extern const QString NoUpdateLogLine;
// The downloaded build is unsigned, altered or signed by a key this client does not trust.
extern const QString NotVerified;
} // namespace DwlText

// Where the downloaded program is written and started from: next to the running one.
QString UpdateFilePath();

// Asks the service for its current program version and change log. Returns the error
// text, "" when both outputs were filled.
QString FetchVersionInfo(const TSessionValues& session, QString& currentVersion, QString& changeLog);

// Whether the service's current version is newer than the running one, so that the
// start-up offers the update. Compared as numbers part by part, never as text.
bool UpdateOffered(const QString& serviceVersion, const QString& ownVersion);

// Why a downloaded build must not be installed, "" when one of the client's release keys
// signed exactly these bytes as this version and the version is newer than the running one.
QString ReleaseRefusal(const QString& version, const QByteArray& program, const QByteArray& signature);

// Downloads the service's program, checks its release signature, writes it as the update
// file and starts it with the running executable as its argument. Returns "" when no
// update is needed, DwlText::Close when the new program is running, DwlText::NotVerified
// when the download was refused (nothing is written), otherwise the message to show.
QString DownloadProgramUpdate(const TSessionValues& session);
