// The envelope decoder on arbitrary bytes, read with both preamble lengths the wire uses.
#include "FuzzTarget.h"

#include "sync/Envelope.h"
#include "sync/WireProtocol.h"

#include <QCoreApplication>

namespace {

// Small enough that an input claiming more is refused quickly, large enough for real answers
// of the corpus.
constexpr qsizetype kMaxInflated = 1024 * 1024;

void Check(const QByteArray& envelope, int preambleLength)
{
    QByteArray body;
    QString error;
    if (!UnpackEnvelope(envelope, preambleLength, body, &error, kMaxInflated)) {
        FUZZ_CHECK(!error.isEmpty()); // a refusal always says why
        return;
    }
    FUZZ_CHECK(body.size() <= kMaxInflated);
    IsErrorObject(body);
    // What unpacks packs again and unpacks to the same body.
    if (body.isEmpty())
        return;
    QByteArray again;
    FUZZ_CHECK(PackEnvelope(envelope.left(preambleLength), body, again));
    QByteArray back;
    FUZZ_CHECK(UnpackEnvelope(again, preambleLength, back, nullptr, kMaxInflated));
    FUZZ_CHECK(back == body);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray envelope(reinterpret_cast<const char*>(data), qsizetype(size));
    Check(envelope, Wire::ResponsePreambleLength);
    Check(envelope, int(RequestPreamble().size()));
    return 0;
}
