// The full import of a 100,000-property answer into an encrypted client database, beside
// a plain prepared-statement insert of the same rows into another encrypted database.
//   bench_import [properties=100000]
#include "core/Config.h"
#include "core/FormatSettings.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "service/DemoData.h"
#include "service/MasterStore.h"
#include "service/Schema.h"
#include "service/TableData.h"
#include "sync/Import.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <variant>
#include <vector>

namespace {

using Value = std::variant<std::monostate, qint64, double, std::string>;

struct TableRows {
    std::string name;
    int columns = 0;
    std::vector<Value> values; // row-major
};

// Every row the answer carries, read from the master copy beforehand so that only the
// insertion is timed.
std::vector<TableRows> ReadRows(const QString& master, const QStringList& tables)
{
    std::vector<TableRows> all;
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(master).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    for (const QString& table : tables) {
        TableRows rows;
        rows.name = table.toStdString();
        sqlite3_stmt* s = nullptr;
        const std::string sql = "SELECT * FROM `" + rows.name + "`";
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
            continue;
        rows.columns = sqlite3_column_count(s);
        while (sqlite3_step(s) == SQLITE_ROW) {
            for (int c = 0; c < rows.columns; ++c) {
                switch (sqlite3_column_type(s, c)) {
                case SQLITE_INTEGER:
                    rows.values.emplace_back(qint64(sqlite3_column_int64(s, c)));
                    break;
                case SQLITE_FLOAT:
                    rows.values.emplace_back(sqlite3_column_double(s, c));
                    break;
                case SQLITE_NULL:
                    rows.values.emplace_back(std::monostate{});
                    break;
                default:
                    rows.values.emplace_back(std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, c)),
                                                         size_t(sqlite3_column_bytes(s, c))));
                }
            }
        }
        sqlite3_finalize(s);
        all.push_back(std::move(rows));
    }
    sqlite3_close_v2(db);
    return all;
}

// Resident memory in kB from /proc/self/status ("VmRSS" now, "VmHWM" the peak).
qint64 MemoryKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field)) + 1).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

// How far the peak resident memory rises above the present one while work runs.
template <typename Work> qint64 PeakGrowthKb(Work work)
{
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    if (reset.open(QIODevice::WriteOnly))
        reset.write("5"); // resets the peak to the present
    reset.close();
    const qint64 before = MemoryKb("VmRSS:");
    work();
    return MemoryKb("VmHWM:") - before;
}

qint64 PlainInsert(sqlite3* db, const std::vector<TableRows>& tables)
{
    qint64 rows = 0;
    for (const TableRows& t : tables) {
        std::string sql = "INSERT OR REPLACE INTO `" + t.name + "` VALUES (";
        for (int c = 0; c < t.columns; ++c)
            sql += c ? ",?" : "?";
        sql += ")";
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
        for (size_t i = 0; s && i < t.values.size(); i += size_t(t.columns)) {
            for (int c = 0; c < t.columns; ++c) {
                const Value& v = t.values[i + size_t(c)];
                if (const auto* n = std::get_if<qint64>(&v))
                    sqlite3_bind_int64(s, c + 1, *n);
                else if (const auto* d = std::get_if<double>(&v))
                    sqlite3_bind_double(s, c + 1, *d);
                else if (const auto* text = std::get_if<std::string>(&v))
                    sqlite3_bind_text(s, c + 1, text->data(), int(text->size()), SQLITE_STATIC);
                else
                    sqlite3_bind_null(s, c + 1);
            }
            sqlite3_step(s);
            sqlite3_reset(s);
            ++rows;
        }
        sqlite3_finalize(s);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    return rows;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int properties = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    QTemporaryDir temp;
    InitFormatSettings();
    Paths.DataFolder = temp.path() + QStringLiteral("/");
    Paths.PhotoFolder = Paths.DataFolder + QStringLiteral("Fotos/");

    TDemoOptions options;
    options.properties = properties;
    TDemoResult generated;
    if (!GenerateDemoDatabase(temp.path() + QStringLiteral("/master.db"), options, generated)) {
        std::fprintf(stderr, "demo generation failed: %s\n", generated.error.toUtf8().constData());
        return 1;
    }
    TMasterStore store;
    QString error;
    if (!store.Open(temp.path(), &error)) {
        std::fprintf(stderr, "master store: %s\n", error.toUtf8().constData());
        return 1;
    }
    QElapsedTimer clock;
    // What the service sends: the answer compressed into its envelope while it is written.
    clock.start();
    qsizetype packed = 0;
    const qint64 packGrowth = PeakGrowthKb(
        [&] { packed = PackedTableData(store, options.ownAgency, true, -1, QByteArray(124, ' ')).size(); });
    std::printf("answer packed: %.1f MB envelope in %lld ms, peak memory +%.1f MB\n", packed / 1048576.0,
                static_cast<long long>(clock.elapsed()), packGrowth / 1024.0);
    clock.restart();
    QByteArray answer;
    const qint64 buildGrowth = PeakGrowthKb([&] { answer = BuildTableData(store, options.ownAgency, true, -1); });
    std::printf("answer built: %.1f MB in %lld ms, peak memory +%.1f MB\n", answer.size() / 1048576.0,
                static_cast<long long>(clock.elapsed()), buildGrowth / 1024.0);

    const QString client = temp.path() + QStringLiteral("/client.kdb");
    CreateDatabaseFile(client, Config::DatabasePassword);
    OpenDatabase(client, Config::DatabasePassword, Config::DatabaseDriverId);
    Schema::Create(DB()->Handle());
    SetCurrentAgencyCode(options.ownAgency);
    clock.restart();
    const TImportResult imported = ImportTables(answer, -1);
    const qint64 importMs = clock.elapsed();
    qint64 rows = 0;
    for (const QString& table : imported.tablesDone) {
        std::unique_ptr<TResultSet> count;
        if (DB()->QueryNoCount(QStringLiteral("SELECT COUNT(*) FROM `%1`;").arg(table), count) && count)
            rows += count->AsInt64At(0);
    }
    CloseDatabase();

    const std::vector<TableRows> tables = ReadRows(temp.path() + QStringLiteral("/master.db"), imported.tablesDone);
    const QString plain = temp.path() + QStringLiteral("/plain.kdb");
    CreateDatabaseFile(plain, Config::DatabasePassword);
    OpenDatabase(plain, Config::DatabasePassword, Config::DatabaseDriverId);
    Schema::Create(DB()->Handle());
    clock.restart();
    const qint64 plainRows = PlainInsert(DB()->Handle(), tables);
    const qint64 plainMs = clock.elapsed();
    CloseDatabase();

    const double importRate = importMs > 0 ? rows * 1000.0 / importMs : 0;
    const double plainRate = plainMs > 0 ? plainRows * 1000.0 / plainMs : 0;
    std::printf("import %s: %.2f s, %lld rows, %.0f rows/s\n", imported.ok ? "ok" : "FAILED", importMs / 1000.0,
                static_cast<long long>(rows), importRate);
    std::printf("plain insert: %.2f s, %lld rows, %.0f rows/s\n", plainMs / 1000.0, static_cast<long long>(plainRows),
                plainRate);
    std::printf("import throughput / plain insert throughput: %.2f\n", plainRate > 0 ? importRate / plainRate : 0);
    return imported.ok ? 0 : 1;
}
