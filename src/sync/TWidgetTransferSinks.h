#pragma once

#include "sync/Sync.h"

#include <QPointer>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// Transfer progress shown in a window's own controls; any of them may be absent.
// The action button is enabled/disabled when its "tag" property is non-zero, otherwise
// shown/hidden with the progress bar shrinking to make room for it.
class TWidgetTransferSinks : public TTransferSinks {
public:
    TWidgetTransferSinks(QProgressBar* bar, QLabel* status, QPlainTextEdit* log, QPushButton* action);

    bool HasStatus() const override;
    void SetStatusText(const QString& text) override;
    void SetProgress(qint64 maximum, qint64 position) override;
    qint64 ProgressMaximum() const override;
    void AppendLogLine(const QString& line) override;
    void AppendLogSeparator() override;
    void OfferAction() override;
    void WithdrawAction() override;

private:
    QPointer<QProgressBar> m_bar;
    QPointer<QLabel> m_status;
    QPointer<QPlainTextEdit> m_log;
    QPointer<QPushButton> m_action;
    qint64 m_maximum = 0;
};
