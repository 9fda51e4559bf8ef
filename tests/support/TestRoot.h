#pragma once

#include "core/Bugs.h"
#include "core/UserMessages.h"

#include <QStringList>
#include <QTemporaryDir>

#include <vector>

// A fresh temporary root per test: Paths point into it and the log goes there.
class TestRoot {
public:
    TestRoot();
    ~TestRoot();
    QString Path() const { return m_dir.path() + QStringLiteral("/"); }
    // The plain lines of the log written so far.
    QStringList LogLines() const;

private:
    QTemporaryDir m_dir;
};

// Records fatal-routine calls instead of ending the process.
class RecordingFatalHandler : public TFatalHandler {
public:
    RecordingFatalHandler()
    {
        SetFatalHandler(this);
        ResetFatalError();
    }
    ~RecordingFatalHandler() override
    {
        SetFatalHandler(nullptr);
        ResetFatalError();
    }
    void ShowBug(TBugMode mode, const QString& message) override { calls.push_back({mode, message}); }
    void Terminate() override { ++terminations; }
    struct Call {
        TBugMode mode;
        QString message;
    };
    std::vector<Call> calls;
    int terminations = 0;
};

// Answers user messages from a script and keeps what was shown.
class ScriptedAnswerer : public TMessageAnswerer {
public:
    ScriptedAnswerer() { SetMessageAnswerer(this); }
    ~ScriptedAnswerer() override { SetMessageAnswerer(nullptr); }
    bool Answer(TMessageKind kind, const QString&, const QString& text) override
    {
        shown.push_back({kind, text});
        return answer;
    }
    struct Shown {
        TMessageKind kind;
        QString text;
    };
    std::vector<Shown> shown;
    bool answer = true;
};

#include <ostream>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.left(200).toStdString() << '"';
}
