// A program update from the service's offer to the new build running in place of the old
// one: the download and start in this process (as the running program does it), the
// hand-over in real client processes, in a temporary machine root.
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "support/ReleaseKeys.h"
#include "support/ServiceProcess.h"
#include "support/TestRoot.h"
#include "sync/Dwl.h"
#include "sync/Requests.h"
#include "sync/Session.h"
#include "sync/Sync.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <csignal>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

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

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<pid_t> PidsOf(const QString& exe)
{
    std::vector<pid_t> pids;
    const auto entries = QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const int pid = entry.toInt(&numeric);
        if (numeric && QFileInfo(u"/proc/"_s + entry + u"/exe"_s).symLinkTarget() == exe)
            pids.push_back(pid_t(pid));
    }
    return pids;
}

// Environment values the started copies inherit; put back afterwards.
class ScopedEnv {
public:
    void Set(const char* name, const QString& value)
    {
        m_saved.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        qputenv(name, value.toUtf8());
    }
    ~ScopedEnv()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->wasSet)
                qputenv(it->name, it->value);
            else
                qunsetenv(it->name);
        }
    }

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    std::vector<Saved> m_saved;
};

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Home, desktop and the single-instance lock of the started copies stay in the root.
        QDir().mkpath(Run());
        QFile::setPermissions(Run(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env.Set("HOME", root.Path());
        env.Set("XDG_CONFIG_HOME", root.Path() + u".config"_s);
        env.Set("XDG_RUNTIME_DIR", Run());
        env.Set("QT_QPA_PLATFORM", u"offscreen"_s);
    }
    void TearDown() override
    {
        for (const QString& exe : {Paths.InstalledExe, UpdateFilePath()})
            for (const pid_t pid : PidsOf(exe))
                ::kill(pid, SIGKILL);
        CloseDatabase();
        ClearSession();
        ResetInstallContext();
        SyncEnabled = false;
        qunsetenv("KORVEL_SERVICE_URL");
        DropConnections();
    }

    QString Run() const { return root.Path() + u"run"_s; }

    TestRoot root;
    RecordingFatalHandler fatal;
    ScopedEnv env;
};

} // namespace

TEST_F(UpdateTest, OfferedBuildReplacesTheInstalledProgram)
{
    // The installed program is this build; the service offers a newer one.
    ASSERT_EQ(Paths.ExePath, Paths.InstalledExe);
    ASSERT_TRUE(QFile::copy(QStringLiteral(KORVEL_BIN), Paths.InstalledExe));
    const QByteArray newBuild = ReadAll(QStringLiteral(KORVEL_UPDATE_IMAGE)) + "\nbuild 9.1.0\n";
    const QString offered = root.Path() + u"offered/Korvel"_s;
    QDir().mkpath(QFileInfo(offered).absolutePath());
    ASSERT_TRUE(WriteBytesFile(offered, newBuild));

    // Signed as a release is; this process plays the client that trusts the key.
    const TestReleaseKey key = TestReleaseKey::Make(root.Path() + u"release.key"_s);
    ASSERT_FALSE(key.secretFile.isEmpty());
    key.Trust();

    ServiceOptions options;
    options.arguments = {u"--program"_s,         offered,
                         u"--program-version"_s, u"9.1.0"_s,
                         u"--program-notes"_s,   u"Reportes nuevos."_s,
                         u"--program-key"_s,     key.secretFile};
    ServiceProcess service(options);
    ASSERT_TRUE(service.Start()) << service.LastError().toStdString();
    qputenv("KORVEL_SERVICE_URL", service.SyncUrl().toUtf8());
    SyncEnabled = true;
    ResetConsecutiveFailures();
    QByteArray database;
    ASSERT_EQ(RequestDatabaseFile({7, u"admin"_s, u"demo"_s, QString()}, database), QString());
    ASSERT_TRUE(WriteBytesFile(Paths.DatabaseFile, database));
    ASSERT_TRUE(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    ASSERT_TRUE(LoadInstallContext());
    StartSession(1, u"admin"_s, u"demo"_s, u"Administrador"_s);

    QString version, changeLog;
    ASSERT_EQ(FetchVersionInfo(CurrentSessionValues(), version, changeLog), QString());
    EXPECT_EQ(version, u"9.1.0"_s);
    EXPECT_EQ(changeLog, u"Reportes nuevos."_s);
    EXPECT_TRUE(UpdateOffered(version, Config::AppVersion));

    ASSERT_EQ(DownloadProgramUpdate(CurrentSessionValues()), DwlText::Close);
    // The old program ends here, as the start-up does on "Close".
    CloseDatabase();
    DropConnections();
    service.Stop();

    // The update waits 2 s, replaces the installed program and starts it; that one waits
    // 2 s and deletes the update file, which nothing else ever does.
    const bool handedOver =
        WaitFor([&] { return !QFile::exists(UpdateFilePath()) && ReadAll(Paths.InstalledExe) == newBuild; }, 20000);
    ASSERT_TRUE(handedOver) << "update file present: " << QFile::exists(UpdateFilePath())
                            << ", installed replaced: " << (ReadAll(Paths.InstalledExe) == newBuild);
    EXPECT_TRUE(QFileInfo(Paths.InstalledExe).isExecutable());
    EXPECT_TRUE(WaitFor([&] { return PidsOf(UpdateFilePath()).empty(); }, 5000));

    // The new version goes on starting as usual; end it as the desktop would.
    for (const pid_t pid : PidsOf(Paths.InstalledExe))
        ::kill(pid, SIGTERM);
    EXPECT_TRUE(WaitFor([&] { return PidsOf(Paths.InstalledExe).empty(); }, 10000));
    EXPECT_TRUE(fatal.calls.empty());
}
