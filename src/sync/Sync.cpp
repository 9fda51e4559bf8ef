#include "sync/Sync.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/FormatSettings.h"
#include "core/MiscFunc.h"
#include "core/ServiceTrust.h"
#include "core/SystemInfo.h"
#include "core/uTypes.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "sync/Envelope.h"
#include "sync/Import.h"
#include "sync/WireProtocol.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>

#include <functional>

#include <nlohmann/json.hpp>

using namespace Qt::StringLiterals;

namespace {

TTransferSinks* g_sinks = nullptr;
TConnectionTimers* g_timers = nullptr;
int g_failures = 0;

// The one transfer in flight.
bool g_posting = false;
QPointer<QNetworkReply> g_reply;

// Speed sampling of the running transfer.
QElapsedTimer g_transferClock;
QElapsedTimer g_sampleClock;
double g_speed = 0;

const QString kConnecting = u"Conectando con el servidor..."_s;
const QString kSending = u"Enviando datos"_s;
const QString kReceiving = u"Recibiendo datos"_s;
const QString kSent = u"Datos enviados."_s;
const QString kReceived = u"Datos recibidos."_s;
const QString kProcessing = u"Procesando la respuesta..."_s;
const QString kCancelling = u"Cancelando la transferencia..."_s;

QNetworkAccessManager& Manager()
{
    static QNetworkAccessManager* manager = [] {
        auto* m = new QNetworkAccessManager(QCoreApplication::instance());
        m->setCookieJar(nullptr);
        return m;
    }();
    return *manager;
}

void Guarded(const char* code, const std::function<void()>& step)
{
    try {
        step();
    } catch (const std::exception& e) {
        WriteLog(QString::fromLatin1(code), QString::fromUtf8(e.what()));
    }
}

enum class Mode { Writing, Reading };

void WorkBegin(Mode mode, qint64 expected)
{
    SinkProgress(std::max<qint64>(expected, 0), 0);
    SinkStatus(mode == Mode::Writing ? kSending : kReceiving);
    QCoreApplication::processEvents();
}

void Work(Mode mode, qint64 bytes)
{
    SinkProgress(-1, bytes);
    const QString text = mode == Mode::Writing ? kSending : kReceiving;
    if (g_sampleClock.isValid() && g_sampleClock.elapsed() > 1000) {
        g_sampleClock.restart();
        const double seconds = std::max<double>(g_transferClock.elapsed(), 1) / 1000.0;
        g_speed = (g_speed + double(bytes) / seconds) / 2;
    }
    QString label = text + u": "_s + FormatSize(double(bytes));
    if (g_speed > 0)
        label += u" a "_s + FormatSize(g_speed) + u"/s"_s;
    SinkStatus(label + u"..."_s);
    QCoreApplication::processEvents();
}

void WorkEnd(Mode mode)
{
    if (mode == Mode::Writing) {
        SinkStatus(kSent);
        if (g_sinks)
            SinkProgress(-1, g_sinks->ProgressMaximum());
    } else {
        SinkStatus(kReceived);
    }
    QCoreApplication::processEvents();
}

void CountFailure()
{
    if (!SyncEnabled)
        return;
    if (g_failures == 0 && g_timers)
        g_timers->StartResetTimer();
    ++g_failures;
    WriteLog(u"$3006"_s, u"Solicitudes fallidas consecutivas: %1"_s.arg(g_failures));
    if (g_failures > 2) {
        if (g_timers)
            g_timers->StopResetTimer();
        g_failures = 0;
        if (g_timers)
            g_timers->StartConnectionTestTimer();
        SyncEnabled = false;
        if (g_timers)
            g_timers->ShowOffline();
        WriteLog(u"$3006"_s, u"Sin conexión con el servidor: el sistema pasa a trabajar desconectado."_s);
    }
}

int TimeoutSetting(const QString& name, int fallback)
{
    if (!DB() || !DB()->Connected())
        return fallback;
    const QString text = ReadSetting(name).trimmed();
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value > 0 ? value : fallback;
}

// Members are written by hand: the order is fixed and strings take the two-stage form.
class RequestWriter {
public:
    void Number(const QString& name, qint64 value) { Member(name, QByteArray::number(value)); }
    void Real(const QString& name, double value) { Member(name, FloatToDotText(value).toLatin1()); }
    void String(const QString& name, const QString& value) { Member(name, WireString(value)); }
    QByteArray Text() const { return "{" + m_body + "}"; }

private:
    void Member(const QString& name, const QByteArray& value)
    {
        if (!m_body.isEmpty())
            m_body += ',';
        m_body += '"' + name.toLatin1() + "\":" + value;
    }
    QByteArray m_body;
};

// Posts an envelope and hands the answer to unpack, which fills the caller's response.
bool Post(const QByteArray& envelope, QByteArray& response,
          const std::function<bool(const QByteArray& answer, QByteArray& response)>& unpack);

void WriteReportMembers(RequestWriter& w, const TSyncRequestData& d, bool mail)
{
    w.String(Wire::MMailTo, mail ? d.MailTo : QString());
    w.String(Wire::MSubject, d.Subject);
    w.String(Wire::MBody, d.Body);
    w.String(Wire::MReportOptions, d.ReportOptions);
    w.String(Wire::MPropertyList, d.PropertyList);
    w.Number(Wire::MSendCopy, mail && d.SendCopy ? 1 : 0);
    w.Number(Wire::MReportFlag, d.ReportFlag ? 1 : 0);
}

} // namespace

// ---------------------------------------------------------------------------------------
// Sinks and timers

void SetTransferSinks(TTransferSinks* sinks)
{
    g_sinks = sinks;
}

TTransferSinks* TransferSinks()
{
    return g_sinks;
}

void SinkStatus(const QString& text)
{
    Guarded("$3007", [&] {
        if (g_sinks && g_sinks->HasStatus())
            g_sinks->SetStatusText(text);
    });
}

void SinkProgress(qint64 maximum, qint64 position)
{
    Guarded("$3008", [&] {
        if (g_sinks)
            g_sinks->SetProgress(maximum, position);
    });
}

void SinkLog(const QString& line)
{
    Guarded("$3009", [&] {
        if (g_sinks)
            g_sinks->AppendLogLine(FormatDateTimeText(u"dd-mmm-yy hh:nn:ss"_s, QDateTime::currentDateTime()) + u' ' +
                                   line);
    });
}

void SinkLogSeparator()
{
    Guarded("$3010", [&] {
        if (g_sinks)
            g_sinks->AppendLogSeparator();
    });
}

void SinkOfferAction()
{
    Guarded("$3011", [&] {
        if (g_sinks)
            g_sinks->OfferAction();
    });
}

void SinkWithdrawAction()
{
    Guarded("$3012", [&] {
        if (g_sinks)
            g_sinks->WithdrawAction();
    });
}

void SetConnectionTimers(TConnectionTimers* timers)
{
    g_timers = timers;
}

TTimerIntervals& TimerIntervals()
{
    static TTimerIntervals intervals;
    return intervals;
}

int ConsecutiveFailures()
{
    return g_failures;
}

void ResetConsecutiveFailures()
{
    g_failures = 0;
}

int ConnectTimeoutMs()
{
    return TimeoutSetting(Setting::ConnectTimeout, 5000);
}

int ReadTimeoutMs()
{
    return TimeoutSetting(Setting::ReadTimeout, 60000);
}

// ---------------------------------------------------------------------------------------
// The request

QByteArray BuildRequestJson(const TSyncRequestData& d)
{
    using K = TRequestKind;
    RequestWriter w;
    w.Number(Wire::MAgency, d.AgencyCode);
    w.String(Wire::MUser, d.UserName);
    w.String(Wire::MPassword, Md5Hex(d.Password));
    w.String(Wire::MAppVersion, Config::AppVersion);
    w.String(Wire::MPlatform, PlatformName());
    w.String(Wire::MArchitecture, ArchitectureName());
    w.String(Wire::MOsVersion, OsDescription());
    w.String(Wire::MScreen, ScreenSizeText());
    w.String(Wire::MClientTime, DateTimeToDbText(QDateTime::currentDateTime()));
    w.String(Wire::MNonce, Md5Hex(QString::number(QRandomGenerator::global()->bounded(2147483647))));
    if (d.Kind != K::rkTermsOfService && d.Kind != K::rkDatabaseFile) {
        w.String(Wire::MInstallKey, d.InstallKey);
        const QString accepted = DB() && DB()->Connected() ? ReadSetting(Setting::AcceptedTermsVersion) : QString();
        w.Real(Wire::MAcceptedTerms, accepted.isEmpty() ? 0 : ParseDotFloat(accepted));
    }
    w.String(Wire::MAction, ActionText(d.Kind));
    switch (d.Kind) {
    case K::rkTermsOfService:
        w.String(Wire::MAppName, Config::AppShortName);
        w.Real(Wire::MTermsVersion, d.TermsVersion);
        break;
    case K::rkProgramDownload:
        w.String(Wire::MPlatform, PlatformName());
        break;
    case K::rkFullData:
        w.Number(Wire::MMode, 0);
        w.Number(Wire::MDataVersion, -1);
        break;
    case K::rkIncrementalData:
        w.Number(Wire::MMode, 1);
        w.Number(Wire::MDataVersion, d.DataVersion);
        break;
    case K::rkUploadChanges:
        w.String(Wire::MPayload, QString::fromLatin1(d.Payload));
        break;
    case K::rkPhotos:
        w.Number(Wire::MItemCode, d.ItemCode);
        w.String(Wire::MPhotoList, d.PhotoList);
        break;
    case K::rkPropertyQR:
    case K::rkPropertyRecovery:
        w.Number(Wire::MItemCode, d.ItemCode);
        break;
    case K::rkValidationKey:
        w.String(Wire::MValidationKey, Md5Hex(d.ValidationKey));
        break;
    case K::rkReportPayment:
        w.String(Wire::MPayDate, d.PayDate);
        w.String(Wire::MPayType, d.PayType);
        w.String(Wire::MPayBranch, d.PayBranch);
        w.String(Wire::MPayBank, d.PayBank);
        w.String(Wire::MPayAmount, d.PayAmount);
        break;
    case K::rkShareLink:
        w.Number(Wire::MItemCode, d.ItemCode);
        w.Number(Wire::MChannel, d.Channel & 0xFF);
        break;
    case K::rkDenounceProperty:
        w.Number(Wire::MItemCode, d.ItemCode);
        w.String(Wire::MBody, d.Body);
        break;
    case K::rkMailReport:
        WriteReportMembers(w, d, true);
        break;
    case K::rkWebReport:
        WriteReportMembers(w, d, false);
        break;
    case K::rkHelpFile:
        w.Real(Wire::MHelpVersion, d.HelpVersion);
        break;
    case K::rkChangeCredentials:
        w.String(Wire::MValidationKey, Md5Hex(d.ValidationKey));
        w.Number(Wire::MUserCode, d.UserCode);
        w.String(Wire::MNewUserName, d.NewUserName);
        w.String(Wire::MNewPassword, d.NewPasswordDigest);
        break;
    case K::rkVisitRequest:
        w.Number(Wire::MItemCode, d.ItemCode);
        w.String(Wire::MVisitAddress, d.VisitAddress);
        w.String(Wire::MVisitWhen, d.VisitWhen);
        w.String(Wire::MVisitSeller, d.VisitSeller);
        w.String(Wire::MVisitClient, d.VisitClient);
        w.String(Wire::MVisitBody, d.VisitBody);
        break;
    case K::rkSessionCheck:
    case K::rkDatabaseFile:
    case K::rkVersionInfo:
    case K::rkAgencyLogo:
    case K::rkServiceStatus:
    case K::rkAccountStatement:
        break;
    }
    return w.Text();
}

bool EncodeEnvelope(const QByteArray& json, QByteArray& envelope)
{
    QString error;
    if (!PackEnvelope(RequestPreamble(), json, envelope, &error)) {
        WriteLog(u"$3003"_s, error);
        return false;
    }
    return true;
}

bool DecodeEnvelope(const QByteArray& envelope, QByteArray& response, qsizetype maxInflated)
{
    QString error;
    if (!UnpackEnvelope(envelope, Wire::ResponsePreambleLength, response, &error, maxInflated)) {
        WriteLog(u"$3004"_s, error);
        return false;
    }
    return true;
}

bool TransferInProgress()
{
    return g_posting;
}

bool PostEnvelope(const QByteArray& envelope, QByteArray& response)
{
    return Post(envelope, response,
                [](const QByteArray& answer, QByteArray& out) { return DecodeEnvelope(answer, out); });
}

bool PostEnvelopePacked(const QByteArray& envelope, QByteArray& packed, qsizetype maxInflated, bool* tooLarge)
{
    if (tooLarge)
        *tooLarge = false;
    return Post(envelope, packed, [&](const QByteArray& answer, QByteArray& out) {
        QString error;
        bool large = false;
        // Unpacking a full answer takes a second or more: the window keeps answering.
        QElapsedTimer responsive;
        responsive.start();
        const auto eachPiece = [&] {
            if (responsive.elapsed() > 250) {
                QCoreApplication::processEvents();
                responsive.restart();
            }
        };
        if (!CheckEnvelope(answer, Wire::ResponsePreambleLength, maxInflated, &error, &large, eachPiece)) {
            WriteLog(u"$3004"_s, error);
            if (tooLarge)
                *tooLarge = large;
            return false;
        }
        out = answer;
        return true;
    });
}

namespace {

bool Post(const QByteArray& envelope, QByteArray& response,
          const std::function<bool(const QByteArray& answer, QByteArray& response)>& unpack)
{
    const QString code = u"$3005"_s;
    response.clear();
    if (g_posting) {
        WriteLog(code, u"HTTP object in use."_s);
        return false;
    }
    if (!QCoreApplication::instance()) {
        WriteLog(code, u"Can't create HTTP object."_s);
        return false;
    }
    g_posting = true;
    struct Done {
        ~Done() { g_posting = false; }
    } done;

    QNetworkRequest request{QUrl(Config::ServiceUrl())};
    request.setHeader(QNetworkRequest::UserAgentHeader, Wire::UserAgent);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setTransferTimeout(ReadTimeoutMs());
    ApplyServiceTrust(request);

    auto* form = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart field;
    field.setHeader(QNetworkRequest::ContentDispositionHeader,
                    QByteArray("form-data; name=\"" + Wire::FormFieldName + "\""));
    field.setHeader(QNetworkRequest::ContentTypeHeader, Wire::FormContentType);
    field.setBody(envelope);
    form->append(field);

    if (g_sinks && g_sinks->HasStatus()) {
        g_speed = 0;
        g_transferClock.start();
        g_sampleClock.start();
    }
    QNetworkReply* reply = Manager().post(request, form);
    form->setParent(reply);
    g_reply = reply;

    bool writing = false, wrote = false, reading = false, connected = false;
    QObject::connect(reply, &QNetworkReply::uploadProgress, reply, [&](qint64 sent, qint64 total) {
        if (sent > 0)
            connected = true;
        if (!writing && total > 0) {
            writing = true;
            WorkBegin(Mode::Writing, total);
        }
        if (writing && !wrote) {
            Work(Mode::Writing, sent);
            if (total > 0 && sent >= total) {
                wrote = true;
                WorkEnd(Mode::Writing);
            }
        }
    });
    const qint64 maxBody = ImportLimits().maxPacked;
    bool oversized = false;
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [&](qint64 received, qint64 total) {
        connected = true;
        if (!oversized && qMax(received, total) > maxBody) {
            oversized = true;
            reply->abort();
            return;
        }
        if (!reading) {
            reading = true;
            WorkBegin(Mode::Reading, total);
        }
        Work(Mode::Reading, received);
    });
    QTimer connectTimer;
    connectTimer.setSingleShot(true);
    QObject::connect(&connectTimer, &QTimer::timeout, reply, [&] {
        if (!connected)
            reply->abort();
    });
    connectTimer.start(ConnectTimeoutMs());

    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (reply->isRunning())
        loop.exec();
    connectTimer.stop();
    if (reading)
        WorkEnd(Mode::Reading);

    SinkWithdrawAction();
    SinkStatus(kProcessing);
    QCoreApplication::processEvents();

    bool ok = false;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    NoteSecureConnectionOutcome(reply);
    if (oversized) {
        WriteLog(code, u"Answer larger than %1 bytes; transfer stopped."_s.arg(maxBody));
    } else if (reply->error() != QNetworkReply::NoError || status != 200) {
        WriteLog(code, u"Get data error. "_s + (reply->error() != QNetworkReply::NoError ? reply->errorString()
                                                                                         : u"HTTP %1"_s.arg(status)));
    } else {
        const QByteArray answer = reply->readAll();
        ok = unpack(answer, response);
        if (!ok)
            WriteLog(code, u"Can't decompress data."_s);
    }
    QCoreApplication::processEvents();
    g_reply.clear();
    reply->disconnect();
    reply->deleteLater();
    return ok;
}

} // namespace

void DropConnections()
{
    if (!TransferInProgress())
        Manager().clearConnectionCache();
}

void CancelTransfer()
{
    try {
        if (!g_posting || !g_reply)
            return;
        SinkStatus(kCancelling);
        SinkProgress(-1, 0);
        g_reply->abort();
        QElapsedTimer clock;
        clock.start();
        while (g_reply && g_reply->isRunning() && clock.elapsed() < 2000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            if (g_reply)
                g_reply->abort();
        }
    } catch (const std::exception& e) {
        WriteLog(u"$3114"_s, QString::fromUtf8(e.what()));
    }
}

namespace {

bool Send(const TSyncRequestData& data, QByteArray& response,
          const std::function<bool(const QByteArray& envelope, QByteArray& response)>& post)
{
    response.clear();
    if (!SyncEnabled)
        return false;
    SinkStatus(kConnecting);
    SinkProgress(-1, 0);
    QByteArray envelope;
    if (!EncodeEnvelope(BuildRequestJson(data), envelope)) {
        WriteLog(u"$3006"_s, u"Can't compress request stream."_s);
        return false;
    }
    if (post(envelope, response))
        return true;
    WriteLog(u"$3006"_s, u"Error getting data."_s);
    CountFailure();
    return false;
}

} // namespace

bool SendRequest(const TSyncRequestData& data, QByteArray& response)
{
    return Send(data, response,
                [](const QByteArray& envelope, QByteArray& out) { return PostEnvelope(envelope, out); });
}

bool SendRequestPacked(const TSyncRequestData& data, QByteArray& packed, qsizetype maxInflated, bool* tooLarge)
{
    if (tooLarge)
        *tooLarge = false;
    return Send(data, packed, [&](const QByteArray& envelope, QByteArray& out) {
        return PostEnvelopePacked(envelope, out, maxInflated, tooLarge);
    });
}

// ---------------------------------------------------------------------------------------
// Reading answers

bool ExtractServiceError(const QByteArray& response, QString& text)
{
    text.clear();
    try {
        return IsErrorObject(response, &text);
    } catch (const std::exception& e) {
        WriteLog(u"$3001"_s, QString::fromUtf8(e.what()));
        return false;
    }
}

struct TAnswerObject::Data {
    nlohmann::json object;
};

TAnswerObject::TAnswerObject(const QByteArray& response) : m_data(new Data)
{
    try {
        QByteArray ascii = response;
        for (char& c : ascii)
            if (static_cast<unsigned char>(c) > 127)
                c = '?';
        m_data->object = nlohmann::json::parse(ascii.constData(), ascii.constData() + ascii.size(), nullptr, false);
    } catch (const std::exception& e) {
        WriteLog(u"$3002"_s, QString::fromUtf8(e.what()));
        m_data->object = nlohmann::json();
    }
}

TAnswerObject::~TAnswerObject()
{
    delete m_data;
}

bool TAnswerObject::IsObject() const
{
    return m_data->object.is_object();
}

QString TAnswerObject::Value(const QString& member) const
{
    if (!IsObject())
        return {};
    const auto it = m_data->object.find(member.toStdString());
    if (it == m_data->object.end() || it->is_null())
        return {};
    if (it->is_string())
        return QString::fromStdString(it->get<std::string>());
    return QString::fromStdString(it->dump());
}

QString ResponseValue(const QByteArray& response, const QString& member)
{
    return TAnswerObject(response).Value(member);
}
