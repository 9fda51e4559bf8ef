#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Named selections of properties kept by the agency's users, their members and their
// shares with other users of the agency. Every change marks what it touched for the next
// upload ("AM", or "B" for a deleted selection the service already has), and each change
// of a selection runs as one transaction, so that a failure leaves no half-made selection.

// A user of the agency in the share dialog: how many of the chosen selections are shared
// with him already, and the state of his box (-1 some, 0 none, 1 all).
struct TSharedUsersData {
    QString Name;
    int Code = 0;
    int Shared = 0;
    int State = 0;
};

// A selection of another user shared with the current user.
struct TOthersSelectionsData {
    qint64 Code = 0;
    QString Name;
    QString Owner;
    bool Accepted = false;
};

// One own active selection, for the combo of the save dialog.
struct TSelectionEntry {
    qint64 Code = 0;
    QString Name;
};

// One selection of the share dialog's list.
struct TShareSelectionItem {
    QString Name;
    QString Client;
    int Properties = 0;
};

namespace Selections {

// Names are cut to this many characters.
constexpr int kNameLength = 64;
// Attempts at a free name for a duplicate before giving up.
constexpr int kDuplicateAttempts = 50;

// The statement of the selections list without its ORDER BY; a client code > 0 restricts
// it to that client's selections.
QString ListSql(int agencyCode, int userCode, int clientCode = 0);
QString ListOrder();

// The number of selections the list shows without a client; -1 when it cannot be read.
int CountListed();
bool OwnActive(QList<TSelectionEntry>& selections);
// The members of the selections, each property once, in the order read.
bool Members(const QList<qint64>& codes, QStringList& members);
bool ShareSelections(const QList<qint64>& codes, QList<TShareSelectionItem>& items);
bool ShareUsers(const QList<qint64>& codes, QList<TSharedUsersData>& users);
int CountOwnActive(const QList<qint64>& codes);
bool IsOwnActive(qint64 code);
bool AnythingSharedWithMe();
// True also when the test cannot be made: a name is only free when the table says so.
bool NameExists(const QString& name);
QString NameOf(qint64 code);
// The selection's client; 0 when it has none.
int ClientOf(qint64 code);
// Selections of other users shared with the current user; all of them, or one.
bool OthersSelections(std::optional<qint64> only, QList<TOthersSelectionsData>& selections);

// Creates a selection (existing = -1) or adds members to an existing one. A client < 1
// means none; when adding, client -1 leaves the selection's client as it is.
// newCode receives the created selection's code.
bool Save(const QString& name, int client, const QStringList& properties, qint64 existing, bool create,
          qint64* newCode = nullptr);
bool Edit(qint64 code, const QString& name, int client);
bool Delete(qint64 code);
bool RemoveMember(qint64 property, qint64 selection);
bool Share(const QList<qint64>& codes, const QList<TSharedUsersData>& users);
bool Accept(const QList<TOthersSelectionsData>& selections);
// Takes selections of other users out of the current user's view (after joining them).
bool Withdraw(const QList<qint64>& codes);

// The name without any duplicate suffix it carries.
QString StripDuplicateSuffix(const QString& name);
// name + "_Dup. " + date-time + "_#" + number, the name cut so that the whole has at most
// kNameLength characters.
QString DuplicateCandidate(const QString& name, const QDateTime& now, int number);
// A duplicate name that no own active selection has; none after kDuplicateAttempts
// tries. taken and draw are the name test and the four-digit number; tests replace them.
std::optional<QString> FreeDuplicateName(const QString& name, const QDateTime& now,
                                         const std::function<bool(const QString&)>& taken = NameExists,
                                         const std::function<int()>& draw = {});

QString JoinCodes(const QList<qint64>& codes);

} // namespace Selections
