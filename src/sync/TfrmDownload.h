#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

// The program update window: once shown it downloads the service's program and starts it,
// showing the transfer's progress and offering to cancel it. Rejected when the person
// cancelled, accepted otherwise; ResultText() tells the caller what happened.
class TfrmDownload : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDownload(QWidget* parent = nullptr);

    // 1: program update (the only mode).
    void SetMode(int mode);
    int Mode() const { return m_mode; }
    bool Cancelled() const { return m_cancelled; }
    // "" when no update was needed, "Close" when the new program is running, otherwise the
    // message to show.
    QString ResultText() const { return m_result; }

    QLabel* lblTitle = nullptr;
    QProgressBar* pbarDownload = nullptr;
    QLabel* lblProgress = nullptr;
    QPushButton* btnCancel = nullptr;
    QTimer* timerLaunch = nullptr;

public Q_SLOTS:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Launch();
    void CancelClicked();

    int m_mode = 0;
    bool m_cancelled = false;
    bool m_running = false;
    QString m_result;
};
