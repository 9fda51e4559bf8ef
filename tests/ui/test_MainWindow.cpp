#include "core/Config.h"
#include "core/InstallContext.h"
#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "core/uTypes.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "records/BrokerData.h"
#include "records/UserData.h"
#include "search/Marks.h"
#include "support/ClientSetup.h"
#include "support/Screenshot.h"
#include "support/ServiceProcess.h"
#include "support/TestRoot.h"
#include "sync/Captcha.h"
#include "sync/Import.h"
#include "sync/Requests.h"
#include "sync/Session.h"
#include "sync/Sync.h"
#include "sync/Terms.h"
#include "sync/TfrmDownload.h"
#include "sync/TfrmFirstRun.h"
#include "sync/TfrmLogin.h"
#include "sync/TfrmSyncDlg.h"
#include "sync/TfrmToS.h"
#include "sync/Upload.h"
#include "sync/WireProtocol.h"
#include "ui/FilterPanel.h"
#include "ui/PropertyCard.h"
#include "ui/PropertyList.h"
#include "ui/ResultList.h"
#include "ui/Startup.h"
#include "ui/Style.h"
#include "ui/TfrmMain.h"
#include "ui/TfrmSplash.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <map>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Answers the modal dialogs of the start-up as a person would, each once it is up.
class DialogDriver : public QObject {
public:
    using TAction = std::function<void(QWidget*)>;
    DialogDriver()
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start();
    }
    void On(const char* className, TAction action) { m_actions[QByteArray(className)] = std::move(action); }
    QStringList seen;

private:
    void Poll()
    {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible() || dialog->property("driven").toBool())
            return;
        const QByteArray name = dialog->metaObject()->className();
        const auto found = m_actions.find(name);
        if (found == m_actions.end())
            return;
        dialog->setProperty("driven", true);
        seen << QString::fromLatin1(name);
        // Acting from a fresh call keeps this poll from nesting inside the dialog's work.
        QPointer<QWidget> target(dialog);
        TAction action = found->second;
        QTimer::singleShot(0, this, [target, action] {
            if (target)
                action(target);
        });
    }
    QTimer m_timer;
    std::map<QByteArray, TAction> m_actions;
};

void AcceptTerms(QWidget* w)
{
    auto* terms = static_cast<TfrmToS*>(w);
    terms->chkAgree->setChecked(true);
    terms->btnOk->click();
}

void LogIn(QWidget* w)
{
    auto* login = static_cast<TfrmLogin*>(w);
    SaveShot(login, u"startup-login"_s);
    login->edtUsr->setText(u"admin"_s);
    login->edtPsw->setText(u"demo"_s);
    login->btnLogin->click();
}

// The database of a finished first run, closed as the first run leaves it.
bool Install()
{
    const bool ok = InstallDemoAgency();
    CloseDatabase();
    return ok;
}

// Open and logged in, as the start-up leaves things for the main window.
bool OpenAndLogIn()
{
    return OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId) && LogInDemoAdmin();
}

QString DrawnCode(const QString& digest)
{
    return DrawnCaptchaCode(digest);
}

bool LogHas(const TestRoot& root, const QString& code, const QString& text)
{
    for (const QString& line : root.LogLines())
        if (line.contains(code + u": "_s) && line.contains(text))
            return true;
    return false;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ApplyAppStyle(*qApp); }
    void init();
    void cleanup();

    void firstStartThroughFirstRunAndLogin();
    void secondStartSkipsTheFirstRun();
    void startRefusals_data();
    void startRefusals();
    void dateFormatCheck();
    void updateCancelledEndsTheStart();
    void changeLogShownOnce();

    void openingSizes_data();
    void openingSizes();
    void sectionsAndOfflineStart();
    void pendingChangesBadge();
    void closeRequest();
    void offlineAfterThreeFailuresAndBack();
    void validationBeforeSendingChanges();
    void helpDocument();
    void closingAsksAboutMarks();

private:
    void StartService();
    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<RecordingFatalHandler> m_fatal;
    std::unique_ptr<ServiceProcess> m_service;
};

void TestMainWindow::init()
{
    m_root = std::make_unique<TestRoot>();
    m_fatal = std::make_unique<RecordingFatalHandler>();
    SetScreenSizeOverride(QSize(1280, 800));
    TfrmMain::CountDownStepMs = 20;
    StartService();
}

void TestMainWindow::cleanup()
{
    CloseDatabase();
    ClearSession();
    ResetInstallContext();
    SyncEnabled = false;
    SyncInProgress = false;
    CloseAfterSync = false;
    ForceClose = false;
    SkipAutoSync = false;
    DropConnections();
    m_service.reset();
    qunsetenv("KORVEL_SERVICE_URL");
    QVERIFY2(m_fatal->calls.empty(), m_fatal->calls.empty() ? "" : qPrintable(m_fatal->calls.front().message));
    m_fatal.reset();
    m_root.reset();
    SetScreenSizeOverride(QSize());
}

void TestMainWindow::StartService()
{
    m_service = std::make_unique<ServiceProcess>();
    QVERIFY2(m_service->Start(), qPrintable(m_service->LastError()));
    qputenv("KORVEL_SERVICE_URL", m_service->SyncUrl().toUtf8());
    // The internet probe asks the local service: this machine may have no way out.
    qputenv("KORVEL_REFERENCE_HOST", (u"127.0.0.1:"_s + QString::number(m_service->Port())).toUtf8());
    ResetConsecutiveFailures();
}

void TestMainWindow::firstStartThroughFirstRunAndLogin()
{
    QVERIFY(!QFile::exists(Paths.DatabaseFile));
    DialogDriver driver;
    driver.On("TfrmFirstRun", [](QWidget* w) {
        auto* setup = static_cast<TfrmFirstRun*>(w);
        setup->edtInmoCodigo->setText(u"7"_s);
        setup->edtUsr->setText(u"admin"_s);
        setup->edtPsw->setText(u"demo"_s);
        setup->btnOk->click();
    });
    driver.On("TfrmToS", AcceptTerms);
    driver.On("TfrmLogin", LogIn);

    QPointer<TfrmSplash> splash = new TfrmSplash;
    // The main window frees itself when it closes.
    QPointer<TfrmMain> window = new TfrmMain;
    bool started = false;
    splash->SetStartup(RunStartupSequence, [&] {
        started = true;
        window->show();
    });
    splash->show();
    SaveShot(splash, u"splash"_s);
    QTRY_VERIFY_WITH_TIMEOUT(started, 60000);
    QCOMPARE(driver.seen, (QStringList{u"TfrmFirstRun"_s, u"TfrmToS"_s, u"TfrmLogin"_s}));
    QVERIFY(window->isVisible());
    QTRY_VERIFY(splash.isNull());

    // The first synchronisation runs, counts down and hands over to the messages.
    QTRY_COMPARE_WITH_TIMEOUT(window->CurrentSection(), int(TfrmMain::SecNews), 60000);
    QVERIFY(!SyncInProgress);
    QVERIFY(!StartupSyncPending);
    QVERIFY(window->btnFLNews->isChecked());
    QVERIFY(!window->btnFLUpdate->isChecked());
    QVERIFY(window->mmoSyncLog->toPlainText().contains(u"Tiempo total"_s));
    QCOMPARE(window->lblSyncKorvelStatus->text(), u"OK"_s);
    QVERIFY(window->windowTitle().contains(CurrentBroker.Name));
    QCOMPARE(window->titBtnUpdate->text(), MainText::OnlineTitle);
    QVERIFY(DB() && DB()->Connected());
    QCOMPARE(SessionUserName, u"admin"_s);

    const std::pair<QPushButton*, const char*> sections[] = {{window->btnFLProps, "main-properties"},
                                                             {window->btnFLNews, "main-news"},
                                                             {window->btnFLBrokers, "main-agencies"},
                                                             {window->btnFLClients, "main-clients"},
                                                             {window->btnFLConfig, "main-configuration"}};
    for (const auto& [button, shot] : sections) {
        button->click();
        QCOMPARE(window->CurrentSection(), button->property("tag").toInt());
        int pressed = 0;
        for (QPushButton* b : {window->btnFLProps, window->btnFLNews, window->btnFLBrokers, window->btnFLClients,
                               window->btnFLUpdate, window->btnFLConfig})
            pressed += b->isChecked() ? 1 : 0;
        QCOMPARE(pressed, 1);
        QVERIFY(button->isChecked());
        SaveShot(window, QString::fromLatin1(shot));
    }
    // The section opens on the agency's own listings, a page at a time.
    window->btnFLProps->click();
    TPropertyList* list = window->PropertyList;
    QCOMPARE(list->CurrentMode(), int(TRMOwnAmpliado));
    const int own = list->ResultSet()->RecordCount();
    QVERIFY(own > list->PageSize());
    QCOMPARE(list->PageCountShown(), CeilDiv(own, list->PageSize()));
    QCOMPARE(list->lblPropPage->text(), PageLabelText(1, list->PageCountShown()));
    QCOMPARE(list->lstboxResult->count(), list->PageSize());
    QVERIFY(list->rectPropResultPages->isVisible());
    QVERIFY(!list->btnPropNavLeft->isEnabled() && list->btnPropNavRight->isEnabled());
    list->btnPropNavLast->click();
    QCOMPARE(list->CurrentPage(), list->PageCountShown());
    QCOMPARE(list->lstboxResult->count(), own - list->PageSize() * (list->PageCountShown() - 1));
    QVERIFY(!list->btnPropNavRight->isEnabled());
    // Ordering by price, then again the other way.
    list->OrderBy(u"Precio"_s);
    QCOMPARE(list->State(TListFamily::Own).SortKey, u"Precio"_s);
    QVERIFY(!list->State(TListFamily::Own).Descending);
    QCOMPARE(list->CurrentPage(), 1);
    list->OrderBy(u"Precio"_s);
    QVERIFY(list->State(TListFamily::Own).Descending);
    list->ResultSet()->First();
    const double highest = list->ResultSet()->AsFloat(u"Prop_PrecioPesos"_s);
    list->ResultSet()->Last();
    QVERIFY(highest >= list->ResultSet()->AsFloat(u"Prop_PrecioPesos"_s));
    list->btnPropListSummary->click();
    QCOMPARE(list->CurrentMode(), int(TRMOwnResumido));
    QVERIFY(list->rectHeaderOwnRes->isVisible());
    SaveShot(window, u"main-properties-summary"_s);
    list->btnPropListExpanded->click();
    QCOMPARE(list->CurrentMode(), int(TRMOwnAmpliado));
    SaveShot(window, u"main-properties-expanded"_s);

    // A row opens its card; the keys step through the list; back returns to the row's page.
    list->btnPropNavFirst->click();
    const QStringList codes = list->PageCodes();
    QListWidgetItem* second = list->lstboxResult->item(1);
    Q_EMIT list->lstboxResult->itemClicked(second);
    QCOMPARE(window->ResultMode, int(TRMFicha));
    QVERIFY(window->PropertyCard->isVisible() && !list->isVisible());
    QCOMPARE(QString::number(window->PropertyCard->PropertyCode()), codes[1]);
    SaveShot(window, u"main-property-card"_s);
    QTest::keyClick(window, Qt::Key_PageDown);
    QCOMPARE(QString::number(window->PropertyCard->PropertyCode()), codes[2]);
    window->btnPropCardBack->click();
    QVERIFY(list->isVisible() && !window->PropertyCard->isVisible());
    QCOMPARE(list->CurrentPage(), 1);
    QCOMPARE(window->ResultMode, list->CurrentMode());

    // The quick search by code: agency, hyphen and sequence, or the sequence alone.
    list->ResultSet()->First();
    const qint64 someCode = list->ResultSet()->AsInt64(u"Prop_Codigo"_s);
    QTest::keyClicks(window->edtPropSearch, FormatCode(someCode));
    QTest::keyClick(window->edtPropSearch, Qt::Key_Return);
    QCOMPARE(list->CurrentMode(), int(TRMSrchAmpliado));
    QCOMPARE(list->PageCodes(), QStringList{QString::number(someCode)});
    QVERIFY(list->btnPropListCancel->isVisible());
    QVERIFY(list->QuickSearch(QString::number(someCode % 100000)));
    QCOMPARE(list->PageCodes(), QStringList{QString::number(someCode)});
    QVERIFY(list->QuickSearch(u"\"; DROP TABLE x; --"_s));
    QCOMPARE(list->ResultSet()->RecordCount(), 0);
    QCOMPARE(list->CurrentMode(), int(TRMNone));
    QVERIFY(!list->QuickSearch(u"   "_s));
    list->btnPropListCancel->click();
    QCOMPARE(list->CurrentMode(), int(TRMOwnAmpliado));

    // A search from the filter panel: the default filter of current listings.
    window->FilterPanel->Reset(true);
    window->FilterPanel->findChild<QPushButton*>(u"btnFilterApply"_s)->click();
    QCOMPARE(list->CurrentMode(), int(TRMAmpliado));
    QVERIFY(list->ResultSet()->RecordCount() > 0);
    QCOMPARE(list->lblPropListTitle->text(), u"Resultado de la búsqueda: "_s);
    SaveShot(window, u"main-filter-results"_s);
    window->FilterPanel->findChild<QPushButton*>(u"btnFilterCancel"_s)->click();
    QCOMPARE(list->CurrentMode(), int(TRMOwnAmpliado));

    // Marking from a row, the marked list, and unmarking there.
    QVERIFY(!window->btnSLPropMarks->isEnabled());
    auto* box = list->lstboxResult->itemWidget(list->lstboxResult->item(0))->findChild<QCheckBox*>(u"chkMark"_s);
    QVERIFY(box && !box->isChecked());
    const qint64 marked = list->PageCodes().first().toLongLong();
    box->click();
    QVERIFY(Marks().IsMarked(marked));
    QCOMPARE(window->lblBtnPropMarks2->text(), u"1 propiedad"_s);
    window->btnSLPropMarks->click();
    QCOMPARE(list->CurrentMode(), int(TRMMarkAmpliado));
    QCOMPARE(list->PageCodes(), QStringList{QString::number(marked)});
    QCOMPARE(list->lblPropListTitle->text(), u"Marcadas: "_s);
    list->lstboxResult->itemWidget(list->lstboxResult->item(0))->findChild<QCheckBox*>(u"chkMark"_s)->click();
    QTRY_COMPARE(list->ResultSet()->RecordCount(), 0);
    QVERIFY(!Marks().IsMarked(marked));
    QVERIFY(list->lblEmptyList->isVisible());
    QCOMPARE(list->lblEmptyList->text(), u"No hay propiedades marcadas"_s);
    QVERIFY(!window->btnSLPropMarks->isEnabled());
    window->btnFLProps->click();

    // The property view's keys act only while it shows.
    QList<int> steps;
    connect(window, &TfrmMain::PropertyStep, this, [&](int step) { steps << step; });
    window->btnFLProps->click();
    for (const Qt::Key key : {Qt::Key_PageDown, Qt::Key_PageUp, Qt::Key_End, Qt::Key_Home})
        QTest::keyClick(window, key);
    window->btnFLNews->click();
    QTest::keyClick(window, Qt::Key_PageDown);
    QCOMPARE(steps, (QList<int>{TfrmMain::StepNext, TfrmMain::StepPrevious, TfrmMain::StepLast, TfrmMain::StepFirst}));

    for (const char* name : {"lstboxResult", "edtPropSearch", "edtFilterTexto"})
        QVERIFY2(window->findChild<QWidget*>(QString::fromLatin1(name)), name);
    QCOMPARE(window->findChild<QLineEdit*>(u"edtFilterTexto"_s)->maxLength(), 255);

    // A run by the button ends with its finished message, no count-down.
    window->btnFLUpdate->click();
    QCOMPARE(window->CurrentSection(), int(TfrmMain::SecSync));
    QVERIFY(!SyncInProgress);
    QCOMPARE(window->lblSyncMessage->text(), MainText::Finished);
    QVERIFY(!window->timerCountDown->isActive());
    SaveShot(window, u"main-synchronisation"_s);

    ForceClose = true;
    window->close();
    QTRY_VERIFY(window.isNull());
    QVERIFY(!DB());
}

void TestMainWindow::secondStartSkipsTheFirstRun()
{
    QVERIFY(Install());
    DialogDriver driver;
    driver.On("TfrmLogin", LogIn);
    driver.On("TfrmFirstRun", [](QWidget* w) { static_cast<TfrmFirstRun*>(w)->btnCancel->click(); });
    TfrmSplash splash;
    splash.tmrStart->stop();
    QVERIFY(RunStartupSequence());
    QCOMPARE(driver.seen, QStringList{u"TfrmLogin"_s});
    QVERIFY(!splash.ShowingFinalMessage());
    QCOMPARE(CurrentAgencyCode(), 7);
    QCOMPARE(CurrentBroker.Code, 7);
    QVERIFY(SyncEnabled);
    QVERIFY(StartupSyncPending);
}

void TestMainWindow::startRefusals_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("logged");
    QTest::newRow("screen too narrow") << u"narrow"_s << StartupText::ScreenTooSmall << true;
    QTest::newRow("screen too low") << u"low"_s << StartupText::ScreenTooSmall << true;
    QTest::newRow("failed change") << u"failed change"_s << StartupText::FailedChange << true;
    QTest::newRow("photo folder") << u"photo folder"_s << StartupText::PhotoFolder << true;
    QTest::newRow("setup cancelled") << u"setup cancelled"_s << StartupText::SetupCancelled << true;
    QTest::newRow("database unreadable") << u"garbage"_s << StartupText::CannotOpen << false;
    QTest::newRow("database not encrypted") << u"plain"_s << StartupText::NotEncrypted << false;
    QTest::newRow("agency missing") << u"agency"_s << StartupText::AgencyMissing << true;
    QTest::newRow("terms never accepted") << u"terms"_s << TermsText::NotAccepted << true;
}

void TestMainWindow::startRefusals()
{
    QFETCH(QString, situation);
    QFETCH(QString, message);
    QFETCH(bool, logged);
    const auto setting = [](const QString& sql) {
        QVERIFY(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
        int rows = 0;
        QVERIFY(DB()->Exec(sql, rows));
        CloseDatabase();
    };
    if (situation == u"narrow"_s)
        SetScreenSizeOverride(QSize(1007, 800));
    else if (situation == u"low"_s)
        SetScreenSizeOverride(QSize(1024, 525));
    else if (situation == u"failed change"_s)
        QVERIFY(WriteBytesFile(Paths.DataFolder + Config::FailedChangeFileName, "x"));
    else if (situation == u"photo folder"_s) {
        QDir(Paths.PhotoFolder).removeRecursively();
        QVERIFY(WriteBytesFile(QDir::cleanPath(Paths.PhotoFolder), "not a folder"));
    } else if (situation == u"garbage"_s)
        QVERIFY(WriteBytesFile(Paths.DatabaseFile, QByteArray(8192, 'k')));
    else if (situation == u"plain"_s)
        QVERIFY(CreateDatabaseFile(Paths.DatabaseFile, QString()));
    else if (situation == u"agency"_s || situation == u"terms"_s) {
        QVERIFY(Install());
        setting(situation == u"agency"_s ? u"DELETE FROM `W_Inmobiliarias` WHERE `Inmo_Codigo`=7;"_s
                                         : u"UPDATE `W_System` SET `%1`=\"0\";"_s.arg(Setting::AcceptedTermsVersion));
    }
    DialogDriver driver;
    driver.On("TfrmLogin", LogIn);
    driver.On("TfrmFirstRun", [](QWidget* w) { static_cast<TfrmFirstRun*>(w)->btnCancel->click(); });

    TfrmSplash splash;
    splash.tmrStart->stop();
    splash.show();
    QVERIFY(!RunStartupSequence());
    QVERIFY(splash.ShowingFinalMessage());
    QVERIFY(splash.isVisible());
    QCOMPARE(splash.lblStatus->text(), message);
    QVERIFY(splash.lblStatus->styleSheet().contains(u"#ea1515"_s, Qt::CaseInsensitive));
    QVERIFY(splash.btnNo->isVisible());
    QCOMPARE(splash.btnNo->text(), u"Cerrar"_s);
    QCOMPARE(LogHas(*m_root, u"$0001"_s, message.section(u'\n', 0, 0)), logged);
    if (situation == u"setup cancelled"_s)
        QVERIFY(!QFile::exists(Paths.DatabaseFile));
    if (situation == u"narrow"_s)
        SaveShot(&splash, u"splash-refusal"_s);
    splash.btnNo->click();
    QVERIFY(!splash.isVisible());
}

void TestMainWindow::dateFormatCheck()
{
    QVERIFY(DateFormatUsable(AppFormatSettings));
    TFormatSettings broken = AppFormatSettings;
    broken.ShortDateFormat = u"yyyy-mm"_s;
    QVERIFY(!DateFormatUsable(broken));
    broken.ShortDateFormat.clear();
    QVERIFY(!DateFormatUsable(broken));
}

void TestMainWindow::updateCancelledEndsTheStart()
{
    // A service that offers a newer build; the download is cancelled. What it offers is no
    // program, so nothing could start even if the cancel came too late.
    const QString offered = m_root->Path() + u"offered.bin"_s;
    QVERIFY(WriteBytesFile(offered, QByteArray(4096, 'p')));
    DropConnections();
    ServiceOptions options;
    options.arguments = {u"--program"_s,         offered,
                         u"--program-version"_s, u"9.9.9"_s,
                         u"--program-notes"_s,   u"Novedades de la versión 9.9.9"_s};
    m_service = std::make_unique<ServiceProcess>(options);
    QVERIFY2(m_service->Start(), qPrintable(m_service->LastError()));
    qputenv("KORVEL_SERVICE_URL", m_service->SyncUrl().toUtf8());
    QVERIFY(Install());
    QVERIFY(m_service->InjectFault(u"program"_s, u"delay"_s, 3000, 1));
    DialogDriver driver;
    driver.On("TfrmLogin", LogIn);
    QTimer cancel;
    connect(&cancel, &QTimer::timeout, this, [&] {
        auto* update = qobject_cast<TfrmDownload*>(QApplication::activeModalWidget());
        if (update && TransferInProgress()) {
            cancel.stop();
            update->btnCancel->click();
        }
    });
    cancel.start(20);
    TfrmSplash splash;
    splash.tmrStart->stop();
    splash.show();
    QVERIFY(!RunStartupSequence());
    QCOMPARE(driver.seen, QStringList{u"TfrmLogin"_s});
    QCOMPARE(splash.lblStatus->text(), StartupText::UpdateCancelled);
    QVERIFY(splash.ShowingFinalMessage());
    QVERIFY(LogHas(*m_root, u"$0001"_s, u"9.9.9"_s));
    QCOMPARE(ReadSetting(Setting::ShowChangeLog), u"True"_s);
    QVERIFY(ReadSetting(Setting::ChangeLog).contains(u"Novedades"_s));
}

void TestMainWindow::changeLogShownOnce()
{
    QVERIFY(Install());
    QVERIFY(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    QVERIFY(WriteSetting(Setting::ChangeLog, u"Cambios de esta versión."_s));
    QVERIFY(WriteSetting(Setting::ShowChangeLog, u"1"_s));
    CloseDatabase();
    int changeLogMode = 0;
    DialogDriver driver;
    driver.On("TfrmLogin", LogIn);
    driver.On("TfrmToS", [&](QWidget* w) {
        auto* terms = static_cast<TfrmToS*>(w);
        // The version check stores the service's change log before it is shown.
        changeLogMode += terms->Mode() == TfrmToS::ModeChangeLog &&
                         terms->mmoTOS->toPlainText().startsWith(ReadSetting(Setting::ChangeLog));
        terms->btnOk->click();
    });
    TfrmSplash splash;
    splash.tmrStart->stop();
    QVERIFY(RunStartupSequence());
    QCOMPARE(driver.seen, (QStringList{u"TfrmLogin"_s, u"TfrmToS"_s}));
    QCOMPARE(changeLogMode, 1);
    CloseDatabase();
    QVERIFY(RunStartupSequence());
    QCOMPARE(driver.seen, (QStringList{u"TfrmLogin"_s, u"TfrmToS"_s, u"TfrmLogin"_s}));
}

void TestMainWindow::openingSizes_data()
{
    QTest::addColumn<int>("screenHeight");
    QTest::addColumn<QSize>("opened");
    QTest::newRow("800") << 800 << QSize(1008, 718);
    QTest::newRow("600") << 600 << QSize(1008, 600);
    QTest::newRow("500") << 500 << QSize(1008, 526);
}

void TestMainWindow::openingSizes()
{
    QFETCH(int, screenHeight);
    QFETCH(QSize, opened);
    SetScreenSizeOverride(QSize(1280, screenHeight));
    TfrmMain window;
    QCOMPARE(window.size(), opened);
    window.resize(900, 400);
    QCOMPARE(window.size(), QSize(1008, 526));
    QVERIFY(!window.layoutFirstLevel->isVisibleTo(&window));
}

void TestMainWindow::sectionsAndOfflineStart()
{
    QVERIFY(Install());
    QVERIFY(OpenAndLogIn());
    // Offline from the start: the messages section, no synchronisation.
    SyncEnabled = false;
    StartupSyncPending = true;
    TfrmMain window;
    window.show();
    QTRY_COMPARE(window.CurrentSection(), int(TfrmMain::SecNews));
    QVERIFY(!StartupSyncPending);
    QVERIFY(window.layoutFirstLevel->isVisible());
    QCOMPARE(window.titBtnUpdate->text(), MainText::OfflineTitle);
    QCOMPARE(window.ConnectionState(), 0);
    QVERIFY(window.btnFLNews->isChecked());

    // The update button tests the connection instead of opening its section.
    ScriptedAnswerer messages;
    window.btnFLUpdate->click();
    QCOMPARE(window.CurrentSection(), int(TfrmMain::SecNews));
    QVERIFY(!window.btnFLUpdate->isChecked());
    QVERIFY(SyncEnabled);
    QCOMPARE(window.ConnectionState(), 1);
    QCOMPARE(window.titBtnUpdate->text(), MainText::OnlineTitle);

    // With the service gone the test fails and arms the next one.
    SyncEnabled = false;
    window.SetConnectionState(0);
    DropConnections();
    m_service->Stop();
    window.btnFLUpdate->click();
    QVERIFY(!SyncEnabled);
    QCOMPARE(window.ConnectionState(), 0);
    QVERIFY(window.timerTestConnection->isActive());
    QCOMPARE(window.CurrentSection(), int(TfrmMain::SecNews));
    ForceClose = true;
}

void TestMainWindow::pendingChangesBadge()
{
    QVERIFY(Install());
    QVERIFY(OpenAndLogIn());
    TfrmMain window;
    const auto addClients = [](int count) {
        for (int i = 0; i < count; ++i) {
            int rows = 0;
            QVERIFY(DB()->Exec(u"INSERT INTO `W_Clientes` (`Cli_Codigo`, `Inmo_Codigo`, `Cli_Nombre`, `Cli_Estado`, "
                               u"`Cli_Activo`) VALUES (%1, 7, \"Cliente %1\", \"AM\", 1);"_s.arg(2147473700 + i),
                               rows));
        }
    };
    window.RefreshCounters();
    QVERIFY(window.rectBadge->isHidden());
    const std::pair<int, int> steps[] = {{5, 1}, {12, 2}, {120, 3}};
    int total = 0;
    for (const auto& [count, characters] : steps) {
        int rows = 0;
        QVERIFY(DB()->Exec(u"DELETE FROM `W_Clientes` WHERE `Cli_Codigo` >= 2147473700;"_s, rows));
        addClients(count);
        total = count;
        window.RefreshCounters();
        QVERIFY(!window.rectBadge->isHidden());
        QCOMPARE(window.lblBadge->text(), QString::number(total));
        QCOMPARE(window.rectBadge->property("characters").toInt(), characters);
    }
}

void TestMainWindow::closeRequest()
{
    QVERIFY(Install());
    QVERIFY(OpenAndLogIn());
    SyncEnabled = true;
    ScriptedAnswerer messages;
    QPointer<TfrmMain> main = new TfrmMain;
    TfrmMain& window = *main;
    window.show();
    window.timerStart->stop();

    SyncInProgress = true;
    window.close();
    QVERIFY(window.isVisible());
    QCOMPARE(messages.shown.size(), size_t(1));
    QCOMPARE(messages.shown[0].text, MainText::WaitForSync + u'\n' + u"para poder cerrar el sistema."_s);
    SyncInProgress = false;

    window.CliEditing = true;
    window.close();
    QVERIFY(window.isVisible());
    QCOMPARE(messages.shown.back().text, MainText::SaveClient + u'\n' + u"para poder cerrar el sistema."_s);
    window.CliEditing = false;

    // Pending changes: the dialog offers to send them; sending closes the program after the run.
    TStatusAnswer validation;
    QCOMPARE(RequestValidationKey(CurrentSessionValues(), u"DEMO0007"_s, validation), QString());
    int rows = 0;
    QVERIFY(DB()->Exec(u"INSERT INTO `W_Clientes` (`Cli_Codigo`, `Inmo_Codigo`, `Cli_Nombre`, `Cli_Estado`, "
                       u"`Cli_Activo`, `Cli_CodigoGeneracion`) VALUES (2147473700, 7, \"Nuevo cliente\", \"AM\", 1, "
                       u"\"000720121000000000012345\");"_s,
                       rows));
    DialogDriver driver;
    driver.On("TfrmSyncDlg", [](QWidget* w) { static_cast<TfrmSyncDlg*>(w)->btnOk->click(); });
    QTimer::singleShot(0, &window, [&] { window.close(); });
    QTRY_VERIFY_WITH_TIMEOUT(ForceClose, 30000);
    QCOMPARE(driver.seen, QStringList{u"TfrmSyncDlg"_s});
    QTRY_VERIFY(main.isNull());
}

void TestMainWindow::offlineAfterThreeFailuresAndBack()
{
    QVERIFY(Install());
    QVERIFY(OpenAndLogIn());
    SyncEnabled = true;
    TimerIntervals().ConnectionTest = std::chrono::milliseconds(300);
    TfrmMain window;
    window.show();
    window.timerStart->stop();
    window.layoutFirstLevel->show();
    QVERIFY(m_service->InjectFault(u"*"_s, u"close"_s, 0, 3));
    for (int run = 0; run < 3; ++run) {
        window.btnFLUpdate->click();
        QVERIFY(!SyncInProgress);
        QVERIFY(window.btnSyncMsgClose->isVisible());
    }
    QVERIFY(!SyncEnabled);
    QCOMPARE(window.titBtnUpdate->text(), MainText::OfflineTitle);
    QVERIFY(window.timerTestConnection->isActive());
    // The next test finds the service again.
    QTRY_VERIFY_WITH_TIMEOUT(SyncEnabled, 5000);
    QCOMPARE(window.ConnectionState(), 1);
    QCOMPARE(window.titBtnUpdate->text(), MainText::OnlineTitle);
    TimerIntervals().ConnectionTest = std::chrono::milliseconds(900000);
    ForceClose = true;
}

void TestMainWindow::validationBeforeSendingChanges()
{
    QVERIFY(Install());
    QVERIFY(OpenAndLogIn());
    SyncEnabled = true;
    TfrmMain window;
    window.show();
    window.timerStart->stop();
    window.layoutFirstLevel->show();
    int rows = 0;
    QVERIFY(DB()->Exec(u"INSERT INTO `W_Clientes` (`Cli_Codigo`, `Inmo_Codigo`, `Cli_Nombre`, `Cli_Estado`, "
                       u"`Cli_Activo`, `Cli_CodigoGeneracion`) VALUES (2147473700, 7, \"Nuevo cliente\", \"AM\", 1, "
                       u"\"000720121000000000012345\");"_s,
                       rows));

    // A new installation must be validated before it sends anything.
    window.btnFLUpdate->click();
    QVERIFY(window.layoutSyncFW->isVisible());
    QVERIFY(!SyncInProgress);
    QVERIFY(HasPendingChanges());
    SaveShot(&window, u"main-validation"_s);

    const QString drawn = DrawnCode(window.CaptchaDigestKept());
    QVERIFY(!drawn.isEmpty());
    window.edtSyncFwKey->setText(u"demo0007"_s);
    window.edtSyncFwCode->setText(drawn == u"AAAA"_s ? u"BBBB"_s : u"AAAA"_s);
    window.btnSyncFWLogin->click();
    QCOMPARE(window.lblSyncMessage->text(), MainText::CodeInvalid);
    QVERIFY(window.btnSyncMsgClose->isVisible());

    window.btnSyncMsgClose->click();
    QVERIFY(window.layoutSyncFW->isVisible());
    const QString again = DrawnCode(window.CaptchaDigestKept());
    window.edtSyncFwKey->setText(u"demo0007"_s);
    window.edtSyncFwCode->setText(again.toLower());
    window.btnSyncFWLogin->click();
    QVERIFY(window.mmoSyncLog->toPlainText().contains(MainText::Validated) || !HasPendingChanges());
    QCOMPARE(window.lblSyncMessage->text(), MainText::Finished);
    QVERIFY(!HasPendingChanges());
    // The client came back from the service under the service's own code.
    std::unique_ptr<TResultSet> back;
    QVERIFY(DB()->Query(u"SELECT `Cli_Codigo` FROM `W_Clientes` WHERE `Cli_Nombre`=\"Nuevo cliente\";"_s, back, rows));
    QCOMPARE(rows, 1);
    const qint64 code = back->AsInt64(u"Cli_Codigo"_s);
    QVERIFY2(code > 0 && code < 2147473647, qPrintable(window.mmoSyncLog->toPlainText()));

    // The maintenance text gets its hint and no way to retry at once.
    window.ShowSyncMessage(Wire::ServiceMaintenance, true, true, true);
    QVERIFY(window.lblSyncMessage->text().startsWith(Wire::ServiceMaintenance + u"\n\n"_s));
    QVERIFY(!window.btnSyncMsgClose->isVisible());
    QVERIFY(window.imgSyncMessageAlert->isVisible());
    ForceClose = true;
}

// Records the documents the desktop would open.
class OpenedUrls : public QObject {
    Q_OBJECT
public:
    OpenedUrls() { QDesktopServices::setUrlHandler(u"file"_s, this, "Open"); }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler(u"file"_s); }
    QList<QUrl> urls;
public Q_SLOTS:
    void Open(const QUrl& url) { urls << url; }
};

void TestMainWindow::helpDocument()
{
    QVERIFY(Install());
    QVERIFY(OpenAndLogIn());
    SyncEnabled = true;
    ScriptedAnswerer messages;
    OpenedUrls opened;
    TfrmMain window;
    window.show();
    window.timerStart->stop();
    window.layoutFirstLevel->show();
    QVERIFY(!QFile::exists(HelpDocumentFile()));
    window.btnFLHelp->click();
    QVERIFY(QFile::exists(HelpDocumentFile()));
    QCOMPARE(ReadSetting(Setting::HelpVersion), u"1"_s);
    QCOMPARE(opened.urls, QList<QUrl>{QUrl::fromLocalFile(HelpDocumentFile())});
    QVERIFY(messages.shown.empty());
    QVERIFY(window.rectPhotoDwl->isHidden());
    QVERIFY(window.layoutMain->isEnabled());

    // The service failing: its text is shown, the copy at hand still opens.
    QVERIFY(m_service->InjectRefusal(u"help"_s, u"La ayuda no está disponible."_s, 1));
    window.btnFLHelp->click();
    QCOMPARE(messages.shown.size(), size_t(1));
    QCOMPARE(messages.shown[0].text, u"La ayuda no está disponible."_s);
    QCOMPARE(opened.urls.size(), 2);
    ForceClose = true;
}

void TestMainWindow::closingAsksAboutMarks()
{
    QVERIFY(Install());
    QVERIFY(OpenAndLogIn());
    SyncEnabled = false;
    QPointer<TfrmMain> main = new TfrmMain;
    main->show();
    QTRY_VERIFY(main->layoutFirstLevel->isVisible());
    std::unique_ptr<TResultSet> rows;
    int count = 0;
    QVERIFY(DB()->Query(u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Prop_Estado`=2 LIMIT 2;"_s, rows, count));
    for (rows->First(); !rows->Eof(); rows->Next())
        QVERIFY(Marks().Mark(rows->AsInt64(u"Prop_Codigo"_s)));
    QCOMPARE(Marks().Count(), 2);

    // Yes to closing, No to keeping the marks: the user's rows are gone.
    int asked = 0;
    struct Answers : TMessageAnswerer {
        int* asked;
        bool Answer(TMessageKind, const QString&, const QString& text) override
        {
            ++*asked;
            return text != MainText::KeepMarks;
        }
    } answers;
    answers.asked = &asked;
    SetMessageAnswerer(&answers);
    main->close();
    SetMessageAnswerer(nullptr);
    QCOMPARE(asked, 2);
    QTRY_VERIFY(main.isNull());
    QVERIFY(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    QVERIFY(DB()->Query(u"SELECT COUNT(*) AS n FROM `W_Marcas` WHERE `Usuario_Codigo`=%1;"_s.arg(SessionUserCode), rows,
                        count));
    QCOMPARE(rows->AsInt64(u"n"_s), qint64(0));
}

QTEST_MAIN(TestMainWindow)
#include "test_MainWindow.moc"
