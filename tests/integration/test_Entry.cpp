// The real client binary started as a user would start it, in a temporary machine root.
#include "core/Config.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

template <typename F> bool WaitFor(F condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(50);
    }
    return true;
}

class EntryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(Run());
        QFile::setPermissions(Run(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        // The data folder exists on any machine that ran the program once; the log goes there.
        QDir().mkpath(Root() + QStringLiteral("Korvel/Datos"));
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("KORVEL_ROOT"), m_root.path());
        m_env.insert(QStringLiteral("HOME"), m_root.path());
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_root.path() + QStringLiteral("/.config"));
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Run());
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    void TearDown() override
    {
        for (const qint64 pid : PidsOf(InstalledExe()))
            ::kill(static_cast<pid_t>(pid), SIGKILL);
    }

    QString Root() const { return m_root.path() + QStringLiteral("/"); }
    QString Run() const { return Root() + QStringLiteral("run"); }
    QString InstalledExe() const { return Root() + QStringLiteral("Korvel/") + Config::ExeFileName; }
    QString LogFile() const { return Root() + QStringLiteral("Korvel/Datos/") + Config::LogFileName; }

    QString Place(const QString& path) const
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        EXPECT_TRUE(QFile::copy(QStringLiteral(KORVEL_BIN), path));
        return path;
    }

    bool LockHeld() const
    {
        const QByteArray path = (Run() + QStringLiteral("/Korvel.lock")).toLocal8Bit();
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return held;
    }

    static std::vector<qint64> PidsOf(const QString& exe)
    {
        std::vector<qint64> pids;
        const auto entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& entry : entries) {
            bool numeric = false;
            const qint64 pid = entry.toLongLong(&numeric);
            if (numeric && QFileInfo(QStringLiteral("/proc/") + entry + QStringLiteral("/exe")).symLinkTarget() == exe)
                pids.push_back(pid);
        }
        return pids;
    }

    QStringList PlainLog() const
    {
        QProcess tool;
        tool.start(QStringLiteral(KORVEL_TOOL_BIN), {QStringLiteral("log"), LogFile()});
        EXPECT_TRUE(tool.waitForFinished(10000));
        EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
        return QString::fromUtf8(tool.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }

    void ExpectOrderlyEnd() const
    {
        const QStringList lines = PlainLog();
        ASSERT_GE(lines.size(), 2);
        EXPECT_EQ(lines.last(), QString(80, u'-'));
        EXPECT_TRUE(lines.at(lines.size() - 2).endsWith(QStringLiteral("Korvel: ") + Config::LogProgramEnd))
            << lines.at(lines.size() - 2).toStdString();
    }

    QProcessEnvironment m_env;

private:
    QTemporaryDir m_root;
};

} // namespace

TEST_F(EntryTest, SecondCopyExitsAtOnceAndSigtermEndsInOrder)
{
    const QString exe = Place(InstalledExe());
    QProcess first;
    first.setProcessEnvironment(m_env);
    first.start(exe, {});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(WaitFor([&] { return LockHeld(); }, 10000));

    QProcess second;
    second.setProcessEnvironment(m_env);
    QElapsedTimer clock;
    clock.start();
    second.start(exe, {});
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    // The second copy leaves no trace; the first may be logging its own start by now.
    for (const QString& line : PlainLog())
        EXPECT_FALSE(line.contains(QStringLiteral("Korvel: "))) << line.toStdString();

    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_FALSE(LockHeld());
    ExpectOrderlyEnd();
}

TEST_F(EntryTest, DownloadedCopyInstallsStartsTheInstalledOneAndIsDeleted)
{
    const QString downloaded = Place(Root() + QStringLiteral("Descargas/korvel"));
    QProcess setup;
    setup.setProcessEnvironment(m_env);
    setup.start(downloaded, {});
    ASSERT_TRUE(setup.waitForFinished(15000));
    EXPECT_EQ(setup.exitCode(), 0);

    EXPECT_TRUE(QFileInfo(InstalledExe()).isExecutable());
    EXPECT_TRUE(QFile::exists(Root() + QStringLiteral("Desktop/Korvel.desktop")));
    // The installed copy waits two seconds, deletes the download and goes on running.
    ASSERT_TRUE(WaitFor([&] { return !QFile::exists(downloaded); }, 15000));
    ASSERT_TRUE(WaitFor([&] { return LockHeld(); }, 5000));
    const auto pids = PidsOf(InstalledExe());
    ASSERT_EQ(pids.size(), 1u);

    ::kill(static_cast<pid_t>(pids.front()), SIGTERM);
    ASSERT_TRUE(WaitFor([&] { return PidsOf(InstalledExe()).empty(); }, 10000));
    ExpectOrderlyEnd();
}
