#pragma once

#include "sync/SyncTypes.h"

#include <QByteArray>
#include <QString>

#include <chrono>

// Where a transfer reports its progress. Each target is optional; the window that starts
// a long operation installs the targets it has and clears them afterwards.
class TTransferSinks {
public:
    virtual ~TTransferSinks() = default;
    virtual bool HasStatus() const = 0;
    virtual void SetStatusText(const QString& text) = 0;
    // maximum -1 keeps the current maximum.
    virtual void SetProgress(qint64 maximum, qint64 position) = 0;
    virtual qint64 ProgressMaximum() const = 0;
    virtual void AppendLogLine(const QString& line) = 0;
    virtual void AppendLogSeparator() = 0;
    // The action button cancels the transfer; it is offered before and withdrawn once the
    // answer is in, so the local work that follows cannot be cancelled.
    virtual void OfferAction() = 0;
    virtual void WithdrawAction() = 0;
};
void SetTransferSinks(TTransferSinks* sinks);
TTransferSinks* TransferSinks();

// Progress operations on whatever sinks are installed; none of them ever throws.
void SinkStatus(const QString& text);
void SinkProgress(qint64 maximum, qint64 position);
void SinkLog(const QString& line); // prefixed with "dd-mmm-yy hh:nn:ss "
void SinkLogSeparator();
void SinkOfferAction();
void SinkWithdrawAction();

// The timers of the connection state; the main window implements them. The transport
// starts and stops them when requests keep failing.
class TConnectionTimers {
public:
    virtual ~TConnectionTimers() = default;
    virtual void StartResetTimer() = 0;
    virtual void StopResetTimer() = 0;
    virtual void StartConnectionTestTimer() = 0;
    virtual void ShowOffline() = 0;
};
void SetConnectionTimers(TConnectionTimers* timers);

// Intervals of the connection timers; tests shorten them.
struct TTimerIntervals {
    std::chrono::milliseconds FailureReset{300000};
    std::chrono::milliseconds ConnectionTest{900000};
};
TTimerIntervals& TimerIntervals();

// Consecutive failed requests; the reset timer clears it.
int ConsecutiveFailures();
void ResetConsecutiveFailures();

// The request object as JSON text (8-bit, pure ASCII).
QByteArray BuildRequestJson(const TSyncRequestData& data);

// Sends one request and gives back the decoded answer text. False when nothing usable
// came back or when the client is offline (then nothing is sent).
bool SendRequest(const TSyncRequestData& data, QByteArray& response);
bool EncodeEnvelope(const QByteArray& json, QByteArray& envelope);
// Every answer but table data is small: the largest genuine one is a program build in
// base64, some 50 MB. A tighter cap than the envelope's own keeps an answer that claims
// gigabytes from taking the client's memory with it.
constexpr qsizetype AnswerMaxInflated = qsizetype(256) * 1024 * 1024;
bool DecodeEnvelope(const QByteArray& envelope, QByteArray& response, qsizetype maxInflated = AnswerMaxInflated);
bool PostEnvelope(const QByteArray& envelope, QByteArray& response);
// For answers that may be large (table data): the answer comes back still in its envelope,
// read through once without being kept, so it is known to be sound and to unpack to at most
// maxInflated bytes. tooLarge tells a refusal for its size from other failures.
bool SendRequestPacked(const TSyncRequestData& data, QByteArray& packed, qsizetype maxInflated,
                       bool* tooLarge = nullptr);
bool PostEnvelopePacked(const QByteArray& envelope, QByteArray& packed, qsizetype maxInflated,
                        bool* tooLarge = nullptr);
// Aborts the transfer in progress; the request then fails within about two seconds.
void CancelTransfer();
bool TransferInProgress();
// Closes the idle connections kept for the next request, so the service need not wait
// for them to time out (when the service's address changes, or before stopping it).
void DropConnections();

// The service's error object, when the answer is one.
bool ExtractServiceError(const QByteArray& response, QString& text);
// An answer parsed once, for callers that read several members. Read as ASCII: other
// characters survive only as \u escapes.
class TAnswerObject {
public:
    explicit TAnswerObject(const QByteArray& response);
    ~TAnswerObject();
    TAnswerObject(const TAnswerObject&) = delete;
    TAnswerObject& operator=(const TAnswerObject&) = delete;
    bool IsObject() const;
    // A string unescaped, a number as written, "" when absent.
    QString Value(const QString& member) const;

private:
    struct Data;
    Data* m_data;
};

// One top-level member of the answer as text ("" when absent or not JSON). The answer is
// read as ASCII: other characters survive only as \u escapes.
QString ResponseValue(const QByteArray& response, const QString& member);

// Connect and read time-outs from the settings (defaults when unset or closed).
int ConnectTimeoutMs();
int ReadTimeoutMs();
