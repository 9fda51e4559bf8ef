#pragma once

#include <QByteArray>
#include <QString>

#include <nlohmann/json_fwd.hpp>

#include <map>
#include <mutex>

class TMasterStore;

struct TServiceOptions {
    QString publicUrl; // base of the links the service hands out; empty: the Host the client used
    QString adminKey;  // a key of the operators that also passes as any agency's validation key
};

// What a request came to: the answer body (JSON text, or the bytes of a file) and what the
// console log says about it.
struct TAnswer {
    QByteArray body;
    QString action; // the action text, or "?" when the request could not be read
    int agency = -1;
    bool refused = false; // the body is the error object
    bool packed = false;  // the body is already the response envelope
    QString note;         // the refusal's text, or a short summary
};

// The preamble of every response envelope.
QByteArray ResponsePreamble();

// A sync request's form field as sent: it must start with the request preamble and may not
// unpack beyond maxInflated bytes. False, with the reason, for anything else.
bool UnpackRequest(const QByteArray& envelope, qint64 maxInflated, QByteArray& wire, QString* why);
// The request text as it came out of the envelope, read as JSON; a discarded value when it
// does not read.
nlohmann::ordered_json ReadRequestText(const QByteArray& wireJson);

// Answers the decoded request objects of the sync endpoint. Thread-safe: the work on the
// master database runs under its mutex.
class TRequestHandler {
public:
    TRequestHandler(TMasterStore& store, TServiceOptions options);

    // The request text as it came out of the envelope; the caller's address; the base URL
    // ("http://host:port") under which the caller reached the service.
    TAnswer Handle(const QByteArray& wireJson, const QString& remoteAddress, const QString& baseUrl);

    // The error object for a text, as the client recognises it.
    static QByteArray ErrorObject(const QString& text);

private:
    TMasterStore& m_store;
    TServiceOptions m_options;
    std::mutex m_attemptsMutex;
    std::map<QString, std::pair<int, qint64>> m_validationAttempts; // installation -> failures, since

    friend class TRequest;
};
