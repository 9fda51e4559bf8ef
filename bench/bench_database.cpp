// Generation, validation and the full property list on a large installation database.
//   bench_database [properties=100000] [folder=temporary]
#include "core/Config.h"
#include "core/FormatSettings.h"
#include "core/uTypes.h"
#include "db/uDB.h"
#include "search/PropertyQuery.h"
#include "service/DemoData.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

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

void Report(const char* what, qint64 ms, const QString& extra = QString())
{
    std::printf("%-34s %8lld ms  %s\n", what, static_cast<long long>(ms), extra.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int properties = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    QTemporaryDir temp;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temp.path();
    const QString file = folder + QStringLiteral("/bench.kdb");
    QFile::remove(file);
    InitFormatSettings();

    QElapsedTimer clock;
    clock.start();
    TDemoOptions options;
    options.properties = properties;
    options.password = Config::DatabasePassword;
    TDemoResult result;
    if (!GenerateDemoDatabase(file, options, result)) {
        std::fprintf(stderr, "generation failed: %s\n", result.error.toUtf8().constData());
        return 1;
    }
    Report("generate (encrypted)", clock.elapsed(),
           QStringLiteral("%1 properties, %2 photo rows, %3 MB")
               .arg(result.properties)
               .arg(result.photos)
               .arg(QFile(file).size() / 1048576.0, 0, 'f', 1));

    clock.restart();
    if (!OpenDatabase(file, Config::DatabasePassword, Config::DatabaseDriverId)) {
        std::fprintf(stderr, "open failed\n");
        return 1;
    }
    Report("open", clock.elapsed());

    clock.restart();
    const bool valid = DB()->Validate();
    Report("validate (check, vacuum, analyze)", clock.elapsed(), valid ? QStringLiteral("ok") : DB()->LastError());

    clock.restart();
    std::unique_ptr<TResultSet> rows;
    int count = 0;
    const bool ran = DB()->Query(PropertyQuerySql() + QStringLiteral("WHERE `W_Propiedades`.`Prop_Estado` = 2 ORDER BY "
                                                                     "`Prop_PrecioPesos`"),
                                 rows, count);
    Report("property query, current, by price", clock.elapsed(),
           QStringLiteral("%1 rows, %2 columns, peak RSS %3 MB")
               .arg(ran ? count : -1)
               .arg(rows ? rows->FieldCount() : 0)
               .arg(PeakRssKb() / 1024));
    CloseDatabase();
    return ran && valid ? 0 : 1;
}
