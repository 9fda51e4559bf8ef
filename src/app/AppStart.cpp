#include "app/AppStart.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/FormatSettings.h"
#include "core/MiscFunc.h"
#include "core/Platform.h"
#include "core/TApplication.h"
#include "core/TfrmBug.h"
#include "core/UserMessages.h"
#include "core/uTypes.h"
#include "db/Settings.h"
#include "db/uDB.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bool SameFolder(const QString& a, const QString& b)
{
    return Platform::SameNameIgnoringCase(QDir::cleanPath(a), QDir::cleanPath(b));
}

bool WriteIcon(const QString& path)
{
    QImage icon(64, 64, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1F, 0x5F, 0xA8));
    painter.drawRoundedRect(2, 2, 60, 60, 12, 12);
    QPainterPath house;
    house.moveTo(32, 12);
    house.lineTo(54, 32);
    house.lineTo(47, 32);
    house.lineTo(47, 52);
    house.lineTo(17, 52);
    house.lineTo(17, 32);
    house.lineTo(10, 32);
    house.closeSubpath();
    painter.setBrush(Qt::white);
    painter.drawPath(house);
    painter.setBrush(QColor(0x1F, 0x5F, 0xA8));
    painter.drawRect(28, 38, 8, 14);
    painter.end();
    return icon.save(path, "PNG");
}

int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

// A desktop session ends programs with SIGTERM; treat it (and Ctrl+C) as a forced close so
// the database is closed and the log ends properly.
void InstallSignalHandlers(QObject* context)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [notifier] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(g_signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        WriteLog(Config::AppShortName, u"Cierre pedido por el sistema."_s);
        ForceClose = true;
        const auto windows = QApplication::topLevelWidgets();
        for (QWidget* window : windows)
            window->close();
        TerminateApplication();
    });
    // The launcher that started this copy may be gone along with the pipe it gave us as
    // stderr; a warning written there must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void WriteFinalLogLines()
{
    WriteLog(Config::AppShortName, Config::LogProgramEnd);
    // The separator stands alone, without timestamp, so runs are easy to tell apart.
    WriteLogSeparator();
}

} // namespace

bool AcquireSingleInstance()
{
    try {
        return Platform::AcquireProcessLock(Platform::InstanceLockPath(Config::AppShortName));
    } catch (...) {
        return false;
    }
}

void WaitAndDeleteFile(const QString& path, int timeoutMs)
{
    try {
        if (!path.isEmpty() && QFileInfo::exists(path) && !IsProgramCopy(path)) {
            WriteLog(u"$3064.5"_s, u"Filename="_s + path + u"; Exception=not a copy of the program, kept"_s);
            return;
        }
        QElapsedTimer clock;
        clock.start();
        while (QFileInfo::exists(path) && clock.elapsed() < timeoutMs) {
            if (!DeleteFileLogged(path))
                QThread::msleep(100);
        }
    } catch (...) {
    }
}

bool CreateDesktopShortcut()
{
    try {
        const QString folder = Platform::DesktopFolder();
        if (folder.isEmpty() || !EnsureFolder(folder))
            return false;
        const QString icon = Paths.InstallFolder + Config::AppShortName + u".png"_s;
        if (!WriteIcon(icon))
            return false;
        return Platform::WriteDesktopLauncher(folder + u'/' + Config::AppShortName + u".desktop"_s, Config::AppTitle,
                                              Paths.InstalledExe, Paths.InstallFolder, icon,
                                              Config::ShortcutDescription);
    } catch (...) {
        return false;
    }
}

bool InstallCopy()
{
    try {
        return EnsureFolder(Paths.InstallFolder) && CopyFileOver(Paths.ExePath, Paths.InstalledExe) &&
               CreateDesktopShortcut() && LaunchProgram(Paths.InstalledExe, Paths.ExePath);
    } catch (...) {
        return false;
    }
}

bool PrepareLaunch(const QString& exePath, const QStringList& arguments)
{
    try {
        if (!InitPaths(exePath) || !InitFormatSettings()) {
            ShowCloseWarning(Config::LaunchInitFailed1 + u"\n\n"_s + Config::LaunchInitFailed2 + u"\n"_s +
                             Config::LaunchInitFailed3);
            return false;
        }
        const bool inInstallFolder = SameFolder(Paths.ExeFolder, Paths.InstallFolder);
        const QString runningName = QFileInfo(Paths.ExePath).fileName();

        if (!inInstallFolder && !QFileInfo::exists(Paths.InstalledExe) && !QFileInfo::exists(Paths.DatabaseFile)) {
            if (InstallCopy())
                return false;
            ShowCloseWarning(Config::LaunchInstallFailed);
            return false;
        }
        if (!inInstallFolder && QFileInfo::exists(Paths.InstalledExe)) {
            CreateDesktopShortcut();
            LaunchProgram(Paths.InstalledExe, Paths.ExePath);
            return false;
        }
        if (inInstallFolder && Platform::SameNameIgnoringCase(runningName, Config::UpdateExeFileName) &&
            arguments.size() == 1 && !arguments.first().isEmpty()) {
            WaitAndDeleteFile(arguments.first());
            if (CopyFileOver(Paths.ExePath, Paths.InstalledExe))
                LaunchProgram(Paths.InstalledExe, Paths.ExePath);
            return false;
        }
        if (!Platform::SameNameIgnoringCase(runningName, Config::ExeFileName))
            return false;
        if (arguments.size() == 1)
            WaitAndDeleteFile(arguments.first());

        if (DataFileExists(Config::DisplayMarkerFile)) {
            LabelTrimming = false;
        } else if (QFileInfo::exists(Paths.DatabaseFile) &&
                   OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId)) {
            LabelTrimming = ReadSetting(Setting::LabelTrimming) == u"True"_s;
            CloseDatabase();
        } else {
            CloseDatabase();
            LabelTrimming = true;
        }
        return true;
    } catch (...) {
        return false;
    }
}

int RunProgram(int argc, char** argv, const TWindowFactory& createWindows)
{
    TApplication app(argc, argv);
    InstallGlobalExceptionHandlers();
    InstallBugWindowHandler();
    QApplication::setApplicationDisplayName(Config::AppTitle);
    QApplication::setApplicationName(Config::AppShortName);
    // From here on a termination request waits for the event loop and ends in order.
    InstallSignalHandlers(&app);

    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.size() == 1)
        QThread::msleep(2000); // the process that started this one is ending and freeing the lock

    if (!AcquireSingleInstance())
        return 0;
    if (!PrepareLaunch(QCoreApplication::applicationFilePath(), arguments))
        return 0;

    std::vector<std::unique_ptr<QWidget>> created = createWindows ? createWindows() : decltype(created){};
    // Windows may free themselves while the program runs (the splash once the main window
    // has taken over, the main window when it closes); only the rest are freed here.
    std::vector<QPointer<QWidget>> windows;
    for (std::unique_ptr<QWidget>& window : created)
        windows.emplace_back(window.release());
    if (!TerminationRequested() && !windows.empty())
        app.exec();

    if (SyncInProgress) {
        WriteLog(Config::AppShortName, Config::LogWaitingForSync);
        while (SyncInProgress)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 100);
    }
    for (const QPointer<QWidget>& window : windows)
        delete window.data();
    if (DB() && DB()->Connected()) {
        WriteLog(Config::AppShortName, Config::LogClosingDatabase);
        CloseDatabase();
    }
    WriteFinalLogLines();
    return 0;
}
