#include "core/InstallContext.h"

#include "core/Bugs.h"
#include "core/MiscFunc.h"
#include "db/Settings.h"
#include "db/uDB.h"

#include <exception>

using namespace Qt::StringLiterals;

namespace {

TInstallContext& Context()
{
    static TInstallContext context{0, NeverDate()};
    return context;
}

} // namespace

QDateTime NeverDate()
{
    return QDateTime(QDate(1992, 8, 1), QTime(0, 0));
}

const TInstallContext& InstallContext()
{
    return Context();
}

int CurrentAgencyCode()
{
    return Context().AgencyCode;
}

QDateTime LastSyncTime()
{
    return Context().LastSyncTime;
}

void SetCurrentAgencyCode(int code)
{
    Context().AgencyCode = code;
}

void SetLastSyncTime(const QDateTime& value)
{
    Context().LastSyncTime = value.isValid() && value >= NeverDate() ? value : NeverDate();
}

void ResetInstallContext()
{
    Context() = TInstallContext{0, NeverDate()};
}

bool LoadInstallContext()
{
    try {
        bool ok = false;
        const int agency = ReadSetting(Setting::AgencyNumber).trimmed().toInt(&ok);
        if (!ok)
            return false;
        const QString syncText = ReadSetting(Setting::LastSyncTime).trimmed();
        SetCurrentAgencyCode(agency);
        SetLastSyncTime(syncText.isEmpty() ? QDateTime() : DbTextToDateTime(syncText));
        return true;
    } catch (const std::exception& e) {
        WriteLog(u"$3065"_s, QString::fromUtf8(e.what()));
        return false;
    }
}
