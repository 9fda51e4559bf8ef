#pragma once

#include <QString>

// "OK" when anything answers a HEAD to http://host within two seconds, else "ERROR".
QString ProbeHost(const QString& host);
// This computer's address as the address service sees it, or "ERROR".
QString PublicAddress();

// The host the internet probe asks (KORVEL_REFERENCE_HOST overrides it), and the host of
// the service endpoint.
QString ReferenceHost();
QString ServiceHost();
