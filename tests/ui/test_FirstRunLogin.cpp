#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "records/UserData.h"
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
#include "sync/TfrmFirstRun.h"
#include "sync/TfrmLogin.h"
#include "sync/TfrmToS.h"
#include "sync/TfrmUserCredentials.h"
#include "sync/WireProtocol.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kRed = u"#EA1515"_s;

// Acts on the terms dialog once it is up, from inside the modal loop that shows it.
class TermsAnswer : public QObject {
public:
    // accept: tick the box and press "Aceptar"; otherwise press "Rechazar".
    explicit TermsAnswer(bool accept, const QString& shot = QString()) : m_accept(accept), m_shot(shot)
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start();
    }
    int shown = 0;
    QString text;
    std::function<void()> afterAccept;

private:
    void Poll()
    {
        auto* dialog = qobject_cast<TfrmToS*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || dialog->property("answered").toBool())
            return;
        dialog->setProperty("answered", true);
        ++shown;
        text = dialog->mmoTOS->toPlainText();
        if (!m_shot.isEmpty())
            SaveShot(dialog, m_shot);
        if (m_accept) {
            dialog->chkAgree->setChecked(true);
            dialog->btnOk->click();
        } else {
            dialog->btnCancel->click();
        }
    }
    QTimer m_timer;
    bool m_accept;
    QString m_shot;
};

bool IsRed(const QLabel* label)
{
    return label->styleSheet().contains(kRed, Qt::CaseInsensitive) && label->styleSheet().contains(u"bold"_s);
}

int RequestsSeen(ServiceProcess& service)
{
    return int(service.Output().count(u" agency="_s));
}

bool Install()
{
    return InstallDemoAgency();
}

QString DrawnCode(const QString& digest)
{
    return DrawnCaptchaCode(digest);
}

int UserCode(const QString& login)
{
    TUserData user;
    return LoadUserByLogin(7, login, user) ? user.Code : 0;
}

void Exec(const QString& sql)
{
    int rows = 0;
    QVERIFY(DB()->Exec(sql, rows));
}

} // namespace

class TestFirstRunLogin : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void firstRunInputRules_data();
    void firstRunInputRules();
    void firstRunInstallsFromAnEmptyDataFolder();
    void firstRunDeclinedTerms();
    void firstRunCancelledDownloadThenRetry();
    void firstRunServiceErrors_data();
    void firstRunServiceErrors();

    void loginRules_data();
    void loginRules();
    void loginRefusedByTheService();
    void loginAutomaticFromCredentialsFile();
    void loginCredentialsFileTooShort();

    void termsCheck();
    void credentialsChangeOfAnotherUser();

private:
    void StartService();
    TfrmFirstRun* NewFirstRun(const QString& agency, const QString& user, const QString& password);

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<RecordingFatalHandler> m_fatal;
    std::unique_ptr<ServiceProcess> m_service;
    std::unique_ptr<TfrmFirstRun> m_firstRun;
};

void TestFirstRunLogin::init()
{
    m_root = std::make_unique<TestRoot>();
    m_fatal = std::make_unique<RecordingFatalHandler>();
    StartService();
}

void TestFirstRunLogin::cleanup()
{
    m_firstRun.reset();
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

void TestFirstRunLogin::StartService()
{
    m_service = std::make_unique<ServiceProcess>();
    QVERIFY2(m_service->Start(), qPrintable(m_service->LastError()));
    qputenv("KORVEL_SERVICE_URL", m_service->SyncUrl().toUtf8());
    SyncEnabled = true;
    ResetConsecutiveFailures();
}

TfrmFirstRun* TestFirstRunLogin::NewFirstRun(const QString& agency, const QString& user, const QString& password)
{
    m_firstRun = std::make_unique<TfrmFirstRun>();
    m_firstRun->show();
    m_firstRun->edtInmoCodigo->setText(agency);
    m_firstRun->edtUsr->setText(user);
    m_firstRun->edtPsw->setText(password);
    return m_firstRun.get();
}

void TestFirstRunLogin::firstRunInputRules_data()
{
    QTest::addColumn<QString>("agency");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty agency") << u"  "_s << u"admin"_s << u"demo"_s << FirstRunText::Incomplete;
    QTest::newRow("empty password") << u"7"_s << u"admin"_s << u"   "_s << FirstRunText::Incomplete;
    QTest::newRow("agency with a letter") << u"42a"_s << u"admin"_s << u"demo"_s << FirstRunText::AgencyNotNumber;
    QTest::newRow("user with a full stop") << u"7"_s << u"ad.min"_s << u"demo"_s << FirstRunText::UserNotAlphanumeric;
    QTest::newRow("password with a blank")
        << u"7"_s << u"admin"_s << u"de mo"_s << FirstRunText::PasswordNotAlphanumeric;
}

void TestFirstRunLogin::firstRunInputRules()
{
    QFETCH(QString, agency);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, message);
    TfrmFirstRun* dialog = NewFirstRun(agency, user, password);
    const int before = RequestsSeen(*m_service);
    dialog->btnOk->click();
    QCOMPARE(dialog->lblMsg->text(), message);
    QVERIFY(IsRed(dialog->lblMsg));
    QCOMPARE(dialog->Page(), TfrmFirstRun::TPage::Entry);
    QVERIFY(dialog->isVisible());
    QCOMPARE(RequestsSeen(*m_service), before);
    QVERIFY(!QFile::exists(Paths.DatabaseFile));
}

void TestFirstRunLogin::firstRunInstallsFromAnEmptyDataFolder()
{
    TfrmFirstRun* dialog = NewFirstRun(u"0007"_s, u" Admin "_s, u"DEMO"_s);
    SaveShot(dialog, u"first-run-entry"_s);
    // The download waits a moment, so the download page can be seen and pictured.
    QVERIFY(m_service->InjectFault(u"dbfile"_s, u"delay"_s, 600, 1));
    bool downloadPageSeen = false;
    QTimer watch;
    watch.setInterval(100);
    connect(&watch, &QTimer::timeout, this, [&] {
        if (dialog->Page() == TfrmFirstRun::TPage::Download && !downloadPageSeen) {
            downloadPageSeen = true;
            QVERIFY(dialog->btnCancelDwl->isEnabled());
            SaveShot(dialog, u"first-run-download"_s);
        } else if (dialog->Page() == TfrmFirstRun::TPage::Working) {
            SaveShot(dialog, u"first-run-working"_s);
        }
    });
    watch.start();
    TermsAnswer terms(true, u"terms-acceptance"_s);
    dialog->btnOk->click();
    watch.stop();

    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(terms.shown, 1);
    QVERIFY2(terms.text.startsWith(u"TÉRMINOS Y CONDICIONES"_s) && terms.text.contains(u"reúne"_s),
             qPrintable(terms.text.left(80)));
    QVERIFY(downloadPageSeen);
    // The cleaned values are what was sent.
    QCOMPARE(dialog->edtInmoCodigo->text(), u"0007"_s);
    QCOMPARE(dialog->edtUsr->text(), u"admin"_s);
    QCOMPARE(dialog->edtPsw->text(), u"demo"_s);
    QVERIFY(!DB());

    QVERIFY(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    QCOMPARE(ReadSetting(Setting::AgencyNumber), u"7"_s);
    QVERIFY(!ReadSetting(Setting::InstallKey).isEmpty());
    QCOMPARE(ParseDotFloat(ReadSetting(Setting::AcceptedTermsVersion)), 2.1);
    QVERIFY(!ReadSetting(Setting::TermsUserName).isEmpty());
    QVERIFY(DbTextToDateTime(ReadSetting(Setting::TermsAcceptedAt)).isValid());
    QCOMPARE(ReadValue(u"W_Inmobiliarias"_s, u"Inmo_Codigo"_s, u"Inmo_Codigo"_s, u"7"_s), u"7"_s);
    QVERIFY(UserCode(u"admin"_s) > 0);
    std::unique_ptr<TResultSet> result;
    int rows = 0;
    QVERIFY(DB()->Query(u"SELECT COUNT(*) AS n FROM `W_Propiedades`;"_s, result, rows));
    QVERIFY(result->AsInteger(u"n"_s) > 100);
}

void TestFirstRunLogin::firstRunDeclinedTerms()
{
    TfrmFirstRun* dialog = NewFirstRun(u"7"_s, u"admin"_s, u"demo"_s);
    TermsAnswer terms(false);
    dialog->btnOk->click();
    QCOMPARE(terms.shown, 1);
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    QVERIFY(!dialog->isVisible());
    QVERIFY(!QFile::exists(Paths.DatabaseFile));
    QVERIFY(!m_service->Output().contains(u"dbfile"_s));
}

void TestFirstRunLogin::firstRunCancelledDownloadThenRetry()
{
    TfrmFirstRun* dialog = NewFirstRun(u"7"_s, u"admin"_s, u"demo"_s);
    QVERIFY(m_service->InjectFault(u"dbfile"_s, u"delay"_s, 5000, 1));
    QTimer cancel;
    cancel.setInterval(50);
    connect(&cancel, &QTimer::timeout, this, [&] {
        if (dialog->Page() == TfrmFirstRun::TPage::Download && dialog->btnCancelDwl->isEnabled() &&
            TransferInProgress()) {
            cancel.stop();
            dialog->btnCancelDwl->click();
        }
    });
    cancel.start();
    TermsAnswer terms(true);
    QElapsedTimer took;
    took.start();
    dialog->btnOk->click();
    QVERIFY2(took.elapsed() < 4500, "the cancel ended the wait for the delayed answer");
    QCOMPARE(dialog->Page(), TfrmFirstRun::TPage::Entry);
    QCOMPARE(dialog->lblMsg->text(), FirstRunText::DownloadCancelled);
    QVERIFY(IsRed(dialog->lblMsg));
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->btnOk->isVisible() && dialog->btnOk->isEnabled());
    QCOMPARE(dialog->edtUsr->text(), u"admin"_s);

    // What an interrupted earlier attempt left behind goes before the next download.
    QVERIFY(WriteBytesFile(Paths.DatabaseFile, QByteArray(4096, 'x')));
    dialog->btnOk->click();
    QCOMPARE(terms.shown, 2);
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QVERIFY(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    QCOMPARE(ReadSetting(Setting::AgencyNumber), u"7"_s);
}

void TestFirstRunLogin::firstRunServiceErrors_data()
{
    QTest::addColumn<QString>("agency");
    QTest::addColumn<QString>("refusedKind");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("termsShown");
    QTest::newRow("unknown agency") << u"0042"_s << QString() << QString()
                                    << u"La inmobiliaria 42 no está registrada en el servicio."_s << 0;
    QTest::newRow("full data refused") << u"7"_s << u"fulldata"_s << u"No hay datos disponibles."_s
                                       << u"No hay datos disponibles."_s << 1;
    QTest::newRow("maintenance") << u"7"_s << u"tos"_s << Wire::ServiceMaintenance << FirstRunText::MaintenanceExplained
                                 << 0;
}

void TestFirstRunLogin::firstRunServiceErrors()
{
    QFETCH(QString, agency);
    QFETCH(QString, refusedKind);
    QFETCH(QString, refusal);
    QFETCH(QString, shown);
    QFETCH(int, termsShown);
    if (!refusedKind.isEmpty())
        QVERIFY(m_service->InjectRefusal(refusedKind, refusal, 1));
    TfrmFirstRun* dialog = NewFirstRun(agency, u"admin"_s, u"demo"_s);
    TermsAnswer terms(true);
    dialog->btnOk->click();
    QCOMPARE(terms.shown, termsShown);
    QCOMPARE(dialog->lblMsg->text(), shown);
    QVERIFY(IsRed(dialog->lblMsg));
    QCOMPARE(dialog->Page(), TfrmFirstRun::TPage::Entry);
    QVERIFY(dialog->isVisible());
    QVERIFY(!DB());
    QCOMPARE(dialog->edtInmoCodigo->text(), agency);
    SaveShot(dialog, u"first-run-error"_s);
}

void TestFirstRunLogin::loginRules_data()
{
    QTest::addColumn<bool>("online");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("localPassword"); // the stored password, when it differs
    QTest::addColumn<bool>("localAllowed");
    QTest::addColumn<QString>("message"); // "" when the login succeeds
    QTest::addColumn<bool>("sent");       // whether the service was asked

    const QString wrong = LoginText::WrongCredentials;
    QTest::newRow("online") << true << u" Admin "_s << u"Demo"_s << QString() << false << QString() << true;
    QTest::newRow("online, wrong password") << true << u"admin"_s << u"otra"_s << QString() << true << wrong << true;
    QTest::newRow("unknown user") << true << u"nadie"_s << u"demo"_s << QString() << true << wrong << false;
    QTest::newRow("empty") << true << u"admin"_s << u""_s << QString() << true << LoginText::Incomplete << false;
    QTest::newRow("name with a full stop")
        << true << u"ad.min"_s << u"demo"_s << QString() << true << LoginText::UserNotAlphanumeric << false;
    QTest::newRow("password with a dash")
        << true << u"admin"_s << u"de-mo"_s << QString() << true << LoginText::PasswordNotAlphanumeric << false;
    // Status 9 with its message: the stored digest decides.
    QTest::newRow("status 9, local allowed")
        << true << u"admin"_s << u"nueva"_s << u"nueva"_s << true << QString() << true;
    QTest::newRow("status 9, local not allowed")
        << true << u"admin"_s << u"nueva"_s << u"nueva"_s << false << LoginText::ServiceNeeded << true;
    QTest::newRow("offline, local allowed")
        << false << u"admin"_s << u"demo"_s << QString() << true << QString() << false;
    QTest::newRow("offline, local not allowed")
        << false << u"admin"_s << u"demo"_s << QString() << false << LoginText::ServiceNeeded << false;
    QTest::newRow("offline, wrong password") << false << u"admin"_s << u"otra"_s << QString() << true << wrong << false;
}

void TestFirstRunLogin::loginRules()
{
    QFETCH(bool, online);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, localPassword);
    QFETCH(bool, localAllowed);
    QFETCH(QString, message);
    QFETCH(bool, sent);
    QVERIFY(Install());
    const int admin = UserCode(u"admin"_s);
    QVERIFY(admin > 0);
    Exec(u"UPDATE `W_Usuarios` SET `Usuario_LoginLocal`=%1 WHERE `Usuario_Codigo`=%2;"_s.arg(localAllowed ? 1 : 0)
             .arg(admin));
    if (!localPassword.isEmpty())
        Exec(
            u"UPDATE `W_Usuarios` SET `Usuario_Password`=\"%1\" WHERE `Usuario_Codigo`=%2;"_s.arg(Md5Hex(localPassword))
                .arg(admin));
    if (!online) {
        DropConnections();
        m_service->Stop();
    }

    const int before = online ? RequestsSeen(*m_service) : 0;
    TfrmLogin dialog;
    dialog.show();
    QVERIFY(!dialog.TMR->isActive());
    dialog.edtUsr->setText(user);
    dialog.edtPsw->setText(password);
    dialog.btnLogin->click();
    QCOMPARE(dialog.lblMsg->text(), message);
    QCOMPARE(dialog.result(), int(message.isEmpty() ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(dialog.edtUsr->text(), user.trimmed().toLower());
    if (online)
        QCOMPARE(RequestsSeen(*m_service) > before, sent);
    if (message.isEmpty()) {
        QCOMPARE(SessionUserCode, admin);
        QCOMPARE(SessionUserName, u"admin"_s);
        QCOMPARE(SessionPassword, password.trimmed().toLower());
        QVERIFY(SessionLoginTime.secsTo(QDateTime::currentDateTime()) < 60);
        QCOMPARE(CurrentUser.Name, u"admin"_s);
    } else {
        QCOMPARE(SessionUserCode, 0);
        QVERIFY(dialog.isVisible());
        QVERIFY(IsRed(dialog.lblMsg));
    }
    if (QTest::currentDataTag() == QByteArray("online"))
        SaveShot(&dialog, u"login"_s);
}

void TestFirstRunLogin::loginRefusedByTheService()
{
    QVERIFY(Install());
    // The service confirms the password but refuses the user with its own message; the
    // demo agency's last user is inactive at the service.
    std::unique_ptr<TResultSet> result;
    int rows = 0;
    QVERIFY(DB()->Query(u"SELECT `Usuario_Codigo`, `Usuario_Login` FROM `W_Usuarios` WHERE `Inmo_Codigo`=7 AND "
                        u"`Usuario_Activo`=0;"_s,
                        result, rows));
    QVERIFY(rows >= 1);
    const QString login = result->AsString(u"Usuario_Login"_s);
    Exec(u"UPDATE `W_Usuarios` SET `Usuario_Activo`=1, `Usuario_LoginLocal`=1 WHERE `Usuario_Codigo`=%1;"_s.arg(
        result->AsInteger(u"Usuario_Codigo"_s)));
    TfrmLogin dialog;
    dialog.show();
    dialog.edtUsr->setText(login);
    dialog.edtPsw->setText(u"demo"_s);
    dialog.btnLogin->click();
    QVERIFY(!dialog.lblMsg->text().isEmpty());
    QVERIFY(dialog.lblMsg->text() != LoginText::WrongCredentials);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(SessionUserCode, 0);

    // A user of the local band has not reached the service yet.
    Exec(u"INSERT INTO `W_Usuarios` (`Usuario_Codigo`, `Inmo_Codigo`, `Usuario_Login`, `Usuario_Password`, "
         u"`Usuario_Perfil`, `Usuario_Activo`, `Usuario_Estado`, `Usuario_LoginLocal`) VALUES (2147473650, 7, "
         u"\"nuevo\", \"%1\", 1, 1, \"AM\", 1);"_s.arg(Md5Hex(u"demo"_s)));
    const int before = RequestsSeen(*m_service);
    dialog.edtUsr->setText(u"nuevo"_s);
    dialog.edtPsw->setText(u"demo"_s);
    dialog.btnLogin->click();
    QCOMPARE(dialog.lblMsg->text(), LoginText::LocalUser);
    QCOMPARE(RequestsSeen(*m_service), before);
}

void TestFirstRunLogin::loginAutomaticFromCredentialsFile()
{
    QVERIFY(Install());
    QVERIFY(WriteBytesFile(Paths.DataFolder + Config::CredentialsFile, "admin;demo"));
    TfrmLogin dialog;
    QCOMPARE(dialog.edtUsr->text(), u"admin"_s);
    QVERIFY(!dialog.TMR->isActive());
    QElapsedTimer shown;
    QTimer::singleShot(0, &dialog, [&] { shown.start(); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(shown.elapsed() >= 45);
    QCOMPARE(SessionUserName, u"admin"_s);
}

void TestFirstRunLogin::loginCredentialsFileTooShort()
{
    QVERIFY(Install());
    QVERIFY(WriteBytesFile(Paths.DataFolder + Config::CredentialsFile, "abc;demo"));
    TfrmLogin dialog;
    dialog.show();
    QVERIFY(dialog.edtUsr->text().isEmpty());
    QVERIFY(!dialog.TMR->isActive());
    QTest::qWait(200);
    QVERIFY(dialog.isVisible());
    QCOMPARE(SessionUserCode, 0);
}

void TestFirstRunLogin::termsCheck()
{
    QVERIFY(Install());
    // As the start-up runs it: after the login.
    StartSession(UserCode(u"admin"_s), u"admin"_s, u"demo"_s, QString());
    const int before = RequestsSeen(*m_service);
    {
        TermsAnswer none(true);
        QCOMPARE(TermsCheck(), QString());
        QCOMPARE(none.shown, 0);
        QCOMPARE(RequestsSeen(*m_service), before + 1);
        QVERIFY(!m_service->Output().contains(u"tos agency=7 refused"_s));
    }
    // The service does not answer: the start-up goes on.
    QVERIFY(m_service->InjectFault(u"tos"_s, u"close"_s, 0, 1));
    QCOMPARE(TermsCheck(), QString());
    QVERIFY(WriteSetting(Setting::AcceptedTermsVersion, u"0"_s));
    QCOMPARE(TermsCheck(), TermsText::NotAccepted);
    QVERIFY(WriteSetting(Setting::AcceptedTermsVersion, u"2.1"_s));

    QVERIFY(m_service->PublishTerms(3.5, u"2026-12-01 00:00:00"_s, u"Nuevos términos de uso."_s));
    QWidget splash;
    splash.show();
    {
        TermsAnswer declined(false);
        QCOMPARE(TermsCheck(&splash), TermsText::Declined);
        QCOMPARE(declined.shown, 1);
        QVERIFY(declined.text.startsWith(u"Nuevos términos de uso."_s));
        QVERIFY2(declined.text.contains(u"3,50"_s), qPrintable(declined.text));
        QVERIFY(declined.text.contains(u"01/12/2026"_s));
    }
    QCOMPARE(ParseDotFloat(ReadSetting(Setting::AcceptedTermsVersion)), 2.1);
    {
        bool splashHidden = false;
        TermsAnswer accepted(true);
        QTimer peek;
        connect(&peek, &QTimer::timeout, this, [&] { splashHidden |= !splash.isVisible(); });
        peek.start(10);
        QCOMPARE(TermsCheck(&splash), QString());
        QCOMPARE(accepted.shown, 1);
        QVERIFY(splashHidden);
        QVERIFY(splash.isVisible());
    }
    QCOMPARE(ReadSetting(Setting::AcceptedTermsVersion), u"3.5"_s);
    QVERIFY(!ReadSetting(Setting::TermsUserName).isEmpty());
    QVERIFY(DbTextToDateTime(ReadSetting(Setting::TermsAcceptedAt)).isValid());
    // Nothing newer now.
    {
        TermsAnswer none(true);
        QCOMPARE(TermsCheck(), QString());
        QCOMPARE(none.shown, 0);
    }

    // Reading them from the main window shows the newest ones, whatever was accepted.
    ScriptedAnswerer messages;
    bool viewMode = false;
    QTimer peek;
    connect(&peek, &QTimer::timeout, this, [&] {
        if (auto* dialog = qobject_cast<TfrmToS*>(QApplication::activeModalWidget()))
            viewMode |= dialog->Mode() == TfrmToS::ModeView && !dialog->chkAgree->isVisible();
    });
    peek.start(5);
    TermsAnswer read(true);
    ViewTerms();
    QCOMPARE(read.shown, 1);
    QVERIFY(viewMode);
    QVERIFY(read.text.startsWith(u"Nuevos términos de uso."_s));
    QVERIFY(m_service->InjectFault(u"tos"_s, u"http500"_s, 0, 1));
    ViewTerms();
    QCOMPARE(read.shown, 1);
    QCOMPARE(messages.shown.size(), size_t(1));
    QVERIFY(messages.shown[0].text.startsWith(TermsText::ViewPrefix));
}

void TestFirstRunLogin::credentialsChangeOfAnotherUser()
{
    QVERIFY(Install());
    TfrmLogin login;
    login.edtUsr->setText(u"admin"_s);
    login.edtPsw->setText(u"demo"_s);
    QVERIFY(login.Login());
    const int target = UserCode(u"carga1"_s);
    QVERIFY(target > 0);

    TfrmUserCredentials dialog;
    dialog.usrCode = target;
    dialog.show();
    QCOMPARE(dialog.edtNewUsr->text(), u"carga1"_s);
    const QString drawn = DrawnCode(dialog.CaptchaDigestKept());
    QVERIFY(!drawn.isEmpty());
    const auto fill = [&](const QString& name) {
        dialog.edtCurrentPsw->setText(u"demo"_s);
        dialog.edtNewUsr->setText(name);
        dialog.edtNewPsw1->setText(u"nueva"_s);
        dialog.edtNewPsw2->setText(u"nueva"_s);
        dialog.edtFwKey->setText(u"demo0007"_s);
        dialog.edtCAPTCHA->setText(drawn.toLower());
    };
    // Another user of the agency has that name in the local table.
    fill(u"Admin"_s);
    dialog.btnChange->click();
    QCOMPARE(dialog.lblMsg->text(), u"Ya existe otro usuario con el nombre \"admin\""_s);

    fill(u"Carga1B"_s);
    dialog.btnChange->click();
    QCOMPARE(dialog.lblMsg->text(), QString());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.newUser, u"carga1b"_s);
    QCOMPARE(dialog.newPassword, u"nueva"_s);
    TUserData user;
    QVERIFY(LoadUser(7, target, user));
    QCOMPARE(user.Login, u"carga1b"_s);
    QCOMPARE(user.Password, Md5Hex(u"nueva"_s).toLower());
    // Another user's change leaves the session alone.
    ApplyCredentialsChange(target, dialog.newUser, dialog.newPassword);
    QCOMPARE(SessionUserName, u"admin"_s);

    TSessionValues changed = CurrentSessionValues();
    changed.UserName = u"carga1b"_s;
    changed.Password = u"nueva"_s;
    TSessionAnswer check;
    QCOMPARE(RequestSessionCheck(changed, check), QString());
    QVERIFY(check.Confirmed);
    QCOMPARE(check.Message, QString());
}

QTEST_MAIN(TestFirstRunLogin)
#include "test_FirstRunLogin.moc"
