// The synchronisation section of the main window and the connection state it shows.
#include "ui/TfrmMain.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/FormatSettings.h"
#include "core/MiscFunc.h"
#include "core/SystemInfo.h"
#include "core/UserMessages.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "search/NewMatches.h"
#include "sync/Captcha.h"
#include "sync/Requests.h"
#include "sync/Session.h"
#include "sync/TWidgetTransferSinks.h"
#include "sync/Upload.h"
#include "sync/WireProtocol.h"
#include "ui/FilterPanel.h"
#include "ui/Probes.h"
#include "ui/Style.h"

#include <QApplication>
#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QValidator>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kPanelHeight = 120;
constexpr int kIconSize = 32;

QLabel* NewLabel(QWidget* parent, const QString& name, const QString& text = QString())
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

// Letters and digits only, typed in capitals.
class TKeyValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        input = input.toUpper();
        return input.isEmpty() || IsAlphanumeric(input) ? Acceptable : Invalid;
    }
};

} // namespace

void TfrmMain::BuildSyncSection()
{
    layoutSync = new QWidget(layoutContent);
    layoutSync->setObjectName(u"layoutSync"_s);
    auto* column = new QVBoxLayout(layoutSync);

    rectSyncTop = new QWidget(layoutSync);
    rectSyncTop->setObjectName(u"rectSyncTop"_s);
    rectSyncTop->setFixedHeight(kPanelHeight);
    SetStyleRole(rectSyncTop, u"panel"_s);
    column->addWidget(rectSyncTop);

    layoutSyncMsg = new QWidget(rectSyncTop);
    layoutSyncMsg->setObjectName(u"layoutSyncMsg"_s);
    lblSyncMessage = NewLabel(layoutSyncMsg, u"lblSyncMessage"_s);
    lblSyncMessage->setWordWrap(false);
    SetStyleRole(lblSyncMessage, u"title"_s);
    imgSyncMessageAlert = NewLabel(layoutSyncMsg, u"imgSyncMessageAlert"_s);
    imgSyncMessageOk = NewLabel(layoutSyncMsg, u"imgSyncMessageOk"_s);
    imgSyncMessageAlert->setPixmap(AppPicture(u"imgSyncMessageAlert"_s, QSize(kIconSize, kIconSize)));
    imgSyncMessageOk->setPixmap(AppPicture(u"imgSyncMessageOk"_s, QSize(kIconSize, kIconSize)));
    for (QLabel* icon : {imgSyncMessageAlert, imgSyncMessageOk})
        icon->setFixedSize(kIconSize, kIconSize);
    btnSyncMsgClose = new QPushButton(u"Reintentar"_s, layoutSyncMsg);
    btnSyncMsgClose->setObjectName(u"btnSyncMsgClose"_s);
    btnSyncMsgClose->setFixedSize(110, 28);
    connect(btnSyncMsgClose, &QPushButton::clicked, this, [this] {
        PressOnly(btnFLUpdate);
        ShowSection(SecSync);
    });

    layoutSyncFW = new QWidget(rectSyncTop);
    layoutSyncFW->setObjectName(u"layoutSyncFW"_s);
    auto* fw = new QGridLayout(layoutSyncFW);
    edtSyncFwKey = new QLineEdit(layoutSyncFW);
    edtSyncFwKey->setObjectName(u"edtSyncFwKey"_s);
    edtSyncFwKey->setEchoMode(QLineEdit::Password);
    edtSyncFwKey->setMaxLength(8);
    edtSyncFwCode = new QLineEdit(layoutSyncFW);
    edtSyncFwCode->setObjectName(u"edtSyncFwCode"_s);
    edtSyncFwCode->setMaxLength(4);
    for (QLineEdit* edit : {edtSyncFwKey, edtSyncFwCode}) {
        edit->setValidator(new TKeyValidator(edit));
        edit->installEventFilter(this);
    }
    imgSyncFWCaptcha = NewLabel(layoutSyncFW, u"imgSyncFWCaptcha"_s);
    imgSyncFWCaptcha->setFixedSize(130, 40);
    imgSyncFWCaptcha->setCursor(Qt::PointingHandCursor);
    imgSyncFWCaptcha->installEventFilter(this);
    btnSyncFWLogin = new QPushButton(u"Validar y actualizar"_s, layoutSyncFW);
    btnSyncFWLogin->setObjectName(u"btnSyncFWLogin"_s);
    connect(btnSyncFWLogin, &QPushButton::clicked, this, &TfrmMain::ValidateAndSync);
    fw->addWidget(NewLabel(layoutSyncFW, u"lblSyncFwKey"_s, u"Clave de validación"_s), 0, 0);
    fw->addWidget(edtSyncFwKey, 0, 1);
    fw->addWidget(imgSyncFWCaptcha, 0, 2, 2, 1);
    fw->addWidget(NewLabel(layoutSyncFW, u"lblSyncFwCode"_s, u"Código de seguridad"_s), 1, 0);
    fw->addWidget(edtSyncFwCode, 1, 1);
    fw->addWidget(btnSyncFWLogin, 0, 3, 2, 1);

    layoutSyncUpd = new QWidget(rectSyncTop);
    layoutSyncUpd->setObjectName(u"layoutSyncUpd"_s);
    auto* upd = new QGridLayout(layoutSyncUpd);
    pbarSync = new QProgressBar(layoutSyncUpd);
    pbarSync->setObjectName(u"pbarSync"_s);
    pbarSync->setTextVisible(false);
    btnSyncCancel = new QPushButton(u"Cancelar"_s, layoutSyncUpd);
    btnSyncCancel->setObjectName(u"btnSyncCancel"_s);
    btnSyncCancel->setProperty("tag", 1);
    connect(btnSyncCancel, &QPushButton::clicked, this, [] { CancelTransfer(); });
    lblSyncStatus = NewLabel(layoutSyncUpd, u"lblSyncStatus"_s);
    upd->addWidget(pbarSync, 0, 0);
    upd->addWidget(btnSyncCancel, 0, 1);
    upd->addWidget(lblSyncStatus, 1, 0, 1, 2);
    for (QWidget* panel : {layoutSyncMsg, layoutSyncFW, layoutSyncUpd}) {
        panel->setGeometry(0, 0, 960, kPanelHeight);
        panel->hide();
    }

    rectSyncBottom = new QWidget(layoutSync);
    rectSyncBottom->setObjectName(u"rectSyncBottom"_s);
    auto* bottom = new QHBoxLayout(rectSyncBottom);
    auto* info1 = new QWidget(rectSyncBottom);
    info1->setObjectName(u"rectSyncInfo1"_s);
    info1->setAttribute(Qt::WA_StyledBackground);
    SetStyleRole(info1, u"panel"_s);
    auto* grid1 = new QGridLayout(info1);
    lblSyncDBVer = NewLabel(info1, u"lblSyncDBVer"_s);
    lblSyncPropCount = NewLabel(info1, u"lblSyncPropCount"_s);
    lblSyncLastSync = NewLabel(info1, u"lblSyncLastSync"_s);
    lblSyncAppVer = NewLabel(info1, u"lblSyncAppVer"_s);
    lblSyncOSVer = NewLabel(info1, u"lblSyncOSVer"_s);
    lblSyncOSVer->setWordWrap(true);
    grid1->addWidget(NewLabel(info1, u"lblSyncInfoDB"_s, u"Base de datos"_s), 0, 0, 1, 2);
    grid1->addWidget(NewLabel(info1, u"lblSyncInfoDBVer"_s, u"Versión"_s), 1, 0);
    grid1->addWidget(lblSyncDBVer, 1, 1);
    grid1->addWidget(NewLabel(info1, u"lblSyncInfoProps"_s, u"Propiedades"_s), 2, 0);
    grid1->addWidget(lblSyncPropCount, 2, 1);
    grid1->addWidget(NewLabel(info1, u"lblSyncInfoLast"_s, u"Última actualización"_s), 3, 0);
    grid1->addWidget(lblSyncLastSync, 3, 1);
    grid1->addWidget(NewLabel(info1, u"lblSyncInfoSoft"_s, u"Software"_s), 4, 0, 1, 2);
    grid1->addWidget(NewLabel(info1, u"lblSyncInfoAppVer"_s, u"Versión"_s), 5, 0);
    grid1->addWidget(lblSyncAppVer, 5, 1);
    grid1->addWidget(NewLabel(info1, u"lblSyncInfoOS"_s, u"Sistema operativo"_s), 6, 0);
    grid1->addWidget(lblSyncOSVer, 6, 1);
    grid1->setRowStretch(7, 1);
    auto* info2 = new QWidget(rectSyncBottom);
    info2->setObjectName(u"rectSyncInfo2"_s);
    info2->setAttribute(Qt::WA_StyledBackground);
    SetStyleRole(info2, u"panel"_s);
    auto* grid2 = new QGridLayout(info2);
    lblSyncInternetStatus = NewLabel(info2, u"lblSyncInternetStatus"_s, u"-"_s);
    lblSyncKorvelStatus = NewLabel(info2, u"lblSyncKorvelStatus"_s, u"-"_s);
    lblSyncPublicIP = NewLabel(info2, u"lblSyncPublicIP"_s, u"-"_s);
    grid2->addWidget(NewLabel(info2, u"lblSyncInfoConn"_s, u"Estado de la conexión"_s), 0, 0, 1, 2);
    grid2->addWidget(NewLabel(info2, u"lblSyncInfoInternet"_s, u"Conexión a internet"_s), 1, 0);
    grid2->addWidget(lblSyncInternetStatus, 1, 1);
    grid2->addWidget(NewLabel(info2, u"lblSyncInfoKorvel"_s, u"Conexión con el servidor de Korvel"_s), 2, 0);
    grid2->addWidget(lblSyncKorvelStatus, 2, 1);
    grid2->addWidget(NewLabel(info2, u"lblSyncInfoIP"_s, u"Dirección IP pública"_s), 3, 0);
    grid2->addWidget(lblSyncPublicIP, 3, 1);
    grid2->setRowStretch(4, 1);
    auto* logColumn = new QVBoxLayout;
    logColumn->addWidget(NewLabel(rectSyncBottom, u"lblSyncLogTitle"_s, u"Resumen de la sincronización"_s));
    mmoSyncLog = new QPlainTextEdit(rectSyncBottom);
    mmoSyncLog->setObjectName(u"mmoSyncLog"_s);
    mmoSyncLog->setReadOnly(true);
    logColumn->addWidget(mmoSyncLog);
    bottom->addWidget(info1);
    bottom->addWidget(info2);
    bottom->addLayout(logColumn, 1);
    column->addWidget(rectSyncBottom, 1);
}

void TfrmMain::SetConnectionState(int state)
{
    QString colour = u"#000000"_s;
    if (state == 1) {
        icoBtnUpdate->setPixmap(AppPicture(u"imgSync"_s, QSize(32, 32)));
        titBtnUpdate->setText(MainText::OnlineTitle);
        msgBtnUpdate->setText(DB() ? FormatDateTimeText(u"dd-mmm-yy hh:nn"_s, LastSyncTime()) : QString());
    } else {
        colour = u"#F60000"_s;
        icoBtnUpdate->setPixmap(AppPicture(u"imgOffline"_s, QSize(32, 32)));
        titBtnUpdate->setText(MainText::OfflineTitle);
        msgBtnUpdate->setText(state == 2 ? MainText::Connecting : MainText::OfflineHint);
    }
    icoBtnUpdate->setProperty("state", state);
    for (QLabel* label : {titBtnUpdate, msgBtnUpdate})
        label->setStyleSheet(u"color: %1;"_s.arg(colour));
    m_connectionState = state;
    FitFirstLevelButtons();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfrmMain::FitFirstLevelButtons()
{
    // Captions and counters change with the state and the data ("Haga click para
    // reconectar", "12.345 propiedades"): a button grows rather than cut them off.
    for (const TFirstLevelButton& b : m_buttons) {
        if (b.button->property("tag").toInt() >= SecConfig)
            continue; // picture only
        int widest = 0;
        for (QLabel* label : {b.title, b.counter}) {
            label->ensurePolished();
            widest = std::max(widest, label->sizeHint().width());
        }
        b.button->setMinimumWidth(std::max(132, widest + 16));
    }
}

bool TfrmMain::TestConnection()
{
    SetConnectionState(2);
    timerTestConnection->stop();
    SyncEnabled = true;
    const int failuresBefore = ConsecutiveFailures();
    TSessionAnswer answer;
    RequestSessionCheck(CurrentSessionValues(), answer);
    // Any answer, even a refusal, shows the service is there; only a failed transfer counts.
    const bool answered = SyncEnabled && ConsecutiveFailures() <= failuresBefore;
    if (answered) {
        SetConnectionState(1);
        return true;
    }
    timerResetSyncErrors->stop();
    ResetConsecutiveFailures();
    timerTestConnection->start(int(TimerIntervals().ConnectionTest.count()));
    SyncEnabled = false;
    SetConnectionState(0);
    return false;
}

void TfrmMain::TestConnectionAsked()
{
    // The user clicked the offline button: whatever the test finds, it is said, or the
    // click would look like it did nothing.
    if (TestConnection()) {
        ShowInformation(MainText::BackOnline);
        return;
    }
    const int minutes = std::max<int>(1, int(TimerIntervals().ConnectionTest.count() / 60000));
    ShowError(MainText::StillOffline.arg(minutes));
}

void TfrmMain::StartResetTimer()
{
    timerResetSyncErrors->start(int(TimerIntervals().FailureReset.count()));
}

void TfrmMain::StopResetTimer()
{
    timerResetSyncErrors->stop();
}

void TfrmMain::StartConnectionTestTimer()
{
    timerTestConnection->start(int(TimerIntervals().ConnectionTest.count()));
}

void TfrmMain::ShowOffline()
{
    SetConnectionState(0);
}

void TfrmMain::ShowSyncMessage(const QString& text, bool icon, bool close, bool alert)
{
    QString shown = text;
    if (text == Wire::ServiceMaintenance) {
        shown += u"\n\n"_s + MainText::MaintenanceHint;
        close = false;
    }
    btnSyncMsgClose->setVisible(close);
    imgSyncMessageAlert->setVisible(icon && alert);
    imgSyncMessageOk->setVisible(icon && !alert);
    lblSyncMessage->setText(shown);
    lblSyncMessage->adjustSize();

    const int panelWidth = std::max(rectSyncTop->width(), 600);
    layoutSyncMsg->setGeometry(0, 0, panelWidth, kPanelHeight);
    const int labelWidth = lblSyncMessage->width();
    const int labelHeight = lblSyncMessage->height();
    btnSyncMsgClose->move((panelWidth - btnSyncMsgClose->width()) / 2, kPanelHeight - btnSyncMsgClose->height() - 12);
    // With the button, the message sits around its upper half; without, in the middle.
    const int centreY = close ? (btnSyncMsgClose->y() - 4) / 2 : kPanelHeight / 2;
    if (icon) {
        const int iconX = (panelWidth - kIconSize - labelWidth - 32) / 2;
        for (QLabel* image : {imgSyncMessageAlert, imgSyncMessageOk})
            image->move(iconX, centreY - kIconSize / 2);
        lblSyncMessage->move(iconX + kIconSize + 18, centreY - labelHeight / 2);
    } else {
        lblSyncMessage->move((panelWidth - labelWidth) / 2, centreY - labelHeight / 2);
    }
    layoutSyncMsg->show();
    layoutSyncFW->hide();
    layoutSyncUpd->hide();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfrmMain::FillSyncInfo()
{
    lblSyncStatus->clear();
    RefreshSyncDataInfo();
    for (QLabel* label : {lblSyncInternetStatus, lblSyncKorvelStatus, lblSyncPublicIP})
        label->setText(u"-"_s);
}

void TfrmMain::RefreshSyncDataInfo()
{
    lblSyncDBVer->setText(QString::number(LocalDataVersion()));
    lblSyncLastSync->setText(FormatDateTimeText(u"dd-mmm-yy hh:nn"_s, LastSyncTime()));
    lblSyncPropCount->setText(PluralText(u"%s vigente"_s, u"%s vigentes"_s,
                                         ReadCount(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Estado`=2;"_s)) +
                              u", "_s +
                              PluralText(u"%s no vigente"_s, u"%s no vigentes"_s,
                                         ReadCount(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Estado`=1;"_s)));
    lblSyncAppVer->setText(Config::AppVersion);
    lblSyncOSVer->setText(OsDescription());
}

void TfrmMain::NewSyncCaptcha()
{
    QImage image;
    m_captchaDigest = CaptchaDigest(CaptchaImage(image, imgSyncFWCaptcha->size()));
    imgSyncFWCaptcha->setPixmap(QPixmap::fromImage(image));
}

void TfrmMain::SyncRun()
{
    SyncInProgress = true;
    SetFirstLevelEnabled(false);
    for (QWidget* panel : {layoutSyncMsg, layoutSyncFW, layoutSyncUpd})
        panel->hide();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    PauseWithEvents(10);
    ShowSyncMessage(MainText::PleaseWait, false, false, false);
    FillSyncInfo();
    lblSyncInternetStatus->setText(ProbeHost(ReferenceHost()));

    const TSessionValues session = CurrentSessionValues();
    TStatusAnswer status;
    const QString error = RequestServiceStatus(session, status);
    const auto finish = [this] {
        m_syncLogCarry.clear();
        // The run may have brought a new data version and changed the counts: the panel
        // shows what the database holds now, not what it held when the run began.
        RefreshSyncDataInfo();
        SetFirstLevelEnabled(true);
        StartupSyncPending = false;
        SyncInProgress = false;
    };
    if (!error.isEmpty()) {
        ShowSyncMessage(error, true, true, true);
        lblSyncKorvelStatus->setText(ProbeHost(ServiceHost()));
        if (lblSyncKorvelStatus->text() == u"OK"_s)
            lblSyncInternetStatus->setText(u"OK"_s);
        lblSyncPublicIP->setText(PublicAddress());
        finish();
        return;
    }
    lblSyncInternetStatus->setText(u"OK"_s);
    lblSyncKorvelStatus->setText(u"OK"_s);
    lblSyncPublicIP->setText(status.PublicAddress);
    const bool pending = HasPendingChanges();
    const bool accepted = status.Status == Wire::StatusAccepted || status.Status == Wire::StatusAcceptedWithNotice;
    if (pending && !accepted) {
        if (status.ValidationRequired) {
            NewSyncCaptcha();
            edtSyncFwKey->clear();
            edtSyncFwCode->clear();
            layoutSyncMsg->hide();
            layoutSyncUpd->hide();
            layoutSyncFW->show();
            edtSyncFwKey->setFocus();
            CloseAfterSync = false;
        } else {
            ShowSyncMessage(status.Status, true, false, true);
        }
        finish();
        return;
    }

    TWidgetTransferSinks sinks(pbarSync, lblSyncStatus, mmoSyncLog, btnSyncCancel);
    SetTransferSinks(&sinks);
    // The run's log starts afresh, but a validation just granted stays readable above it.
    mmoSyncLog->clear();
    if (!m_syncLogCarry.isEmpty())
        mmoSyncLog->appendPlainText(m_syncLogCarry);
    layoutSyncMsg->hide();
    layoutSyncFW->hide();
    layoutSyncUpd->show();
    SinkOfferAction();
    m_runWatch.start();
    bool countDown = false;
    QString failure;
    if (pending) {
        failure = UploadChanges(session);
        SinkLog(u"Envío de cambios: %1 s"_s.arg(FormatTwoDecimals(double(m_runWatch.elapsed()) / 1000.0)));
        if (!failure.isEmpty()) {
            ShowSyncMessage(failure, true, true, true);
            SinkLog(MainText::UploadFailed);
        }
    }
    // The properties this import writes, for the stored searches' new matches afterwards.
    auto arrivals = std::make_unique<TArrivalRecorder>();
    if (failure.isEmpty()) {
        failure = SyncIncremental(session);
        arrivals->Stop();
        if (!failure.isEmpty()) {
            ShowSyncMessage(failure, true, true, true);
            SinkLog(MainText::SyncFailed);
        } else if (StartupSyncPending || CloseAfterSync) {
            countDown = true;
        } else {
            ShowSyncMessage(MainText::Finished, true, false, false);
        }
    }
    SinkLog(u"Tiempo total: %1 s"_s.arg(FormatTwoDecimals(double(m_runWatch.elapsed()) / 1000.0)));
    SinkLogSeparator();
    SetTransferSinks(nullptr);
    RefreshCounters();
    finish();
    // After the run, in short steps: the run itself never waits for the searches.
    if (failure.isEmpty())
        StartNewMatchRun(std::move(arrivals), CurrentAgencyCode(), [window = QPointer<TfrmMain>(this)] {
            if (window)
                window->FilterPanel->RefreshStoredSearches(true);
        });
    if (countDown) {
        timerCountDown->setProperty("tag", 10);
        timerCountDown->start(1);
    }
}

void TfrmMain::StopCountDown()
{
    if (!timerCountDown->isActive())
        return;
    timerCountDown->stop();
    ShowSyncMessage(MainText::Finished, true, false, false);
}

void TfrmMain::CountDownTick()
{
    timerCountDown->setInterval(CountDownStepMs);
    int tag = timerCountDown->property("tag").toInt();
    if (tag >= 2) {
        --tag;
        timerCountDown->setProperty("tag", tag);
        const QString next = (CloseAfterSync ? MainText::Closing : MainText::Continuing).arg(tag);
        ShowSyncMessage(MainText::Finished + u"\n\n"_s + next, true, false, false);
        return;
    }
    timerCountDown->stop();
    if (CloseAfterSync) {
        ForceClose = true;
        close();
        QApplication::quit();
        return;
    }
    btnFLUpdate->setChecked(false);
    PressOnly(btnFLNews);
    ShowSection(SecNews);
}

void TfrmMain::ValidateAndSync()
{
    edtSyncFwKey->setText(edtSyncFwKey->text().trimmed().toUpper());
    edtSyncFwCode->setText(edtSyncFwCode->text().trimmed().toUpper());
    const QString key = edtSyncFwKey->text();
    const QString code = edtSyncFwCode->text();
    QString refusal;
    if (key.isEmpty() || code.isEmpty())
        refusal = MainText::KeyIncomplete;
    else if (!IsAlphanumeric(key))
        refusal = MainText::KeyInvalid;
    else if (!IsLetters(code) || !CaptchaMatches(code, m_captchaDigest))
        refusal = MainText::CodeInvalid;
    if (!refusal.isEmpty()) {
        ShowSyncMessage(refusal, true, true, true);
        return;
    }
    TStatusAnswer answer;
    const QString error = RequestValidationKey(CurrentSessionValues(), key, answer);
    if (!error.isEmpty()) {
        ShowSyncMessage(error, true, true, true);
        return;
    }
    if (answer.Status != Wire::StatusAccepted && answer.Status != Wire::StatusAcceptedWithNotice) {
        ShowSyncMessage(answer.Status, true, answer.ValidationRequired, true);
        return;
    }
    m_syncLogCarry = MainText::Validated;
    if (answer.Status == Wire::StatusAcceptedWithNotice)
        m_syncLogCarry += u"\n["_s + answer.Status + u']';
    mmoSyncLog->appendPlainText(m_syncLogCarry);
    SyncRun();
}
