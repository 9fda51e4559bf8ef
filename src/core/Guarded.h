#pragma once

#include "core/Bugs.h"

#include <QString>

#include <exception>
#include <stdexcept>

// The exception boundary of the small helpers: run the body, and on any exception log it
// under the helper's location code (when it has one) and give back the fallback.
template <typename T, typename Body> T Guarded(const QString& code, T fallback, Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::exception& e) {
        if (!code.isEmpty())
            WriteLog(code, QString::fromUtf8(e.what()));
    } catch (...) {
        if (!code.isEmpty())
            WriteLog(code, QStringLiteral("Unknown exception"));
    }
    return fallback;
}

// A conversion failure with the offending text quoted, cut short so that a huge input
// does not become a huge log line.
[[noreturn]] inline void ThrowNotValid(const QString& text, const char* what)
{
    constexpr int kQuoted = 80;
    const QString quoted = text.size() > kQuoted ? text.left(kQuoted) + QStringLiteral("...") : text;
    throw std::runtime_error(("'" + quoted.toStdString() + "' is not a valid " + what));
}
