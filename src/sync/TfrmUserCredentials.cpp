#include "sync/TfrmUserCredentials.h"

#include "core/Config.h"
#include "core/MiscFunc.h"
#include "db/InstallContext.h"
#include "records/UserData.h"
#include "sync/Captcha.h"
#include "sync/Session.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

using namespace Qt::StringLiterals;

namespace {

constexpr int kFieldLength = 32;
constexpr int kKeyLength = 8;
const QSize kCaptchaSize(160, 48);

// Letters only, turned into capitals as they are typed.
class TCaptchaValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        input = input.toUpper();
        for (const QChar c : std::as_const(input))
            if (c < u'A' || c > u'Z')
                return Invalid;
        return Acceptable;
    }
};

QLineEdit* MakeEdit(QWidget* parent, const QString& name, int maxLength, bool masked)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(maxLength);
    if (masked)
        edit->setEchoMode(QLineEdit::Password);
    return edit;
}

} // namespace

TUserStore LocalUserStore()
{
    TUserStore store;
    store.LoadUserName = [](int userCode, QString& name) {
        TUserData user;
        if (!LoadUser(CurrentAgencyCode(), userCode, user))
            return false;
        name = user.Login;
        return true;
    };
    store.SessionPasswordDigest = [] {
        TUserData user;
        return LoadUser(CurrentAgencyCode(), SessionUserCode, user) ? user.Password : QString();
    };
    store.OtherUserWithName = [](const QString& name, int exceptUserCode) {
        return LoginUsedByOtherUser(CurrentAgencyCode(), name, exceptUserCode);
    };
    store.UpdateUser = UpdateUserCredentials;
    return store;
}

TfrmUserCredentials::TfrmUserCredentials(QWidget* parent)
    : QDialog(parent), m_session(CurrentSessionValues()), m_store(LocalUserStore()), m_request(RequestChangeCredentials)
{
    setObjectName(u"TfrmUserCredentials"_s);
    setWindowTitle(Config::AppTitle);
    setModal(true);

    auto* title = new QLabel(u"Cambio de datos de acceso"_s, this);
    QFont titleFont = title->font();
    titleFont.setPointSize(14);
    titleFont.setBold(true);
    title->setFont(titleFont);

    edtCurrentPsw = MakeEdit(this, u"edtCurrentPsw"_s, kFieldLength, true);
    edtNewUsr = MakeEdit(this, u"edtNewUsr"_s, kFieldLength, false);
    edtNewPsw1 = MakeEdit(this, u"edtNewPsw1"_s, kFieldLength, true);
    edtNewPsw2 = MakeEdit(this, u"edtNewPsw2"_s, kFieldLength, true);
    edtFwKey = MakeEdit(this, u"edtFwKey"_s, kKeyLength, false);
    edtCAPTCHA = MakeEdit(this, u"edtCAPTCHA"_s, CaptchaLetters, false);
    edtCAPTCHA->setValidator(new TCaptchaValidator(edtCAPTCHA));

    imgCaptcha = new QLabel(this);
    imgCaptcha->setObjectName(u"imgCaptcha"_s);
    imgCaptcha->setFixedSize(kCaptchaSize);
    imgCaptcha->setCursor(Qt::PointingHandCursor);
    imgCaptcha->installEventFilter(this);

    lblMsg = new QLabel(this);
    lblMsg->setObjectName(u"lblMsg"_s);
    lblMsg->setWordWrap(true);
    QPalette palette = lblMsg->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    lblMsg->setPalette(palette);
    QFont msgFont = lblMsg->font();
    msgFont.setBold(true);
    lblMsg->setFont(msgFont);

    btnChange = new QPushButton(u"Cambiar"_s, this);
    btnChange->setObjectName(u"btnChange"_s);
    btnCancel = new QPushButton(u"Cerrar"_s, this);
    btnCancel->setObjectName(u"btnCancel"_s);
    for (QPushButton* button : {btnChange, btnCancel})
        button->setAutoDefault(false);
    connect(btnChange, &QPushButton::clicked, this, &TfrmUserCredentials::Change);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(u"Su contraseña actual"_s, edtCurrentPsw);
    form->addRow(u"Nuevo nombre de usuario"_s, edtNewUsr);
    form->addRow(u"Nueva contraseña"_s, edtNewPsw1);
    form->addRow(u"Repetir nueva contraseña"_s, edtNewPsw2);
    form->addRow(u"Clave de validación"_s, edtFwKey);
    form->addRow(QString(), imgCaptcha);
    form->addRow(u"Código de seguridad"_s, edtCAPTCHA);
    for (QLineEdit* edit : {edtCurrentPsw, edtNewUsr, edtNewPsw1, edtNewPsw2, edtFwKey, edtCAPTCHA})
        edit->installEventFilter(this);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnChange);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(form);
    layout->addWidget(lblMsg);
    layout->addLayout(buttons);
    setFixedWidth(400);

    NewCaptcha();
    edtCurrentPsw->setFocus();
}

void TfrmUserCredentials::NewCaptcha()
{
    QImage image;
    m_captchaDigest = CaptchaDigest(CaptchaImage(image, imgCaptcha->size()));
    imgCaptcha->setPixmap(QPixmap::fromImage(image));
}

bool TfrmUserCredentials::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == imgCaptcha && event->type() == QEvent::MouseButtonPress) {
        edtCAPTCHA->clear();
        NewCaptcha();
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            focusNextChild();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmUserCredentials::showEvent(QShowEvent* event)
{
    QString name;
    if (m_store.LoadUserName && m_store.LoadUserName(usrCode, name)) {
        edtNewUsr->setText(name);
    } else {
        edtNewUsr->clear();
        lblMsg->setText(u"No se pudieron obtener los datos del usuario"_s);
    }
    QDialog::showEvent(event);
}

QString TfrmUserCredentials::FirstBrokenRule()
{
    edtCurrentPsw->setText(edtCurrentPsw->text().trimmed().toLower());
    edtNewUsr->setText(edtNewUsr->text().trimmed().toLower());
    edtNewPsw1->setText(edtNewPsw1->text().trimmed().toLower());
    edtNewPsw2->setText(edtNewPsw2->text().trimmed().toLower());
    edtFwKey->setText(edtFwKey->text().trimmed().toUpper());
    edtCAPTCHA->setText(edtCAPTCHA->text().trimmed().toUpper());
    const QString current = edtCurrentPsw->text();
    const QString name = edtNewUsr->text();
    const QString password = edtNewPsw1->text();
    const QString repeated = edtNewPsw2->text();
    const QString key = edtFwKey->text();
    const QString code = edtCAPTCHA->text();

    if (current.isEmpty() || name.isEmpty() || password.isEmpty() || repeated.isEmpty() || key.isEmpty() ||
        code.isEmpty())
        return u"Complete todos los datos"_s;
    if (!IsAlphanumeric(current))
        return u"La contraseña actual sólo puede tener letras y números"_s;
    if (!IsAlphanumeric(key))
        return u"La clave de validación sólo puede tener letras y números"_s;
    const QString storedDigest = m_store.SessionPasswordDigest ? m_store.SessionPasswordDigest() : QString();
    if (storedDigest.isEmpty() || Md5Hex(current).compare(storedDigest, Qt::CaseInsensitive) != 0)
        return u"La contraseña actual no es correcta"_s;
    if (!IsLetters(code) || !CaptchaMatches(code, m_captchaDigest))
        return u"El código de seguridad no es correcto"_s;
    if (!IsAlphanumeric(name))
        return u"El nuevo nombre de usuario sólo puede tener letras y números"_s;
    const int owner = m_store.OtherUserWithName ? m_store.OtherUserWithName(name, usrCode) : -1;
    if (owner < 0)
        return u"No se pudieron obtener los datos del usuario"_s;
    if (owner != 0 && owner != usrCode)
        return u"Ya existe otro usuario con el nombre \"%1\""_s.arg(name);
    if (!IsAlphanumeric(password) || password.size() <= 3)
        return u"La nueva contraseña debe tener al menos 4 letras o números"_s;
    if (!IsAlphanumeric(repeated) || repeated != password)
        return u"La nueva contraseña y su repetición no coinciden"_s;
    return {};
}

void TfrmUserCredentials::Change()
{
    const QString broken = FirstBrokenRule();
    if (!broken.isEmpty()) {
        lblMsg->setText(broken);
        return;
    }
    lblMsg->clear();
    const QString name = edtNewUsr->text();
    const QString password = edtNewPsw1->text();
    const QString digest = Md5Hex(password).toLower();
    const QString error = m_request(m_session, edtFwKey->text(), usrCode, name, digest);
    if (!error.isEmpty()) {
        lblMsg->setText(error);
        return;
    }
    if (!m_store.UpdateUser || !m_store.UpdateUser(usrCode, name, digest)) {
        lblMsg->setText(u"Los datos se cambiaron en el servidor pero no se pudieron guardar en este equipo"_s);
        return;
    }
    newUser = name;
    newPassword = password;
    accept();
}
