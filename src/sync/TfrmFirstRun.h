#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

// A new installation: the agency's administrator identifies the agency, accepts the terms
// of service, and the agency's database is downloaded and filled with the current data.
// Accepted once the database is in place and filled; rejected when the person cancels or
// declines the terms.
class TfrmFirstRun : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFirstRun(QWidget* parent = nullptr);

    enum class TPage { Entry, Working, Download };
    TPage Page() const { return m_page; }
    bool Busy() const { return m_busy; }

    QWidget* layoutFirstRun = nullptr;
    QWidget* layoutFirstRunForm = nullptr;
    QWidget* layoutFirstRunActions = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblInfo = nullptr;
    QLineEdit* edtInmoCodigo = nullptr;
    QLineEdit* edtUsr = nullptr;
    QLineEdit* edtPsw = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
    QLabel* lblMsg = nullptr;
    QWidget* layoutDownload = nullptr;
    QLabel* lblDownloadTitle = nullptr;
    QProgressBar* pbarDownload = nullptr;
    QLabel* lblProgress = nullptr;
    QPushButton* btnCancelDwl = nullptr;

public Q_SLOTS:
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowPage(TPage page);
    void ShowInfo(const QString& text);
    void ShowErrorText(const QString& text);
    // The message of the first input rule the fields break, "" when they pass.
    QString CheckInput();
    void Run();
    // One attempt; "" when the installation is complete.
    QString Attempt(bool& declined);
    void CancelDownload();

    TPage m_page = TPage::Entry;
    bool m_busy = false;
    bool m_cancelled = false;
};

namespace FirstRunText {
extern const QString Incomplete;
extern const QString AgencyNotNumber;
extern const QString UserNotAlphanumeric;
extern const QString PasswordNotAlphanumeric;
extern const QString CannotOpen;
extern const QString WrongAgency;
extern const QString DownloadCancelled;
extern const QString MaintenanceExplained;
} // namespace FirstRunText
