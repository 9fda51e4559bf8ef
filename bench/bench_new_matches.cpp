// The new matches of the stored searches after a synchronisation: every stored search of the
// agency run against only the properties that arrived.
//   bench_new_matches [properties=100000] [searches=200] [arrived=2000] [database file to reuse]
// Prints the time of the whole run, the slowest single search (the longest the window's
// thread is held between two steps), and what recording the arrivals adds to an import.
#include "core/Config.h"
#include "core/FormatSettings.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/DBSchema.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "search/Filter.h"
#include "search/NewMatches.h"
#include "search/StoredSearchText.h"
#include "service/DemoData.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

namespace {

QList<int> Codes(const QString& sql)
{
    QStringList texts;
    LoadCodeList(sql, texts);
    QList<int> codes;
    for (const QString& text : texts)
        codes << text.toInt();
    return codes;
}

// Searches as agents keep them: one or two building types and an operation, often a
// locality, a price range, bedrooms, sometimes a feature or a word of the description.
QList<TWatchedSearch> MakeSearches(int count, const TFilterEnv& env, QRandomGenerator& random)
{
    const QList<int> types = Codes(QStringLiteral("SELECT `Edif_Codigo` AS c FROM `W_Edificaciones`;"));
    const QList<int> operations = Codes(QStringLiteral("SELECT `Situ_Codigo` AS c FROM `W_Situaciones`;"));
    const QList<int> localities = Codes(
        QStringLiteral("SELECT `Loc_Codigo` AS c FROM `W_Propiedades` GROUP BY 1 ORDER BY COUNT(*) DESC LIMIT 200;"));
    const QStringList words = {QStringLiteral("pileta"), QStringLiteral("luminoso"), QStringLiteral("parrilla"),
                               QStringLiteral("cochera"), QStringLiteral("jardín")};
    const auto pick = [&](const QList<int>& list) { return list.at(int(random.bounded(qsizetype(list.size())))); };
    QList<TWatchedSearch> searches;
    for (int i = 0; i < count; ++i) {
        TFilterState state = DefaultFilterState(env, false);
        state.Set(FilterList::Edificacion)[0] = pick(types);
        if (random.bounded(2))
            state.Set(FilterList::Edificacion)[1] = pick(types);
        state.Set(FilterList::Situacion)[0] = pick(operations);
        if (random.bounded(3) != 0 && !localities.isEmpty())
            state.Set(FilterList::Localidad)[0] = pick(localities);
        if (random.bounded(3) != 0)
            state.Precio = {qint64(random.bounded(50, 200)) * 1000, qint64(random.bounded(200, 900)) * 1000};
        if (random.bounded(2))
            state.Dormitorios = {random.bounded(1, 3), 0};
        if (random.bounded(4) == 0)
            state.Cochera = 1;
        if (random.bounded(5) == 0)
            state.Texto = words.at(int(random.bounded(qsizetype(words.size()))));
        searches << TWatchedSearch{1, i + 1, QStringLiteral("#%1").arg(i + 1), ComposeSearchParameters(state, env)};
    }
    return searches;
}

// Bench statements on the handle: a failure is printed, not fatal.
bool Exec(const QString& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(DB()->Handle(), sql.toUtf8().constData(), nullptr, nullptr, &error) == SQLITE_OK)
        return true;
    std::fprintf(stderr, "%s\n", error ? error : "?");
    sqlite3_free(error);
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir temp;
    qputenv("KORVEL_ROOT", temp.path().toUtf8());
    QCoreApplication app(argc, argv);
    InitFormatSettings();
    InitPaths(temp.path() + QStringLiteral("/Korvel/Korvel"));
    QDir().mkpath(Paths.DataFolder);
    const auto arg = [&](int i, int fallback) { return argc > i ? QString::fromLocal8Bit(argv[i]).toInt() : fallback; };
    const int properties = arg(1, 100000);
    const int searchCount = arg(2, 200);
    const int arrivedCount = arg(3, 2000);
    QString file = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString();
    if (file.isEmpty() || !QFile::exists(file)) {
        if (file.isEmpty())
            file = temp.path() + QStringLiteral("/bench.kdb");
        TDemoOptions options;
        options.properties = properties;
        options.password = Config::DatabasePassword;
        TDemoResult result;
        if (!GenerateDemoDatabase(file, options, result)) {
            std::fprintf(stderr, "generation failed: %s\n", result.error.toUtf8().constData());
            return 1;
        }
    }
    Paths.DatabaseFile = file;
    if (!OpenDatabase(file, Config::DatabasePassword, Config::DatabaseDriverId) || !LoadInstallContext() ||
        !EnsureSchema()) {
        std::fprintf(stderr, "open failed\n");
        return 1;
    }
    Exec(QStringLiteral("DELETE FROM `%1`;").arg(kNewMatchTable));
    const TFilterEnv env = CurrentFilterEnv();
    QRandomGenerator random(20261211);
    const QList<TWatchedSearch> searches = MakeSearches(searchCount, env, random);
    const QList<int> all = Codes(QStringLiteral("SELECT `Prop_Codigo` AS c FROM `W_Propiedades`;"));
    QList<qint64> arrived;
    for (int i = 0; i < arrivedCount && !all.isEmpty(); ++i)
        arrived << all.at(int(random.bounded(qsizetype(all.size()))));

    // What recording costs an import: the same rows replaced with and without the recorder.
    const QString copy = QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS `bench_rows` AS SELECT * FROM `W_Propiedades` "
                                        "WHERE 0; DELETE FROM `bench_rows`; INSERT INTO `bench_rows` SELECT * FROM "
                                        "`W_Propiedades` WHERE `Prop_Codigo` IN (SELECT `Prop_Codigo` FROM "
                                        "`W_Propiedades` ORDER BY random() LIMIT %1);")
                             .arg(arrivedCount);
    const QString replace = QStringLiteral("BEGIN; INSERT OR REPLACE INTO `W_Propiedades` SELECT * FROM `bench_rows`; "
                                           "COMMIT;");
    Exec(copy);
    QElapsedTimer clock;
    clock.start();
    Exec(replace);
    const double plain = double(clock.nsecsElapsed()) / 1e6;
    double recorded = 0;
    {
        TArrivalRecorder recorder;
        clock.start();
        Exec(replace);
        recorded = double(clock.nsecsElapsed()) / 1e6;
    }

    auto recorder = std::make_unique<TArrivalRecorder>();
    recorder->Fill(arrived);
    const int distinct = recorder->Count();
    TNewMatchRun run(std::move(recorder), searches);
    double slowest = 0;
    clock.start();
    QElapsedTimer step;
    int steps = 0;
    for (bool more = true; more; ++steps) {
        step.start();
        more = run.Step(0); // one search a step: the slowest step is the slowest search
        slowest = std::max(slowest, double(step.nsecsElapsed()) / 1e6);
    }
    const double total = double(clock.nsecsElapsed()) / 1e6;
    std::printf("properties %d, stored searches %d, arrived %d\n", int(all.size()), int(searches.size()), distinct);
    std::printf("%-40s %9.1f ms  (goal under 2000 ms)\n", "all searches against the arrivals", total);
    std::printf("%-40s %9.1f ms  (%d steps)\n", "slowest single search", slowest, steps);
    std::printf("%-40s %9d\n", "new matches found", run.Found());
    std::printf("%-40s %9.1f ms  (%.1f ms without recording)\n", "replacing the arrived rows, recorded", recorded,
                plain);
    CloseDatabase();
    return 0;
}
