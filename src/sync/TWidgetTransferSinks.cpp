#include "sync/TWidgetTransferSinks.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>

namespace {

// Progress bars count in int; large transfers are scaled to fit.
int Scaled(qint64 value, qint64 maximum)
{
    if (maximum <= std::numeric_limits<int>::max())
        return static_cast<int>(value);
    return static_cast<int>(value / (maximum / std::numeric_limits<int>::max() + 1));
}

int Tag(const QPushButton* button)
{
    return button->property("tag").toInt();
}

} // namespace

TWidgetTransferSinks::TWidgetTransferSinks(QProgressBar* bar, QLabel* status, QPlainTextEdit* log, QPushButton* action)
    : m_bar(bar), m_status(status), m_log(log), m_action(action)
{
    if (m_bar)
        m_maximum = m_bar->maximum();
}

bool TWidgetTransferSinks::HasStatus() const
{
    return m_status;
}

void TWidgetTransferSinks::SetStatusText(const QString& text)
{
    if (m_status) {
        m_status->setText(text);
        m_status->repaint();
    }
}

void TWidgetTransferSinks::SetProgress(qint64 maximum, qint64 position)
{
    if (!m_bar)
        return;
    if (maximum >= 0)
        m_maximum = maximum;
    m_bar->setMaximum(Scaled(m_maximum, m_maximum));
    m_bar->setValue(Scaled(std::min(position, m_maximum), m_maximum));
}

qint64 TWidgetTransferSinks::ProgressMaximum() const
{
    return m_maximum;
}

void TWidgetTransferSinks::AppendLogLine(const QString& line)
{
    if (!m_log)
        return;
    m_log->appendPlainText(line);
    m_log->verticalScrollBar()->setValue(m_log->verticalScrollBar()->maximum());
}

void TWidgetTransferSinks::AppendLogSeparator()
{
    AppendLogLine(QString(60, u'-'));
}

void TWidgetTransferSinks::OfferAction()
{
    if (!m_action)
        return;
    if (Tag(m_action) != 0) {
        m_action->setEnabled(true);
        return;
    }
    m_action->show();
    if (m_bar)
        m_bar->resize(m_action->x() - 8 - m_bar->x(), m_bar->height());
}

void TWidgetTransferSinks::WithdrawAction()
{
    if (!m_action)
        return;
    if (Tag(m_action) != 0) {
        m_action->setEnabled(false);
        return;
    }
    m_action->hide();
    if (m_bar)
        m_bar->resize(m_action->x() + m_action->width() - m_bar->x(), m_bar->height());
}
