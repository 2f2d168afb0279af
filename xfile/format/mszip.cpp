#include "xfile/format/mszip.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>

namespace xfile {
namespace {

// Largest deflate payload we let a block have: a stored block of 32 KiB is 5 + 32768 bytes.
// Readers reject a compressed size (with "CK") of 32786 or more.
constexpr size_t kMaxDeflateBytes = 5 + kMszipBlockSize;
constexpr size_t kSlotSize = 6 + kMaxDeflateBytes + 3;

void PutU16At(uint8_t* p, size_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// Compresses blocks [first, last) into their slots. Returns false if zlib cannot start.
bool CompressRange(int level, const uint8_t* data, size_t size, size_t first, size_t last, uint8_t* scratch,
                   uint32_t* sizes) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    for (size_t b = first; b < last; ++b) {
        const uint8_t* in = data + b * kMszipBlockSize;
        size_t inSize = std::min(kMszipBlockSize, size - b * kMszipBlockSize);
        uint8_t* slot = scratch + b * kSlotSize;
        deflateReset(&z);
        z.next_in = const_cast<Bytef*>(in);
        z.avail_in = static_cast<uInt>(inSize);
        z.next_out = slot + 6;
        z.avail_out = static_cast<uInt>(kMaxDeflateBytes);
        size_t deflated;
        if (deflate(&z, Z_FINISH) == Z_STREAM_END) {
            deflated = kMaxDeflateBytes - z.avail_out;
        } else {
            // Did not fit: one stored deflate block (final bit set) always does.
            uint8_t* p = slot + 6;
            p[0] = 1;
            PutU16At(p + 1, inSize);
            PutU16At(p + 3, ~inSize & 0xFFFF);
            std::memcpy(p + 5, in, inSize);
            deflated = 5 + inSize;
        }
        PutU16At(slot, inSize);
        PutU16At(slot + 2, deflated + 2);
        slot[4] = 'C';
        slot[5] = 'K';
        sizes[b] = static_cast<uint32_t>(6 + deflated);
    }
    deflateEnd(&z);
    return true;
}

}  // namespace

XResult MszipCompressor::Compress(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
    if (size == 0) return XResult::Success();
    size_t blockCount = (size + kMszipBlockSize - 1) / kMszipBlockSize;
    if (scratch_.size() < blockCount * kSlotSize) scratch_.resize(blockCount * kSlotSize);
    sizes_.assign(blockCount, 0);

    bool okMain = true, okWorker = true;
    size_t half = blockCount / 2;
    std::thread worker;
    if (half > 0) {
        try {
            worker = std::thread([&] { okWorker = CompressRange(level_, data, size, 0, half, scratch_.data(), sizes_.data()); });
        } catch (const std::system_error&) {
            half = 0;  // no second thread available: compress everything here
        }
    }
    okMain = CompressRange(level_, data, size, half, blockCount, scratch_.data(), sizes_.data());
    if (worker.joinable()) worker.join();
    if (!okMain || !okWorker) return XResult::Error(XStatus::IoError, "zlib could not start a deflate stream");

    size_t total = 0;
    for (uint32_t s : sizes_) total += s;
    size_t at = out->size();
    out->resize(at + total);
    for (size_t b = 0; b < blockCount; ++b) {
        std::memcpy(out->data() + at, scratch_.data() + b * kSlotSize, sizes_[b]);
        at += sizes_[b];
    }
    return XResult::Success();
}

XResult DecompressMszip(const uint8_t* data, size_t size, uint64_t declaredTotal, size_t maxBytes, size_t fileOffset,
                        std::vector<uint8_t>* out) {
    auto fail = [&](size_t at, const std::string& what) {
        return XResult::Error(XStatus::ParseError,
                              "compressed data at byte " + std::to_string(fileOffset + at) + ": " + what);
    };
    if (declaredTotal > maxBytes)
        return XResult::Error(XStatus::LimitExceeded, "compressed file announces " + std::to_string(declaredTotal) +
                                                          " bytes, more than the limit of " + std::to_string(maxBytes));
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return XResult::Error(XStatus::IoError, "zlib could not start an inflate stream");
    struct End {
        z_stream* z;
        ~End() { inflateEnd(z); }
    } end{&z};

    size_t start = out->size();
    size_t pos = 0;
    size_t previousBlock = 0, previousSize = 0;
    while (pos < size) {
        if (size - pos < 6) return fail(pos, "truncated block header");
        size_t usize = data[pos] | data[pos + 1] << 8;
        size_t csize = data[pos + 2] | data[pos + 3] << 8;
        if (data[pos + 4] != 'C' || data[pos + 5] != 'K') return fail(pos + 4, "block signature \"CK\" missing");
        if (usize == 0 || usize > kMszipBlockSize)
            return fail(pos, "block size " + std::to_string(usize) + " is not between 1 and 32768");
        if (csize < 3 || csize - 2 > size - pos - 6)
            return fail(pos + 2, "compressed block size " + std::to_string(csize) + " does not fit the file");
        size_t produced = out->size() - start;
        if (produced + usize > declaredTotal)
            return fail(pos, "blocks decompress to more than the announced " + std::to_string(declaredTotal) + " bytes");
        size_t at = out->size();
        out->resize(at + usize);
        inflateReset(&z);
        // Blocks written by some compressors refer back into the previous block.
        if (previousSize > 0)
            inflateSetDictionary(&z, out->data() + previousBlock, static_cast<uInt>(previousSize));
        z.next_in = const_cast<Bytef*>(data + pos + 6);
        z.avail_in = static_cast<uInt>(csize - 2);
        z.next_out = out->data() + at;
        z.avail_out = static_cast<uInt>(usize);
        int ret = inflate(&z, Z_FINISH);
        if (ret != Z_STREAM_END || z.avail_out != 0) {
            out->resize(start);
            return fail(pos + 6, ret == Z_STREAM_END || ret == Z_BUF_ERROR
                                     ? "block does not decompress to its announced " + std::to_string(usize) + " bytes"
                                     : "invalid deflate data");
        }
        previousBlock = at;
        previousSize = usize;
        pos += 4 + csize;
    }
    if (out->size() - start != declaredTotal)
        return fail(size, "blocks decompress to " + std::to_string(out->size() - start) + " bytes, the header announces " +
                              std::to_string(declaredTotal));
    return XResult::Success();
}

}  // namespace xfile
