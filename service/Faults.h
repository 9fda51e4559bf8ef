#pragma once

#include <QString>

#include <mutex>
#include <optional>
#include <vector>

// Faults that tests switch on to see how the client copes with a service that misbehaves.
// Each applies to one action text or to every request ("*") of the sync endpoint.
enum class TFaultMode {
    Delay,       // wait, then answer normally
    Close,       // drop the connection without an answer
    Http500,     // answer HTTP 500
    Garbage,     // answer 200 with random bytes that are no envelope
    Truncated,   // answer the first half of the real envelope
    BadMarker,   // answer the real envelope with its marker overwritten
    BadChecksum, // answer the real envelope with one byte of its checksum changed
    Refuse,      // answer the service's error object with the fault's text instead
};

struct TFault {
    QString kind; // an action text, or "*"
    TFaultMode mode = TFaultMode::Delay;
    int delayMs = 0;
    int count = 0; // how many requests it still applies to; 0 or less: until cleared
    QString text;  // the error text of Refuse
};

std::optional<TFaultMode> FaultModeOf(const QString& name);
QString FaultModeName(TFaultMode mode);

class TFaults {
public:
    // A newer fault for the same kind replaces the older one.
    void Set(const TFault& fault);
    void Clear();
    std::vector<TFault> List() const;
    // The fault that applies to a request with this action, counted as used.
    std::optional<TFault> Take(const QString& action);

private:
    mutable std::mutex m_mutex;
    std::vector<TFault> m_faults;
};
