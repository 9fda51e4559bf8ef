#include "sync/Envelope.h"

#include "core/MiscFunc.h"
#include "sync/SyncTypes.h"
#include "sync/WireProtocol.h"

#include <QDateTime>
#include <QRandomGenerator>

#include <nlohmann/json.hpp>
#include <zlib.h>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

struct KindAction {
    TRequestKind kind;
    const char* action;
};

const KindAction kActions[] = {
    {TRequestKind::rkTermsOfService, "tos"},
    {TRequestKind::rkSessionCheck, "session"},
    {TRequestKind::rkDatabaseFile, "dbfile"},
    {TRequestKind::rkVersionInfo, "version"},
    {TRequestKind::rkProgramDownload, "program"},
    {TRequestKind::rkFullData, "fulldata"},
    {TRequestKind::rkIncrementalData, "incdata"},
    {TRequestKind::rkUploadChanges, "upload"},
    {TRequestKind::rkPhotos, "photos"},
    {TRequestKind::rkAgencyLogo, "logo"},
    {TRequestKind::rkPropertyQR, "qr"},
    {TRequestKind::rkServiceStatus, "status"},
    {TRequestKind::rkValidationKey, "validate"},
    {TRequestKind::rkAccountStatement, "statement"},
    {TRequestKind::rkReportPayment, "payment"},
    {TRequestKind::rkShareLink, "share"},
    {TRequestKind::rkDenounceProperty, "denounce"},
    {TRequestKind::rkPropertyRecovery, "recover"},
    {TRequestKind::rkMailReport, "mailreport"},
    {TRequestKind::rkWebReport, "webreport"},
    {TRequestKind::rkHelpFile, "help"},
    {TRequestKind::rkChangeCredentials, "credentials"},
    {TRequestKind::rkVisitRequest, "visit"},
};

void SetError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

} // namespace

QString ActionText(TRequestKind kind)
{
    for (const KindAction& a : kActions)
        if (a.kind == kind)
            return QString::fromLatin1(a.action);
    return {};
}

std::optional<TRequestKind> KindOfAction(const QString& action)
{
    for (const KindAction& a : kActions)
        if (action == QLatin1StringView(a.action))
            return a.kind;
    return std::nullopt;
}

QString EscapeJsonText(const QString& text)
{
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        switch (u) {
        case u'\b':
            out += u"\\b"_s;
            break;
        case u'\t':
            out += u"\\t"_s;
            break;
        case u'\n':
            out += u"\\n"_s;
            break;
        case u'\f':
            out += u"\\f"_s;
            break;
        case u'\r':
            out += u"\\r"_s;
            break;
        case u'"':
            out += u"\\\""_s;
            break;
        case u'/':
            out += u"\\/"_s;
            break;
        case u'\\':
            out += u"\\\\"_s;
            break;
        default:
            if (u < 32 || u > 127)
                out += u"\\u"_s + QString::number(u, 16).toUpper().rightJustified(4, u'0');
            else
                out += c;
        }
    }
    return out;
}

QByteArray WireString(const QString& value)
{
    QByteArray escaped = EscapeJsonText(value).toLatin1();
    escaped.replace("\"", "\\\"");
    return '"' + escaped + '"';
}

QByteArray RequestPreamble()
{
    QByteArray preamble;
    for (const QByteArray& text : Wire::PreambleTexts)
        preamble += text + '\r';
    return preamble + "\r\r";
}

QByteArray ShuffleChecksum(const QByteArray& a)
{
    if (a.size() != 4)
        return a;
    const char out[4] = {a[1], a[3], a[0], a[2]};
    return QByteArray(out, 4);
}

QByteArray UnshuffleChecksum(const QByteArray& b)
{
    if (b.size() != 4)
        return b;
    const char out[4] = {b[2], b[0], b[3], b[1]};
    return QByteArray(out, 4);
}

bool PackEnvelope(const QByteArray& preamble, const QByteArray& body, QByteArray& envelope, QString* error)
{
    envelope.clear();
    if (body.isEmpty()) {
        SetError(error, u"Request stream is empty."_s);
        return false;
    }
    uLongf bound = compressBound(static_cast<uLong>(body.size()));
    QByteArray compressed(static_cast<qsizetype>(bound), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(compressed.data()), &bound, reinterpret_cast<const Bytef*>(body.constData()),
                  static_cast<uLong>(body.size()), Z_BEST_COMPRESSION) != Z_OK) {
        SetError(error, u"Can't compress request stream."_s);
        return false;
    }
    compressed.truncate(static_cast<qsizetype>(bound));
    const qsizetype p = preamble.size();
    QByteArray out;
    out.reserve(p + 2 + compressed.size() + Wire::PaddingBytes);
    out += preamble;
    out += "F1";
    out += compressed;
    if (out.size() < p + 4 + 4) {
        SetError(error, u"Can't add envelope header."_s);
        return false;
    }
    out.replace(p, 4, Wire::Marker);
    out.replace(out.size() - 4, 4, ShuffleChecksum(out.right(4)));
    QRandomGenerator random(static_cast<quint32>(QDateTime::currentMSecsSinceEpoch()));
    for (int i = 0; i < Wire::PaddingBytes; ++i)
        out += static_cast<char>(random.bounded(1, 256));
    envelope = out;
    return true;
}

qsizetype MinimumEnvelopeLength(int preambleLength)
{
    return qsizetype(preambleLength) + Wire::Marker.size() + 2 + 4 + Wire::PaddingBytes;
}

bool UnpackEnvelope(const QByteArray& envelope, int preambleLength, QByteArray& body, QString* error,
                    qsizetype maxInflated)
{
    body.clear();
    const qsizetype l = preambleLength;
    // The padding is cut before anything is read: an envelope must hold the preamble, the
    // marker, at least two bytes of deflate data, the checksum and the padding, or the
    // length left for zlib would be negative.
    if (l < 0 || envelope.size() < MinimumEnvelopeLength(preambleLength)) {
        SetError(error, u"Response is too short."_s);
        return false;
    }
    if (envelope.mid(l, 4) != Wire::Marker) {
        SetError(error, u"Response has a wrong marker."_s);
        return false;
    }
    maxInflated = std::max<qsizetype>(1, maxInflated);
    // The zlib stream is the envelope with its first two bytes and its checksum restored;
    // it is fed in three pieces so the envelope is never copied.
    const char head[2] = {char(0x78), char(0xDA)};
    const qsizetype end = envelope.size() - Wire::PaddingBytes;
    const QByteArray checksum = UnshuffleChecksum(envelope.mid(end - 4, 4));
    const struct {
        const char* data;
        qsizetype size;
    } pieces[] = {{head, 2}, {envelope.constData() + l + 4, end - 4 - (l + 4)}, {checksum.constData(), 4}};

    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        SetError(error, u"Can't create inflate stream."_s);
        return false;
    }
    // Inflate straight into the result, growing it as needed: table data compresses about
    // eight to one, so that is the first guess.
    QByteArray out(std::min<qsizetype>(std::max<qsizetype>((end - l) * 8, 1 << 16), maxInflated), Qt::Uninitialized);
    qsizetype produced = 0;
    // One call of inflate into the room left, the buffer grown first when it is full. At the
    // limit, a spare byte tells a stream that has only its checksum left from one that
    // would give more.
    const auto step = [&] {
        if (produced == out.size() && out.size() < maxInflated)
            out.resize(std::min<qsizetype>(out.size() * 2, maxInflated));
        if (produced == out.size()) {
            char spare = 0;
            stream.next_out = reinterpret_cast<Bytef*>(&spare);
            stream.avail_out = 1;
            const int rc = inflate(&stream, Z_NO_FLUSH);
            return stream.avail_out == 0 ? Z_MEM_ERROR : rc;
        }
        const qsizetype room = std::min<qsizetype>(out.size() - produced, std::numeric_limits<uInt>::max());
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
        stream.avail_out = static_cast<uInt>(room);
        const int rc = inflate(&stream, Z_NO_FLUSH);
        produced += room - stream.avail_out;
        return rc;
    };
    int rc = Z_OK;
    for (const auto& piece : pieces) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data));
        stream.avail_in = static_cast<uInt>(piece.size);
        while (rc == Z_OK && stream.avail_in > 0)
            rc = step();
        if (rc != Z_OK)
            break;
    }
    // All input given: what zlib still holds back must come out, within the limit; no
    // progress at all means the input ended before the stream did.
    while (rc == Z_OK)
        rc = step();
    out.truncate(produced);
    inflateEnd(&stream);
    if (rc != Z_STREAM_END) {
        SetError(error, u"Can't inflate response: %1."_s.arg(rc == Z_MEM_ERROR ? u"too large"_s : u"corrupt data"_s));
        return false;
    }
    body = out;
    return true;
}

bool IsErrorObject(const QByteArray& answer, QString* text)
{
    if (answer.size() > 4096 || !answer.startsWith("{\"Error\":\""))
        return false;
    const auto object = nlohmann::json::parse(answer.begin(), answer.end(), nullptr, false);
    if (!object.is_object() || !object.contains("Error") || !object["Error"].is_string())
        return false;
    const QString message = QString::fromStdString(object["Error"].get<std::string>());
    if (text)
        *text = message;
    return !message.isEmpty();
}

QByteArray WireToStandardJson(const QByteArray& wire)
{
    QByteArray out;
    out.reserve(wire.size());
    bool inString = false;
    for (qsizetype i = 0; i < wire.size(); ++i) {
        const char c = wire[i];
        if (!inString) {
            inString = c == '"';
            out += c;
            continue;
        }
        if (c == '\\') {
            // The client writes a quote inside a value as backslash, backslash, quote.
            if (i + 2 < wire.size() && wire[i + 1] == '\\' && wire[i + 2] == '"') {
                out += "\\\"";
                i += 2;
            } else if (i + 1 < wire.size()) {
                out += c;
                out += wire[++i];
            }
            continue;
        }
        if (c == '"')
            inString = false;
        out += c;
    }
    return out;
}
