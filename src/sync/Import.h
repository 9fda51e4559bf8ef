#pragma once

#include "sync/Envelope.h"

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
    bool tooLarge = false; // refused, before anything was written, for holding more than the limit
    QString error;         // why the import failed, as logged
};

// What a table-data answer may cost the client. The answer is never held unpacked, but the
// parser holds one value at a time, so values are bounded too.
struct TImportLimits {
    // The demo service's full answer takes 419 bytes per listing: 40 MB for 100,000
    // listings, so some 400 MB for 1,000,000 (bench/bench_answer_memory.py prints it). A
    // limit of 2.5 times that leaves room for longer descriptions and more rows per listing,
    // and ends an answer that claims gigabytes after a second or two of unpacking.
    qsizetype maxAnswer = qsizetype(1024) * 1024 * 1024;
    // As it arrives, still packed: a genuine packed answer is smaller than what it unpacks to,
    // and the megabyte covers the envelope around a tiny one. A service that keeps sending is
    // cut off here, not when memory runs out.
    qsizetype maxPacked = maxAnswer + 1024 * 1024;
    // A row of a listing is well under 64 KB; the longest genuine value is a "PropList"
    // naming every listing of a table (some 10 MB for 1,000,000 listings).
    qsizetype maxValue = qsizetype(32) * 1024 * 1024;
    // Table blocks sit at the second level.
    int maxDepth = 64;
};
// The limits of every table-data transfer and import; tests lower them.
TImportLimits& ImportLimits();

// Writes a table-data answer into the open database, table by table, each in its own
// transaction. Stops at the first table that fails; the tables before it stay committed.
// localDataVersion decides whether an answer that is not a full one is needed at all.
// The answer is read twice, a piece at a time: first whole, without writing, to check its
// size, its checksum (when it comes in an envelope) and its outline; then to write it.
TImportResult ImportTables(TByteSource& answer, int localDataVersion, const TImportLimits& limits = ImportLimits());
// The same for an answer already in memory.
TImportResult ImportTables(const QByteArray& answer, int localDataVersion);

// Whether an answer may write into the table: only the tables the service keeps in step with
// the installation, never the settings row nor the tables that exist only here.
bool IsSyncedTable(const QString& table);

// "W_TipoCampos" -> "Tipos de campo": the table as the log and the status texts name it.
QString TableDisplayName(const QString& table);

// Deletes the photo rows of the listed properties and their files.
bool DeletePhotosOfProperties(const QString& propertyCodes, int* deletedFiles = nullptr);
