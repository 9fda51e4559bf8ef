#pragma once

#include <QString>

// The program's fixed texts. They are held scrambled in the binary and turned into
// plain text once, before main() runs, so nobody finds them with `strings`.
namespace Config {

extern const QString AppShortName;
extern const QString AppTitle;
extern const QString AppVersion;
extern const QString AppInfoText;
extern const QString ExeFileName;
extern const QString UpdateExeName;
extern const QString UpdateExeFileName; // UpdateExeName plus the platform's executable suffix
extern const QString InstallFolderName;
extern const QString DatabaseFileName;
extern const QString DatabasePassword;
extern const QString DatabaseDriverId;
extern const QString ShortcutDescription;
extern const QString SplashWaitText;
extern const QString MainCaption;

extern const QString DataSubfolder;
extern const QString PhotoSubfolder;
extern const QString ToolsSubfolder;
extern const QString ReportSubfolder;

extern const QString LogFileName;
extern const QString FailedChangeFileName;
extern const QString OfflineMarkerFile;
extern const QString DisplayMarkerFile;
extern const QString CredentialsFile; // optional "user;password" for unattended logins

// Database connection texts.
extern const QString EncryptedCheckValue;
extern const QString PlainCheckValue;
extern const QString ErrDbNotOpen;
extern const QString ErrNoRecord;
extern const QString ErrQueryFailed;
extern const QString ErrInvalidKey;
extern const QString ErrObjectsMissing;
extern const QString ErrNotConnected;
extern const QString ErrStatementSuffix;
extern const QString ErrConnectionSuffix;
extern const QString FailedChangeMessage;
extern const QString SettingsQuery;  // filled with the setting's name
extern const QString SettingsUpdate; // filled with the setting's name and the escaped value

// Launch decision messages.
extern const QString LaunchInitFailed1;
extern const QString LaunchInitFailed2;
extern const QString LaunchInitFailed3;
extern const QString LaunchInstallFailed;
extern const QString CloseButtonText;

// Process-level log lines of the entry.
extern const QString LogWaitingForSync;
extern const QString LogClosingDatabase;
extern const QString LogProgramEnd;

// Service endpoint; KORVEL_SERVICE_URL overrides it so the client can talk to a local service.
QString ServiceUrl();

// The client's configuration file, Korvel.ini in the install folder: settings that an
// administrator of a private deployment places beside the program.
QString ConfigFilePath();

// A PEM file of CA certificates trusted for the service's HTTPS besides the system's
// ("[tls] ca_file=" in the configuration file; a relative path is taken from the install
// folder). "" when none is set.
QString ExtraCaFile();

} // namespace Config
