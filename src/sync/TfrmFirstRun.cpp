#include "sync/TfrmFirstRun.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "sync/Requests.h"
#include "sync/Sync.h"
#include "sync/SyncData.h"
#include "sync/TWidgetTransferSinks.h"
#include "sync/Terms.h"
#include "sync/TfrmToS.h"
#include "sync/WireProtocol.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace FirstRunText {
const QString Incomplete = u"Complete los tres datos para continuar."_s;
const QString AgencyNotNumber = u"El código de inmobiliaria solo puede tener números."_s;
const QString UserNotAlphanumeric = u"El nombre de usuario solo puede tener letras y números."_s;
const QString PasswordNotAlphanumeric = u"La contraseña solo puede tener letras y números."_s;
const QString CannotOpen = u"No se pudo abrir la base de datos descargada. Intente nuevamente."_s;
const QString WrongAgency = u"La base de datos recibida no corresponde a la inmobiliaria indicada. "
                            u"Intente nuevamente."_s;
const QString DownloadCancelled = u"Se canceló la descarga de la base de datos."_s;
const QString MaintenanceExplained = u"El servicio de Korvel se encuentra en mantenimiento en este momento. "
                                     u"Intente la instalación nuevamente en unos minutos."_s;
} // namespace FirstRunText

namespace {

constexpr int kWidth = 400;
constexpr int kEntryActionsTop = 172;
constexpr int kWorkingActionsTop = 104;
constexpr int kActionsHeight = 92;
constexpr int kDownloadHeight = 156;
constexpr int kInfoPauseMs = 250;
const QString kInfoStyle = u"color: #6E6D72; font-weight: normal;"_s;
const QString kErrorStyle = u"color: #EA1515; font-weight: bold;"_s;

const QString kEntryTitle = u"Instalación del sistema"_s;
const QString kEntryInfo = u"Ingrese el código de su inmobiliaria y el usuario y la contraseña del administrador "
                           u"de la inmobiliaria en Korvel."_s;
const QString kWorkingTitle = u"Preparando el sistema"_s;
const QString kWorkingInfo = u"Aguarde mientras se prepara el sistema para su inmobiliaria."_s;
const QString kStepTerms = u"Consultando los términos y condiciones del servicio..."_s;
const QString kStepAcceptance = u"Registrando la aceptación de los términos y condiciones..."_s;
const QString kStepData = u"Descargando los datos del sistema. Esto puede demorar varios minutos..."_s;
const QString kStepDone = u"El sistema quedó instalado correctamente."_s;

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const QString& name, const QString& caption, int maxLength, int top)
{
    MakeLabel(parent, u"lbl"_s + name.mid(3), caption, QRect(16, top, 150, 24));
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(maxLength);
    edit->setGeometry(170, top, kWidth - 186, 24);
    return edit;
}

QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& text, const QRect& geometry)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setGeometry(geometry);
    return button;
}

} // namespace

TfrmFirstRun::TfrmFirstRun(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"TfrmFirstRun"_s);
    setWindowTitle(Config::AppTitle);
    setModal(true);

    layoutFirstRun = new QWidget(this);
    layoutFirstRun->setObjectName(u"layoutFirstRun"_s);
    lblTitle = MakeLabel(layoutFirstRun, u"lblTitle"_s, kEntryTitle, QRect(16, 12, kWidth - 32, 28));
    QFont titleFont = lblTitle->font();
    titleFont.setPointSize(14);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    layoutFirstRunForm = new QWidget(layoutFirstRun);
    layoutFirstRunForm->setObjectName(u"layoutFirstRunForm"_s);
    layoutFirstRunForm->setGeometry(0, 44, kWidth, kEntryActionsTop - 44);
    lblInfo = MakeLabel(layoutFirstRunForm, u"lblInfo"_s, kEntryInfo, QRect(16, 0, kWidth - 32, 44));
    lblInfo->setWordWrap(true);
    edtInmoCodigo = MakeEdit(layoutFirstRunForm, u"edtInmoCodigo"_s, u"Código de inmobiliaria"_s, 4, 48);
    edtUsr = MakeEdit(layoutFirstRunForm, u"edtUsr"_s, u"Usuario administrador"_s, 32, 76);
    edtPsw = MakeEdit(layoutFirstRunForm, u"edtPsw"_s, u"Contraseña"_s, 32, 104);
    edtPsw->setEchoMode(QLineEdit::Password);
    for (QLineEdit* edit : {edtInmoCodigo, edtUsr, edtPsw})
        edit->installEventFilter(this);

    layoutFirstRunActions = new QWidget(layoutFirstRun);
    layoutFirstRunActions->setObjectName(u"layoutFirstRunActions"_s);
    lblMsg = MakeLabel(layoutFirstRunActions, u"lblMsg"_s, QString(), QRect(16, 0, kWidth - 32, 48));
    lblMsg->setWordWrap(true);
    btnOk = MakeButton(layoutFirstRunActions, u"btnOk"_s, u"Aceptar"_s, QRect(kWidth - 212, 54, 96, 28));
    btnCancel = MakeButton(layoutFirstRunActions, u"btnCancel"_s, u"Cancelar"_s, QRect(kWidth - 112, 54, 96, 28));
    connect(btnOk, &QPushButton::clicked, this, &TfrmFirstRun::Run);
    connect(btnCancel, &QPushButton::clicked, this, [this] {
        if (!m_busy)
            QDialog::reject();
    });

    layoutDownload = new QWidget(this);
    layoutDownload->setObjectName(u"layoutDownload"_s);
    layoutDownload->setGeometry(0, 0, kWidth, kDownloadHeight);
    lblDownloadTitle = MakeLabel(layoutDownload, u"lblDownloadTitle"_s, u"Descarga de la base de datos"_s,
                                 QRect(16, 12, kWidth - 32, 28));
    lblDownloadTitle->setFont(titleFont);
    pbarDownload = new QProgressBar(layoutDownload);
    pbarDownload->setObjectName(u"pbarDownload"_s);
    pbarDownload->setGeometry(16, 52, kWidth - 32, 22);
    pbarDownload->setTextVisible(false);
    lblProgress = MakeLabel(layoutDownload, u"lblProgress"_s, QString(), QRect(16, 80, kWidth - 32, 24));
    btnCancelDwl = MakeButton(layoutDownload, u"btnCancelDwl"_s, u"Cancelar"_s, QRect((kWidth - 96) / 2, 112, 96, 28));
    // Enabled and disabled by the transfer, never hidden.
    btnCancelDwl->setProperty("tag", 1);
    connect(btnCancelDwl, &QPushButton::clicked, this, &TfrmFirstRun::CancelDownload);

    ShowPage(TPage::Entry);
    edtInmoCodigo->setFocus();
}

void TfrmFirstRun::ShowPage(TPage page)
{
    m_page = page;
    const bool download = page == TPage::Download;
    layoutFirstRun->setVisible(!download);
    layoutDownload->setVisible(download);
    int height = kDownloadHeight;
    if (page == TPage::Download) {
        lblProgress->clear();
        lblProgress->setStyleSheet(kInfoStyle);
        pbarDownload->setMaximum(100);
        pbarDownload->setValue(0);
        m_cancelled = false;
        btnCancelDwl->setEnabled(true);
    } else {
        const bool entry = page == TPage::Entry;
        const int top = entry ? kEntryActionsTop : kWorkingActionsTop;
        for (QLineEdit* edit : {edtInmoCodigo, edtUsr, edtPsw})
            edit->setVisible(entry);
        for (QLabel* caption : layoutFirstRunForm->findChildren<QLabel*>())
            if (caption != lblInfo)
                caption->setVisible(entry);
        btnOk->setVisible(entry);
        btnCancel->setVisible(entry);
        btnOk->setEnabled(true);
        btnCancel->setEnabled(true);
        lblTitle->setText(entry ? kEntryTitle : kWorkingTitle);
        lblInfo->setText(entry ? kEntryInfo : kWorkingInfo);
        if (entry)
            lblMsg->clear();
        layoutFirstRunActions->setGeometry(0, top, kWidth, kActionsHeight);
        height = top + kActionsHeight;
        layoutFirstRun->setGeometry(0, 0, kWidth, height);
    }
    setFixedSize(kWidth, height);
    if (const QScreen* screen = this->screen() ? this->screen() : QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - kWidth) / 2, area.y() + (area.height() - height) / 2);
    }
}

void TfrmFirstRun::ShowInfo(const QString& text)
{
    lblMsg->setStyleSheet(kInfoStyle);
    lblMsg->setText(text);
    repaint();
    PauseWithEvents(kInfoPauseMs);
}

void TfrmFirstRun::ShowErrorText(const QString& text)
{
    lblMsg->setStyleSheet(kErrorStyle);
    lblMsg->setText(text);
}

bool TfrmFirstRun::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == edtInmoCodigo)
                edtUsr->setFocus();
            else if (watched == edtUsr)
                edtPsw->setFocus();
            else if (watched == edtPsw)
                btnOk->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmFirstRun::reject()
{
    // Escape or the window's close box must not walk away from a download in progress.
    if (m_busy)
        return;
    QDialog::reject();
}

QString TfrmFirstRun::CheckInput()
{
    edtInmoCodigo->setText(edtInmoCodigo->text().trimmed());
    edtUsr->setText(QLocale().toLower(edtUsr->text().trimmed()));
    edtPsw->setText(QLocale().toLower(edtPsw->text().trimmed()));
    if (edtInmoCodigo->text().isEmpty() || edtUsr->text().isEmpty() || edtPsw->text().isEmpty())
        return FirstRunText::Incomplete;
    if (!IsDigits(edtInmoCodigo->text(), 9))
        return FirstRunText::AgencyNotNumber;
    if (!IsAlphanumeric(edtUsr->text()))
        return FirstRunText::UserNotAlphanumeric;
    if (!IsAlphanumeric(edtPsw->text()))
        return FirstRunText::PasswordNotAlphanumeric;
    return {};
}

void TfrmFirstRun::Run()
{
    if (m_busy)
        return;
    const QString refusal = CheckInput();
    if (!refusal.isEmpty()) {
        ShowErrorText(refusal);
        return;
    }
    m_busy = true;
    bool declined = false;
    QString error = Attempt(declined);
    m_busy = false;
    if (declined) {
        QDialog::reject();
        return;
    }
    if (error.isEmpty()) {
        accept();
        return;
    }
    if (error == Wire::ServiceMaintenance)
        error = FirstRunText::MaintenanceExplained;
    ShowPage(TPage::Entry);
    ShowErrorText(error);
    show();
    edtInmoCodigo->setFocus();
}

QString TfrmFirstRun::Attempt(bool& declined)
{
    const TSessionValues typed{edtInmoCodigo->text().toInt(), edtUsr->text(), edtPsw->text(), QString()};
    const QString databaseFile = Paths.DatabaseFile;

    ShowPage(TPage::Working);
    ShowInfo(kStepTerms);
    double version = 0;
    TTerms terms;
    QString error = FetchTerms(typed, version, terms);
    if (!error.isEmpty())
        return error;
    if (!terms.New)
        return TermsText::Unavailable;

    hide();
    {
        TfrmToS dialog(parentWidget());
        dialog.SetMode(TfrmToS::ModeAcceptance);
        dialog.Fill(terms.Text, terms.Date, terms.Version);
        if (dialog.exec() != QDialog::Accepted) {
            declined = true;
            return {};
        }
    }

    ShowPage(TPage::Download);
    show();
    QApplication::processEvents();
    if (DB() && QFileInfo(DB()->Path()) == QFileInfo(databaseFile))
        CloseDatabase();
    if (QFile::exists(databaseFile) && !QFile::remove(databaseFile)) {
        WriteLog(u"$3110"_s, u"No se pudo borrar %1"_s.arg(databaseFile));
        return FirstRunText::CannotOpen;
    }
    QByteArray file;
    {
        TWidgetTransferSinks sinks(pbarDownload, lblProgress, nullptr, btnCancelDwl);
        SetTransferSinks(&sinks);
        error = RequestDatabaseFile(typed, file);
        SetTransferSinks(nullptr);
    }
    if (m_cancelled)
        return FirstRunText::DownloadCancelled;
    if (!error.isEmpty())
        return error;
    if (file.isEmpty())
        return FirstRunText::CannotOpen;
    QDir().mkpath(QFileInfo(databaseFile).absolutePath());
    QFile::remove(databaseFile);
    if (!WriteBytesFile(databaseFile, file))
        return FirstRunText::CannotOpen;

    ShowPage(TPage::Working);
    btnOk->setEnabled(false);
    btnCancel->setEnabled(false);
    ShowInfo(kStepAcceptance);
    if (!OpenDatabase(databaseFile, Config::DatabasePassword, Config::DatabaseDriverId))
        return FirstRunText::CannotOpen;
    // The service delivers the agency number and this installation's key inside the file;
    // everything after this point, and every later start, reads them from its settings.
    TSessionValues installed = typed;
    installed.InstallKey = ReadSetting(Setting::InstallKey).trimmed();
    if (ReadSetting(Setting::AgencyNumber).trimmed().toInt() != typed.AgencyCode || installed.InstallKey.isEmpty()) {
        CloseDatabase();
        return FirstRunText::WrongAgency;
    }
    if (!WriteSetting(Setting::AcceptedTermsVersion, FloatToDotText(terms.Version)) ||
        !WriteSetting(Setting::TermsUserName, terms.UserName) ||
        !WriteSetting(Setting::TermsAcceptedAt, terms.ServerTime)) {
        CloseDatabase();
        return TermsText::NotRecorded;
    }

    ShowInfo(kStepData);
    {
        // The transport and the import report what they are doing in the message line.
        TWidgetTransferSinks sinks(nullptr, lblMsg, nullptr, nullptr);
        SetTransferSinks(&sinks);
        error = ImportFullData(installed);
        SetTransferSinks(nullptr);
    }
    CloseDatabase();
    if (!error.isEmpty())
        return error;

    ShowInfo(kStepDone);
    return {};
}

void TfrmFirstRun::CancelDownload()
{
    btnCancelDwl->setEnabled(false);
    m_cancelled = true;
    QApplication::processEvents();
    CancelTransfer();
}
