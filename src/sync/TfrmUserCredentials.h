#pragma once

#include "sync/Requests.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

// What the credentials dialog needs from the local users table.
struct TUserStore {
    // The user's name within the current agency; false when it cannot be read.
    std::function<bool(int userCode, QString& name)> LoadUserName;
    // The stored password digest of the logged-in user.
    std::function<QString()> SessionPasswordDigest;
    // The code of another user of the agency with that name: 0 when there is none, -1
    // when it cannot be told.
    std::function<int(const QString& name, int exceptUserCode)> OtherUserWithName;
    std::function<bool(int userCode, const QString& name, const QString& passwordDigest)> UpdateUser;
};

// The users table of the open database, for the logged-in user's agency.
TUserStore LocalUserStore();

// "Cambio de datos de acceso": a user's new name and password, confirmed with the
// current password, the validation key and a picture code.
class TfrmUserCredentials : public QDialog {
    Q_OBJECT
public:
    using TChangeRequest = std::function<QString(const TSessionValues&, const QString& validationKey, int userCode,
                                                 const QString& newUserName, const QString& newPasswordDigest)>;

    explicit TfrmUserCredentials(QWidget* parent = nullptr);

    void SetSession(const TSessionValues& session) { m_session = session; }
    void SetUserStore(const TUserStore& store) { m_store = store; }
    // Replaces the service request; tests watch what would be sent.
    void SetChangeRequest(TChangeRequest request) { m_request = std::move(request); }
    void NewCaptcha();
    QString CaptchaDigestKept() const { return m_captchaDigest; }

    int usrCode = 0;
    QString newUser;
    QString newPassword;

    QLineEdit* edtCurrentPsw = nullptr;
    QLineEdit* edtNewUsr = nullptr;
    QLineEdit* edtNewPsw1 = nullptr;
    QLineEdit* edtNewPsw2 = nullptr;
    QLineEdit* edtFwKey = nullptr;
    QLabel* imgCaptcha = nullptr;
    QLineEdit* edtCAPTCHA = nullptr;
    QPushButton* btnChange = nullptr;
    QPushButton* btnCancel = nullptr;
    QLabel* lblMsg = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Change();
    // The message of the first rule the fields break, "" when they pass.
    QString FirstBrokenRule();

    TSessionValues m_session;
    TUserStore m_store;
    TChangeRequest m_request;
    QString m_captchaDigest;
};
