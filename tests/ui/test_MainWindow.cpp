#include "app/Startup.h"
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "records/BrokerData.h"
#include "records/UserData.h"
#include "search/Filter.h"
#include "search/Marks.h"
#include "support/ClientSetup.h"
#include "support/DialogDriver.h"
#include "support/ProgramFixture.h"
#include "support/Screenshot.h"
#include "support/ServiceProcess.h"
#include "support/TestRoot.h"
#include "sync/Captcha.h"
#include "sync/Dwl.h"
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
#include "ui/Style.h"
#include "ui/TfrmMain.h"
#include "ui/TfrmSplash.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <map>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

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

QString DrawnCode(const QString& digest)
{
    return DrawnCaptchaCode(digest);
}

// Clicks a widget as a person does: in its middle, with the left button.
void Click(QWidget* widget)
{
    QVERIFY2(widget, "no widget to click");
    QVERIFY2(widget->isVisible(), qPrintable(widget->objectName() + u" is not visible"_s));
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

template <typename T> T* Child(QWidget* parent, const char* name)
{
    return parent->findChild<T*>(QString::fromLatin1(name));
}

// The mark box of the n-th row that can be marked (withdrawn listings cannot).
QCheckBox* MarkBox(TPropertyList* list, int n)
{
    for (int row = 0; row < list->lstboxResult->count(); ++row) {
        QWidget* widget = list->lstboxResult->itemWidget(list->lstboxResult->item(row));
        auto* box = widget ? widget->findChild<QCheckBox*>(u"chkMark"_s) : nullptr;
        if (box && box->isEnabled() && n-- == 0)
            return box;
    }
    return nullptr;
}

QString FocusName()
{
    return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
}

void ShotsAtSizes(TfrmMain* window, const QString& name)
{
    for (const QSize& size : {QSize(1024, 768), QSize(1366, 768), QSize(1920, 1080)}) {
        window->resize(size);
        QTest::qWait(30);
        SaveShot(window, u"%1-%2x%3"_s.arg(name).arg(size.width()).arg(size.height()));
    }
    window->resize(1024, 768);
    QTest::qWait(30);
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

    void propertiesReadyAfterLogin();
    void quickSearchAndFilterRules();

    void firstStartThroughFirstRunAndLogin();
    void secondStartSkipsTheFirstRun();
    void startRefusals_data();
    void startRefusals();
    void dateFormatCheck();
    void updateCancelledEndsTheStart();
    void unsignedUpdateIsRefusedAndTheStartGoesOn();
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
    // The program starts from an installed demo agency and logs admin in.
    TfrmMain* StartProgram(ProgramFixture::Options options = {});
    std::unique_ptr<ProgramFixture> m_program;
};

void TestMainWindow::init()
{
    m_program = std::make_unique<ProgramFixture>();
    QVERIFY2(m_program->Error().isEmpty(), qPrintable(m_program->Error()));
    SetScreenSizeOverride(QSize(1280, 800));
}

void TestMainWindow::cleanup()
{
    const auto calls = m_program->Fatal().calls;
    m_program.reset();
    QVERIFY2(calls.empty(), calls.empty() ? "" : qPrintable(calls.front().message));
}

TfrmMain* TestMainWindow::StartProgram(ProgramFixture::Options options)
{
    if (!m_program->Install())
        return nullptr;
    TfrmMain* window = m_program->Start(options);
    if (!window)
        qWarning("%s", qPrintable(m_program->Error()));
    return window;
}

void TestMainWindow::firstStartThroughFirstRunAndLogin()
{
    QVERIFY(!QFile::exists(Paths.DatabaseFile));
    ProgramFixture::Options options;
    options.firstSync = true;
    options.dialogs = [](DialogDriver& driver) {
        driver.On("TfrmFirstRun", [](QWidget* w) {
            auto* setup = static_cast<TfrmFirstRun*>(w);
            setup->edtInmoCodigo->setText(u"7"_s);
            setup->edtUsr->setText(u"admin"_s);
            setup->edtPsw->setText(u"demo"_s);
            setup->btnOk->click();
        });
        driver.On("TfrmToS", AcceptTerms);
    };
    QPointer<TfrmMain> window = m_program->Start(options);
    QVERIFY2(window, qPrintable(m_program->Error()));
    QCOMPARE(m_program->DialogsSeen(), (QStringList{u"TfrmFirstRun"_s, u"TfrmToS"_s, u"TfrmLogin"_s}));
    QVERIFY(window->isVisible());
    QTRY_VERIFY(!Splash());

    // The first synchronisation runs, counts down and hands over to the messages.
    QTRY_COMPARE_WITH_TIMEOUT(window->CurrentSection(), int(TfrmMain::SecNews), 60000);
    QVERIFY(!SyncInProgress);
    QVERIFY(!StartupSyncPending);
    QVERIFY(window->btnFLNews->isChecked());
    QVERIFY(!window->btnFLUpdate->isChecked());
    QVERIFY(window->mmoSyncLog->toPlainText().contains(u"Tiempo total"_s));
    // The first run recorded the version of its import, so the first synchronisation asks
    // only for what changed since and downloads nothing again.
    const QString firstSyncLog = window->mmoSyncLog->toPlainText();
    QVERIFY2(firstSyncLog.contains(u"Los datos están actualizados."_s), qPrintable(firstSyncLog));
    QVERIFY2(!firstSyncLog.contains(u" registros"_s), qPrintable(firstSyncLog));
    QVERIFY(ReadSetting(Setting::DataVersion).toInt() > 0);
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
        Click(button);
        QCOMPARE(window->CurrentSection(), button->property("tag").toInt());
        int pressed = 0;
        for (QPushButton* b : {window->btnFLProps, window->btnFLNews, window->btnFLBrokers, window->btnFLClients,
                               window->btnFLUpdate, window->btnFLConfig})
            pressed += b->isChecked() ? 1 : 0;
        QCOMPARE(pressed, 1);
        QVERIFY(button->isChecked());
        SaveShot(window, QString::fromLatin1(shot));
    }
    for (const char* name : {"lstboxResult", "edtPropSearch", "edtFilterTexto"})
        QVERIFY2(window->findChild<QWidget*>(QString::fromLatin1(name)), name);
    QCOMPARE(window->findChild<QLineEdit*>(u"edtFilterTexto"_s)->maxLength(), 255);

    // A run by the button ends with its finished message, no count-down.
    Click(window->btnFLUpdate);
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

void TestMainWindow::propertiesReadyAfterLogin()
{
    // The agency keeps "Activas" as the choice of its own list.
    QVERIFY(m_program->Install());
    QVERIFY(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    QVERIFY(WriteSetting(Setting::DefaultOwnFilter, u"1"_s));
    CloseDatabase();
    ScriptedAnswerer messages;
    QPointer<TfrmMain> window = m_program->Start();
    QVERIFY2(window, qPrintable(m_program->Error()));
    Click(window->btnFLProps);
    QCOMPARE(window->CurrentSection(), int(TfrmMain::SecProps));
    TPropertyList* list = window->PropertyList;
    QCOMPARE(list->CurrentMode(), int(TRMOwnAmpliado));
    QCOMPARE(list->cboOwnFastFilter->currentIndex(), 1);
    QCOMPARE(qint64(list->ResultSet()->RecordCount()),
             ReadCount(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Inmo_Codigo`=7 AND `Prop_Estado`=2 AND "
                       u"`StandBy_Codigo`=1;"_s));
    ShotsAtSizes(window, u"main-properties-own"_s);

    // The filter panel is prepared from the data: lists, currencies and ranges up to the
    // data's date.
    TFilterPanel* panel = window->FilterPanel;
    const QDate dataDate = LastSyncTime().date();
    QVERIFY(dataDate > QDate(1992, 8, 1));
    QVERIFY(Child<QListWidget>(panel, "lstboxFilter1")->count() >= 5);
    QVERIFY(Child<QComboBox>(panel, "cboFilterMoneda")->count() > 0);
    for (const char* name : {"edtFilterIngresoHasta", "edtFilterModHasta"}) {
        QCOMPARE(Child<QDateEdit>(panel, name)->date(), dataDate);
        QCOMPARE(Child<QDateEdit>(panel, name)->maximumDate(), dataDate);
    }
    QCOMPARE(Child<QLineEdit>(panel, "edtFilterAnoHasta")->text(), QString::number(dataDate.year()));
    ShotsAtSizes(window, u"filter-panel"_s);

    // "Aplicar filtro" with the filter as the program left it finds the current listings.
    Click(Child<QPushButton>(panel, "btnFilterApply"));
    QCOMPARE(list->CurrentMode(), int(TRMAmpliado));
    QVERIFY(list->ResultSet()->RecordCount() > list->PageSize());
    QVERIFY(messages.shown.empty());
    ShotsAtSizes(window, u"main-filter-results"_s);
    Click(list->btnPropListSummary);
    QCOMPARE(list->CurrentMode(), int(TRMResumido));
    ShotsAtSizes(window, u"main-filter-results-summary"_s);
    Click(list->btnPropListExpanded);

    // Page Down with the focus in the list shows the next page.
    list->lstboxResult->setFocus(Qt::MouseFocusReason);
    QCOMPARE(FocusName(), u"lstboxResult"_s);
    ProgramFixture::Key(Qt::Key_PageDown);
    QCOMPARE(list->CurrentPage(), 2);
    QCOMPARE(FocusName(), u"lstboxResult"_s);
    ProgramFixture::Key(Qt::Key_PageUp);
    QCOMPARE(list->CurrentPage(), 1);

    // A row's card, and the card's keys.
    const QStringList codes = list->PageCodes();
    QTest::mouseClick(list->lstboxResult->viewport(), Qt::LeftButton, {},
                      list->lstboxResult->visualItemRect(list->lstboxResult->item(1)).center());
    QCOMPARE(window->ResultMode, int(TRMFicha));
    QCOMPARE(QString::number(window->PropertyCard->PropertyCode()), codes[1]);
    ShotsAtSizes(window, u"main-property-card"_s);
    ProgramFixture::Key(Qt::Key_PageDown);
    QCOMPARE(QString::number(window->PropertyCard->PropertyCode()), codes[2]);
    Click(window->btnPropCardBack);
    QCOMPARE(list->CurrentPage(), 1);

    // The marked list switches between its two layouts.
    Click(MarkBox(list, 0));
    QCOMPARE(window->lblBtnPropMarks2->text(), u"1 propiedad"_s);
    Click(window->btnSLPropMarks);
    QCOMPARE(list->CurrentMode(), int(TRMMarkAmpliado));
    Click(list->btnPropListSummary);
    QCOMPARE(list->CurrentMode(), int(TRMMarkResumido));
    Click(list->btnPropListExpanded);
    QCOMPARE(list->CurrentMode(), int(TRMMarkAmpliado));
}

void TestMainWindow::quickSearchAndFilterRules()
{
    ScriptedAnswerer messages;
    QPointer<TfrmMain> window = StartProgram();
    QVERIFY(window);
    Click(window->btnFLProps);
    TPropertyList* list = window->PropertyList;
    TFilterPanel* panel = window->FilterPanel;

    // Letters, digits, blanks and "-" only; a pasted text with anything else empties it.
    Click(window->edtPropSearch);
    QCOMPARE(FocusName(), u"edtPropSearch"_s);
    ProgramFixture::Type(u"12a$%-7 x<"_s);
    QCOMPARE(window->edtPropSearch->text(), u"12a-7 x"_s);
    QApplication::clipboard()->setText(u"0007-00012; x"_s);
    ProgramFixture::Key(Qt::Key_A, Qt::ControlModifier);
    ProgramFixture::Key(Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(window->edtPropSearch->text(), QString());
    // Tab leads on to the filter's fields, in the order of the form.
    ProgramFixture::Key(Qt::Key_Tab);
    QCOMPARE(FocusName(), u"edtFilterPrecioDesde"_s);
    ProgramFixture::Key(Qt::Key_Tab);
    QCOMPARE(FocusName(), u"edtFilterPrecioHasta"_s);
    ProgramFixture::Key(Qt::Key_Tab);
    QCOMPARE(FocusName(), u"cboFilterMoneda"_s);

    // The quick search resets the filter without its default entries.
    const qint64 code = list->PageCodes().first().toLongLong();
    Click(window->edtPropSearch);
    ProgramFixture::Type(FormatCode(code));
    ProgramFixture::Key(Qt::Key_Return);
    QCOMPARE(list->CurrentMode(), int(TRMSrchAmpliado));
    QCOMPARE(list->PageCodes(), QStringList{QString::number(code)});
    QVERIFY(panel->State().Set(FilterList::Estado).empty());

    // "Nuevo filtro" and "Aplicar filtro": the quick-search text goes, the search starts
    // afresh, ordered by price from its first page, however the last one was left.
    Click(Child<QPushButton>(panel, "btnFilterNew"));
    Click(Child<QPushButton>(panel, "btnFilterApply"));
    QCOMPARE(window->edtPropSearch->text(), QString());
    QCOMPARE(list->CurrentMode(), int(TRMAmpliado));
    Click(list->btnPropNavRight);
    QCOMPARE(list->CurrentPage(), 2);
    QLabel* byLocation = nullptr;
    for (QLabel* label : list->rectHeaderExp->findChildren<QLabel*>())
        if (label->property("sortKey").toString() == u"Ubicacion"_s)
            byLocation = label;
    Click(byLocation);
    QCOMPARE(list->State(TListFamily::Search).SortKey, u"Ubicacion"_s);
    Click(list->btnPropNavRight);
    Click(Child<QPushButton>(panel, "btnFilterApply"));
    QCOMPARE(list->CurrentPage(), 1);
    QCOMPARE(list->State(TListFamily::Search).SortKey, u"Precio"_s);
    QVERIFY(!list->State(TListFamily::Search).Descending);

    // With marks, an empty filter still asks about them first.
    Click(MarkBox(list, 0));
    QListWidget* entries = Child<QListWidget>(panel, "lstboxFilter1");
    for (const int row : {0, 2})
        QTest::mouseClick(entries->viewport(), Qt::LeftButton, {},
                          entries->visualItemRect(entries->item(row)).center());
    QVERIFY(panel->State().Set(FilterList::Estado).empty());
    messages.shown.clear();
    Click(Child<QPushButton>(panel, "btnFilterApply"));
    QCOMPARE(messages.shown.size(), size_t(2));
    QCOMPARE(messages.shown[0].kind, TMessageKind::Confirmation);
    QCOMPARE(messages.shown[1].kind, TMessageKind::Information);

    // Codes copied elsewhere are offered on the panel and searched like the quick search.
    QStringList two = list->PageCodes().mid(0, 2);
    QApplication::clipboard()->setText(u"Korvel_Prop_Codes:"_s + two.join(u','));
    auto* clipboard = Child<QPushButton>(panel, "btnFilterClipboard");
    QTRY_VERIFY(clipboard->isVisible());
    Click(clipboard);
    QCOMPARE(list->CurrentMode(), int(TRMSrchAmpliado));
    QStringList found = list->PageCodes();
    found.sort();
    two.sort();
    QCOMPARE(found, two);
    QApplication::clipboard()->clear();
}

void TestMainWindow::secondStartSkipsTheFirstRun()
{
    QVERIFY(m_program->Install());
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
        QVERIFY(m_program->Install());
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
    QCOMPARE(LogHas(m_program->Root(), u"$0001"_s, message.section(u'\n', 0, 0)), logged);
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
    QTemporaryDir folder;
    const QString offered = folder.filePath(u"offered.bin"_s);
    QVERIFY(WriteBytesFile(offered, QByteArray(4096, 'p')));
    m_program.reset();
    ServiceOptions options;
    options.arguments = {u"--program"_s,         offered,
                         u"--program-version"_s, u"9.9.9"_s,
                         u"--program-notes"_s,   u"Novedades de la versión 9.9.9"_s};
    m_program = std::make_unique<ProgramFixture>(options);
    QVERIFY2(m_program->Error().isEmpty(), qPrintable(m_program->Error()));
    SetScreenSizeOverride(QSize(1280, 800));
    QVERIFY(m_program->Install());
    QVERIFY(m_program->Service().InjectFault(u"program"_s, u"delay"_s, 3000, 1));
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
    QVERIFY(LogHas(m_program->Root(), u"$0001"_s, u"9.9.9"_s));
    QCOMPARE(ReadSetting(Setting::ShowChangeLog), u"True"_s);
    QVERIFY(ReadSetting(Setting::ChangeLog).contains(u"Novedades"_s));
}

void TestMainWindow::unsignedUpdateIsRefusedAndTheStartGoesOn()
{
    // A service that offers a newer build that no release key signed.
    QTemporaryDir folder;
    const QString offered = folder.filePath(u"offered.bin"_s);
    QVERIFY(WriteBytesFile(offered, QByteArray(4096, 'p')));
    m_program.reset();
    ServiceOptions options;
    options.arguments = {u"--program"_s,         offered,
                         u"--program-version"_s, u"9.9.9"_s,
                         u"--program-notes"_s,   u"Novedades de la versión 9.9.9"_s};
    m_program = std::make_unique<ProgramFixture>(options);
    QVERIFY2(m_program->Error().isEmpty(), qPrintable(m_program->Error()));
    SetScreenSizeOverride(QSize(1280, 800));
    QVERIFY(m_program->Install());
    ScriptedAnswerer messages;
    DialogDriver driver;
    driver.On("TfrmLogin", LogIn);
    TfrmSplash splash;
    splash.tmrStart->stop();
    splash.show();
    QVERIFY(RunStartupSequence());
    // The download window ran and nothing else: the refused build's change log is not shown.
    QCOMPARE(driver.seen, QStringList{u"TfrmLogin"_s});
    QCOMPARE(messages.shown.size(), size_t(1));
    QCOMPARE(messages.shown[0].kind, TMessageKind::Error);
    QCOMPARE(messages.shown[0].text, DwlText::NotVerified);
    QVERIFY(!splash.ShowingFinalMessage());
    QVERIFY(LogHas(m_program->Root(), u"$3127"_s, u"unsigned"_s));
    QVERIFY(!QFile::exists(UpdateFilePath()));
    QVERIFY(ReadSetting(Setting::ShowChangeLog) != u"True"_s);
}

void TestMainWindow::changeLogShownOnce()
{
    QVERIFY(m_program->Install());
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
    // Offline from the start (the marker in the data folder): the messages section, no
    // synchronisation. Admin may log in from the local data.
    QVERIFY(m_program->Install());
    QVERIFY(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    int changed = 0;
    QVERIFY(DB()->Exec(u"UPDATE `W_Usuarios` SET `Usuario_LoginLocal`=1 WHERE `Usuario_Login`=\"admin\";"_s, changed));
    CloseDatabase();
    QVERIFY(WriteBytesFile(Paths.DataFolder + Config::OfflineMarkerFile, "1"));
    ProgramFixture::Options options;
    options.firstSync = true;
    QPointer<TfrmMain> main = m_program->Start(options);
    QVERIFY2(main, qPrintable(m_program->Error()));
    TfrmMain& window = *main;
    QVERIFY(!StartupSyncPending);
    QVERIFY(window.layoutFirstLevel->isVisible());
    QCOMPARE(window.titBtnUpdate->text(), MainText::OfflineTitle);
    QCOMPARE(window.ConnectionState(), 0);
    QVERIFY(window.btnFLNews->isChecked());

    // The update button tests the connection instead of opening its section.
    ScriptedAnswerer messages;
    Click(window.btnFLUpdate);
    QCOMPARE(window.CurrentSection(), int(TfrmMain::SecNews));
    QVERIFY(!window.btnFLUpdate->isChecked());
    QVERIFY(SyncEnabled);
    QCOMPARE(window.ConnectionState(), 1);
    QCOMPARE(window.titBtnUpdate->text(), MainText::OnlineTitle);

    // With the service gone the test fails and arms the next one.
    SyncEnabled = false;
    window.SetConnectionState(0);
    DropConnections();
    m_program->Service().Stop();
    Click(window.btnFLUpdate);
    QVERIFY(!SyncEnabled);
    QCOMPARE(window.ConnectionState(), 0);
    QVERIFY(window.timerTestConnection->isActive());
    QCOMPARE(window.CurrentSection(), int(TfrmMain::SecNews));
}

void TestMainWindow::pendingChangesBadge()
{
    QPointer<TfrmMain> main = StartProgram();
    QVERIFY(main);
    TfrmMain& window = *main;
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
    ScriptedAnswerer messages;
    QPointer<TfrmMain> main = StartProgram();
    QVERIFY(main);
    TfrmMain& window = *main;

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
    QPointer<TfrmMain> main = StartProgram();
    QVERIFY(main);
    TfrmMain& window = *main;
    TimerIntervals().ConnectionTest = std::chrono::milliseconds(300);
    QVERIFY(m_program->Service().InjectFault(u"*"_s, u"close"_s, 0, 3));
    for (int run = 0; run < 3; ++run) {
        Click(window.btnFLUpdate);
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
}

void TestMainWindow::validationBeforeSendingChanges()
{
    QPointer<TfrmMain> main = StartProgram();
    QVERIFY(main);
    TfrmMain& window = *main;
    int rows = 0;
    QVERIFY(DB()->Exec(u"INSERT INTO `W_Clientes` (`Cli_Codigo`, `Inmo_Codigo`, `Cli_Nombre`, `Cli_Estado`, "
                       u"`Cli_Activo`, `Cli_CodigoGeneracion`) VALUES (2147473700, 7, \"Nuevo cliente\", \"AM\", 1, "
                       u"\"000720121000000000012345\");"_s,
                       rows));

    // A new installation must be validated before it sends anything.
    Click(window.btnFLUpdate);
    QVERIFY(window.layoutSyncFW->isVisible());
    QVERIFY(!SyncInProgress);
    QVERIFY(HasPendingChanges());
    SaveShot(&window, u"main-validation"_s);

    const QString drawn = DrawnCode(window.CaptchaDigestKept());
    QVERIFY(!drawn.isEmpty());
    window.edtSyncFwKey->setText(u"demo0007"_s);
    window.edtSyncFwCode->setText(drawn == u"AAAA"_s ? u"BBBB"_s : u"AAAA"_s);
    Click(window.btnSyncFWLogin);
    QCOMPARE(window.lblSyncMessage->text(), MainText::CodeInvalid);
    QVERIFY(window.btnSyncMsgClose->isVisible());

    Click(window.btnSyncMsgClose);
    QVERIFY(window.layoutSyncFW->isVisible());
    const QString again = DrawnCode(window.CaptchaDigestKept());
    window.edtSyncFwKey->setText(u"demo0007"_s);
    window.edtSyncFwCode->setText(again.toLower());
    Click(window.btnSyncFWLogin);
    QVERIFY(window.mmoSyncLog->toPlainText().contains(MainText::Validated));
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
    QPointer<TfrmMain> main = StartProgram();
    QVERIFY(main);
    TfrmMain& window = *main;
    ScriptedAnswerer messages;
    OpenedUrls opened;
    QVERIFY(!QFile::exists(HelpDocumentFile()));
    Click(window.btnFLHelp);
    QVERIFY(QFile::exists(HelpDocumentFile()));
    QCOMPARE(ReadSetting(Setting::HelpVersion), u"1"_s);
    QCOMPARE(opened.urls, QList<QUrl>{QUrl::fromLocalFile(HelpDocumentFile())});
    QVERIFY(messages.shown.empty());
    QVERIFY(window.rectPhotoDwl->isHidden());
    QVERIFY(window.layoutMain->isEnabled());

    // The service failing: its text is shown, the copy at hand still opens.
    QVERIFY(m_program->Service().InjectRefusal(u"help"_s, u"La ayuda no está disponible."_s, 1));
    Click(window.btnFLHelp);
    QCOMPARE(messages.shown.size(), size_t(1));
    QCOMPARE(messages.shown[0].text, u"La ayuda no está disponible."_s);
    QCOMPARE(opened.urls.size(), 2);
}

void TestMainWindow::closingAsksAboutMarks()
{
    QPointer<TfrmMain> main = StartProgram();
    QVERIFY(main);
    Click(main->btnFLProps);
    Click(MarkBox(main->PropertyList, 0));
    Click(MarkBox(main->PropertyList, 1));
    QCOMPARE(Marks().Count(), 2);
    std::unique_ptr<TResultSet> rows;
    int count = 0;

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
