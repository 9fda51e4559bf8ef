#pragma once

#include "sync/Requests.h"

#include <QDateTime>
#include <QString>

// Who is logged in on this run; set by a successful login and kept until the program
// ends (a credentials change of the same user replaces name and password).
extern int SessionUserCode;
extern QString SessionUserName; // as typed: trimmed, lower case
extern QString SessionPassword; // as typed, in clear: requests carry digests of it
extern QDateTime SessionLoginTime;

// Records a successful login, and names the user in the log from now on.
void StartSession(int userCode, const QString& userName, const QString& password, const QString& displayName);
void ClearSession();
// After a credentials change: the session follows when the changed user is the one logged in.
void ApplyCredentialsChange(int userCode, const QString& newUserName, const QString& newPassword);

// What every request of this session carries: the agency and installation key of the open
// database and the logged-in user's credentials.
TSessionValues CurrentSessionValues();
