#pragma once

#include <QByteArray>
#include <QString>

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

// The checksum shuffle and its inverse on four bytes (a0 a1 a2 a3 -> a1 a3 a0 a2).
QByteArray ShuffleChecksum(const QByteArray& four);
QByteArray UnshuffleChecksum(const QByteArray& four);

// Whether a decoded answer is the service's error object, and its text.
bool IsErrorObject(const QByteArray& answer, QString* text = nullptr);
