// The property list on a large installation: the default filter shown, re-ordered, paged.
//   bench_list [properties=100000] [database file to reuse]
// Each figure stands beside the time SQLite alone takes to run the same statement to its
// last row, measured in the same run.
#include "core/Config.h"
#include "core/FormatSettings.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "search/Filter.h"
#include "service/DemoData.h"
#include "ui/PropertyCard.h"
#include "ui/PropertyList.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

namespace {

long PeakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// Runs the statement to its last row on the open connection; milliseconds.
double SqliteAlone(const QString& sql, int* rows = nullptr)
{
    QElapsedTimer clock;
    clock.start();
    sqlite3_stmt* statement = nullptr;
    const QByteArray text = sql.toUtf8();
    int count = 0;
    if (sqlite3_prepare_v2(DB()->Handle(), text.constData(), int(text.size()), &statement, nullptr) == SQLITE_OK) {
        const int columns = sqlite3_column_count(statement);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            // Touch every cell as a reader of the rows would.
            for (int i = 0; i < columns; ++i)
                sqlite3_column_bytes(statement, i);
            ++count;
        }
    }
    sqlite3_finalize(statement);
    if (rows)
        *rows = count;
    return double(clock.nsecsElapsed()) / 1e6;
}

void Report(const char* what, double ms, double alone, const QString& extra = QString())
{
    if (alone > 0)
        std::printf("%-36s %9.1f ms  SQLite alone %8.1f ms  ratio %5.2f  %s\n", what, ms, alone, ms / alone,
                    extra.toUtf8().constData());
    else
        std::printf("%-36s %9.1f ms  %s\n", what, ms, extra.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir temp;
    qputenv("KORVEL_ROOT", temp.path().toUtf8());
    QApplication app(argc, argv);
    InitFormatSettings();
    InitPaths(temp.path() + QStringLiteral("/Korvel/Korvel"));
    QDir().mkpath(Paths.DataFolder);
    const int properties = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    QString file = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
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
    // Every new list reopens the connection on the installation's own file.
    Paths.DatabaseFile = file;
    if (!OpenDatabase(file, Config::DatabasePassword, Config::DatabaseDriverId) || !LoadInstallContext()) {
        std::fprintf(stderr, "open failed\n");
        return 1;
    }
    const long baseKb = PeakRssKb();

    TPropertyList list;
    list.resize(1000, 760);
    list.show();
    QApplication::processEvents();

    const TFilterEnv env = CurrentFilterEnv();
    TFilterState state =
        DefaultFilterState(env, true, LoadFilterList(FilterList::Estado, DefaultFilterState(env, false)));
    NormaliseFilter(state, env);
    const TFilterQuery query = BuildFilterStatement(state, env);
    int rows = 0;
    const double alone = SqliteAlone(query.Sql(), &rows);

    // What ordering costs when only the codes travel: the same joins, conditions and order.
    QString codesOnly = query.Sql();
    const qsizetype from = codesOnly.indexOf(QStringLiteral(" FROM `W_Propiedades` "));
    codesOnly.replace(0, from,
                      QStringLiteral("SELECT `W_Propiedades`.`Prop_Codigo`, ROUND(`W_Propiedades`.`Prop_Precio` * "
                                     "`W_Monedas`.`Moneda_Cotizacion`) AS `Prop_PrecioPesos`"));
    int codeRows = 0;
    const double codesAlone = SqliteAlone(codesOnly, &codeRows);
    Report("codes only, same order (SQLite)", codesAlone, 0, QStringLiteral("%1 rows").arg(codeRows));

    QElapsedTimer clock;
    clock.start();
    list.ShowStatement(TListFamily::Search, query.BaseSql, query.OrderBy, query.SortKey, 1,
                       QStringLiteral("filter failed"));
    const double shown = double(clock.nsecsElapsed()) / 1e6;
    Report("default filter, page 1", shown, alone,
           QStringLiteral("%1 rows, %2 a page, peak RSS %3 MB (%4 MB before)")
               .arg(list.ResultSet() ? list.ResultSet()->RecordCount() : 0)
               .arg(list.lstboxResult->count())
               .arg(PeakRssKb() / 1024)
               .arg(baseKb / 1024));

    const double orderAlone = SqliteAlone(query.BaseSql + QStringLiteral("ORDER BY `Prop_PrecioPesos` DESC"));
    clock.restart();
    list.OrderBy(QStringLiteral("Precio"));
    Report("re-order by price, page 1", double(clock.nsecsElapsed()) / 1e6, orderAlone);

    const double locationAlone = SqliteAlone(query.BaseSql + OrderByClause(QStringLiteral("Ubicacion"), false));
    clock.restart();
    list.OrderBy(QStringLiteral("Ubicacion"));
    Report("re-order by location, page 1", double(clock.nsecsElapsed()) / 1e6, locationAlone);

    clock.restart();
    const int pages = std::min(list.PageCountShown(), 51);
    for (int page = 2; page <= pages; ++page)
        list.ShowPage(page);
    Report("page to page (expanded, average)", double(clock.nsecsElapsed()) / 1e6 / std::max(1, pages - 1), 0);

    list.SwitchLayout(false);
    clock.restart();
    for (int page = 2; page <= pages; ++page)
        list.ShowPage(page);
    Report("page to page (summary, average)", double(clock.nsecsElapsed()) / 1e6 / std::max(1, pages - 1), 0,
           QStringLiteral("peak RSS %1 MB").arg(PeakRssKb() / 1024));
    // Opening cards of the list, one after another.
    TPropertyCard card;
    card.resize(1000, 700);
    card.show();
    QApplication::processEvents();
    TResultSet* keys = list.ResultSet();
    const int cards = std::min(20, keys ? keys->RecordCount() : 0);
    clock.restart();
    for (int i = 0; i < cards; ++i) {
        keys->Seek(i);
        card.ShowProperty(keys->AsInt64(QStringLiteral("Prop_Codigo")));
    }
    Report("open a card (average)", double(clock.nsecsElapsed()) / 1e6 / std::max(1, cards), 0);
    list.FreeResultSet();
    CloseDatabase();
    return 0;
}
