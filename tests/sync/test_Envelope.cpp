#include "core/ErrorReport.h"
#include "sync/Envelope.h"
#include "sync/SyncTypes.h"
#include "sync/WireProtocol.h"

#include <QRandomGenerator>
#include <QStringList>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// A response as the service sends it: a 124-byte preamble.
QByteArray Response(const QByteArray& body)
{
    QByteArray envelope;
    EXPECT_TRUE(PackEnvelope(QByteArray(Wire::ResponsePreambleLength, 'R'), body, envelope));
    return envelope;
}

} // namespace

TEST(Envelope, LayoutOfARequest)
{
    const QByteArray preamble = RequestPreamble();
    EXPECT_EQ(preamble, QByteArray("KORVEL\rSYNC\rR3\rKVZ-ENVELOPE-1\r\r\r"));
    const QByteArray json = R"({"a":1})";
    QByteArray envelope;
    ASSERT_TRUE(PackEnvelope(preamble, json, envelope));
    EXPECT_TRUE(envelope.startsWith(preamble));
    EXPECT_EQ(envelope.mid(preamble.size(), 4), Wire::Marker);
    for (const char padding : envelope.right(Wire::PaddingBytes))
        EXPECT_NE(padding, '\0');

    QByteArray body;
    ASSERT_TRUE(UnpackEnvelope(envelope, int(preamble.size()), body));
    EXPECT_EQ(body, json);
    QString error;
    EXPECT_FALSE(PackEnvelope(preamble, QByteArray(), envelope, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(Envelope, RoundTripsAnyBody)
{
    QRandomGenerator random(7);
    for (int size : {1, 2, 100, 70000, 3 * 1024 * 1024}) {
        QByteArray body(size, Qt::Uninitialized);
        for (char& c : body)
            c = static_cast<char>(random.bounded(size > 1000 ? 64 : 256));
        QByteArray out;
        ASSERT_TRUE(UnpackEnvelope(Response(body), Wire::ResponsePreambleLength, out)) << size;
        EXPECT_EQ(out, body);
    }
}

TEST(Envelope, UnpacksUpToTheLimitAndNotAByteMore)
{
    // Sizes around the limit and around the growth steps of the output buffer.
    const qsizetype limit = 1 << 20;
    for (const qsizetype size : {limit - 1, limit, limit + 1, 4 * limit}) {
        QByteArray body(size, 'a');
        body[size / 2] = 'b';
        QByteArray out;
        QString error;
        const bool unpacked = UnpackEnvelope(Response(body), Wire::ResponsePreambleLength, out, &error, limit);
        EXPECT_EQ(unpacked, size <= limit) << size;
        if (unpacked)
            EXPECT_EQ(out, body) << size;
        else
            EXPECT_TRUE(error.contains(u"too large"_s) && out.isEmpty()) << size;
    }
    // Cutting the data short is still told apart from being too large.
    const QByteArray whole = Response(QByteArray(5000, 'z'));
    QByteArray cut = whole.left(whole.size() - Wire::PaddingBytes - 12) + whole.right(Wire::PaddingBytes + 4);
    QByteArray out;
    QString error;
    EXPECT_FALSE(UnpackEnvelope(cut, Wire::ResponsePreambleLength, out, &error, 1 << 20));
    EXPECT_TRUE(error.contains(u"corrupt"_s)) << error.toStdString();
}

TEST(Envelope, MalformedResponsesFail)
{
    const QByteArray good = Response(R"({"Msg":"hola"})");
    QByteArray body;
    QString error;

    EXPECT_FALSE(UnpackEnvelope(QByteArray(134, 'x'), Wire::ResponsePreambleLength, body, &error));
    EXPECT_EQ(error, u"Response is too short."_s);

    QByteArray wrongMarker = good;
    wrongMarker[Wire::ResponsePreambleLength + 1] = 'Q'; // the rest still inflates
    EXPECT_FALSE(UnpackEnvelope(wrongMarker, Wire::ResponsePreambleLength, body, &error));
    EXPECT_EQ(error, u"Response has a wrong marker."_s);

    QByteArray corrupt = good;
    corrupt[Wire::ResponsePreambleLength + 6] = static_cast<char>(corrupt[Wire::ResponsePreambleLength + 6] ^ 0x5A);
    EXPECT_FALSE(UnpackEnvelope(corrupt, Wire::ResponsePreambleLength, body, &error));

    QByteArray badChecksum = good;
    const qsizetype at = badChecksum.size() - Wire::PaddingBytes - 1;
    badChecksum[at] = static_cast<char>(badChecksum[at] ^ 1);
    EXPECT_FALSE(UnpackEnvelope(badChecksum, Wire::ResponsePreambleLength, body, &error));

    QByteArray truncated = good.left(good.size() - Wire::PaddingBytes - 3) + QByteArray(Wire::PaddingBytes, 'p');
    EXPECT_FALSE(UnpackEnvelope(truncated, Wire::ResponsePreambleLength, body, &error));
    EXPECT_TRUE(body.isEmpty());
}

// The reader hands the body out a piece at a time, whatever the piece, and can start over;
// the checksum is only known once the last byte is out, and the limit stops a small
// envelope that claims far more without unpacking past it.
TEST(Envelope, ReaderGivesTheBodyInPiecesAndChecksItAtTheEnd)
{
    QRandomGenerator random(5);
    QByteArray body(300000, Qt::Uninitialized);
    for (char& c : body)
        c = static_cast<char>('A' + random.bounded(40));
    const QByteArray envelope = Response(body);
    const int l = Wire::ResponsePreambleLength;
    const auto readAll = [](TEnvelopeReader& reader, qsizetype piece, QByteArray& out) {
        out.clear();
        QByteArray buffer(piece, Qt::Uninitialized);
        qsizetype n = 0;
        while ((n = reader.Read(buffer.data(), piece)) > 0)
            out.append(buffer.constData(), n);
        return n;
    };
    QByteArray out;
    for (const qsizetype piece : {1, 7, 4096, 1 << 20}) {
        TEnvelopeReader reader(envelope, l);
        EXPECT_EQ(readAll(reader, piece, out), 0) << piece;
        EXPECT_EQ(out, body) << piece;
        EXPECT_EQ(reader.Produced(), body.size());
        ASSERT_TRUE(reader.Rewind());
        EXPECT_EQ(readAll(reader, piece, out), 0) << piece;
        EXPECT_EQ(out, body) << piece;
    }

    QByteArray badChecksum = envelope;
    const qsizetype at = badChecksum.size() - Wire::PaddingBytes - 1;
    badChecksum[at] = static_cast<char>(badChecksum[at] ^ 0x55);
    TEnvelopeReader bad(badChecksum, l);
    EXPECT_EQ(readAll(bad, 4096, out), -1);
    EXPECT_GE(out.size(), body.size() - 4096); // all of it came out before the check failed
    EXPECT_FALSE(bad.TooLarge());
    EXPECT_TRUE(bad.Error().contains(u"corrupt"_s)) << bad.Error().toStdString();
    QString error;
    bool tooLarge = true;
    EXPECT_FALSE(CheckEnvelope(badChecksum, l, DefaultMaxInflated, &error, &tooLarge));
    EXPECT_FALSE(tooLarge);

    EXPECT_TRUE(CheckEnvelope(envelope, l, body.size(), &error, &tooLarge));
    EXPECT_FALSE(CheckEnvelope(envelope, l, body.size() - 1, &error, &tooLarge));
    EXPECT_TRUE(tooLarge);
    EXPECT_TRUE(error.contains(u"too large"_s));

    // 32 MB of one letter travel in some 32 KB; with a 1 MB limit not a byte more is given.
    const QByteArray bomb = Response(QByteArray(32 << 20, 'A'));
    EXPECT_LT(bomb.size(), 64 * 1024);
    TEnvelopeReader limited(bomb, l, 1 << 20);
    EXPECT_EQ(readAll(limited, 1 << 16, out), -1);
    EXPECT_TRUE(limited.TooLarge());
    EXPECT_EQ(limited.Produced(), 1 << 20);
    ASSERT_TRUE(limited.Rewind()); // starts over cleanly
    EXPECT_FALSE(limited.TooLarge());
    EXPECT_EQ(limited.Produced(), 0);

    // An envelope that is no envelope fails from the first read, and cannot start over.
    TEnvelopeReader tooShort(envelope.left(100), l);
    EXPECT_EQ(tooShort.Read(out.data(), 1), -1);
    EXPECT_EQ(tooShort.Error(), u"Response is too short."_s);
    EXPECT_FALSE(tooShort.Rewind());
}

// Every length from the marker up to the shortest possible envelope is refused before
// anything is cut or inflated; a length check that forgot the padding let zlib read far
// past the buffer. Both directions: the service unpacks requests the same way.
TEST(Envelope, EveryLengthBelowTheMinimumIsTooShort)
{
    QByteArray big(4000, Qt::Uninitialized);
    QRandomGenerator random(11);
    for (char& c : big)
        c = static_cast<char>(random.bounded(256));
    for (const QByteArray& preamble : {QByteArray(Wire::ResponsePreambleLength, 'R'), RequestPreamble()}) {
        const int l = int(preamble.size());
        QByteArray good;
        ASSERT_TRUE(PackEnvelope(preamble, big, good));
        const qsizetype minimum = l + Wire::Marker.size() + 2 + 4 + Wire::PaddingBytes;
        EXPECT_EQ(MinimumEnvelopeLength(l), minimum);
        for (qsizetype n = l + Wire::Marker.size(); n < minimum; ++n) {
            QByteArray body("left over");
            QString error;
            EXPECT_FALSE(UnpackEnvelope(good.left(n), l, body, &error)) << "preamble " << l << ", length " << n;
            EXPECT_EQ(error, u"Response is too short."_s) << "preamble " << l << ", length " << n;
            EXPECT_TRUE(body.isEmpty());
        }
        // From the minimum on the length is no longer the reason (the data is cut short).
        QString error;
        QByteArray body;
        EXPECT_FALSE(UnpackEnvelope(good.left(minimum), l, body, &error));
        EXPECT_NE(error, u"Response is too short."_s);
    }
    EXPECT_EQ(Wire::MinimumResponseLength, MinimumEnvelopeLength(Wire::ResponsePreambleLength));

    // The shortest real envelope (one byte of text) is accepted.
    QByteArray one;
    ASSERT_TRUE(PackEnvelope(RequestPreamble(), "x", one));
    QByteArray body;
    EXPECT_TRUE(UnpackEnvelope(one, int(RequestPreamble().size()), body));
    EXPECT_EQ(body, QByteArray("x"));
}

TEST(Envelope, ChecksumShuffleIsUndone)
{
    const QByteArray a("\x01\x02\x03\x04", 4);
    EXPECT_EQ(ShuffleChecksum(a), QByteArray("\x02\x04\x01\x03", 4));
    EXPECT_EQ(UnshuffleChecksum(ShuffleChecksum(a)), a);
    EXPECT_EQ(ShuffleChecksum(UnshuffleChecksum(a)), a);
}

TEST(Envelope, StringsAreWrittenInTwoStages)
{
    struct Case {
        QString value;
        QByteArray wire;
    };
    const Case cases[] = {
        {u"plain"_s, R"("plain")"}, {u"a\"b"_s, R"("a\\"b")"}, // backslash, backslash, quote
        {u"a\\b"_s, R"("a\\b")"},                              // a backslash becomes two
        {u"a/b"_s, R"("a\/b")"},    {u"línea\r\n\tfin"_s, R"("l\u00EDnea\r\n\tfin")"},
        {u"€"_s, R"("\u20AC")"},    {QString(QChar(1)), R"("\u0001")"},
        {u"\b\f"_s, R"("\b\f")"},
    };
    for (const Case& c : cases) {
        const QByteArray wire = WireString(c.value);
        EXPECT_EQ(wire, c.wire) << c.value.toStdString();
        for (const char ch : wire)
            EXPECT_TRUE(static_cast<unsigned char>(ch) < 128);
    }
}

TEST(Envelope, ServiceReadsTheWireTextBack)
{
    QRandomGenerator random(11);
    for (int i = 0; i < 300; ++i) {
        QString value;
        const int length = random.bounded(0, 40);
        for (int j = 0; j < length; ++j) {
            const char16_t pool[] = {u'a', u'"', u'\\', u'/', u'\n', u'á', u'€', u' ', u'{', u':', u','};
            value += QChar(pool[random.bounded(int(std::size(pool)))]);
        }
        if (value.endsWith(u'\\'))
            continue; // the one form the wire cannot tell from an escaped quote
        const QByteArray wire = "{\"x\":" + WireString(value) + ",\"y\":1}";
        const auto object = nlohmann::json::parse(WireToStandardJson(wire).toStdString(), nullptr, false);
        ASSERT_TRUE(object.is_object()) << wire.toStdString();
        EXPECT_EQ(QString::fromStdString(object["x"].get<std::string>()), value) << wire.toStdString();
        EXPECT_EQ(object["y"], 1);
    }
}

TEST(Envelope, ErrorObjects)
{
    QString text;
    EXPECT_TRUE(IsErrorObject(R"({"Error":"Clave incorrecta"})", &text));
    EXPECT_EQ(text, u"Clave incorrecta"_s);
    EXPECT_FALSE(IsErrorObject(R"({"Error":""})"));
    EXPECT_FALSE(IsErrorObject(R"({ "Error":"x"})"));
    EXPECT_FALSE(IsErrorObject(R"({"Msg":"x"})"));
    QByteArray long4097 = R"({"Error":")" + QByteArray(4097 - 12, 'x') + R"("})";
    ASSERT_EQ(long4097.size(), 4097);
    EXPECT_FALSE(IsErrorObject(long4097));
    QByteArray long4096 = long4097;
    long4096.remove(20, 1);
    EXPECT_TRUE(IsErrorObject(long4096));
}

TEST(Envelope, ErrorReportsReadBack)
{
    const QString report = u"Global Exception Handler - Error\r\n\r\nfallo ñandú\r\n---\r\nClave=valor\r\n---"_s;
    const QByteArray envelope = EncodeErrorReport(report);
    EXPECT_NE(envelope, EncodeErrorReport(report)); // random head and letter case
    EXPECT_EQ(DecodeErrorReport(envelope), report);

    QByteArray inner = QByteArray::fromBase64(envelope);
    inner[inner.size() - 40] = static_cast<char>(inner[inner.size() - 40] ^ 0x01);
    EXPECT_EQ(DecodeErrorReport(inner.toBase64()), QString());
    EXPECT_EQ(DecodeErrorReport("not base64 at all"), QString());
}

TEST(Envelope, EveryKindHasItsOwnAction)
{
    QStringList actions;
    for (const TRequestKind kind : AllRequestKinds) {
        const QString action = ActionText(kind);
        ASSERT_FALSE(action.isEmpty());
        EXPECT_EQ(KindOfAction(action), kind);
        actions << action;
    }
    EXPECT_EQ(actions.size(), 23);
    actions.removeDuplicates();
    EXPECT_EQ(actions.size(), 23);
    EXPECT_FALSE(KindOfAction(u"nope"_s).has_value());
}
