#include "sync/Session.h"

#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"

int SessionUserCode = 0;
QString SessionUserName;
QString SessionPassword;
QDateTime SessionLoginTime;

void StartSession(int userCode, const QString& userName, const QString& password, const QString& displayName)
{
    SessionUserCode = userCode;
    SessionUserName = userName;
    SessionPassword = password;
    SessionLoginTime = QDateTime::currentDateTime();
    CurrentUser.Code = userCode;
    CurrentUser.Name = userName;
    CurrentUser.DisplayName = displayName;
}

void ClearSession()
{
    SessionUserCode = 0;
    SessionUserName.clear();
    SessionPassword.clear();
    SessionLoginTime = QDateTime();
    CurrentUser = {};
}

void ApplyCredentialsChange(int userCode, const QString& newUserName, const QString& newPassword)
{
    if (userCode == 0 || userCode != SessionUserCode)
        return;
    SessionUserName = newUserName;
    SessionPassword = newPassword;
    CurrentUser.Name = newUserName;
}

TSessionValues CurrentSessionValues()
{
    return {CurrentAgencyCode(), SessionUserName, SessionPassword,
            DB() ? ReadSetting(Setting::InstallKey).trimmed() : QString()};
}
