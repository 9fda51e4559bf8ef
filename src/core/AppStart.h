#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

// Fills Paths from the running executable's path; false on any failure.
bool InitPaths(const QString& exePath);

bool AcquireSingleInstance();

// The install / hand-over / launch decision. True means this process goes on starting.
bool PrepareLaunch(const QString& exePath, const QStringList& arguments);

bool InstallCopy();
bool CreateDesktopShortcut();
// Deletes the file, retrying for up to the time-out while it is still in use.
void WaitAndDeleteFile(const QString& path, int timeoutMs = 10000);
// Whether a file is a copy of this program (the only kind the hand-over may delete).
bool IsProgramCopy(const QString& path);

// The windows the entry creates before the event loop; the first is the main form.
using TWindowFactory = std::function<std::vector<std::unique_ptr<QWidget>>()>;

// The program entry: returns the process exit code.
int RunProgram(int argc, char** argv, const TWindowFactory& createWindows);
