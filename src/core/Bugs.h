#pragma once

#include <QString>

// One line in the log: timestamp, who, code, ": ", message. Never throws; a line that
// cannot be written is lost.
void WriteLog(const QString& code, const QString& message);
// One line of timestamp, " " and the text, without who or code.
void WriteLogLine(const QString& text);
// The line of 80 "-" that closes a run, without timestamp.
void WriteLogSeparator();

// The plain line WriteLog would write now (before scrambling).
QString ComposeLogLine(const QString& code, const QString& message);
// CR removed, LF LF as one blank, remaining LF as blanks.
QString FlattenLineBreaks(const QString& message);
QString LogFilePath();

// Sends an error report to the service and returns its outcome code.
int SendErrorReport(const QString& text);

enum class TBugMode { Error, Unexpected };

// How a fatal routine shows the bug window and ends the program. Production installs
// the bug window, whose Terminate ends the process; tests install one that records the
// call and returns.
class TFatalHandler {
public:
    virtual ~TFatalHandler() = default;
    virtual void ShowBug(TBugMode mode, const QString& message) = 0;
    virtual void Terminate() = 0;
};
// Installs a handler (not owned); nullptr restores the default, which ends the process.
void SetFatalHandler(TFatalHandler* handler);

// What a fatal routine runs after the report and before the bug window. The database
// library installs its closing here when it opens one, so that a fatal error leaves the
// file closed; core itself cannot reach the database. nullptr removes it.
using TFatalCleanup = void (*)();
void SetFatalCleanup(TFatalCleanup cleanup);

// A failure the program cannot continue after: log, report, close the database, show the
// bug window, end the process. Does nothing while ForceClose is set. Returns only when a
// test's handler let it.
void FatalError(const QString& message);
// The same for an exception that no operation caught.
void UnexpectedError(const QString& message);

// Whether a fatal routine has run in this process. Callers that failed because of it stay
// quiet: the routine has logged and reported everything, and the database is closed.
bool FatalErrorRaised();
void ResetFatalError();

// Ends the process at once after a fatal error, closing the log's run first. The
// database is already closed; nothing else of the program may run on.
[[noreturn]] void EndProcessAfterFatalError();

// Makes the application leave every event loop; also honoured when the main loop has not
// started yet.
void TerminateApplication();
bool TerminationRequested();
void ResetTerminationRequest();

// Installs the application-wide catchers of exceptions that escaped every operation.
void InstallGlobalExceptionHandlers();
