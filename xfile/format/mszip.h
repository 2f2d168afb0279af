// Internal: the MSZIP framing of compressed X files. Each block holds at most 32 KiB of
// uncompressed data as an independent raw deflate stream (no preset dictionary), framed as
// WORD uncompressed size, WORD compressed size + 2, "CK", deflate bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "xfile/format/xresult.h"

namespace xfile {

inline constexpr size_t kMszipBlockSize = 32768;

// Compresses blocks on two threads (the caller's and one worker). Reuses its scratch memory
// between calls, so a save object keeps one.
class MszipCompressor {
public:
    explicit MszipCompressor(int level) : level_(level) {}

    // Cuts `size` bytes into blocks of kMszipBlockSize (the last may be shorter) and appends
    // the framed blocks to `out`.
    XResult Compress(const uint8_t* data, size_t size, std::vector<uint8_t>* out);

private:
    int level_;
    std::vector<uint8_t> scratch_;  // one slot of kSlotSize bytes per block
    std::vector<uint32_t> sizes_;   // framed size of each block in its slot
};

// Decodes the framed blocks in data[0, size) and appends the uncompressed bytes to `out`.
// `declaredTotal` is the body size the file announces; more output than that, or than
// `maxBytes`, is refused. `fileOffset` is the file offset of data[0], used in messages.
XResult DecompressMszip(const uint8_t* data, size_t size, uint64_t declaredTotal, size_t maxBytes, size_t fileOffset,
                        std::vector<uint8_t>* out);

}  // namespace xfile
