#pragma once

#include "support/ServiceProcess.h"
#include "sync/SyncTypes.h"

#include <QByteArray>
#include <QString>

#include <nlohmann/json.hpp>

#include <utility>
#include <variant>
#include <vector>

// Requests written the way the client writes them (members in order, strings in the
// client's two-stage escaping, the request envelope, one multipart field), for testing
// the service without the client's transport.
struct Credentials {
    int agency = 7;
    QString user = QStringLiteral("admin");
    QString password = QStringLiteral("demo");
    QString installKey = QStringLiteral("DEMO-7-20261209"); // the demo installation's key
    double acceptedTerms = 2.1;
    QString appVersion = QStringLiteral("3.0.0");
};

using MemberValue = std::variant<QString, qint64, double>;
using Members = std::vector<std::pair<QString, MemberValue>>;

struct Reply {
    int status = -1;             // HTTP status
    bool unpacked = false;       // the body was a response envelope
    QByteArray answer;           // the decoded answer
    nlohmann::ordered_json json; // the answer parsed, when it is JSON

    bool IsError() const;
    QString ErrorText() const;
    QString Text(const char* member) const; // a string member, or a number as written
};

class ServiceClient {
public:
    explicit ServiceClient(const ServiceProcess& service) : m_service(service) {}

    // The request text the client would send for the kind (common members, action, extras).
    static QByteArray RequestText(TRequestKind kind, const Members& extras, const Credentials& who);
    Reply Call(TRequestKind kind, const Members& extras = {}, const Credentials& who = {}) const;
    // Posts a request text as it stands (for malformed requests).
    Reply CallText(const QByteArray& text) const;
    Reply PostEnvelope(const QByteArray& envelope) const;

private:
    const ServiceProcess& m_service;
};
