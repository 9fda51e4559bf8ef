#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// The stored searches a user sees in the filter panel: the user's own (`W_Filtros`) and the
// searches kept with the agency's clients, in one list. Own searches are rows the agency
// owns: every change marks them for upload ("AM"), and a deletion of one the service
// already has marks it "B" until the upload takes it away.

enum TStoredSrchKind { SrchOwn = 1, SrchClient = 2 };

struct TStoredSrchData {
    int Kind = SrchOwn;
    int Code = 0; // Filtro_Codigo or Cli_Codigo
    QString Name; // the search's name, or the client's
    QDateTime Date;
    int User = 0;
};

// The longest name a stored search may have.
constexpr int kStoredSearchNameMax = 50;

// Own searches by name, then client searches by client name. False when the statement fails.
bool ListStoredSearches(int agency, int user, QList<TStoredSrchData>& list);
// The parameter text of an own search; false when there is none.
bool ReadStoredSearchParameters(int code, QString& parameters);
// A new own search, marked for upload; its code in code.
bool InsertStoredSearch(int agency, int user, const QString& name, const QString& parameters, int* code = nullptr);
bool UpdateStoredSearch(int code, int agency, int user, const QString& parameters);
// Removes a search never sent to the service; marks one the service has as deleted ("B").
bool DeleteStoredSearch(int code, int agency, int user);
// Whether the user already has a search of that name, deleted ones included (their rows
// keep the name until the upload removes them).
bool StoredSearchNameExists(int agency, int user, const QString& name);

// Why a parameter text cannot be loaded: empty when it can. A text that does not have the
// stored form, or whose description text the filter cannot search, is refused with a word
// for the user instead of being half applied.
QString StoredSearchTextProblem(const QString& parameters);
// Why a composed text cannot be stored as it is: a ")" in the description text would end its
// entry early and lose what follows.
QString StoredSearchSaveProblem(const QString& descriptionText);
