#pragma once

// What window tests need from a running korvel-service to stand where the start-up leaves
// the client: the demo agency installed and filled, and its administrator logged in.

#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "records/BrokerData.h"
#include "records/UserData.h"
#include "sync/Captcha.h"
#include "sync/Import.h"
#include "sync/Requests.h"
#include "sync/Session.h"

// The delivered database of agency 7 written to DatabaseFile, opened, filled with the full
// data and with the terms of version 2.1 accepted. Left open.
inline bool InstallDemoAgency()
{
    SyncEnabled = true;
    TSessionValues session{7, QStringLiteral("admin"), QStringLiteral("demo"), QString()};
    QByteArray file;
    if (!RequestDatabaseFile(session, file).isEmpty() || !WriteBytesFile(Paths.DatabaseFile, file))
        return false;
    if (!OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId))
        return false;
    session.InstallKey = ReadSetting(Setting::InstallKey);
    QByteArray data;
    if (!RequestFullData(session, data).isEmpty() || !ImportTables(data, -1).ok)
        return false;
    return WriteSetting(Setting::AcceptedTermsVersion, QStringLiteral("2.1")) && LoadInstallContext();
}

// With the database open: the installation values, the agency, and admin's session.
inline bool LogInDemoAdmin()
{
    if (!LoadInstallContext() || !LoadBroker(CurrentAgencyCode(), CurrentBroker))
        return false;
    TUserData user;
    if (!LoadUserByLogin(7, QStringLiteral("admin"), user))
        return false;
    StartSession(user.Code, QStringLiteral("admin"), QStringLiteral("demo"), user.Name);
    return true;
}

// The code behind a kept picture-code digest, found by trying every code, as a person
// reads it off the picture.
inline QString DrawnCaptchaCode(const QString& digest)
{
    QString code(4, u'A');
    for (int n = 0; n < 26 * 26 * 26 * 26; ++n) {
        int rest = n;
        for (int i = 0; i < 4; ++i, rest /= 26)
            code[i] = QChar(u'A' + rest % 26);
        if (CaptchaDigest(code) == digest)
            return code;
    }
    return {};
}
