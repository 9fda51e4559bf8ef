#include "core/MiscFunc.h"
#include "db/DBOptimize.h"
#include "db/Settings.h"
#include "support/DemoFixture.h"

#include <QAbstractEventDispatcher>
#include <QCryptographicHash>
#include <QFile>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

QByteArray FileHash(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1);
}

class RecordingScreen : public TOptimizeScreen {
public:
    void ShowOptimizeStatus(const QString& text, quint32 argb, bool indicator) override
    {
        shown.push_back({text, argb, indicator});
    }
    bool DefragmenterWanted() override { return defrag; }
    void DisableOptimizeButton() override { ++disabled; }
    struct Status {
        QString text;
        quint32 argb;
        bool indicator;
    };
    std::vector<Status> shown;
    bool defrag = false;
    int disabled = 0;
};

} // namespace

using MaintenanceTest = DemoDatabaseTest;

TEST_F(MaintenanceTest, DueRules)
{
    const QDate today(2026, 12, 9);
    struct Case {
        const char* interval; // nullptr: not set
        int lastDaysAgo;      // -1: never
        bool due;
    };
    const Case cases[] = {
        {nullptr, -1, true}, // first start: 1 August 1992 plus five days is long past
        {nullptr, 5, false}, {nullptr, 6, true}, {"1", 1, false}, {"1", 2, true},
        {"7", 7, false},     {"7", 8, true},     {"9", 5, false}, {"9", 6, true}, // out of range: five days
        {"abc", 0, false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(
            WriteSetting(Setting::MaintenanceInterval, c.interval ? QString::fromLatin1(c.interval) : QString()));
        ASSERT_TRUE(
            WriteSetting(Setting::LastMaintenance,
                         c.lastDaysAgo < 0 ? QString() : DateTimeToDbText(today.addDays(-c.lastDaysAgo).startOfDay())));
        EXPECT_EQ(MaintenanceDue(today), c.due) << (c.interval ? c.interval : "unset") << " " << c.lastDaysAgo;
    }
    CloseDatabase();
    EXPECT_FALSE(MaintenanceDue(today));
    EXPECT_TRUE(root.LogLines().last().contains(u"$3043: "_s));
}

TEST_F(MaintenanceTest, StartUpRunValidatesReconnectsAndStoresTheDate)
{
    ASSERT_TRUE(WriteSetting(Setting::LastMaintenance, QString()));
    const qsizetype logged = root.LogLines().size();
    EXPECT_EQ(RunMaintenance(false, nullptr), 0);
    ASSERT_NE(DB(), nullptr);
    EXPECT_TRUE(DB()->Connected());
    EXPECT_EQ(LastMaintenanceDate(), QDate::currentDate());
    EXPECT_FALSE(MaintenanceDue());

    QStringList steps;
    for (const QString& line : root.LogLines().mid(logged))
        if (line.contains(u"$1010: "_s))
            steps << line.section(u"$1010: "_s, 1);
    EXPECT_EQ(steps, (QStringList{u"SQLiteValidate.CheckOnly begin"_s, u"SQLiteValidate.CheckOnly end"_s,
                                  u"SQLiteValidate.Sweep begin"_s, u"SQLiteValidate.Sweep end"_s,
                                  u"SQLiteValidate.Analyze begin"_s, u"SQLiteValidate.Analyze end"_s}));
}

// While the worker compacts, the user-interface thread sleeps in an event loop instead of
// polling for window messages: the dispatcher is told it may block, and queued work (a
// repaint, the worker's screen steps) still runs before the run returns.
TEST_F(MaintenanceTest, TheWaitSleepsInAnEventLoopAndKeepsEventsFlowing)
{
    ASSERT_TRUE(WriteSetting(Setting::LastMaintenance, QString()));
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    ASSERT_NE(dispatcher, nullptr);
    int blocked = 0;
    const QMetaObject::Connection counting =
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [&] { ++blocked; });
    bool timerRan = false;
    QTimer::singleShot(0, dispatcher, [&] { timerRan = true; });

    RecordingScreen screen;
    EXPECT_EQ(RunMaintenance(true, &screen), 0);
    QObject::disconnect(counting);

    EXPECT_GT(blocked, 0) << "the wait polled without ever sleeping";
    EXPECT_TRUE(timerRan);
    EXPECT_EQ(screen.disabled, 1);
    ASSERT_NE(DB(), nullptr);
    EXPECT_TRUE(DB()->Connected());
}

TEST_F(MaintenanceTest, CorruptedFileFailsValidationAndIsNotCompacted)
{
    ASSERT_TRUE(CloseDatabase());
    QFile file(Paths.DatabaseFile);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const qint64 size = file.size();
    // Damage pages in the middle, leaving the first (the schema) readable.
    for (qint64 at = size / 3; at < size / 3 + 8192; at += 97) {
        file.seek(at);
        file.write("\xA5\x5A", 2);
    }
    file.close();
    const QByteArray damaged = FileHash(Paths.DatabaseFile);
    ASSERT_TRUE(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));

    RecordingScreen screen;
    EXPECT_EQ(RunMaintenance(true, &screen), 1);
    EXPECT_EQ(FileHash(Paths.DatabaseFile), damaged);
    ASSERT_FALSE(screen.shown.empty());
    EXPECT_EQ(screen.shown.back().argb, 0xFFEA1515u);
    EXPECT_FALSE(screen.shown.back().indicator);
    EXPECT_EQ(screen.disabled, 0);
    EXPECT_FALSE(root.LogLines().filter(u"$1010: FDSQLiteValidate.CheckOnly failed"_s).isEmpty());
    EXPECT_TRUE(root.LogLines().filter(u"SQLiteValidate.Sweep"_s).isEmpty());
}

TEST_F(MaintenanceTest, InteractiveRunReportsOnScreenAndSurvivesAMissingDefragmenter)
{
    ASSERT_TRUE(WriteSetting(Setting::LastMaintenance, QString()));
    RecordingScreen screen;
    screen.defrag = true; // wanted, but the tools folder has no defragmenter
    EXPECT_FALSE(DefragmenterPresent());
    EXPECT_EQ(RunMaintenance(true, &screen), 0);
    ASSERT_GE(screen.shown.size(), 3u);
    EXPECT_TRUE(screen.shown.front().indicator);
    EXPECT_EQ(screen.shown.back().argb, 0xFF000000u);
    EXPECT_FALSE(screen.shown.back().indicator);
    EXPECT_EQ(screen.disabled, 1);
    EXPECT_EQ(LastMaintenanceDate(), QDate::currentDate());
}

TEST_F(MaintenanceTest, LastRunText)
{
    ASSERT_TRUE(WriteSetting(Setting::LastMaintenance, u"2026-12-09"_s));
    ASSERT_TRUE(WriteSetting(Setting::DataVersion, u"123456"_s));
    EXPECT_EQ(LastMaintenanceText(), u"La última optimización de la base de datos se\nrealizó el día Miércoles 9 de "
                                     u"Diciembre de 2026.\n\nVersión de la base de datos 123.456"_s);
}
