#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// The requests the client makes of the service. The numbers are the client's own; only
// the action text of each kind travels.
enum class TRequestKind : std::uint8_t {
    rkTermsOfService = 0,
    rkSessionCheck = 2,
    rkDatabaseFile = 4,
    rkVersionInfo = 5,
    rkProgramDownload = 6,
    rkFullData = 7,
    rkIncrementalData = 8,
    rkUploadChanges = 9,
    rkPhotos = 10,
    rkAgencyLogo = 11,
    rkPropertyQR = 12,
    rkServiceStatus = 13,
    rkValidationKey = 14,
    rkAccountStatement = 15,
    rkReportPayment = 16,
    rkShareLink = 17,
    rkDenounceProperty = 18,
    rkPropertyRecovery = 19,
    rkMailReport = 21,
    rkWebReport = 22,
    rkHelpFile = 23,
    rkChangeCredentials = 24,
    rkVisitRequest = 25,
};

inline constexpr TRequestKind AllRequestKinds[] = {
    TRequestKind::rkTermsOfService,    TRequestKind::rkSessionCheck,     TRequestKind::rkDatabaseFile,
    TRequestKind::rkVersionInfo,       TRequestKind::rkProgramDownload,  TRequestKind::rkFullData,
    TRequestKind::rkIncrementalData,   TRequestKind::rkUploadChanges,    TRequestKind::rkPhotos,
    TRequestKind::rkAgencyLogo,        TRequestKind::rkPropertyQR,       TRequestKind::rkServiceStatus,
    TRequestKind::rkValidationKey,     TRequestKind::rkAccountStatement, TRequestKind::rkReportPayment,
    TRequestKind::rkShareLink,         TRequestKind::rkDenounceProperty, TRequestKind::rkPropertyRecovery,
    TRequestKind::rkMailReport,        TRequestKind::rkWebReport,        TRequestKind::rkHelpFile,
    TRequestKind::rkChangeCredentials, TRequestKind::rkVisitRequest,
};

// The action text that names a kind on the wire.
QString ActionText(TRequestKind kind);
// The kind an action text names.
std::optional<TRequestKind> KindOfAction(const QString& action);

// One request to the service; the caller sets the fields its kind uses.
struct TSyncRequestData {
    TRequestKind Kind = TRequestKind::rkSessionCheck;
    std::int32_t AgencyCode = 0;
    QString UserName;
    QString Password; // in clear; only its digest is sent
    QString InstallKey;
    std::int32_t ItemCode = 0;
    QString PropertyList;
    QString PhotoList;
    double TermsVersion = 0;
    double HelpVersion = 0;
    std::int32_t DataVersion = 0;
    QString ValidationKey; // only its digest is sent
    QString PayDate;
    QString PayType;
    QString PayBranch;
    QString PayBank;
    QString PayAmount;
    std::int32_t Channel = 0; // only its low byte is sent
    QString Body;
    QString Subject;
    QString MailTo;
    QString ReportOptions;
    bool SendCopy = false;
    bool ReportFlag = false;
    QByteArray Payload; // 8-bit text
    std::int32_t UserCode = 0;
    QString NewUserName;
    QString NewPasswordDigest;
    QString VisitAddress;
    QString VisitWhen;
    QString VisitSeller;
    QString VisitClient;
    QString VisitBody;
};
