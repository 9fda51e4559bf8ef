#include "core/Bugs.h"

#include "core/Config.h"
#include "core/FormatSettings.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QMutex>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>

using namespace Qt::StringLiterals;

namespace {

QMutex g_logMutex;
TFatalHandler* g_fatalHandler = nullptr;
std::atomic<bool> g_terminationRequested{false};
std::atomic<bool> g_fatalRaised{false};
std::atomic<TFatalCleanup> g_fatalCleanup{nullptr};

QString Timestamp()
{
    return FormatDateTimeText(u"dd-mmm-yy hh:nn"_s, QDateTime::currentDateTime());
}

void AppendScrambled(const QString& plain)
{
    try {
        const QString path = LogFilePath();
        if (Paths.DataFolder.isEmpty())
            return;
        const QByteArray line = Scramble(plain).toLatin1() + "\r\n";
        // Opened and closed per line: the log must survive any crash that follows it.
        QMutexLocker lock(&g_logMutex);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
            return;
        file.write(line);
        file.flush();
        file.close();
    } catch (...) {
    }
}

void RunFatal(const QString& code, TBugMode mode, const QString& message)
{
    if (ForceClose)
        return;
    g_fatalRaised = true;
    TFatalHandler* handler = g_fatalHandler;
    try {
        WriteLog(code, message);
        SendErrorReport(code + u"\r\n\r\n"_s + message);
        if (const TFatalCleanup cleanup = g_fatalCleanup)
            cleanup();
        if (handler)
            handler->ShowBug(mode, message);
    } catch (...) {
    }
    // Whatever failed above, the caller must not go on with a closed database: the
    // production handler and the default never come back from here.
    try {
        if (handler) {
            handler->Terminate();
            return;
        }
    } catch (...) {
    }
    EndProcessAfterFatalError();
}

} // namespace

QString LogFilePath()
{
    return Paths.DataFolder + Config::LogFileName;
}

QString FlattenLineBreaks(const QString& message)
{
    QString text = message;
    text.remove(u'\r');
    text.replace(u"\n\n"_s, u" "_s);
    text.replace(u'\n', u' ');
    return text;
}

QString ComposeLogLine(const QString& code, const QString& message)
{
    const QString who =
        (CurrentUser.Code > 0 && !CurrentUser.Name.isEmpty()) ? CurrentUser.Name + u" "_s : u"Unknown "_s;
    return Timestamp() + u" "_s + who + code + u": "_s + FlattenLineBreaks(message);
}

void WriteLog(const QString& code, const QString& message)
{
    try {
        AppendScrambled(ComposeLogLine(code, message));
    } catch (...) {
    }
}

void WriteLogLine(const QString& text)
{
    try {
        AppendScrambled(Timestamp() + u" "_s + text);
    } catch (...) {
    }
}

void WriteLogSeparator()
{
    AppendScrambled(QString(80, u'-'));
}

void SetFatalHandler(TFatalHandler* handler)
{
    g_fatalHandler = handler;
}

void SetFatalCleanup(TFatalCleanup cleanup)
{
    g_fatalCleanup = cleanup;
}

void FatalError(const QString& message)
{
    RunFatal(u"Global Exception Handler - Error"_s, TBugMode::Error, message);
}

void UnexpectedError(const QString& message)
{
    RunFatal(u"Global Exception Handler - Bug"_s, TBugMode::Unexpected, message);
}

bool FatalErrorRaised()
{
    return g_fatalRaised;
}

void ResetFatalError()
{
    g_fatalRaised = false;
}

void EndProcessAfterFatalError()
{
    WriteLogSeparator();
    std::fflush(nullptr);
    // No destructors and no event loop: they would run the program on after the fault.
    std::_Exit(EXIT_FAILURE);
}

void TerminateApplication()
{
    g_terminationRequested = true;
    if (QCoreApplication::instance())
        QCoreApplication::exit(0);
}

bool TerminationRequested()
{
    return g_terminationRequested;
}

void ResetTerminationRequest()
{
    g_terminationRequested = false;
}

void InstallGlobalExceptionHandlers()
{
    // Exceptions thrown by event handlers are caught by the application object
    // (TApplication::notify); this catches whatever escapes everything else.
    std::set_terminate([] {
        static bool inside = false;
        if (!inside) {
            inside = true;
            QString message = u"Unhandled exception"_s;
            if (auto current = std::current_exception()) {
                try {
                    std::rethrow_exception(current);
                } catch (const std::exception& e) {
                    message = QString::fromUtf8(e.what());
                } catch (...) {
                }
            }
            UnexpectedError(message);
        }
        std::_Exit(EXIT_FAILURE);
    });
}
