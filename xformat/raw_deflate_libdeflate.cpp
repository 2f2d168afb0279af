#include "xformat/raw_deflate.h"

#include <libdeflate.h>

namespace xfile {

struct RawDeflater {
    libdeflate_compressor* compressor;
};

RawDeflater* NewRawDeflater(int level) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    return compressor ? new RawDeflater{compressor} : nullptr;
}

void FreeRawDeflater(RawDeflater* deflater) {
    if (!deflater) return;
    libdeflate_free_compressor(deflater->compressor);
    delete deflater;
}

size_t RawDeflate(RawDeflater* deflater, const uint8_t* in, size_t inSize, uint8_t* out, size_t outCapacity) {
    return libdeflate_deflate_compress(deflater->compressor, in, inSize, out, outCapacity);
}

}  // namespace xfile
