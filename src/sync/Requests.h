#pragma once

#include "sync/SyncTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

// What every request carries about who is asking.
struct TSessionValues {
    int AgencyCode = 0;
    QString UserName;
    QString Password;
    QString InstallKey;
};

// One function per request kind. Each returns its error text: its kind's failure text when
// no answer came, the service's text for an error object, "" for a usable answer (kinds
// whose answer has a "Msg" return that instead). Answer members are read into the outputs.

struct TTermsAnswer {
    QString Version, Date, Text, UserName, ServerTime;
};
QString RequestTerms(const TSessionValues& s, double knownVersion, TTermsAnswer& answer);

struct TSessionAnswer {
    bool Confirmed = false; // answered without an error object and status other than 9
    int Status = -1;
    QString Message;
};
QString RequestSessionCheck(const TSessionValues& s, TSessionAnswer& answer,
                            const QString& code = QStringLiteral("$3122"));

QString RequestDatabaseFile(const TSessionValues& s, QByteArray& file);

struct TVersionAnswer {
    QString CurrentVersion, ChangeLog;
};
QString RequestVersionInfo(const TSessionValues& s, TVersionAnswer& answer);
QString RequestProgramDownload(const TSessionValues& s, QByteArray& program);

// The table-data answer, as text to import.
QString RequestFullData(const TSessionValues& s, QByteArray& answer);
QString RequestIncrementalData(const TSessionValues& s, int dataVersion, QByteArray& answer);
// The same answers left in their envelopes, for the import to read a piece at a time: a
// full answer unpacks to hundreds of megabytes. The envelope has been read through once and
// is sound and within the import's size limit; an answer beyond it gives
// TableDataTooLargeText().
QString RequestFullDataPacked(const TSessionValues& s, QByteArray& envelope);
QString RequestIncrementalDataPacked(const TSessionValues& s, int dataVersion, QByteArray& envelope);
// What the user reads when a table-data answer is larger than the client accepts.
QString TableDataTooLargeText();

QString RequestUploadChanges(const TSessionValues& s, const QByteArray& payload, QString& message);

// Photos as (identifier, JPEG bytes) in the order the answer lists them.
QString RequestPhotos(const TSessionValues& s, int propertyCode, const QString& photoList,
                      QList<QPair<QString, QByteArray>>& photos);

// Writes the agency logo into the data folder when the answer has one.
QString RequestAgencyLogo(const TSessionValues& s);
QString RequestPropertyQR(const TSessionValues& s, int propertyCode, QByteArray& png);

struct TStatusAnswer {
    QString PublicAddress, Status, ServerTime, CurrentVersion, Notice;
    bool ValidationRequired = false;
};
QString RequestServiceStatus(const TSessionValues& s, TStatusAnswer& answer);
QString RequestValidationKey(const TSessionValues& s, const QString& key, TStatusAnswer& answer);

struct TStatementAnswer {
    QString Hasta, Fecha, Importe, Saldo, Descuento, Nota, IVA, LastUpdate;
};
QString RequestAccountStatement(const TSessionValues& s, TStatementAnswer& answer);
QString RequestReportPayment(const TSessionValues& s, const QString& date, const QString& type, const QString& branch,
                             const QString& bank, const QString& amount);

QString RequestShareLink(const TSessionValues& s, int propertyCode, int channel, QString& url);
QString RequestDenounceProperty(const TSessionValues& s, int propertyCode, const QString& reason);
QString RequestPropertyRecovery(const TSessionValues& s, int propertyCode);

struct TReportRequest {
    QString MailTo, Subject, Body, Options, PropertyList;
    bool SendCopy = false;
    bool Flag = false;
};
QString RequestMailReport(const TSessionValues& s, const TReportRequest& report, QString& url);
QString RequestWebReport(const TSessionValues& s, const TReportRequest& report, QString& url, QByteArray& qrPng);

// Writes a non-empty help document into the data folder; gives the service's version.
QString RequestHelpFile(const TSessionValues& s, double helpVersion, double& newVersion);

QString RequestChangeCredentials(const TSessionValues& s, const QString& validationKey, int userCode,
                                 const QString& newUserName, const QString& newPasswordDigest);

QString RequestVisit(const TSessionValues& s, int propertyCode, const QString& address, const QDateTime& when,
                     const QString& seller, const QString& client, const QString& body);

// File names in the data folder.
QString AgencyLogoFile();
QString HelpDocumentFile();
