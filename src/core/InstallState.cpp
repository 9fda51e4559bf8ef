#include "core/InstallState.h"

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
