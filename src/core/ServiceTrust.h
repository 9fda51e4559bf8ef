#pragma once

#include <QString>

class QNetworkReply;
class QNetworkRequest;

// HTTPS to the service: its certificate is always verified, against the system's CAs and
// the CA file that the configuration file names (for a private deployment or a test
// service). There is no way to turn the verification off.
void ApplyServiceTrust(QNetworkRequest& request);

// Remembers whether the reply failed because the service's certificate could not be
// trusted; a reply that succeeded or failed otherwise clears it.
void NoteSecureConnectionOutcome(const QNetworkReply* reply);

// The text for the person when the last exchange was refused for its certificate, else "".
QString SecureConnectionProblem();

namespace ServiceTrustText {
extern const QString Untrusted;
} // namespace ServiceTrustText
