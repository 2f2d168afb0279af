// Internal: the MSZIP framing of compressed X files. Each block holds at most 32 KiB of
// uncompressed data as an independent raw deflate stream (no preset dictionary), framed as
// WORD uncompressed size, WORD compressed size + 2, "CK", deflate bytes. Readers that keep the
// previous block as a dictionary read them the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xformat/xresult.h"

namespace xfile {

inline constexpr size_t kMszipBlockSize = 32768;

// Compresses blocks on two threads: the caller's and one worker that lives as long as the
// compressor, both taking the next block from a shared counter. Reuses its scratch memory
// between calls, so a save object keeps one.
class MszipCompressor {
public:
    // `level`: 1 fastest .. 12 smallest (values outside are clamped).
    explicit MszipCompressor(int level);
    ~MszipCompressor();
    MszipCompressor(const MszipCompressor&) = delete;
    MszipCompressor& operator=(const MszipCompressor&) = delete;

    // Cuts `size` bytes into blocks of kMszipBlockSize (the last may be shorter) and appends
    // the framed blocks to `out`.
    XResult Compress(const uint8_t* data, size_t size, std::vector<uint8_t>* out);

    // Blocks compressed together, the threads taking them in turn (1 MiB of input).
    static constexpr size_t kBatchBlocks = 32;

private:
    XResult CompressBatch(const uint8_t* data, size_t size, std::vector<uint8_t>* out);

    struct Shared;
    std::unique_ptr<Shared> shared_;
};

// How far decompression may go: at most maxBytes in all, and once more than checkedAfter bytes
// were produced, at most maxExpansion times the compressed bytes read so far (deflate turns a
// few kilobytes into megabytes of repeated text, which no model's data compresses like).
struct MszipLimits {
    size_t maxBytes = size_t(1) << 30;
    size_t checkedAfter = size_t(64) << 20;
    uint32_t maxExpansion = 256;
};

// Decodes the framed blocks in data[0, size) and appends the uncompressed bytes to `out`.
// `declaredTotal` is the body size the file announces; more output than that (or than 16 bytes
// more, the total of writers that leave the header out of it), or than the limits allow (counted
// block by block as the bytes are produced), is refused. A block may end its deflate data with a
// sync flush instead of a final block. `fileOffset` is
// the file offset of data[0], used in messages.
XResult DecompressMszip(const uint8_t* data, size_t size, uint64_t declaredTotal, const MszipLimits& limits,
                        size_t fileOffset, std::vector<uint8_t>* out);

}  // namespace xfile
