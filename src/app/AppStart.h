#pragma once

#include "core/ProgramImage.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

bool AcquireSingleInstance();

// The install / hand-over / launch decision. True means this process goes on starting.
bool PrepareLaunch(const QString& exePath, const QStringList& arguments);

bool InstallCopy();
bool CreateDesktopShortcut();
// Deletes the file, retrying for up to the time-out while it is still in use.
void WaitAndDeleteFile(const QString& path, int timeoutMs = 10000);

// The windows the entry creates before the event loop; the first is the main form.
using TWindowFactory = std::function<std::vector<std::unique_ptr<QWidget>>()>;

// The program entry: returns the process exit code.
int RunProgram(int argc, char** argv, const TWindowFactory& createWindows);
