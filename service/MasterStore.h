#pragma once

#include "service/ServiceDb.h"

#include <QDateTime>
#include <QString>

#include <set>
#include <tuple>

// Who may see the rows of a table: every agency, or only the agency that owns them.
enum class TRowScope {
    Pooled,       // reference data, agencies and users
    Listing,      // the pooled listings: every public one and the agency's own private ones
    OfListing,    // photos and details of the listings the agency may see
    OwnAgency,    // the table's own agency column
    AgencyOrAll,  // messages: the agency's own and those addressed to all (-1)
    ViaProperty,  // rows of the agency's own properties
    ViaSelection, // rows of the agency's own selections
};

// How a table travels to the client.
struct TTableRule {
    QString table;
    // The key that a replacement list names and that changes are recorded under. It is
    // the first field of the block too, except for the photos, whose list names
    // properties while the rows are keyed by photo.
    QString groupColumn;
    QString firstField;
    TRowScope scope = TRowScope::Pooled;
};

// One change to record: the table, the group key and the agency that may see it (-1: all).
using TChange = std::tuple<QString, qint64, int>;

// The data folder of the service: its master database, photo files and the files of the
// service's own records.
class TMasterStore {
public:
    // Opens DIR/master.db (creating an empty one when missing) and adds the service's own
    // tables when they are not there yet.
    bool Open(const QString& dataFolder, QString* error);
    TServiceDb& Db() { return m_db; }
    QString DataFolder() const { return m_folder; }
    QString FilePath(const QString& relative) const { return m_folder + u'/' + relative; }
    // photos/AAAA/w_<property>_<photo>.jpg
    QString PhotoPath(qint64 property, qint64 photo) const;
    QString LogoPath(int agency) const;

    // Table rules in import order; the settings row and the marks never travel.
    static const std::vector<TTableRule>& TableRules();
    static const TTableRule* RuleOf(const QString& table);

    // Data versions: the current one, and the oldest from which the change log is complete.
    qint64 CurrentVersion();
    qint64 BaseVersion();
    // Records the changes under a new version; call inside the caller's transaction.
    // Returns the new version (the current one when there is nothing to record).
    qint64 RecordChanges(const std::set<TChange>& changes);

    // A text setting of the service itself (S_Meta).
    QString Meta(const QString& key, const QString& fallback = {});
    void SetMeta(const QString& key, const QString& value);

    // Installation keys the service has issued.
    QString IssueInstallKey(int agency, qint64 user, const QString& platform, const QString& os);
    void RegisterInstallKey(const QString& key, int agency, bool validated);
    bool InstallKeyBelongsTo(const QString& key, int agency);
    bool InstallKeyValidated(const QString& key);
    void ValidateInstallKey(const QString& key);
    void TouchInstallKey(const QString& key, const QString& address);

    // The agency's validation key, kept as its MD5 digest.
    void SetValidationKey(int agency, const QString& key);
    bool ValidationKeyMatches(int agency, const QString& digest);

    static QString DbText(const QDateTime& value);
    static QString Now();

private:
    void EnsureServiceTables();

    TServiceDb m_db;
    QString m_folder;
};
