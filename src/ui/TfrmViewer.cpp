#include "ui/TfrmViewer.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

using namespace Qt::StringLiterals;

TfrmViewer::TfrmViewer(QList<QPixmap> photos, int index, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_photos(std::move(photos))
{
    setObjectName(u"TfrmViewer"_s);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(800, 600);
    setStyleSheet(u"TfrmViewer { background: #202020; }"_s);

    imgViewer = new QLabel(this);
    imgViewer->setObjectName(u"imgViewer"_s);
    imgViewer->setAlignment(Qt::AlignCenter);
    imgViewer->setGeometry(0, 0, 800, 600);
    imgViewer->setCursor(Qt::PointingHandCursor);
    imgViewer->installEventFilter(this);

    layoutViewerNav = new QWidget(this);
    layoutViewerNav->setObjectName(u"layoutViewerNav"_s);
    layoutViewerNav->setStyleSheet(u"#layoutViewerNav { background: rgba(255,255,255,200); border-radius: 6px; }"_s);
    auto* nav = new QHBoxLayout(layoutViewerNav);
    nav->setContentsMargins(8, 4, 8, 4);
    btnViewerPrior = new QPushButton(u"<"_s, layoutViewerNav);
    btnViewerPrior->setObjectName(u"btnViewerPrior"_s);
    lblViewerIndex = new QLabel(layoutViewerNav);
    lblViewerIndex->setObjectName(u"lblViewerIndex"_s);
    lblViewerIndex->setAlignment(Qt::AlignCenter);
    lblViewerIndex->setMinimumWidth(70);
    btnViewerNext = new QPushButton(u">"_s, layoutViewerNav);
    btnViewerNext->setObjectName(u"btnViewerNext"_s);
    for (QPushButton* b : {btnViewerPrior, btnViewerNext})
        b->setFocusPolicy(Qt::NoFocus);
    nav->addWidget(btnViewerPrior);
    nav->addWidget(lblViewerIndex);
    nav->addWidget(btnViewerNext);
    connect(btnViewerPrior, &QPushButton::clicked, this, [this] { ShowPhoto(m_index - 1); });
    connect(btnViewerNext, &QPushButton::clicked, this, [this] { ShowPhoto(m_index + 1); });

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    ShowPhoto(index);
}

void TfrmViewer::ShowPhoto(int index)
{
    if (m_photos.isEmpty())
        return;
    m_index = qBound(0, index, int(m_photos.size()) - 1);
    const QPixmap& photo = m_photos.at(m_index);
    imgViewer->setPixmap(
        photo.isNull() ? photo : photo.scaled(imgViewer->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    lblViewerIndex->setText(u"%1 / %2"_s.arg(m_index + 1).arg(m_photos.size()));
    btnViewerPrior->setEnabled(m_index > 0);
    btnViewerNext->setEnabled(m_index < m_photos.size() - 1);
}

void TfrmViewer::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Left)
        ShowPhoto(m_index - 1);
    else if (event->key() == Qt::Key_Right)
        ShowPhoto(m_index + 1);
    else
        QDialog::keyPressEvent(event);
}

void TfrmViewer::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isVisible())
        return;
    // Only a window that had the focus can lose it: one that never got it stays up.
    if (isActiveWindow())
        m_wasActive = true;
    else if (m_wasActive)
        reject();
}

void TfrmViewer::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    imgViewer->setGeometry(rect());
    layoutViewerNav->adjustSize();
    layoutViewerNav->move((width() - layoutViewerNav->width()) / 2, height() - 8 - layoutViewerNav->height());
}

bool TfrmViewer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == imgViewer && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        ShowPhoto(mouse->position().x() < imgViewer->width() / 2.0 ? m_index - 1 : m_index + 1);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
