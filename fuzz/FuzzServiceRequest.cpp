// The service's reading of a sync request: the form field is unpacked from its envelope and
// the request text read as JSON. An input that does not start with the request preamble is
// taken as the request text and packed first, so that mutations reach the JSON reading
// instead of dying in the deflate data.
#include "FuzzTarget.h"

#include "service/Requests.h"
#include "sync/Envelope.h"

#include <nlohmann/json.hpp>

namespace {

constexpr qint64 kMaxInflated = 1024 * 1024;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    QByteArray field = input;
    if (!input.startsWith(RequestPreamble()) && !PackEnvelope(RequestPreamble(), input, field))
        return 0; // an empty text has no envelope
    QByteArray wire;
    QString why;
    if (!UnpackRequest(field, kMaxInflated, wire, &why)) {
        FUZZ_CHECK(!why.isEmpty());
        return 0;
    }
    FUZZ_CHECK(wire.size() <= kMaxInflated);
    const nlohmann::ordered_json object = ReadRequestText(wire);
    if (object.is_discarded())
        return 0;
    // What was read is written again, as the answers are: every text must survive it.
    (void)object.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace);
    return 0;
}
