#include "sync/Requests.h"

#include "core/Bugs.h"
#include "core/MiscFunc.h"
#include "core/ServiceTrust.h"
#include "core/uTypes.h"
#include "sync/Envelope.h"
#include "sync/Import.h"
#include "sync/Sync.h"
#include "sync/WireProtocol.h"

using namespace Qt::StringLiterals;
using K = TRequestKind;

namespace {

TSyncRequestData Data(K kind, const TSessionValues& s)
{
    TSyncRequestData d;
    d.Kind = kind;
    d.AgencyCode = s.AgencyCode;
    d.UserName = s.UserName;
    d.Password = s.Password;
    d.InstallKey = s.InstallKey;
    return d;
}

// Sends, and turns the outcome into the error text every request function returns: the
// preset failure text when nothing usable came back, the service's own text for an error
// object, "" otherwise (the answer is then in text).
QString Run(const char* code, const QString& failure, const TSyncRequestData& data, QByteArray& text)
{
    const QString where = QString::fromLatin1(code);
    try {
        if (!SendRequest(data, text)) {
            text.clear();
            // A certificate that cannot be trusted is no passing network fault: retrying
            // later would not help, so the person learns what blocks the connection.
            const QString shown = SecureConnectionProblem().isEmpty() ? failure : SecureConnectionProblem();
            WriteLog(where, shown);
            return shown;
        }
        QString service;
        if (ExtractServiceError(text, service)) {
            WriteLog(where, service);
            text.clear();
            return service;
        }
        return {};
    } catch (const std::exception& e) {
        WriteLog(where, QString::fromUtf8(e.what()));
        text.clear();
        return failure;
    }
}

// Run for the table-data kinds: the answer stays packed, and only its first bytes are
// unpacked to tell the service's error object, which is never longer than 4096 bytes.
QString RunPacked(const char* code, const QString& failure, const TSyncRequestData& data, QByteArray& envelope)
{
    const QString where = QString::fromLatin1(code);
    try {
        const qsizetype limit = ImportLimits().maxAnswer;
        bool tooLarge = false;
        if (!SendRequestPacked(data, envelope, limit, &tooLarge)) {
            envelope.clear();
            const QString error = tooLarge ? TableDataTooLargeText() : failure;
            WriteLog(where, error);
            return error;
        }
        TEnvelopeReader reader(envelope, Wire::ResponsePreambleLength, limit);
        QByteArray head(4097, Qt::Uninitialized);
        qsizetype got = 0;
        qsizetype n = 0;
        while (got < head.size() && (n = reader.Read(head.data() + got, head.size() - got)) > 0)
            got += n;
        head.truncate(got);
        QString service;
        if (ExtractServiceError(head, service)) {
            WriteLog(where, service);
            envelope.clear();
            return service;
        }
        return {};
    } catch (const std::exception& e) {
        WriteLog(where, QString::fromUtf8(e.what()));
        envelope.clear();
        return failure;
    }
}

// Kinds whose answer carries a "Msg": that text is the outcome.
QString RunForMessage(const char* code, const QString& failure, const TSyncRequestData& data)
{
    QByteArray text;
    const QString error = Run(code, failure, data, text);
    if (!error.isEmpty())
        return error;
    const QString message = ResponseValue(text, u"Msg"_s);
    if (!message.isEmpty())
        WriteLog(QString::fromLatin1(code), message);
    return message;
}

} // namespace

QString AgencyLogoFile()
{
    return Paths.DataFolder + u"logo.png"_s;
}

QString HelpDocumentFile()
{
    return Paths.DataFolder + u"Ayuda.pdf"_s;
}

QString RequestTerms(const TSessionValues& s, double knownVersion, TTermsAnswer& answer)
{
    TSyncRequestData d = Data(K::rkTermsOfService, s);
    d.TermsVersion = knownVersion;
    QByteArray text;
    const QString error = Run("$3101", u"No se pudieron obtener los términos y condiciones del servicio."_s, d, text);
    if (error.isEmpty()) {
        const TAnswerObject a(text);
        answer = {a.Value(u"TOS_Version"_s), a.Value(u"TOS_Date"_s), a.Value(u"TOS_Text"_s), a.Value(u"User_Name"_s),
                  a.Value(u"ServerTime"_s)};
    }
    return error;
}

QString RequestSessionCheck(const TSessionValues& s, TSessionAnswer& answer, const QString& code)
{
    answer = {};
    QByteArray text;
    const QByteArray where = code.toLatin1();
    const QString error =
        Run(where.constData(), u"No se pudo verificar la sesión con el servidor."_s, Data(K::rkSessionCheck, s), text);
    if (error.isEmpty()) {
        const TAnswerObject a(text);
        bool ok = false;
        answer.Status = a.Value(Wire::ASessionStatus).toInt(&ok);
        if (!ok)
            answer.Status = -1;
        answer.Message = a.Value(Wire::ASessionMessage);
        answer.Confirmed = answer.Status != 9;
    }
    return error;
}

QString RequestDatabaseFile(const TSessionValues& s, QByteArray& file)
{
    return Run("$3110", u"No se pudo descargar la base de datos."_s, Data(K::rkDatabaseFile, s), file);
}

QString RequestVersionInfo(const TSessionValues& s, TVersionAnswer& answer)
{
    QByteArray text;
    const QString error =
        Run("$3118", u"No se pudo consultar la versión del programa."_s, Data(K::rkVersionInfo, s), text);
    if (error.isEmpty()) {
        const TAnswerObject a(text);
        answer = {a.Value(u"CurrentVersion"_s), a.Value(u"ChangeLog"_s)};
    }
    return error;
}

QString RequestProgramDownload(const TSessionValues& s, QByteArray& program)
{
    return Run("$3117", u"No se pudo descargar la nueva versión del programa."_s, Data(K::rkProgramDownload, s),
               program);
}

QString RequestFullData(const TSessionValues& s, QByteArray& answer)
{
    return Run("$3103", u"No se pudieron descargar los datos."_s, Data(K::rkFullData, s), answer);
}

QString RequestIncrementalData(const TSessionValues& s, int dataVersion, QByteArray& answer)
{
    TSyncRequestData d = Data(K::rkIncrementalData, s);
    d.DataVersion = dataVersion;
    return Run("$3104", u"No se pudieron actualizar los datos."_s, d, answer);
}

QString RequestFullDataPacked(const TSessionValues& s, QByteArray& envelope)
{
    return RunPacked("$3103", u"No se pudieron descargar los datos."_s, Data(K::rkFullData, s), envelope);
}

QString RequestIncrementalDataPacked(const TSessionValues& s, int dataVersion, QByteArray& envelope)
{
    TSyncRequestData d = Data(K::rkIncrementalData, s);
    d.DataVersion = dataVersion;
    return RunPacked("$3104", u"No se pudieron actualizar los datos."_s, d, envelope);
}

QString TableDataTooLargeText()
{
    return u"Los datos recibidos del servidor superan el tamaño máximo admitido (%1). No se incorporó ningún "
           u"cambio; si vuelve a ocurrir, comuníquese con el soporte."_s.arg(
               FormatSize(double(ImportLimits().maxAnswer)));
}

QString RequestUploadChanges(const TSessionValues& s, const QByteArray& payload, QString& message)
{
    TSyncRequestData d = Data(K::rkUploadChanges, s);
    d.Payload = payload;
    QByteArray text;
    const QString error = Run("$3105", u"No se pudieron enviar los cambios."_s, d, text);
    message = error.isEmpty() ? ResponseValue(text, u"Msg"_s) : QString();
    return error;
}

QString RequestPhotos(const TSessionValues& s, int propertyCode, const QString& photoList,
                      QList<QPair<QString, QByteArray>>& photos)
{
    photos.clear();
    TSyncRequestData d = Data(K::rkPhotos, s);
    d.ItemCode = propertyCode;
    d.PhotoList = photoList;
    QByteArray text;
    const QString error = Run("$3115", u"No se pudieron descargar las fotos."_s, d, text);
    if (!error.isEmpty()) {
        WriteLog(u"$3115"_s, u"Prop=%1; Fotos=%2"_s.arg(propertyCode).arg(photoList));
        return error;
    }
    const TAnswerObject a(text);
    const int count = a.Value(u"Count"_s).toInt();
    for (int i = 1; i <= count; ++i) {
        const QString name = a.Value(u"f%1"_s.arg(i));
        const QByteArray bytes = QByteArray::fromBase64(a.Value(u"d%1"_s.arg(i)).toLatin1());
        if (!name.isEmpty() && !bytes.isEmpty())
            photos.append({name, bytes});
    }
    return {};
}

QString RequestAgencyLogo(const TSessionValues& s)
{
    QByteArray text;
    const QString error =
        Run("$3107", u"No se pudo obtener el logo de la inmobiliaria."_s, Data(K::rkAgencyLogo, s), text);
    if (!error.isEmpty())
        return error;
    const QByteArray logo = QByteArray::fromBase64(ResponseValue(text, u"Logo"_s).toLatin1());
    if (!logo.isEmpty() && !WriteBytesFile(AgencyLogoFile(), logo))
        return u"No se pudo guardar el logo de la inmobiliaria."_s;
    return {};
}

QString RequestPropertyQR(const TSessionValues& s, int propertyCode, QByteArray& png)
{
    TSyncRequestData d = Data(K::rkPropertyQR, s);
    d.ItemCode = propertyCode;
    QByteArray text;
    const QString error = Run("$3108", u"No se pudo obtener el código QR."_s, d, text);
    png = error.isEmpty() ? QByteArray::fromBase64(ResponseValue(text, u"QR"_s).toLatin1()) : QByteArray();
    return error;
}

static void ReadStatus(const QByteArray& text, TStatusAnswer& answer)
{
    const TAnswerObject a(text);
    answer.PublicAddress = a.Value(Wire::AStatusPublicAddress);
    answer.Status = a.Value(Wire::AStatusText);
    answer.ServerTime = a.Value(Wire::AStatusServerTime);
    answer.CurrentVersion = a.Value(Wire::AStatusVersion);
    answer.Notice = a.Value(Wire::AStatusNotice);
    const QString flag = a.Value(Wire::AStatusValidationRequired);
    answer.ValidationRequired = flag == u"true"_s || flag == u"1"_s;
}

QString RequestServiceStatus(const TSessionValues& s, TStatusAnswer& answer)
{
    answer = {};
    QByteArray text;
    const QString error =
        Run("$3102", u"No se pudo consultar el estado del servicio."_s, Data(K::rkServiceStatus, s), text);
    if (error.isEmpty())
        ReadStatus(text, answer);
    return error;
}

QString RequestValidationKey(const TSessionValues& s, const QString& key, TStatusAnswer& answer)
{
    answer = {};
    TSyncRequestData d = Data(K::rkValidationKey, s);
    d.ValidationKey = key;
    QByteArray text;
    const QString error = Run("$3106", u"No se pudo validar la clave."_s, d, text);
    if (error.isEmpty())
        ReadStatus(text, answer);
    return error;
}

QString RequestAccountStatement(const TSessionValues& s, TStatementAnswer& answer)
{
    answer = {};
    QByteArray text;
    const QString error = Run("$3111", u"El estado de cuenta no está disponible en este momento."_s,
                              Data(K::rkAccountStatement, s), text);
    if (error.isEmpty()) {
        const TAnswerObject a(text);
        answer = {a.Value(u"Pago_Hasta"_s), a.Value(u"Pago_Fecha"_s),     a.Value(u"Pago_Importe"_s),
                  a.Value(u"Pago_Saldo"_s), a.Value(u"Pago_Descuento"_s), a.Value(u"Pago_Nota"_s),
                  a.Value(u"Pago_IVA"_s),   a.Value(u"Pago_LastUpdate"_s)};
    }
    return error;
}

QString RequestReportPayment(const TSessionValues& s, const QString& date, const QString& type, const QString& branch,
                             const QString& bank, const QString& amount)
{
    TSyncRequestData d = Data(K::rkReportPayment, s);
    d.PayDate = date;
    d.PayType = type;
    d.PayBranch = branch;
    d.PayBank = bank;
    d.PayAmount = amount;
    return RunForMessage("$3112", u"No se pudo informar el pago."_s, d);
}

QString RequestShareLink(const TSessionValues& s, int propertyCode, int channel, QString& url)
{
    TSyncRequestData d = Data(K::rkShareLink, s);
    d.ItemCode = propertyCode;
    d.Channel = channel;
    QByteArray text;
    const QString error = Run("$3109", u"No se pudo obtener el enlace para compartir."_s, d, text);
    url = error.isEmpty() ? ResponseValue(text, u"URL"_s) : QString();
    return error;
}

QString RequestDenounceProperty(const TSessionValues& s, int propertyCode, const QString& reason)
{
    TSyncRequestData d = Data(K::rkDenounceProperty, s);
    d.ItemCode = propertyCode;
    d.Body = reason;
    return RunForMessage("$3113", u"No se pudo enviar la denuncia."_s, d);
}

QString RequestPropertyRecovery(const TSessionValues& s, int propertyCode)
{
    TSyncRequestData d = Data(K::rkPropertyRecovery, s);
    d.ItemCode = propertyCode;
    return RunForMessage("$3116", u"No se pudo pedir la recuperación de la propiedad."_s, d);
}

static TSyncRequestData ReportData(K kind, const TSessionValues& s, const TReportRequest& r)
{
    TSyncRequestData d = Data(kind, s);
    d.MailTo = r.MailTo;
    d.Subject = r.Subject;
    d.Body = r.Body;
    d.ReportOptions = r.Options;
    d.PropertyList = r.PropertyList;
    d.SendCopy = r.SendCopy;
    d.ReportFlag = r.Flag;
    return d;
}

QString RequestMailReport(const TSessionValues& s, const TReportRequest& report, QString& url)
{
    QByteArray text;
    const QString error =
        Run("$3119", u"No se pudo enviar el reporte por correo."_s, ReportData(K::rkMailReport, s, report), text);
    url = error.isEmpty() ? ResponseValue(text, u"URL"_s) : QString();
    return error;
}

QString RequestWebReport(const TSessionValues& s, const TReportRequest& report, QString& url, QByteArray& qrPng)
{
    QByteArray text;
    const QString error =
        Run("$3120", u"No se pudo generar el reporte web."_s, ReportData(K::rkWebReport, s, report), text);
    if (error.isEmpty()) {
        const TAnswerObject a(text);
        url = a.Value(u"URL"_s);
        qrPng = QByteArray::fromBase64(a.Value(u"QR"_s).toLatin1());
    } else {
        url.clear();
        qrPng.clear();
    }
    return error;
}

QString RequestHelpFile(const TSessionValues& s, double helpVersion, double& newVersion)
{
    TSyncRequestData d = Data(K::rkHelpFile, s);
    d.HelpVersion = helpVersion;
    QByteArray text;
    const QString error = Run("$3126", u"No se pudo descargar la ayuda del sistema."_s, d, text);
    if (!error.isEmpty())
        return error;
    const TAnswerObject a(text);
    newVersion = ParseDotFloat(a.Value(u"Help_Version"_s));
    const QByteArray data = QByteArray::fromBase64(a.Value(u"Data"_s).toLatin1());
    if (!data.isEmpty() && !WriteBytesFile(HelpDocumentFile(), data))
        return u"No se pudo guardar la ayuda del sistema."_s;
    return {};
}

QString RequestChangeCredentials(const TSessionValues& s, const QString& validationKey, int userCode,
                                 const QString& newUserName, const QString& newPasswordDigest)
{
    TSyncRequestData d = Data(K::rkChangeCredentials, s);
    d.ValidationKey = validationKey;
    d.UserCode = userCode;
    d.NewUserName = newUserName;
    d.NewPasswordDigest = newPasswordDigest;
    QByteArray text;
    return Run("$3125", u"No se pudieron cambiar las credenciales."_s, d, text);
}

QString RequestVisit(const TSessionValues& s, int propertyCode, const QString& address, const QDateTime& when,
                     const QString& seller, const QString& client, const QString& body)
{
    TSyncRequestData d = Data(K::rkVisitRequest, s);
    d.ItemCode = propertyCode;
    d.VisitAddress = address;
    d.VisitWhen = DateTimeToDbText(when);
    d.VisitSeller = seller.trimmed();
    d.VisitClient = client.trimmed();
    d.VisitBody = body.trimmed();
    return RunForMessage("$3121", u"No se pudo enviar el pedido de visita."_s, d);
}
