#include "ui/TfrmSplash.h"

#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "ui/Style.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

constexpr int kWidth = 512;
constexpr int kHeight = 474;
constexpr int kLabelX = 34;
constexpr int kLabelY = 400;
constexpr int kButtonY = 430;
constexpr int kButtonWidth = 74;
constexpr int kRightMargin = 40;

QPointer<TfrmSplash> g_splash;

} // namespace

TfrmSplash* Splash()
{
    return g_splash.data();
}

TfrmSplash::TfrmSplash(QWidget* parent) : QWidget(parent, Qt::FramelessWindowHint | Qt::Window)
{
    g_splash = this;
    setObjectName(u"TfrmSplash"_s);
    setWindowTitle(Config::AppTitle);
    setFixedSize(kWidth, kHeight);
    setFocusPolicy(Qt::StrongFocus);

    lblStatus = new QLabel(Config::SplashWaitText, this);
    lblStatus->setObjectName(u"lblStatus"_s);
    lblStatus->setWordWrap(true);
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblStatus->setGeometry(kLabelX, kLabelY, kWidth - 2 * kLabelX, 28);
    lblStatus->setStyleSheet(u"color: #6E6D72; font-weight: bold;"_s);

    aniIndicator = new QProgressBar(this);
    aniIndicator->setObjectName(u"aniIndicator"_s);
    aniIndicator->setRange(0, 0); // runs without knowing how long
    aniIndicator->setTextVisible(false);
    aniIndicator->setGeometry(kLabelX, kLabelY + 4, 48, 12);
    aniIndicator->hide();

    btnYes = new QPushButton(u"Si"_s, this);
    btnYes->setObjectName(u"btnYes"_s);
    btnYes->hide();
    btnNo = new QPushButton(u"No"_s, this);
    btnNo->setObjectName(u"btnNo"_s);
    btnNo->hide();
    // "Cerrar" of a final message is the "No" button in another role.
    connect(btnNo, &QPushButton::clicked, this, [this] {
        if (m_finalMessage)
            close();
    });

    tmrStart = new QTimer(this);
    tmrStart->setObjectName(u"tmrStart"_s);
    tmrStart->setSingleShot(true);
    tmrStart->setInterval(1000);
    connect(tmrStart, &QTimer::timeout, this, &TfrmSplash::Start);
    tmrStart->start();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

void TfrmSplash::SetStartup(std::function<bool()> sequence, std::function<void()> started)
{
    m_sequence = std::move(sequence);
    m_started = std::move(started);
}

void TfrmSplash::Start()
{
    tmrStart->stop();
    const bool ok = m_sequence ? m_sequence() : false;
    if (ok) {
        if (m_started)
            m_started();
        close();
        return;
    }
    if (!m_finalMessage)
        close();
}

void TfrmSplash::ShowSplashMessage(quint32 argb, const QString& text, bool pause, int mode)
{
    m_finalMessage = false;
    btnYes->hide();
    btnNo->hide();
    const QColor colour = QColor::fromRgba(argb);
    lblStatus->setStyleSheet(u"color: %1; font-weight: bold;"_s.arg(colour.name()));
    lblStatus->setText(text);
    lblStatus->repaint();
    switch (mode) {
    case ModeFinal:
        btnNo->setText(u"Cerrar"_s);
        btnNo->setGeometry(kWidth - kRightMargin - kButtonWidth, kButtonY, kButtonWidth, 26);
        btnNo->show();
        m_finalMessage = true;
        break;
    case ModeStatus:
        QApplication::processEvents();
        PauseWithEvents(pause ? 250 : 1);
        break;
    case ModeQuestion:
        btnNo->setText(u"No"_s);
        btnYes->setText(u"Si"_s);
        btnNo->setGeometry(kWidth - kRightMargin - kButtonWidth, kButtonY, kButtonWidth, 26);
        btnYes->setGeometry(kWidth - kRightMargin - 2 * kButtonWidth - 8, kButtonY, kButtonWidth, 26);
        btnYes->show();
        btnNo->show();
        break;
    default:
        break;
    }
}

void TfrmSplash::ShowIndicator(bool on)
{
    aniIndicator->setVisible(on);
    aniIndicator->setEnabled(on);
    const int x = on ? aniIndicator->x() + aniIndicator->width() + 8 : kLabelX;
    lblStatus->setGeometry(x, kLabelY, kWidth - x - kLabelX, lblStatus->height());
    lblStatus->repaint();
    QApplication::processEvents();
}

void TfrmSplash::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers all = Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier;
    if ((event->modifiers() & all) == all)
        SkipAutoSync = true;
    QWidget::keyPressEvent(event);
}

void TfrmSplash::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QPixmap picture = AppPicture(u"imgSplash"_s);
    if (!picture.isNull()) {
        painter.drawPixmap(rect(), picture);
        return;
    }
    painter.fillRect(rect(), Colors::ServiceBlue);
    painter.setPen(Qt::white);
    painter.drawText(rect(), Qt::AlignCenter, Config::AppInfoText);
}
