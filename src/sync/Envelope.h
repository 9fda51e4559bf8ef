#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The wire format shared by the client and the service.
//
// An envelope is: preamble ‖ 4-byte marker ‖ raw deflate data ‖ Adler-32 with its bytes
// shuffled ‖ 57 random padding bytes. Requests carry the client's configured preamble,
// responses a 124-byte one.

// Text as pure ASCII with JSON escapes (\b \t \n \f \r \" \/ \\ and \uXXXX, upper-case hex).
QString EscapeJsonText(const QString& text);
// A string member's value as the client writes it: EscapeJsonText, then quoted with one
// more backslash before every double quote inside.
QByteArray WireString(const QString& value);

// The client's request text as standard JSON: a quote inside a value reaches the wire as
// backslash, backslash, quote, which a JSON parser would read as the end of the value. (A
// value that ends in a backslash is indistinguishable from that and reads wrongly.)
QByteArray WireToStandardJson(const QByteArray& wire);

// The request preamble (four texts, each ended by CR, then CR CR).
QByteArray RequestPreamble();

// Packs a body; false (with the reason) for an empty body or a compression failure.
bool PackEnvelope(const QByteArray& preamble, const QByteArray& body, QByteArray& envelope, QString* error = nullptr);
// The shortest envelope with the given preamble length: preamble, marker, two bytes of
// deflate data, checksum and padding. Anything shorter is refused as too short.
qsizetype MinimumEnvelopeLength(int preambleLength);
// The most an envelope may inflate to unless the caller says otherwise.
constexpr qsizetype DefaultMaxInflated = qsizetype(1536) * 1024 * 1024;
// Unpacks an envelope whose preamble has the given length. The body may not inflate beyond
// maxInflated bytes: a few hundred compressed bytes can claim gigabytes.
bool UnpackEnvelope(const QByteArray& envelope, int preambleLength, QByteArray& body, QString* error = nullptr,
                    qsizetype maxInflated = DefaultMaxInflated);

// A body read front to back in pieces, so that a large one is never held whole.
class TByteSource {
public:
    virtual ~TByteSource() = default;
    // Starts again from the first byte; false when that is not possible.
    virtual bool Rewind() = 0;
    // Up to size bytes into buffer: their number, 0 once the body has been read whole and
    // found sound, -1 on a failure that Error() describes.
    virtual qsizetype Read(char* buffer, qsizetype size) = 0;
    virtual QString Error() const = 0;
    // The failure was that the body holds more than its limit allows.
    virtual bool TooLarge() const { return false; }
};

// A body that is already in memory.
class TMemorySource : public TByteSource {
public:
    explicit TMemorySource(QByteArray body) : m_body(std::move(body)) {}
    bool Rewind() override;
    qsizetype Read(char* buffer, qsizetype size) override;
    QString Error() const override { return {}; }

private:
    QByteArray m_body;
    qsizetype m_position = 0;
};

// The body of an envelope, inflated a piece at a time as it is read. Only the compressed
// envelope and zlib's window are held; the limit and the checksum are checked on the way,
// the checksum when the last byte has been read.
class TEnvelopeReader : public TByteSource {
public:
    TEnvelopeReader(const QByteArray& envelope, int preambleLength, qsizetype maxInflated = DefaultMaxInflated);
    ~TEnvelopeReader() override;
    TEnvelopeReader(const TEnvelopeReader&) = delete;
    TEnvelopeReader& operator=(const TEnvelopeReader&) = delete;

    bool Rewind() override;
    qsizetype Read(char* buffer, qsizetype size) override;
    QString Error() const override { return m_error; }
    bool TooLarge() const override { return m_tooLarge; }
    // Bytes of the body handed out since the start.
    qsizetype Produced() const { return m_produced; }

private:
    qsizetype Fail(const QString& error);

    QByteArray m_envelope;
    qsizetype m_maxInflated;
    struct Piece {
        const char* data = nullptr;
        qsizetype size = 0;
    };
    char m_head[2] = {};
    QByteArray m_checksum;
    Piece m_pieces[3];
    int m_nextPiece = 0;
    struct Stream;
    Stream* m_stream = nullptr;
    bool m_framed = false; // preamble, marker and length are sound
    bool m_ended = false;
    bool m_failed = false;
    bool m_tooLarge = false;
    qsizetype m_produced = 0;
    QString m_error;
};

// Reads an envelope's body through to its end without keeping it: whether it is sound and
// within maxInflated bytes. error gets the reason when not; tooLarge tells the limit apart.
// eachPiece, when given, is called after every piece (a window keeps answering from it).
bool CheckEnvelope(const QByteArray& envelope, int preambleLength, qsizetype maxInflated, QString* error = nullptr,
                   bool* tooLarge = nullptr, const std::function<void()>& eachPiece = {});

// The checksum shuffle and its inverse on four bytes (a0 a1 a2 a3 -> a1 a3 a0 a2).
QByteArray ShuffleChecksum(const QByteArray& four);
QByteArray UnshuffleChecksum(const QByteArray& four);

// Whether a decoded answer is the service's error object, and its text.
bool IsErrorObject(const QByteArray& answer, QString* text = nullptr);
