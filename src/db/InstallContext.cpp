#include "db/InstallContext.h"

#include "core/Bugs.h"
#include "core/MiscFunc.h"
#include "db/Settings.h"
#include "db/uDB.h"

#include <exception>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString SettingOrEmpty(const QString& name)
{
    return DB() && DB()->Connected() ? ReadSetting(name) : QString();
}

QString AgencyName(int agency)
{
    if (!DB() || !DB()->Connected() || agency <= 0)
        return {};
    std::unique_ptr<TResultSet> result;
    if (!DB()->QueryNoCount(u"SELECT `Inmo_Nombre` FROM `W_Inmobiliarias` WHERE `Inmo_Codigo`=%1;"_s.arg(agency),
                            result) ||
        !result || result->RecordCount() == 0)
        return {};
    return result->AsStringAt(0);
}

} // namespace

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

TErrorReportData ErrorReportDataFromDatabase(int agency)
{
    TErrorReportData data;
    data.AgencyName = AgencyName(agency);
    data.DataVersion = SettingOrEmpty(Setting::DataVersion);
    data.LastMaintenance = SettingOrEmpty(Setting::LastMaintenance);
    data.InstallKey = SettingOrEmpty(Setting::InstallKey);
    return data;
}
