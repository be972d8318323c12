// Fuzz target: the interface protocol's record reader. Whatever bytes come,
// in whatever pieces, the reader yields the same records as from one read,
// never one longer than its limit; every record it parses is written back
// to bytes that parse to the same record.
#include "FuzzSupport.h"

#include "interface/FiasRecord.h"

using namespace quorvel;

namespace {

std::vector<QByteArray> bodies(fias::FrameReader& reader) {
    std::vector<QByteArray> out;
    while (auto b = reader.next()) out.push_back(*b);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = fuzz::bytesOf(data, size);
    constexpr int Limit = 256;
    fias::FrameReader whole(Limit);
    whole.feed(bytes);
    const std::vector<QByteArray> all = bodies(whole);
    // The same bytes in pieces whose sizes the first byte chooses.
    fias::FrameReader pieces(Limit);
    const int step = size > 0 ? 1 + data[0] % 7 : 1;
    for (qsizetype i = 0; i < bytes.size(); i += step) pieces.feed(bytes.mid(i, step));
    if (bodies(pieces) != all)
        fuzz::fail("records differ when the bytes come in pieces");
    for (const QByteArray& body : all) {
        if (body.size() > Limit)
            fuzz::fail("record over the limit");
        const auto record = fias::parse(body);
        if (!record)
            continue;
        const QByteArray framed = fias::frame(*record);
        const auto again = fias::parse(framed.mid(1, framed.size() - 2));
        if (!again || again->type != record->type || again->fields != record->fields)
            fuzz::fail("a record does not survive a write and a read");
    }
    return 0;
}
