#include "sync/TfrmLogin.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/DBSchema.h"
#include "db/InstallContext.h"
#include "records/UserData.h"
#include "sync/Session.h"

#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace LoginText {
const QString Incomplete = u"Ingrese su nombre de usuario y su contraseña."_s;
const QString UserNotAlphanumeric = u"El nombre de usuario solo puede tener letras y números."_s;
const QString PasswordNotAlphanumeric = u"La contraseña solo puede tener letras y números."_s;
const QString WrongCredentials = u"El nombre de usuario o la contraseña no son correctos."_s;
const QString LocalUser = u"Este usuario todavía no fue enviado al servicio y no puede ingresar. Ingrese con "
                          u"otro usuario y actualice los datos."_s;
const QString ServiceNeeded = u"No se pudo verificar su contraseña con el servicio, y este usuario solo puede "
                              u"ingresar cuando hay conexión. Intente nuevamente más tarde."_s;
} // namespace LoginText

namespace {

constexpr int kFieldLength = 32;
constexpr int kAutoLoginDelayMs = 50;
// A credentials file part must be longer than this to be used.
constexpr int kShortestFilePart = 3;

QLineEdit* MakeEdit(QWidget* parent, const QString& name, bool masked)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(kFieldLength);
    if (masked)
        edit->setEchoMode(QLineEdit::Password);
    return edit;
}

} // namespace

TfrmLogin::TfrmLogin(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"TfrmLogin"_s);
    setWindowTitle(Config::AppTitle);
    setModal(true);

    auto* title = new QLabel(u"Ingreso al sistema"_s, this);
    title->setObjectName(u"lblTitle"_s);
    QFont titleFont = title->font();
    titleFont.setPointSize(14);
    titleFont.setBold(true);
    title->setFont(titleFont);

    edtUsr = MakeEdit(this, u"edtUsr"_s, false);
    edtPsw = MakeEdit(this, u"edtPsw"_s, true);
    for (QLineEdit* edit : {edtUsr, edtPsw})
        edit->installEventFilter(this);

    lblMsg = new QLabel(this);
    lblMsg->setObjectName(u"lblMsg"_s);
    lblMsg->setWordWrap(true);
    lblMsg->setStyleSheet(u"color: #EA1515; font-weight: bold;"_s);

    btnLogin = new QPushButton(u"Ingresar"_s, this);
    btnLogin->setObjectName(u"btnLogin"_s);
    btnCancel = new QPushButton(u"Cerrar"_s, this);
    btnCancel->setObjectName(u"btnCancel"_s);
    for (QPushButton* button : {btnLogin, btnCancel})
        button->setAutoDefault(false);
    connect(btnLogin, &QPushButton::clicked, this, [this] { Login(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    TMR = new QTimer(this);
    TMR->setObjectName(u"TMR"_s);
    TMR->setSingleShot(true);
    connect(TMR, &QTimer::timeout, this, [this] {
        TMR->stop();
        Login();
    });

    auto* form = new QFormLayout;
    form->addRow(u"Usuario"_s, edtUsr);
    form->addRow(u"Contraseña"_s, edtPsw);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnLogin);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(form);
    layout->addWidget(lblMsg);
    layout->addLayout(buttons);
    setFixedWidth(400);

    // An unattended workstation logs in from a file in the data folder.
    QFile file(Paths.DataFolder + Config::CredentialsFile);
    if (file.exists() && file.open(QIODevice::ReadOnly)) {
        const QStringList parts = QString::fromUtf8(file.readAll()).split(u';');
        if (parts.size() >= 2 && parts[0].size() > kShortestFilePart && parts[1].size() > kShortestFilePart) {
            edtUsr->setText(parts[0]);
            edtPsw->setText(parts[1]);
            TMR->setInterval(kAutoLoginDelayMs);
            m_autoLogin = true;
        }
    }
    edtUsr->setFocus();
}

void TfrmLogin::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    WriteLog(u"$3124"_s, u"Ingreso al sistema"_s);
    edtUsr->setFocus();
    // The automatic login waits until the dialog can be seen.
    if (m_autoLogin) {
        m_autoLogin = false;
        TMR->start();
    }
}

bool TfrmLogin::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == edtUsr)
                edtPsw->setFocus();
            else if (watched == edtPsw)
                btnLogin->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmLogin::Refuse(const QString& message)
{
    lblMsg->setText(message);
    edtUsr->setFocus();
}

bool TfrmLogin::Login()
{
    const QString refusal = Check();
    if (!refusal.isEmpty()) {
        Refuse(refusal);
        return false;
    }
    accept();
    return true;
}

QString TfrmLogin::Check()
{
    lblMsg->clear();
    const QString name = QLocale().toLower(edtUsr->text().trimmed());
    const QString password = QLocale().toLower(edtPsw->text().trimmed());
    edtUsr->setText(name);
    edtPsw->setText(password);
    if (name.isEmpty() || password.isEmpty())
        return LoginText::Incomplete;
    if (!IsAlphanumeric(name))
        return LoginText::UserNotAlphanumeric;
    if (!IsAlphanumeric(password))
        return LoginText::PasswordNotAlphanumeric;

    TUserData user;
    if (!LoadUserByLogin(CurrentAgencyCode(), name, user))
        return LoginText::WrongCredentials;
    if (user.Code >= kLocalCodeFirst)
        return LoginText::LocalUser;

    TSessionValues session = CurrentSessionValues();
    session.UserName = name;
    session.Password = password;
    TSessionAnswer answer;
    const QString error = RequestSessionCheck(session, answer, u"$3124"_s);
    if (!error.isEmpty())
        WriteLog(u"$3124"_s, u"El servicio no confirmó la contraseña de %1: %2"_s.arg(name, error));

    if (error.isEmpty() && answer.Confirmed) {
        if (!answer.Message.isEmpty())
            return answer.Message;
    } else {
        if (user.Password.toLower() != Md5Hex(password).toLower())
            return LoginText::WrongCredentials;
        if (!user.LocalLoginAllowed)
            return LoginText::ServiceNeeded;
    }
    StartSession(user.Code, name, password, user.Name);
    return {};
}
