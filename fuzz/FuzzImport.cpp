// The reader of the service's table-data answer, writing into a real encrypted installation
// database in a throw-away folder. The database is opened once per process; after each input
// every table is emptied again, so that each input starts from the same empty installation
// and a crash reproduces from its single input.
#include "FuzzTarget.h"

#include "core/Bugs.h"
#include "core/uTypes.h"
#include "db/uDB.h"
#include "support/SchemaDatabase.h"
#include "sync/Import.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

#include <sqlite3.h>

namespace {

QStringList g_tables;

QStringList TableNames(sqlite3* handle)
{
    QStringList names;
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(handle, "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%';", -1,
                       &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW)
        names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    return names;
}

void Empty(sqlite3* handle)
{
    QByteArray sql = "BEGIN;";
    for (const QString& table : std::as_const(g_tables))
        sql += "DELETE FROM `" + table.toUtf8() + "`;";
    sql += "COMMIT;";
    char* error = nullptr;
    if (sqlite3_exec(handle, sql.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "reset: %s\n", error ? error : "?");
        FuzzFailure("the database could not be emptied between inputs");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    UseThrowAwayRoot();
    if (!OpenEmptyInstallationDatabase())
        FuzzFailure("the installation database could not be created");
    // A throw-away file: its commits need not wait for the disk, which would make every
    // input cost a few syncs.
    sqlite3_exec(DB()->Handle(), "PRAGMA synchronous=OFF;", nullptr, nullptr, nullptr);
    g_tables = TableNames(DB()->Handle());
    if (g_tables.isEmpty())
        FuzzFailure("the installation database has no tables");
    std::atexit([] { CloseDatabase(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray answer(reinterpret_cast<const char*>(data), qsizetype(size));
    ImportTables(answer, -1);
    sqlite3* handle = DB()->Handle();
    // Each table runs in its own transaction: none may stay open, whatever the answer held.
    FUZZ_CHECK(sqlite3_get_autocommit(handle) != 0);
    Empty(handle);
    ResetFatalError();
    QFile::remove(Paths.DataFolder + QStringLiteral("Korvel.log"));
    return 0;
}
