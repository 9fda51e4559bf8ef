#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

// "Ingreso al sistema": the service confirms the password when it can; otherwise the
// user's stored digest decides, for the users the service allows to work without it.
class TfrmLogin : public QDialog {
    Q_OBJECT
public:
    explicit TfrmLogin(QWidget* parent = nullptr);

    // Runs the login as btnLogin does; true when it succeeded (the dialog is then accepted).
    bool Login();

    QLineEdit* edtUsr = nullptr;
    QLineEdit* edtPsw = nullptr;
    QPushButton* btnLogin = nullptr;
    QPushButton* btnCancel = nullptr;
    QLabel* lblMsg = nullptr;
    QTimer* TMR = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The refusal of the first rule that fails, "" after a successful login.
    QString Check();
    void Refuse(const QString& message);

    bool m_autoLogin = false;
};

namespace LoginText {
extern const QString Incomplete;
extern const QString UserNotAlphanumeric;
extern const QString PasswordNotAlphanumeric;
extern const QString WrongCredentials;
extern const QString LocalUser;
extern const QString ServiceNeeded;
} // namespace LoginText
