#pragma once

#include <QString>

// Columns of the installation's settings row (table W_System) that the client reads and
// writes by name. Every setting the program uses is named here and nowhere else; the
// delivered database declares each of them (a boolean written as "1" reads back "True").
namespace Setting {

using namespace Qt::StringLiterals;

// Installation values: the agency this installation belongs to and its key at the service.
inline const QString AgencyNumber = u"Inmo_Codigo"_s;
inline const QString InstallKey = u"Sys_InstallKey"_s;

// Synchronisation: data version (-1 when never imported), service time of the last import,
// photo download mode ("0" automatic, "1" manual), transport time-outs in milliseconds.
inline const QString DataVersion = u"Sys_DataVersion"_s;
inline const QString LastSyncTime = u"Sys_LastSyncTime"_s;
inline const QString PhotoDownloadMode = u"Sys_PhotoDownloadMode"_s;
inline const QString ConnectTimeout = u"Sys_ConnectTimeout"_s;
inline const QString ReadTimeout = u"Sys_ReadTimeout"_s;

// Terms of service accepted by the agency.
inline const QString AcceptedTermsVersion = u"Sys_AcceptedTermsVersion"_s;
inline const QString TermsUserName = u"Sys_TermsUserName"_s;
inline const QString TermsAcceptedAt = u"Sys_TermsAcceptedAt"_s;

// Maintenance: interval in days (1 to 7, 5 when absent) and date of the last run.
inline const QString MaintenanceInterval = u"Sys_OptimizeDays"_s;
inline const QString LastMaintenance = u"Sys_LastOptimization"_s;

// Program version: the change log of the newest version and whether to show it once.
inline const QString ChangeLog = u"Sys_ChangeLog"_s;
inline const QString ShowChangeLog = u"Sys_ShowChangeLog"_s;

// Presentation: expanded ("1") or summary ("0") lists, the own-properties initial quick
// filter, label trimming (read at launch), hardware rendering, dimming of visited properties.
inline const QString ListExpanded = u"Sys_ListExpanded"_s;
inline const QString DefaultOwnFilter = u"Sys_DefaultOwnFilter"_s;
inline const QString LabelTrimming = u"Sys_LabelTrimming"_s;
inline const QString UseHardwareRendering = u"Sys_UseDirect2D"_s;
inline const QString MarkVisitedProps = u"Sys_MarkVisitedProps"_s;

// Version of the help document kept in the data folder.
inline const QString HelpVersion = u"Sys_HelpVersion"_s;

} // namespace Setting
