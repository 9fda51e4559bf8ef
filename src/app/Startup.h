#pragma once

#include "ui/Screen.h"

#include <QSize>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

// The start-up sequence: environment checks, first run, database, maintenance, login,
// terms and program version. True when the main window is to be shown; otherwise the
// splash shows why (or the program ends quietly).
bool RunStartupSequence();

// The windows of a run as the entry creates them, before any data is open: the splash,
// whose timer runs the start-up sequence, and the hidden main window, which the splash
// shows when the sequence succeeds. Windows tests build the program through this too.
std::vector<std::unique_ptr<QWidget>> CreateProgramWindows();

// Whether "01/08/1992" reads as a date with these format settings.
struct TFormatSettings;
bool DateFormatUsable(const TFormatSettings& settings);

// The messages of the start-up sequence.
namespace StartupText {
extern const QString DataFolder, PhotoFolder, ToolsFolder, ReportFolder;
extern const QString FailedChange, ScreenTooSmall, DateFormat, SetupCancelled;
extern const QString NotEncrypted, CannotOpen, Opening, Maintenance, MaintenanceFailed;
extern const QString SchemaFailed, SettingsMissing, AgencyMissing, Terms, Version, UpdateCancelled;
extern const QString NewVersionLog;
} // namespace StartupText
