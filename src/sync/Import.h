#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Outcome of one table-data import.
struct TImportResult {
    bool ok = false;
    bool changed = false; // tables were imported
    int dataVersion = -1; // "DBVer" of the answer
    QString serverTime;   // "ServerTime" of the answer
    QStringList tablesDone;
};

// Writes a table-data answer into the open database, table by table, each in its own
// transaction. Stops at the first table that fails; the tables before it stay committed.
// localDataVersion decides whether an answer that is not a full one is needed at all.
TImportResult ImportTables(const QByteArray& answer, int localDataVersion);

// Whether an answer may write into the table: only the tables the service keeps in step with
// the installation, never the settings row nor the tables that exist only here.
bool IsSyncedTable(const QString& table);

// "W_TipoCampos" -> "Tipos de campo": the table as the log and the status texts name it.
QString TableDisplayName(const QString& table);

// Deletes the photo rows of the listed properties and their files.
bool DeletePhotosOfProperties(const QString& propertyCodes, int* deletedFiles = nullptr);
