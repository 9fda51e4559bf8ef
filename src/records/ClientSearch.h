#pragma once

#include <QDateTime>
#include <QString>

// The one stored search each client of the agency may have, kept in the client's own row
// (`Cli_Filtro` with its date and the user who stored it). Writing it changes a row the
// agency owns, so the row is marked for upload like any other change to the client;
// otherwise the next import would bring the old search back.

struct TClientSearch {
    QString Parameters; // the parameter text; empty when the client has none
    QDateTime Date;
    int User = 0;
    QString UserName; // of the user who stored it; empty when unknown
};

// The client's search; false when the client cannot be read (gone, deleted, or a failing
// statement). A client without a search reads as true with empty parameters.
bool ReadClientSearch(int agency, int clientCode, TClientSearch& search);
// Stores the parameter text now, by the given user. False when no such active client exists.
bool WriteClientSearch(int agency, int clientCode, const QString& parameters, int user);
// Removes the client's search. False when no such active client exists.
bool ClearClientSearch(int agency, int clientCode);
