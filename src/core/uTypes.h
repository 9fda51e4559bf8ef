#pragma once

#include <QString>
#include <QStringList>

// Process-wide paths; every folder value ends with "/".
struct TPaths {
    QString SystemDrive;
    QString ExePath;
    QString ExeFolder;
    QString InstallFolder;
    QString InstalledExe;
    QString DataFolder;
    QString DatabaseFile;
    QString PhotoFolder;
    QString ToolsFolder;
    QString ReportFolder;
};

// The program's own format settings: es-AR with the separators and names forced, so
// that what users see does not depend on how the machine is configured.
struct TFormatSettings {
    QChar DateSeparator;
    QChar TimeSeparator;
    QChar ListSeparator;
    QChar ThousandSeparator;
    QChar DecimalSeparator;
    QString ShortDateFormat;
    QString LongDateFormat;
    QString ShortTimeFormat;
    QString LongTimeFormat;
    QStringList LongMonthNames; // 12, January first
    QStringList ShortMonthNames;
    QStringList LongDayNames; // 7, Sunday first
    QStringList ShortDayNames;
};

extern TPaths Paths;
extern TFormatSettings AppFormatSettings;

// Process flags; touched only on the user-interface thread.
extern bool SyncInProgress;
extern bool ForceClose;
extern bool CloseAfterSync;
extern bool SkipAutoSync;
extern bool SyncEnabled;
extern bool StartupSyncPending;
extern bool LabelTrimming;

// Who is working; the log names this user. Filled by the login.
struct TSessionUser {
    int Code = 0;
    QString Name;        // login name
    QString DisplayName; // as the main window's caption shows it
};
extern TSessionUser CurrentUser;
