// The program update window and the version request against a real korvel-service.
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/Platform.h"
#include "core/SystemInfo.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "support/ReleaseKeys.h"
#include "support/ServiceProcess.h"
#include "support/TestRoot.h"
#include "sync/Dwl.h"
#include "sync/Requests.h"
#include "sync/Session.h"
#include "sync/Sync.h"
#include "sync/TfrmDownload.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString kOfferedVersion = u"9.1.0"_s;
const QString kChangeLog = u"Nuevos reportes.\nCorrecciones."_s;

// Build: the next version, signed with the release key this process trusts. The others
// are what an attacker on the path or a careless operator might offer instead.
enum class Offer { None, Build, NotAProgram, Unsigned, Altered, OtherKey, Relabelled };

struct Started {
    QString program;
    QStringList arguments;
    QString folder;
};

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

Q_DECLARE_METATYPE(Offer)

class TestDownload : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void windowAsCreated();
    void versionInfo();
    void outcomes_data();
    void outcomes();
    void writingAndStarting_data();
    void writingAndStarting();
    void cancelDuringTheDownload();
    void refusedBuilds_data();
    void refusedBuilds();

private:
    // A service offering what is asked, and an installation of agency 7 logged in to it.
    void StartService(Offer offer);
    QString RunWindow(int& modalResult, TfrmDownload** shown = nullptr);

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<RecordingFatalHandler> m_fatal;
    std::unique_ptr<ServiceProcess> m_service;
    std::vector<Started> m_started;
    bool m_startSucceeds = true;
    QByteArray m_offered;
    TestReleaseKey m_releaseKey;
};

void TestDownload::init()
{
    m_root = std::make_unique<TestRoot>();
    m_fatal = std::make_unique<RecordingFatalHandler>();
    m_started.clear();
    m_startSucceeds = true;
    m_offered.clear();
    m_releaseKey = TestReleaseKey::Make(m_root->Path() + u"release.key"_s);
    QVERIFY(!m_releaseKey.secretFile.isEmpty());
    m_releaseKey.Trust();
    Platform::SetStartDetachedHook([this](const QString& p, const QStringList& a, const QString& f) {
        m_started.push_back({p, a, f});
        return m_startSucceeds;
    });
}

void TestDownload::cleanup()
{
    Platform::SetStartDetachedHook({});
    CloseDatabase();
    ClearSession();
    ResetInstallContext();
    SyncEnabled = false;
    qunsetenv("KORVEL_SERVICE_URL");
    DropConnections();
    m_service.reset();
    QVERIFY2(m_fatal->calls.empty(), m_fatal->calls.empty() ? "" : qPrintable(m_fatal->calls.front().message));
    m_fatal.reset();
    m_root.reset();
}

void TestDownload::StartService(Offer offer)
{
    ServiceOptions options;
    if (offer != Offer::None) {
        // A build of the client that differs from the running one, as a new version does.
        m_offered = offer != Offer::NotAProgram
                        ? ReadAll(QStringLiteral(KORVEL_UPDATE_IMAGE)) + "\nbuild " + kOfferedVersion.toLatin1()
                        : QByteArray("#!/bin/sh\necho not the program\n");
        QVERIFY(m_offered.size() > 16);
        const QString file = m_root->Path() + u"offered/Korvel"_s;
        QDir().mkpath(QFileInfo(file).absolutePath());
        QVERIFY(WriteBytesFile(file, m_offered));
        options.arguments = {u"--program"_s,       file,      u"--program-version"_s, kOfferedVersion,
                             u"--program-notes"_s, kChangeLog};
        if (offer == Offer::OtherKey) {
            // A well-formed signature by a key this client was never told to trust.
            const TestReleaseKey other = TestReleaseKey::Make(m_root->Path() + u"other.key"_s);
            QVERIFY(!other.secretFile.isEmpty());
            options.arguments << u"--program-key"_s << other.secretFile;
        } else if (offer != Offer::Unsigned) {
            options.arguments << u"--program-key"_s << m_releaseKey.secretFile;
        }
    }
    m_service = std::make_unique<ServiceProcess>(options);
    QVERIFY2(m_service->Start(), qPrintable(m_service->LastError()));
    const QString published = m_service->DataFolder() + u"/program/"_s;
    if (offer == Offer::Altered) {
        // One byte of the published build changes after it was signed.
        const QString file = published + PlatformName() + u"/Korvel"_s;
        QByteArray bytes = ReadAll(file);
        QVERIFY(bytes.size() > 1000);
        bytes[1000] = char(bytes[1000] ^ 0x01);
        QVERIFY(WriteBytesFile(file, bytes));
    }
    if (offer == Offer::Relabelled) {
        // The genuine build, signed as 9.1.0, offered as a later version.
        QVERIFY(WriteBytesFile(published + u"version.txt"_s, "9.2.0\nOtra versión.\n"));
    }
    qputenv("KORVEL_SERVICE_URL", m_service->SyncUrl().toUtf8());
    SyncEnabled = true;
    ResetConsecutiveFailures();

    QByteArray database;
    QCOMPARE(RequestDatabaseFile({7, u"admin"_s, u"demo"_s, QString()}, database), QString());
    QVERIFY(WriteBytesFile(Paths.DatabaseFile, database));
    QVERIFY(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    QVERIFY(LoadInstallContext());
    StartSession(1, u"admin"_s, u"demo"_s, u"Administrador"_s);
}

QString TestDownload::RunWindow(int& modalResult, TfrmDownload** shown)
{
    TfrmDownload window;
    if (shown)
        *shown = &window;
    window.SetMode(1);
    modalResult = window.exec();
    if (shown)
        *shown = nullptr;
    return window.ResultText();
}

void TestDownload::windowAsCreated()
{
    TfrmDownload window;
    QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(window.width(), 400);
    QCOMPARE(window.height(), window.btnCancel->geometry().bottom() + 1 + 12);
    QCOMPARE(window.timerLaunch->interval(), 500);
    QVERIFY(!window.timerLaunch->isActive());
    QCOMPARE(window.lblTitle->text(), DwlText::Title);
    QCOMPARE(window.lblProgress->text(), QString());
    QVERIFY(window.lblProgress->styleSheet().contains(u"#6E6D72"_s, Qt::CaseInsensitive));
    QCOMPARE(window.pbarDownload->value(), 0);
    QVERIFY(window.btnCancel->isEnabled());
    QCOMPARE(window.btnCancel->text(), u"Cancelar"_s);
    QCOMPARE(window.Mode(), 1);
    QVERIFY(!window.Cancelled());
    QCOMPARE(window.ResultText(), QString());
    for (const char* name : {"lblTitle", "pbarDownload", "lblProgress", "btnCancel", "timerLaunch"})
        QVERIFY2(window.findChild<QObject*>(QString::fromLatin1(name)), name);
}

void TestDownload::versionInfo()
{
    StartService(Offer::Build);
    if (QTest::currentTestFailed())
        return;
    QString version = u"old"_s, log = u"old"_s;
    QCOMPARE(FetchVersionInfo(CurrentSessionValues(), version, log), QString());
    QCOMPARE(version, kOfferedVersion);
    QCOMPARE(log, kChangeLog);

    QVERIFY(m_service->InjectRefusal(u"version"_s, u"Servicio en mantenimiento."_s, 1));
    QCOMPARE(FetchVersionInfo(CurrentSessionValues(), version, log), u"Servicio en mantenimiento."_s);
    QVERIFY(m_service->InjectFault(u"version"_s, u"http500"_s, 0, 1));
    QCOMPARE(FetchVersionInfo(CurrentSessionValues(), version, log), DwlText::VersionCheckFailed);
    QVERIFY(m_root->LogLines().filter(u"$3118: Servicio en mantenimiento."_s).size() == 1);
}

void TestDownload::outcomes_data()
{
    QTest::addColumn<Offer>("offer");
    QTest::addColumn<QString>("faultMode"); // "refuse" for the service's error object
    QTest::addColumn<QString>("expected");
    const QString refusal = u"La descarga del programa no está disponible por el momento."_s;
    QTest::newRow("already current") << Offer::None << QString() << QString();
    QTest::newRow("service error") << Offer::Build << u"refuse"_s << refusal;
    QTest::newRow("HTTP 500") << Offer::Build << u"http500"_s << DwlText::UpdateFailed;
    QTest::newRow("connection dropped") << Offer::Build << u"close"_s << DwlText::UpdateFailed;
    QTest::newRow("damaged envelope") << Offer::Build << u"truncated"_s << DwlText::UpdateFailed;
    QTest::newRow("not a program") << Offer::NotAProgram << QString() << DwlText::NotAProgram;
}

// Every outcome that does not start a new program leaves nothing behind to start later.
void TestDownload::outcomes()
{
    QFETCH(Offer, offer);
    QFETCH(QString, faultMode);
    QFETCH(QString, expected);
    StartService(offer);
    if (QTest::currentTestFailed())
        return;
    if (faultMode == u"refuse"_s)
        QVERIFY(m_service->InjectRefusal(u"program"_s, expected, 1));
    else if (!faultMode.isEmpty())
        QVERIFY(m_service->InjectFault(u"program"_s, faultMode, 0, 1));

    int modal = -1;
    QCOMPARE(RunWindow(modal), expected);
    QCOMPARE(modal, int(QDialog::Accepted));
    QVERIFY(m_started.empty());
    QVERIFY(!QFile::exists(UpdateFilePath()));
    QVERIFY(m_service->Output().contains(u"program"_s));
    if (!expected.isEmpty())
        QVERIFY(!m_root->LogLines().filter(u"$3117"_s).isEmpty());
}

void TestDownload::writingAndStarting_data()
{
    QTest::addColumn<QString>("leftover"); // what an earlier attempt left: "file", "folder" or ""
    QTest::addColumn<bool>("startSucceeds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first attempt") << QString() << true << DwlText::Close;
    QTest::newRow("leftover file replaced") << u"file"_s << true << DwlText::Close;
    QTest::newRow("leftover that cannot go") << u"folder"_s << true << DwlText::OldFileNotDeleted;
    QTest::newRow("new program does not start") << QString() << false << DwlText::NotStarted;
}

void TestDownload::writingAndStarting()
{
    QFETCH(QString, leftover);
    QFETCH(bool, startSucceeds);
    QFETCH(QString, expected);
    StartService(Offer::Build);
    if (QTest::currentTestFailed())
        return;
    m_startSucceeds = startSucceeds;
    const QString file = UpdateFilePath();
    QCOMPARE(file, Paths.ExeFolder + Config::UpdateExeFileName);
    if (leftover == u"file"_s)
        QVERIFY(WriteBytesFile(file, "an update from an earlier attempt"));
    if (leftover == u"folder"_s)
        QVERIFY(QDir().mkpath(file + u"/in-use"_s));

    int modal = -1;
    QCOMPARE(RunWindow(modal), expected);
    QCOMPARE(modal, int(QDialog::Accepted));
    if (leftover == u"folder"_s) {
        QVERIFY(m_started.empty());
        QVERIFY(QFileInfo(file).isDir());
        return;
    }
    // The new program is in place and runnable, and was started with the running one's path.
    QCOMPARE(ReadAll(file), m_offered);
    QVERIFY(QFileInfo(file).isExecutable());
    QCOMPARE(m_started.size(), size_t(1));
    QCOMPARE(m_started[0].program, file);
    QCOMPARE(m_started[0].arguments, QStringList{Paths.ExePath});
    QCOMPARE(QDir(m_started[0].folder), QDir(Paths.ExeFolder));
}

void TestDownload::cancelDuringTheDownload()
{
    StartService(Offer::Build);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(m_service->InjectFault(u"program"_s, u"delay"_s, 4000, 1));
    TfrmDownload* window = nullptr;
    bool cancelSeenEnabled = false;
    QTimer cancel;
    cancel.setInterval(20);
    connect(&cancel, &QTimer::timeout, this, [&] {
        if (window && window->isVisible() && window->btnCancel->isEnabled() && TransferInProgress()) {
            cancel.stop();
            cancelSeenEnabled = true;
            window->btnCancel->click();
            QVERIFY(!window->btnCancel->isEnabled());
        }
    });
    cancel.start();
    QElapsedTimer took;
    took.start();
    int modal = -1;
    const QString result = RunWindow(modal, &window);
    QVERIFY(cancelSeenEnabled);
    QVERIFY2(took.elapsed() < 3500, "the cancel ended the wait for the delayed answer");
    QCOMPARE(modal, int(QDialog::Rejected));
    QCOMPARE(result, DwlText::UpdateFailed);
    QVERIFY(m_started.empty());
    QVERIFY(!QFile::exists(UpdateFilePath()));
}

void TestDownload::refusedBuilds_data()
{
    QTest::addColumn<Offer>("offer");
    QTest::addColumn<QString>("reason"); // what the log line says
    QTest::newRow("unsigned") << Offer::Unsigned << u"unsigned"_s;
    QTest::newRow("one byte altered") << Offer::Altered << u"signature does not match"_s;
    QTest::newRow("signed by another key") << Offer::OtherKey << u"signature does not match"_s;
    QTest::newRow("offered as another version") << Offer::Relabelled << u"signature does not match"_s;
}

// A build that no trusted release key signed as the offered version is never written,
// and whatever an earlier attempt left as the update file goes too.
void TestDownload::refusedBuilds()
{
    QFETCH(Offer, offer);
    QFETCH(QString, reason);
    StartService(offer);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(WriteBytesFile(UpdateFilePath(), "an update from an earlier attempt"));

    int modal = -1;
    QCOMPARE(RunWindow(modal), DwlText::NotVerified);
    QCOMPARE(modal, int(QDialog::Accepted));
    QVERIFY(m_started.empty());
    QVERIFY(!QFile::exists(UpdateFilePath()));
    QVERIFY(m_service->Output().contains(u"program"_s));
    const QStringList logged = m_root->LogLines().filter(u"$3127"_s);
    QCOMPARE(logged.size(), 1);
    QVERIFY2(logged.first().contains(reason), qPrintable(logged.first()));
}

QTEST_MAIN(TestDownload)
#include "test_Download.moc"
