// One raw deflate stream per call, for the MSZIP blocks: libdeflate where Debian has it
// (raw_deflate_libdeflate.cpp), zlib where it does not (raw_deflate_zlib.cpp, the Windows
// build). The streams differ; what they inflate to does not.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xfile {

struct RawDeflater;

// A compressor at level 1 (fastest) to 12 (smallest; zlib stops at 9). Null without memory.
RawDeflater* NewRawDeflater(int level);
void FreeRawDeflater(RawDeflater* deflater);
// Compresses in[0, inSize) as one complete raw deflate stream (its last block final) into
// out[0, outCapacity). The stream's size, or 0 when it does not fit.
size_t RawDeflate(RawDeflater* deflater, const uint8_t* in, size_t inSize, uint8_t* out, size_t outCapacity);

}  // namespace xfile
