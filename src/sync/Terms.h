#pragma once

#include "sync/Requests.h"

#include <QDate>
#include <QString>

class QWidget;

// Terms of service as the service publishes them.
struct TTerms {
    QString Text;
    QDate Date;
    double Version = 0;
    QString UserName;   // the user name the service returns with them
    QString ServerTime; // "yyyy-mm-dd hh:mm:ss", the service's clock
    bool New = false;   // newer than the version asked with, and complete
};

// Asks the service for terms newer than version (which becomes the service's version).
// Returns "" with terms.New set when newer complete terms came, "" when there is nothing
// new, the service's text for an error object and the terms-unavailable text otherwise.
QString FetchTerms(const TSessionValues& session, double& version, TTerms& terms);

// After the login: the installation must have accepted terms, and accepts newer ones now
// or stops. "" lets the start-up continue; a service that does not answer lets it too.
// The splash window, when given, is hidden while the terms are shown.
QString TermsCheck(QWidget* splash = nullptr);

// The terms for reading, from the main window's link.
void ViewTerms(QWidget* parent = nullptr);

namespace TermsText {
extern const QString Unavailable;
extern const QString NotAccepted;
extern const QString Declined;
extern const QString NotRecorded;
extern const QString ViewPrefix;
} // namespace TermsText
