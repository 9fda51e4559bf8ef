#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Everything the program asks of the operating system goes through here, so the rest
// of the code never learns which system it runs on.
namespace Platform {

// "" on Linux; the program's executables carry no extension here.
QString ExecutableSuffix();

// The base folder that holds the install folder; always ends with "/".
// KORVEL_ROOT replaces it so that tests and the demo live in a folder of their own.
QString SystemDrive();

// The folder desktop launchers go to (created on demand by the caller).
QString DesktopFolder();

// Path of the lock file that keeps a second copy from starting.
QString InstanceLockPath(const QString& name);

// Takes an exclusive lock on the file and keeps it until the process ends.
// False when another process holds it.
bool AcquireProcessLock(const QString& path);

// Writes a freedesktop launcher for a program.
bool WriteDesktopLauncher(const QString& launcherPath, const QString& name, const QString& target,
                          const QString& workingFolder, const QString& iconPath, const QString& comment);

// Starts a program detached with one optional argument and the given working folder.
bool StartDetached(const QString& program, const QStringList& arguments, const QString& workingFolder);
// Tests record what would be started instead of starting it; an empty hook starts for real.
using TStartHook = std::function<bool(const QString&, const QStringList&, const QString&)>;
void SetStartDetachedHook(TStartHook hook);

// Opens a document, web address or mail address with the desktop's default handler.
bool OpenWithDesktop(const QString& urlOrPath);

QString UserName();
QString ComputerName();
QString OsVersionText();
bool RunningUnderWine();

// Case-insensitive comparison used for folder and file names in the launch decision.
bool SameNameIgnoringCase(const QString& a, const QString& b);

} // namespace Platform
