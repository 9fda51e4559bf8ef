#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "support/ClientSetup.h"
#include "support/ServiceProcess.h"
#include "support/TestRoot.h"
#include "sync/Captcha.h"
#include "sync/TfrmToS.h"
#include "sync/TfrmUserCredentials.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString kSessionPassword = u"clave1"_s;
constexpr int kUserCode = 5;
constexpr int kOtherUserCode = 6;

struct TSentChange {
    QString Key, Name, Digest;
    int UserCode = 0;
};

// A users table of two: the one whose credentials change and another named "otro".
struct TFakeUsers {
    QList<TSentChange> Updates;
    TUserStore Store()
    {
        TUserStore store;
        store.LoadUserName = [](int code, QString& name) {
            name = code == kUserCode ? u"juan"_s : QString();
            return code == kUserCode;
        };
        store.SessionPasswordDigest = [] { return Md5Hex(kSessionPassword); };
        store.OtherUserWithName = [](const QString& name, int except) {
            const int code = name == u"otro"_s ? kOtherUserCode : name == u"juan"_s ? kUserCode : 0;
            return code == except ? 0 : code;
        };
        store.UpdateUser = [this](int code, const QString& name, const QString& digest) {
            Updates.append({{}, name, digest, code});
            return true;
        };
        return store;
    }
};

// The code the dialog drew, read off its kept digest.
QString DrawnCode(const TfrmUserCredentials& dialog)
{
    return DrawnCaptchaCode(dialog.CaptchaDigestKept());
}

} // namespace

class TestAccountDialogs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void captchaCodeDigestAndImage();
    void termsDialogModes_data();
    void termsDialogModes();
    void termsAcceptanceNeedsAgreement();
    void termsSaveWritesTheText();
    void credentialsRules_data();
    void credentialsRules();
    void credentialsChangeSendsAndCloses();
    void credentialsServiceErrorKeepsDialogOpen();
    void credentialsPictureClickDrawsNewCode();
    void credentialsChangeAgainstTheService();
};

void TestAccountDialogs::captchaCodeDigestAndImage()
{
    for (int i = 0; i < 50; ++i) {
        const QString code = NewCaptchaCode();
        QCOMPARE(code.size(), 4);
        for (const QChar c : code)
            QVERIFY2(c >= u'A' && c <= u'Z', qPrintable(code));
    }
    QCOMPARE(CaptchaDigest(u"ABCD"_s), Md5Hex(Base64Encode(u"ABCD"_s)));
    const QString digest = CaptchaDigest(u"QWER"_s);
    QVERIFY(CaptchaMatches(u"QWER"_s, digest));
    QVERIFY(CaptchaMatches(u"qwEr"_s, digest));
    QVERIFY(!CaptchaMatches(u"QWEE"_s, digest));

    QImage image;
    const QString code = CaptchaImage(image, QSize(160, 48));
    QCOMPARE(code.size(), 4);
    QCOMPARE(image.size(), QSize(160, 48));
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            colours.insert(image.pixel(x, y));
    QVERIFY2(colours.size() > 10, "the picture is drawn, not a flat fill");
}

void TestAccountDialogs::termsDialogModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("accepting");
    QTest::addColumn<QString>("title");
    QTest::newRow("view") << 0 << false << u"Términos y Condiciones de uso del servicio"_s;
    QTest::newRow("acceptance") << 1 << true << u"Términos y Condiciones de uso del servicio"_s;
    QTest::newRow("change log") << 2 << false << u"Novedades de esta versión"_s;
}

void TestAccountDialogs::termsDialogModes()
{
    QFETCH(int, mode);
    QFETCH(bool, accepting);
    QFETCH(QString, title);
    TfrmToS dialog;
    QVERIFY(!dialog.btnOk->isEnabled());
    QVERIFY(dialog.mmoTOS->isReadOnly());
    dialog.SetMode(mode);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.width(), 800);
    QCOMPARE(dialog.windowTitle(), title);
    QCOMPARE(dialog.lblTitle2->isVisible(), accepting);
    QCOMPARE(dialog.chkAgree->isVisible(), accepting);
    QCOMPARE(dialog.btnCancel->isVisible(), accepting);
    QVERIFY(dialog.btnOk->isVisible());
    QVERIFY(dialog.btnSave->isVisible());
    QVERIFY(!dialog.btnPrint->isVisible());
    QCOMPARE(dialog.chkAgree->isChecked(), !accepting);
    QCOMPARE(dialog.btnOk->isEnabled(), !accepting);
    QCOMPARE(dialog.lblTitle2->text(), u"Manifieste su conformidad con el siguiente documento"_s);
    QCOMPARE(dialog.chkAgree->text(), u"Acepto los Términos y Condiciones de uso de Vodadez Korvel."_s);
    QCOMPARE(dialog.btnOk->text(), u"Aceptar"_s);
    QCOMPARE(dialog.btnCancel->text(), u"Rechazar"_s);
    const QWidget* panel = dialog.btnOk->parentWidget();
    if (accepting)
        QCOMPARE(dialog.btnOk->geometry().right() + 1 + 16, dialog.btnCancel->x());
    else
        QCOMPARE(dialog.btnOk->x(), (panel->width() - dialog.btnOk->width()) / 2);
}

void TestAccountDialogs::termsAcceptanceNeedsAgreement()
{
    TfrmToS dialog;
    dialog.SetMode(TfrmToS::ModeAcceptance);
    bool closedWithoutAgreeing = true;
    bool enabledAfterAgreeing = false;
    QTimer::singleShot(0, &dialog, [&] {
        dialog.btnOk->click(); // disabled: nothing happens
        dialog.btnOk->setEnabled(true);
        dialog.btnOk->click(); // still not agreed: stays open
        closedWithoutAgreeing = !dialog.isVisible();
        dialog.btnOk->setEnabled(false);
        dialog.chkAgree->click();
        enabledAfterAgreeing = dialog.btnOk->isEnabled();
        dialog.btnOk->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(!closedWithoutAgreeing);
    QVERIFY(enabledAfterAgreeing);

    TfrmToS declined;
    QTimer::singleShot(0, &declined, [&] { declined.btnCancel->click(); });
    QCOMPARE(declined.exec(), int(QDialog::Rejected));
}

void TestAccountDialogs::termsSaveWritesTheText()
{
    TfrmToS dialog;
    dialog.SetMode(TfrmToS::ModeView);
    dialog.Fill(u"Primera cláusula.\nSegunda cláusula."_s, QDate(2024, 3, 7), 2.5);
    const QStringList lines = dialog.mmoTOS->toPlainText().split(u'\n');
    QCOMPARE(lines.mid(0, 2), QStringList({u"Primera cláusula."_s, u"Segunda cláusula."_s}));
    QVERIFY(lines.at(2).endsWith(FormatTwoDecimals(2.5)));
    QVERIFY(lines.at(3).endsWith(u"07/03/2024"_s));
    QCOMPARE(lines.mid(4), QStringList(5, QString()));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TfrmToS::PresetSaveFileName = dir.filePath(u"terminos.txt"_s);
    dialog.btnSave->click();
    QVERIFY(TfrmToS::PresetSaveFileName.isEmpty());
    QFile file(dir.filePath(u"terminos.txt"_s));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()).split(u"\r\n"_s).mid(0, lines.size()), lines);
}

void TestAccountDialogs::credentialsRules_data()
{
    // Fields: current password, new name, new password, repetition, key, code ("*" = the drawn one).
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("message");
    auto row = [&](const char* name, QString fields, const QString& message) {
        QTest::newRow(name) << fields.split(u'|') << message;
    };
    row("empty field", u"clave1|pedro|nueva1|nueva1||*"_s, u"Complete todos los datos"_s);
    row("blank field", u"clave1|pedro|nueva1|   |demo0007|*"_s, u"Complete todos los datos"_s);
    row("current password symbols", u"clave.1|pedro|nueva1|nueva1|demo0007|*"_s,
        u"La contraseña actual sólo puede tener letras y números"_s);
    row("key symbols", u"clave1|pedro|nueva1|nueva1|demo-007|*"_s,
        u"La clave de validación sólo puede tener letras y números"_s);
    row("wrong current password", u"clave2|pedro|nueva1|nueva1|demo0007|*"_s, u"La contraseña actual no es correcta"_s);
    row("wrong code", u"clave1|pedro|nueva1|nueva1|demo0007|!"_s, u"El código de seguridad no es correcto"_s);
    row("name with full stop", u"clave1|pe.dro|nueva1|nueva1|demo0007|*"_s,
        u"El nuevo nombre de usuario sólo puede tener letras y números"_s);
    row("name of another user", u"clave1| OTRO|nueva1|nueva1|demo0007|*"_s,
        u"Ya existe otro usuario con el nombre \"otro\""_s);
    row("short password", u"clave1|pedro|abc|abc|demo0007|*"_s,
        u"La nueva contraseña debe tener al menos 4 letras o números"_s);
    row("password symbols", u"clave1|pedro|nue va|nue va|demo0007|*"_s,
        u"La nueva contraseña debe tener al menos 4 letras o números"_s);
    row("repetition differs", u"clave1|pedro|nueva1|nueva2|demo0007|*"_s,
        u"La nueva contraseña y su repetición no coinciden"_s);
    row("first failing rule wins", u"clave2|pe.dro|abc|x|demo0007|!"_s, u"La contraseña actual no es correcta"_s);
}

void TestAccountDialogs::credentialsRules()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, message);
    TFakeUsers users;
    int sent = 0;
    TfrmUserCredentials dialog;
    dialog.usrCode = kUserCode;
    dialog.SetUserStore(users.Store());
    dialog.SetChangeRequest([&](auto&&...) {
        ++sent;
        return QString();
    });
    const QString drawn = DrawnCode(dialog);
    QCOMPARE(drawn.size(), 4);
    // A code other than the drawn one, still made of letters.
    const QString wrong = drawn == u"ZZZZ"_s ? u"AAAA"_s : u"ZZZZ"_s;
    QString shown;
    bool open = false;
    QTimer::singleShot(0, &dialog, [&] {
        const QList<QLineEdit*> edits = {dialog.edtCurrentPsw, dialog.edtNewUsr, dialog.edtNewPsw1,
                                         dialog.edtNewPsw2,    dialog.edtFwKey,  dialog.edtCAPTCHA};
        for (int i = 0; i < edits.size(); ++i)
            edits[i]->setText(fields[i] == u"*"_s ? drawn.toLower() : fields[i] == u"!"_s ? wrong : fields[i]);
        dialog.btnChange->click();
        shown = dialog.lblMsg->text();
        open = dialog.isVisible();
        dialog.btnCancel->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(open);
    QCOMPARE(shown, message);
    QCOMPARE(sent, 0);
    QVERIFY(users.Updates.isEmpty());
    QVERIFY(dialog.newUser.isEmpty());
    QVERIFY(dialog.newPassword.isEmpty());
}

void TestAccountDialogs::credentialsChangeSendsAndCloses()
{
    TFakeUsers users;
    QList<TSentChange> sent;
    TSessionValues session;
    session.AgencyCode = 7;
    TfrmUserCredentials dialog;
    dialog.usrCode = kUserCode;
    dialog.SetSession(session);
    dialog.SetUserStore(users.Store());
    int sentAgency = 0;
    dialog.SetChangeRequest(
        [&](const TSessionValues& s, const QString& key, int code, const QString& name, const QString& digest) {
            sentAgency = s.AgencyCode;
            sent.append({key, name, digest, code});
            return QString();
        });
    QCOMPARE(dialog.windowTitle(), Config::AppTitle);
    const QString drawn = DrawnCode(dialog);
    QString loadedName;
    QTimer::singleShot(0, &dialog, [&] {
        loadedName = dialog.edtNewUsr->text();
        dialog.edtCurrentPsw->setText(u" CLAVE1"_s);
        dialog.edtNewUsr->setText(u"Pedro "_s);
        dialog.edtNewPsw1->setText(u"Nueva1"_s);
        dialog.edtNewPsw2->setText(u"nueva1 "_s);
        dialog.edtFwKey->setText(u"demo0007"_s);
        dialog.edtCAPTCHA->setText(drawn);
        dialog.btnChange->click();
        if (dialog.isVisible())
            dialog.btnCancel->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(loadedName, u"juan"_s);
    QCOMPARE(sentAgency, 7);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].Key, u"DEMO0007"_s);
    QCOMPARE(sent[0].UserCode, kUserCode);
    QCOMPARE(sent[0].Name, u"pedro"_s);
    QCOMPARE(sent[0].Digest, Md5Hex(u"nueva1"_s).toLower());
    QCOMPARE(users.Updates.size(), 1);
    QCOMPARE(users.Updates[0].Name, u"pedro"_s);
    QCOMPARE(users.Updates[0].Digest, Md5Hex(u"nueva1"_s).toLower());
    QCOMPARE(dialog.newUser, u"pedro"_s);
    QCOMPARE(dialog.newPassword, u"nueva1"_s);
}

void TestAccountDialogs::credentialsServiceErrorKeepsDialogOpen()
{
    TFakeUsers users;
    TfrmUserCredentials dialog;
    dialog.usrCode = kUserCode;
    dialog.SetUserStore(users.Store());
    dialog.SetChangeRequest([](auto&&...) { return u"Clave de validación incorrecta"_s; });
    const QString drawn = DrawnCode(dialog);
    QString shown;
    bool open = false;
    QTimer::singleShot(0, &dialog, [&] {
        for (QLineEdit* edit : {dialog.edtCurrentPsw, dialog.edtNewPsw1, dialog.edtNewPsw2})
            edit->setText(kSessionPassword);
        dialog.edtFwKey->setText(u"X1"_s);
        dialog.edtCAPTCHA->setText(drawn);
        dialog.btnChange->click();
        shown = dialog.lblMsg->text();
        open = dialog.isVisible();
        dialog.btnCancel->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(open);
    QCOMPARE(shown, u"Clave de validación incorrecta"_s);
    QVERIFY(users.Updates.isEmpty());
}

void TestAccountDialogs::credentialsPictureClickDrawsNewCode()
{
    TfrmUserCredentials dialog;
    QCOMPARE(dialog.width(), 400);
    QCOMPARE(dialog.edtCAPTCHA->maxLength(), 4);
    QCOMPARE(dialog.edtFwKey->maxLength(), 8);
    QCOMPARE(dialog.edtCurrentPsw->maxLength(), 32);
    QCOMPARE(dialog.edtCurrentPsw->echoMode(), QLineEdit::Password);
    QVERIFY(!dialog.imgCaptcha->pixmap().isNull());
    dialog.show();
    QCOMPARE(dialog.lblMsg->text(), u"No se pudieron obtener los datos del usuario"_s);

    // Letters only, as capitals.
    QTest::keyClicks(dialog.edtCAPTCHA, u"a1b-c"_s);
    QCOMPARE(dialog.edtCAPTCHA->text(), u"ABC"_s);

    // Codes repeat by chance only once in 26^4 drawings; a few clicks make that negligible.
    QSet<QString> digests{dialog.CaptchaDigestKept()};
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(dialog.imgCaptcha, Qt::LeftButton);
    QVERIFY(dialog.edtCAPTCHA->text().isEmpty());
    digests.insert(dialog.CaptchaDigestKept());
    QCOMPARE(digests.size(), 2);
}

void TestAccountDialogs::credentialsChangeAgainstTheService()
{
    TestRoot root;
    RecordingFatalHandler fatal;
    ServiceProcess service;
    QVERIFY2(service.Start(), qPrintable(service.LastError()));
    qputenv("KORVEL_SERVICE_URL", service.SyncUrl().toUtf8());
    SyncEnabled = true;
    const auto cleanup = qScopeGuard([] {
        CloseDatabase();
        SyncEnabled = false;
        ResetInstallContext();
        qunsetenv("KORVEL_SERVICE_URL");
    });
    // The demo agency's administrator on a new installation.
    TSessionValues session{7, u"admin"_s, u"demo"_s, QString()};
    QByteArray file;
    QCOMPARE(RequestDatabaseFile(session, file), QString());
    QVERIFY(WriteBytesFile(Paths.DatabaseFile, file));
    QVERIFY(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    session.InstallKey = ReadSetting(Setting::InstallKey);
    QVERIFY(!session.InstallKey.isEmpty());

    // The administrator changes the credentials of the demo user 2.
    const int userCode = 2;
    TUserStore store;
    store.LoadUserName = [](int, QString& name) {
        name = u"carga1"_s;
        return true;
    };
    store.SessionPasswordDigest = [] { return Md5Hex(u"demo"_s); };
    store.OtherUserWithName = [](const QString&, int) { return 0; };
    store.UpdateUser = [](int, const QString&, const QString&) { return true; };
    TfrmUserCredentials dialog;
    dialog.usrCode = userCode;
    dialog.SetSession(session);
    dialog.SetUserStore(store);
    const QString drawn = DrawnCode(dialog);
    QString shown;
    QTimer::singleShot(0, &dialog, [&] {
        dialog.edtCurrentPsw->setText(u"demo"_s);
        dialog.edtNewUsr->setText(u"Carga1B"_s);
        dialog.edtNewPsw1->setText(u"nueva"_s);
        dialog.edtNewPsw2->setText(u"nueva"_s);
        dialog.edtFwKey->setText(u"demo0007"_s);
        dialog.edtCAPTCHA->setText(drawn);
        dialog.btnChange->click();
        shown = dialog.lblMsg->text();
        if (dialog.isVisible())
            dialog.btnCancel->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(shown, QString());

    TSessionValues changed = session;
    changed.UserName = u"carga1b"_s;
    changed.Password = u"nueva"_s;
    TSessionAnswer check;
    QCOMPARE(RequestSessionCheck(changed, check), QString());
    QVERIFY(check.Confirmed);
    QVERIFY(fatal.calls.empty());
}

QTEST_MAIN(TestAccountDialogs)
#include "test_AccountDialogs.moc"
