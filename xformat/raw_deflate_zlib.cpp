#include "xformat/raw_deflate.h"

#include <zlib.h>

#include <algorithm>

namespace xfile {

struct RawDeflater {
    z_stream stream{};
};

RawDeflater* NewRawDeflater(int level) {
    auto* deflater = new RawDeflater();
    // Raw deflate (negative window bits): no zlib header or checksum, as MSZIP blocks hold.
    if (deflateInit2(&deflater->stream, std::clamp(level, 1, 9), Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        delete deflater;
        return nullptr;
    }
    return deflater;
}

void FreeRawDeflater(RawDeflater* deflater) {
    if (!deflater) return;
    deflateEnd(&deflater->stream);
    delete deflater;
}

size_t RawDeflate(RawDeflater* deflater, const uint8_t* in, size_t inSize, uint8_t* out, size_t outCapacity) {
    z_stream& z = deflater->stream;
    if (deflateReset(&z) != Z_OK) return 0;
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = static_cast<uInt>(inSize);
    z.next_out = out;
    z.avail_out = static_cast<uInt>(outCapacity);
    return deflate(&z, Z_FINISH) == Z_STREAM_END ? static_cast<size_t>(z.total_out) : 0;
}

}  // namespace xfile
