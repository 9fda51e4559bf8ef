#pragma once

#include <QDateTime>
#include <QString>

// A member agency of the service.
struct TBrokerData {
    int Code = 0;
    QString Name;
    QString Address;
    int LocalityCode = 0;
    QString Phone;
    QString Email;
    QString Website;
    bool HeadOffice = false;
    QString Auctioneer;
    QString Registration;
    QString BillingContact, BillingPhone, BillingEmail, BillingCompany, BillingTaxNumber, BillingAddress,
        BillingPostalCode, BillingLocality;
    QDateTime Joined, Left, Rejoined;
};

// The agency's record; false when it is missing or cannot be read.
bool LoadBroker(int agencyCode, TBrokerData& broker);

// The agency of this installation, loaded at start-up.
extern TBrokerData CurrentBroker;
