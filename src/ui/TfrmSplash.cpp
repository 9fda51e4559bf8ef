#include "ui/TfrmSplash.h"

#include "core/Config.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

using namespace Qt::StringLiterals;

TfrmSplash::TfrmSplash(QWidget* parent) : QWidget(parent, Qt::FramelessWindowHint | Qt::Window)
{
    setObjectName(u"TfrmSplash"_s);
    setWindowTitle(Config::AppTitle);
    setFixedSize(512, 474);

    lblStatus = new QLabel(Config::SplashWaitText, this);
    lblStatus->setObjectName(u"lblStatus"_s);
    QFont bold = lblStatus->font();
    bold.setBold(true);
    lblStatus->setFont(bold);
    lblStatus->setGeometry(34, 400, 512 - 68, 24);
    QPalette palette = lblStatus->palette();
    palette.setColor(QPalette::WindowText, QColor::fromRgba(0xFF6E6D72));
    lblStatus->setPalette(palette);

    btnYes = new QPushButton(u"Si"_s, this);
    btnYes->setObjectName(u"btnYes"_s);
    btnYes->hide();
    btnNo = new QPushButton(u"No"_s, this);
    btnNo->setObjectName(u"btnNo"_s);
    btnNo->hide();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

void TfrmSplash::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QLinearGradient background(0, 0, 0, height());
    background.setColorAt(0, QColor(0x1F, 0x5F, 0xA8));
    background.setColorAt(0.7, QColor(0xF4, 0xF6, 0xFA));
    painter.fillRect(rect(), background);
    QFont title = font();
    title.setPointSize(28);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 120, width(), 60), Qt::AlignCenter, Config::AppShortName);
    QFont subtitle = font();
    subtitle.setPointSize(12);
    painter.setFont(subtitle);
    painter.drawText(QRect(0, 180, width(), 30), Qt::AlignCenter, Config::AppInfoText);
}
