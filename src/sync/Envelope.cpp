#include "sync/Envelope.h"

#include "core/MiscFunc.h"
#include "sync/SyncTypes.h"
#include "sync/WireProtocol.h"

#include <QDateTime>
#include <QRandomGenerator>

#include <nlohmann/json.hpp>
#include <zlib.h>

#include <algorithm>
#include <cstring>
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

bool TMemorySource::Rewind()
{
    m_position = 0;
    return true;
}

qsizetype TMemorySource::Read(char* buffer, qsizetype size)
{
    const qsizetype n = std::min(size, m_body.size() - m_position);
    if (n <= 0)
        return 0;
    std::memcpy(buffer, m_body.constData() + m_position, size_t(n));
    m_position += n;
    return n;
}

struct TEnvelopeReader::Stream {
    z_stream z{};
    bool open = false;
};

TEnvelopeReader::TEnvelopeReader(const QByteArray& envelope, int preambleLength, qsizetype maxInflated)
    : m_envelope(envelope), m_maxInflated(std::max<qsizetype>(1, maxInflated)), m_stream(new Stream)
{
    const qsizetype l = preambleLength;
    // The padding is cut before anything is read: an envelope must hold the preamble, the
    // marker, at least two bytes of deflate data, the checksum and the padding, or the
    // length left for zlib would be negative.
    if (l < 0 || m_envelope.size() < MinimumEnvelopeLength(preambleLength)) {
        Fail(u"Response is too short."_s);
        return;
    }
    if (m_envelope.mid(l, 4) != Wire::Marker) {
        Fail(u"Response has a wrong marker."_s);
        return;
    }
    // The zlib stream is the envelope with its first two bytes and its checksum restored;
    // it is fed in three pieces so the envelope is never copied.
    m_head[0] = char(0x78);
    m_head[1] = char(0xDA);
    const qsizetype end = m_envelope.size() - Wire::PaddingBytes;
    m_checksum = UnshuffleChecksum(m_envelope.mid(end - 4, 4));
    m_pieces[0] = {m_head, 2};
    m_pieces[1] = {m_envelope.constData() + l + 4, end - 4 - (l + 4)};
    m_pieces[2] = {m_checksum.constData(), 4};
    if (inflateInit(&m_stream->z) != Z_OK) {
        Fail(u"Can't create inflate stream."_s);
        return;
    }
    m_stream->open = true;
    m_framed = true;
}

TEnvelopeReader::~TEnvelopeReader()
{
    if (m_stream->open)
        inflateEnd(&m_stream->z);
    delete m_stream;
}

qsizetype TEnvelopeReader::Fail(const QString& error)
{
    m_failed = true;
    m_error = error;
    return -1;
}

bool TEnvelopeReader::Rewind()
{
    if (!m_framed || inflateReset(&m_stream->z) != Z_OK)
        return false;
    m_stream->z.next_in = nullptr;
    m_stream->z.avail_in = 0;
    m_nextPiece = 0;
    m_ended = m_failed = m_tooLarge = false;
    m_produced = 0;
    m_error.clear();
    return true;
}

qsizetype TEnvelopeReader::Read(char* buffer, qsizetype size)
{
    if (m_failed)
        return -1;
    if (m_ended || size <= 0)
        return 0;
    z_stream& z = m_stream->z;
    qsizetype given = 0;
    while (given < size) {
        while (z.avail_in == 0 && m_nextPiece < 3) {
            const Piece& piece = m_pieces[m_nextPiece++];
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data));
            z.avail_in = static_cast<uInt>(piece.size);
        }
        const qsizetype room =
            std::min<qsizetype>({size - given, m_maxInflated - m_produced, std::numeric_limits<uInt>::max()});
        int rc = Z_OK;
        if (room == 0) {
            // At the limit, a spare byte tells a stream that has only its checksum left from
            // one that would give more.
            char spare = 0;
            z.next_out = reinterpret_cast<Bytef*>(&spare);
            z.avail_out = 1;
            rc = inflate(&z, Z_NO_FLUSH);
            if (z.avail_out == 0) {
                m_tooLarge = true;
                return Fail(u"Can't inflate response: too large."_s);
            }
        } else {
            z.next_out = reinterpret_cast<Bytef*>(buffer + given);
            z.avail_out = static_cast<uInt>(room);
            rc = inflate(&z, Z_NO_FLUSH);
            const qsizetype got = room - qsizetype(z.avail_out);
            given += got;
            m_produced += got;
        }
        if (rc == Z_STREAM_END) {
            m_ended = true;
            break;
        }
        // No progress at all with every piece given means the input ended before the stream did.
        if (rc == Z_BUF_ERROR && (z.avail_in > 0 || m_nextPiece < 3))
            continue;
        if (rc != Z_OK)
            return Fail(z.msg ? u"Can't inflate response: corrupt data (%1)."_s.arg(QString::fromLatin1(z.msg))
                              : u"Can't inflate response: corrupt data."_s);
    }
    return given;
}

bool CheckEnvelope(const QByteArray& envelope, int preambleLength, qsizetype maxInflated, QString* error,
                   bool* tooLarge, const std::function<void()>& eachPiece)
{
    TEnvelopeReader reader(envelope, preambleLength, maxInflated);
    QByteArray scratch(1 << 16, Qt::Uninitialized);
    qsizetype n = 0;
    while ((n = reader.Read(scratch.data(), scratch.size())) > 0)
        if (eachPiece)
            eachPiece();
    if (tooLarge)
        *tooLarge = reader.TooLarge();
    if (n < 0)
        SetError(error, reader.Error());
    return n == 0;
}

bool UnpackEnvelope(const QByteArray& envelope, int preambleLength, QByteArray& body, QString* error,
                    qsizetype maxInflated)
{
    body.clear();
    maxInflated = std::max<qsizetype>(1, maxInflated);
    TEnvelopeReader reader(envelope, preambleLength, maxInflated);
    // Inflate straight into the result, growing it as needed: table data compresses about
    // eight to one, so that is the first guess.
    const qsizetype packed = std::max<qsizetype>(0, envelope.size() - preambleLength);
    QByteArray out(std::min<qsizetype>(std::max<qsizetype>(packed * 8, 1 << 16), maxInflated), Qt::Uninitialized);
    qsizetype produced = 0;
    qsizetype n = 0;
    while (true) {
        if (produced == out.size() && out.size() < maxInflated)
            out.resize(std::min<qsizetype>(out.size() * 2, maxInflated));
        // A full buffer at the limit still asks for a byte: the reader then tells the end of
        // the stream from more data.
        char spare = 0;
        const bool full = produced == out.size();
        n = full ? reader.Read(&spare, 1) : reader.Read(out.data() + produced, out.size() - produced);
        if (n <= 0)
            break;
        produced += full ? 0 : n;
    }
    if (n < 0) {
        SetError(error, reader.Error());
        return false;
    }
    out.truncate(produced);
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
