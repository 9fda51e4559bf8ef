#include "core/Bugs.h"
#include "core/MiscFunc.h"
#include "core/TfrmBug.h"
#include "core/uTypes.h"
#include "db/uDB.h"
#include "support/TestRoot.h"

#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

const QRegularExpression
    kStamp(QStringLiteral("^\\d\\d-(Ene|Feb|Mar|Abr|May|Jun|Jul|Ago|Sep|Oct|Nov|Dic)-\\d\\d \\d\\d:\\d\\d "));

} // namespace

TEST(Log, LineFormatWithAndWithoutUser)
{
    TestRoot root;
    struct Case {
        int code;
        QString name;
        QString who;
    };
    const Case cases[] = {
        {0, QString(), QStringLiteral("Unknown ")},
        {0, QStringLiteral("ana"), QStringLiteral("Unknown ")}, // code 0: nobody, whatever the name
        {7, QString(), QStringLiteral("Unknown ")},
        {7, QStringLiteral("ana"), QStringLiteral("ana ")},
    };
    for (const Case& c : cases) {
        CurrentUser = {c.code, c.name};
        const QString line = ComposeLogLine(QStringLiteral("$1011"), QStringLiteral("Query is empty."));
        EXPECT_TRUE(kStamp.match(line).hasMatch()) << line.toStdString();
        EXPECT_TRUE(line.endsWith(c.who + QStringLiteral("$1011: Query is empty."))) << line.toStdString();
    }
    CurrentUser = {};
}

TEST(Log, LineBreaksAreFlattened)
{
    EXPECT_EQ(FlattenLineBreaks(QStringLiteral("a\r\n\r\nb\nc")), QStringLiteral("a b c"));
    EXPECT_EQ(FlattenLineBreaks(QStringLiteral("x\n\n\ny")), QStringLiteral("x  y"));
    EXPECT_EQ(FlattenLineBreaks(QStringLiteral("\r\r")), QString());
}

TEST(Log, FileIsScrambledCreatedAndAppended)
{
    TestRoot root;
    WriteLog(QStringLiteral("$7001"), QStringLiteral("first\r\nline"));
    WriteLogLine(QStringLiteral("second"));
    WriteLogSeparator();

    QFile file(LogFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray raw = file.readAll();
    file.close();
    EXPECT_EQ(raw.count("\r\n"), 3);
    for (const QByteArray& line : raw.split('\n')) {
        const QString text = QString::fromLatin1(line).remove(u'\r');
        EXPECT_TRUE(IsScrambledAlphabet(text)) << line.toStdString();
    }

    const QStringList lines = root.LogLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("Unknown $7001: first line")));
    EXPECT_TRUE(kStamp.match(lines[1]).hasMatch()) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(" second")));
    EXPECT_EQ(lines[2], QString(80, u'-'));

    // Deleting the log between two lines just starts a new file.
    ASSERT_TRUE(QFile::remove(LogFilePath()));
    WriteLog(QStringLiteral("$7002"), QStringLiteral("again"));
    EXPECT_EQ(root.LogLines().size(), 1);
}

TEST(Log, UnwritableFolderLosesTheLineSilently)
{
    TestRoot root;
    // A data "folder" below a plain file can never be created.
    QFile blocker(root.Path() + QStringLiteral("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Paths.DataFolder = root.Path() + QStringLiteral("blocker/Datos/");
    WriteLog(QStringLiteral("$7001"), QStringLiteral("lost"));
    WriteLogLine(QStringLiteral("lost too"));
    EXPECT_FALSE(QFile::exists(LogFilePath()));
}

TEST(Fatal, ErrorLogsClosesDatabaseShowsBugWindowAndTerminates)
{
    TestRoot root;
    RecordingFatalHandler fatal;
    const QString file = root.Path() + QStringLiteral("f.kdb");
    ASSERT_TRUE(CreateDatabaseFile(file, QString()));
    ASSERT_TRUE(OpenDatabase(file, QString(), QStringLiteral("drv")));

    FatalError(QStringLiteral("boom\nhere"));
    EXPECT_EQ(DB(), nullptr);
    ASSERT_EQ(fatal.calls.size(), 1u);
    EXPECT_EQ(fatal.calls[0].mode, TBugMode::Error);
    EXPECT_EQ(fatal.calls[0].message, QStringLiteral("boom\nhere"));
    EXPECT_EQ(fatal.terminations, 1);
    EXPECT_EQ(root.LogLines().filter(QStringLiteral("Global Exception Handler - Error: boom here")).size(), 1);

    UnexpectedError(QStringLiteral("surprise"));
    ASSERT_EQ(fatal.calls.size(), 2u);
    EXPECT_EQ(fatal.calls[1].mode, TBugMode::Unexpected);
    EXPECT_EQ(root.LogLines().filter(QStringLiteral("Global Exception Handler - Bug: surprise")).size(), 1);
}

TEST(Fatal, NothingHappensWhileForceCloseIsSet)
{
    TestRoot root;
    RecordingFatalHandler fatal;
    ForceClose = true;
    FatalError(QStringLiteral("ignored"));
    UnexpectedError(QStringLiteral("ignored"));
    ForceClose = false;
    EXPECT_TRUE(fatal.calls.empty());
    EXPECT_EQ(fatal.terminations, 0);
    EXPECT_TRUE(root.LogLines().isEmpty());
}

// In the program a fatal error never comes back to its caller: the bug window closes and
// the process ends, so the failed operation cannot go on logging or touching the closed
// database. Both the bug window's way and the default (no window) end with failure.
TEST(FatalDeathTest, TheProgramEndsAndTheCallerNeverRunsOn)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto withBugWindow = [] {
        TestRoot root;
        InstallBugWindowHandler();
        // The user closes the bug window.
        QTimer::singleShot(200, [] {
            if (QWidget* window = QApplication::activeModalWidget())
                window->close();
        });
        FatalError(QStringLiteral("boom"));
        std::fputs("ran on after the fatal error\n", stderr);
        std::_Exit(0);
    };
    EXPECT_EXIT(withBugWindow(), ::testing::ExitedWithCode(EXIT_FAILURE), "");
    const auto withoutHandler = [] {
        TestRoot root;
        SetFatalHandler(nullptr);
        UnexpectedError(QStringLiteral("surprise"));
        std::fputs("ran on after the fatal error\n", stderr);
        std::_Exit(0);
    };
    EXPECT_EXIT(withoutHandler(), ::testing::ExitedWithCode(EXIT_FAILURE), "");
}
