#include "sync/TfrmDownload.h"

#include "sync/Dwl.h"
#include "sync/Session.h"
#include "sync/Sync.h"
#include "sync/TWidgetTransferSinks.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

constexpr int kWidth = 400;
constexpr int kLaunchDelayMs = 500;
const QString kInfoStyle = u"color: #6E6D72; font-weight: normal;"_s;

} // namespace

TfrmDownload::TfrmDownload(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(u"TfrmDownload"_s);
    setModal(true);
    // Without a title bar the window needs an edge of its own to stand out.
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(u"#TfrmDownload { border: 1px solid #9A9A9E; }"_s);

    lblTitle = new QLabel(this);
    lblTitle->setObjectName(u"lblTitle"_s);
    lblTitle->setGeometry(16, 12, kWidth - 32, 28);
    QFont titleFont = lblTitle->font();
    titleFont.setPointSize(13);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    pbarDownload = new QProgressBar(this);
    pbarDownload->setObjectName(u"pbarDownload"_s);
    pbarDownload->setGeometry(16, 48, kWidth - 32, 22);
    pbarDownload->setTextVisible(false);
    pbarDownload->setRange(0, 100);
    pbarDownload->setValue(0);

    lblProgress = new QLabel(this);
    lblProgress->setObjectName(u"lblProgress"_s);
    lblProgress->setGeometry(16, 76, kWidth - 32, 24);
    lblProgress->setStyleSheet(kInfoStyle);

    btnCancel = new QPushButton(u"Cancelar"_s, this);
    btnCancel->setObjectName(u"btnCancel"_s);
    btnCancel->setAutoDefault(false);
    btnCancel->setGeometry((kWidth - 96) / 2, 108, 96, 28);
    // The transport enables and disables it instead of hiding it.
    btnCancel->setProperty("tag", 1);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmDownload::CancelClicked);

    timerLaunch = new QTimer(this);
    timerLaunch->setObjectName(u"timerLaunch"_s);
    timerLaunch->setInterval(kLaunchDelayMs);
    connect(timerLaunch, &QTimer::timeout, this, &TfrmDownload::Launch);

    setFixedSize(kWidth, btnCancel->geometry().bottom() + 1 + 12);
    SetMode(1);
}

void TfrmDownload::SetMode(int mode)
{
    m_mode = mode;
    if (mode == 1)
        lblTitle->setText(DwlText::Title);
}

void TfrmDownload::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The window is painted before the transfer takes over the event loop.
    if (!m_running)
        timerLaunch->start();
}

void TfrmDownload::Launch()
{
    timerLaunch->stop();
    if (m_running)
        return;
    m_running = true;
    {
        TWidgetTransferSinks sinks(pbarDownload, lblProgress, nullptr, btnCancel);
        SetTransferSinks(&sinks);
        if (m_mode == 1)
            m_result = DownloadProgramUpdate(CurrentSessionValues());
        SetTransferSinks(nullptr);
    }
    m_running = false;
    // A program that was started anyway must be let take over: the caller ends quietly
    // only on "Close".
    const bool cancelled = m_cancelled && m_result != DwlText::Close;
    done(cancelled ? QDialog::Rejected : QDialog::Accepted);
}

void TfrmDownload::CancelClicked()
{
    btnCancel->setEnabled(false);
    m_cancelled = true;
    QApplication::processEvents();
    CancelTransfer();
}

void TfrmDownload::reject()
{
    // Escape acts as the cancel button while there is something to cancel; the window
    // closes by itself once the request has ended.
    if (m_running) {
        if (btnCancel->isEnabled())
            btnCancel->click();
        return;
    }
    if (timerLaunch->isActive()) {
        timerLaunch->stop();
        m_cancelled = true;
    }
    QDialog::reject();
}

void TfrmDownload::closeEvent(QCloseEvent* event)
{
    if (m_running) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
