#include "app/AppStart.h"
#include "core/Config.h"
#include "core/Platform.h"
#include "core/uTypes.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "support/TestRoot.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Started {
    QString program;
    QStringList arguments;
    QString folder;
};

// A temporary machine: root, home and desktop of its own; launches are recorded.
class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("KORVEL_ROOT", m_root.path().toUtf8());
        qputenv("HOME", m_root.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (m_root.path() + QStringLiteral("/.config")).toUtf8());
        Platform::SetStartDetachedHook([this](const QString& p, const QStringList& a, const QString& f) {
            started.push_back({p, a, f});
            return true;
        });
        LabelTrimming = true;
    }
    void TearDown() override
    {
        Platform::SetStartDetachedHook({});
        CloseDatabase();
        qputenv("HOME", m_home);
        Paths = {};
    }

    QString Root() const { return m_root.path() + QStringLiteral("/"); }
    QString InstallFolder() const { return Root() + Config::InstallFolderName + QStringLiteral("/"); }
    QString InstalledExe() const { return InstallFolder() + Config::ExeFileName; }
    QString Desktop() const
    {
        return Root() + QStringLiteral("Desktop/") + Config::AppShortName + QStringLiteral(".desktop");
    }

    // A copy of a real program image (this test binary carries the program's marker).
    QString PlaceProgram(const QString& path) const
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile::remove(path);
        EXPECT_TRUE(QFile::copy(QCoreApplication::applicationFilePath(), path));
        return path;
    }
    static void Touch(const QString& path, const QByteArray& content = "x")
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    void MakeDatabase(const QString& folder, const QString& trimming) const
    {
        const QString file = folder + Config::DataSubfolder + QStringLiteral("/") + Config::DatabaseFileName;
        QDir().mkpath(QFileInfo(file).absolutePath());
        ASSERT_TRUE(CreateDatabaseFile(file, Config::DatabasePassword));
        ASSERT_TRUE(OpenDatabase(file, Config::DatabasePassword, Config::DatabaseDriverId));
        ASSERT_TRUE(DB()->ExecNoCount(QStringLiteral("CREATE TABLE `W_System` (`%1` BOOLEAN DEFAULT 0);"
                                                     "INSERT INTO `W_System` VALUES (%2);")
                                          .arg(Setting::LabelTrimming, trimming)));
        CloseDatabase();
    }

    std::vector<Started> started;
    ScriptedAnswerer messages;

private:
    QTemporaryDir m_root;
    QByteArray m_home = qgetenv("HOME");
};

} // namespace

TEST_F(LaunchTest, DownloadedCopyInstallsItselfAndHandsOver)
{
    const QString downloaded = PlaceProgram(Root() + QStringLiteral("Descargas/korvel-setup"));
    EXPECT_FALSE(PrepareLaunch(downloaded, {}));

    EXPECT_TRUE(QFile::exists(InstalledExe()));
    EXPECT_EQ(QFileInfo(InstalledExe()).size(), QFileInfo(downloaded).size());
    EXPECT_TRUE(QFileInfo(InstalledExe()).isExecutable());
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].program, InstalledExe());
    EXPECT_EQ(started[0].arguments, QStringList{downloaded});
    EXPECT_EQ(started[0].folder + QStringLiteral("/"), InstallFolder());

    QFile launcher(Desktop());
    ASSERT_TRUE(launcher.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(launcher.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("Exec=\"") + InstalledExe() + QStringLiteral("\"")));
    EXPECT_TRUE(text.contains(QStringLiteral("Path=") + InstallFolder()));
    EXPECT_TRUE(text.contains(QStringLiteral("Comment=Korvel Interinmobiliario\\r\\n")));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LaunchTest, InstalledCopyPresentOnlyRefreshesShortcutAndStartsIt)
{
    Touch(InstalledExe(), "installed");
    const QString downloaded = PlaceProgram(Root() + QStringLiteral("Descargas/korvel"));
    EXPECT_FALSE(PrepareLaunch(downloaded, {}));

    QFile installed(InstalledExe());
    ASSERT_TRUE(installed.open(QIODevice::ReadOnly));
    EXPECT_EQ(installed.readAll(), QByteArray("installed")); // not overwritten
    EXPECT_TRUE(QFile::exists(Desktop()));
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].program, InstalledExe());
    EXPECT_EQ(started[0].arguments, QStringList{downloaded});
}

TEST_F(LaunchTest, InstallFailureShowsTheCloseWarning)
{
    Touch(Root() + QStringLiteral("blocked"));
    qputenv("KORVEL_ROOT", (Root() + QStringLiteral("blocked")).toUtf8()); // a file, not a folder
    const QString downloaded = PlaceProgram(Root() + QStringLiteral("Descargas/korvel"));
    EXPECT_FALSE(PrepareLaunch(downloaded, {}));
    EXPECT_TRUE(started.empty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, TMessageKind::CloseWarning);
    EXPECT_TRUE(messages.shown[0].text.endsWith(u'.'));
}

TEST_F(LaunchTest, UpdateFileReplacesTheInstalledProgram)
{
    const QString old = PlaceProgram(InstalledExe());
    const QString update = InstallFolder() + Config::UpdateExeFileName;
    Touch(update, "new version");
    // The update must itself be a program image for the installed copy to accept it later;
    // here only its copying matters.
    EXPECT_FALSE(PrepareLaunch(update, {old}));

    QFile installed(InstalledExe());
    ASSERT_TRUE(installed.open(QIODevice::ReadOnly));
    EXPECT_EQ(installed.readAll(), QByteArray("new version"));
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].program, InstalledExe());
    EXPECT_EQ(started[0].arguments, QStringList{update});
}

TEST_F(LaunchTest, InstalledCopyDeletesTheCopyThatStartedIt)
{
    PlaceProgram(InstalledExe());
    const QString downloaded = PlaceProgram(Root() + QStringLiteral("Descargas/korvel"));
    EXPECT_TRUE(PrepareLaunch(InstalledExe(), {downloaded}));
    EXPECT_FALSE(QFile::exists(downloaded));
    EXPECT_TRUE(started.empty());
    EXPECT_TRUE(LabelTrimming); // no database yet
}

TEST_F(LaunchTest, ArgumentThatIsNotAProgramIsNeverDeleted)
{
    PlaceProgram(InstalledExe());
    const QString document = Root() + QStringLiteral("Documentos/contrato.txt");
    Touch(document, "important");
    EXPECT_TRUE(PrepareLaunch(InstalledExe(), {document}));
    EXPECT_TRUE(QFile::exists(document));
}

TEST_F(LaunchTest, WrongNameEndsSilently)
{
    const QString other = PlaceProgram(InstallFolder() + QStringLiteral("otro-nombre"));
    EXPECT_FALSE(PrepareLaunch(other, {}));
    EXPECT_TRUE(started.empty());
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LaunchTest, PortableCopyWithItsOwnDatabaseRunsWhereItIs)
{
    const QString folder = Root() + QStringLiteral("Portable/");
    const QString exe = PlaceProgram(folder + Config::ExeFileName);
    MakeDatabase(folder, QStringLiteral("1"));
    EXPECT_TRUE(PrepareLaunch(exe, {}));
    EXPECT_TRUE(started.empty());
    EXPECT_EQ(Paths.DataFolder, folder + Config::DataSubfolder + QStringLiteral("/"));
}

TEST_F(LaunchTest, LabelTrimmingFromMarkerAndSetting)
{
    PlaceProgram(InstalledExe());
    struct Case {
        const char* setting; // nullptr: no database
        bool marker;
        bool expected;
    };
    const Case cases[] = {{nullptr, false, true}, {"1", false, true}, {"0", false, false}, {"1", true, false}};
    for (const Case& c : cases) {
        const QString data = InstallFolder() + Config::DataSubfolder + QStringLiteral("/");
        QDir(data).removeRecursively();
        if (c.setting)
            MakeDatabase(InstallFolder(), QString::fromLatin1(c.setting));
        if (c.marker)
            Touch(data + Config::DisplayMarkerFile);
        LabelTrimming = !c.expected;
        EXPECT_TRUE(PrepareLaunch(InstalledExe(), {}));
        EXPECT_EQ(LabelTrimming, c.expected) << (c.setting ? c.setting : "none") << c.marker;
        EXPECT_EQ(DB(), nullptr); // the connection is closed again
    }
}

TEST(WaitAndDeleteFile, GivesUpAfterTheTimeOut)
{
    TestRoot root;
    // A program image inside a folder that cannot be written cannot be deleted; as root,
    // a file below /proc stands in for a file that stays in use.
    QElapsedTimer clock;
    clock.start();
    WaitAndDeleteFile(QStringLiteral("/proc/self/exe"), 300);
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_LT(clock.elapsed(), 5000);
}
