#include "xformat/mszip.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "xformat/raw_deflate.h"

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

// Compresses one block into its slot: the framing, then one complete raw deflate stream (its
// last deflate block carries the final bit).
uint32_t CompressBlock(RawDeflater* c, const uint8_t* in, size_t inSize, uint8_t* slot) {
    size_t deflated = RawDeflate(c, in, inSize, slot + 6, kMaxDeflateBytes);
    if (deflated == 0) {
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
    return static_cast<uint32_t>(6 + deflated);
}

}  // namespace

struct MszipCompressor::Shared {
    int level;
    RawDeflater* mine = nullptr;
    RawDeflater* theirs = nullptr;
    // One slot of kSlotSize bytes per block, left uninitialised: a block's deflated bytes take
    // a fraction of its slot, and the pages of the rest are then never touched.
    std::unique_ptr<uint8_t[]> scratch;
    size_t scratchBlocks = 0;
    std::vector<uint32_t> sizes;   // framed size of each block in its slot

    // The job both threads work on: blocks are taken from `next`.
    const uint8_t* data = nullptr;
    size_t size = 0, blockCount = 0;
    std::atomic<size_t> next{0};

    std::mutex mutex;
    std::condition_variable wake, finished;
    uint64_t job = 0;         // bumped for every job handed to the worker
    bool workerBusy = false;  // the worker has not finished the current job
    bool stop = false;
    std::thread worker;
    bool workerTried = false;

    void Run(RawDeflater* c) {
        for (size_t b; (b = next.fetch_add(1)) < blockCount;) {
            size_t at = b * kMszipBlockSize;
            sizes[b] = CompressBlock(c, data + at, std::min(kMszipBlockSize, size - at), scratch.get() + b * kSlotSize);
        }
    }

    void WorkerLoop() {
        uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return stop || job != seen; });
            if (stop) return;
            seen = job;
            lock.unlock();
            Run(theirs);
            lock.lock();
            workerBusy = false;
            finished.notify_one();
        }
    }

    // Starts the worker on first use; false when no thread (or no second compressor) is available.
    bool HaveWorker() {
        if (!workerTried) {
            workerTried = true;
            theirs = NewRawDeflater(level);
            if (theirs) {
                try {
                    worker = std::thread([this] { WorkerLoop(); });
                } catch (const std::system_error&) {
                }
            }
        }
        return worker.joinable();
    }
};

MszipCompressor::MszipCompressor(int level) : shared_(std::make_unique<Shared>()) {
    shared_->level = std::clamp(level, 1, 12);
}

MszipCompressor::~MszipCompressor() {
    Shared& s = *shared_;
    if (s.worker.joinable()) {
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.stop = true;
        }
        s.wake.notify_one();
        s.worker.join();
    }
    if (s.mine) FreeRawDeflater(s.mine);
    if (s.theirs) FreeRawDeflater(s.theirs);
}

XResult MszipCompressor::Compress(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
    // A batch of blocks at a time, so that the slots take bounded memory.
    constexpr size_t kBatchBytes = kBatchBlocks * kMszipBlockSize;
    for (size_t at = 0; at < size; at += kBatchBytes) {
        XResult r = CompressBatch(data + at, std::min(kBatchBytes, size - at), out);
        if (!r.ok()) return r;
    }
    return XResult::Success();
}

XResult MszipCompressor::CompressBatch(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
    Shared& s = *shared_;
    if (!s.mine) s.mine = NewRawDeflater(s.level);
    if (!s.mine) return XResult::Error(XStatus::IoError, "not enough memory to start compressing");
    size_t blockCount = (size + kMszipBlockSize - 1) / kMszipBlockSize;
    if (s.scratchBlocks < blockCount) {
        s.scratch.reset(new uint8_t[blockCount * kSlotSize]);
        s.scratchBlocks = blockCount;
    }
    s.sizes.assign(blockCount, 0);
    s.data = data;
    s.size = size;
    s.blockCount = blockCount;
    s.next.store(0);

    bool shared = blockCount > 1 && s.HaveWorker();
    if (shared) {
        std::lock_guard<std::mutex> lock(s.mutex);
        ++s.job;
        s.workerBusy = true;
    }
    if (shared) s.wake.notify_one();
    s.Run(s.mine);
    if (shared) {
        std::unique_lock<std::mutex> lock(s.mutex);
        s.finished.wait(lock, [&] { return !s.workerBusy; });
    }

    size_t total = 0;
    for (uint32_t n : s.sizes) total += n;
    size_t at = out->size();
    out->resize(at + total);
    for (size_t b = 0; b < blockCount; ++b) {
        std::memcpy(out->data() + at, s.scratch.get() + b * kSlotSize, s.sizes[b]);
        at += s.sizes[b];
    }
    return XResult::Success();
}

XResult DecompressMszip(const uint8_t* data, size_t size, uint64_t declaredTotal, const MszipLimits& limits,
                        size_t fileOffset, std::vector<uint8_t>* out) {
    const size_t maxBytes = limits.maxBytes;
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

    // Some writers leave the header's 16 bytes out of the total: blocks that make 16 bytes more
    // than announced are taken too.
    const uint64_t withoutHeader = declaredTotal + 16;
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
        if (produced + usize > withoutHeader)
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
        bool whole = ret == Z_STREAM_END && z.avail_out == 0;
        if ((ret == Z_OK || ret == Z_BUF_ERROR) && z.avail_out == 0) {
            // Some compressors end a block with a sync flush instead of a final block: its data
            // is whole when the rest of the block makes no more bytes.
            uint8_t extra = 0;
            z.next_out = &extra;
            z.avail_out = 1;
            ret = inflate(&z, Z_SYNC_FLUSH);
            whole = z.avail_out == 1 && (ret == Z_OK || ret == Z_BUF_ERROR || ret == Z_STREAM_END);
        }
        if (!whole) {
            out->resize(start);
            // A compressed size that leaves out the 2 "CK" bytes puts the next block 2 bytes later.
            const auto blockAt = [&](size_t next) {
                return next == size || (next + 6 <= size && data[next + 4] == 'C' && data[next + 5] == 'K');
            };
            const std::string cause = ret == Z_STREAM_END || ret == Z_BUF_ERROR || ret == Z_OK
                                          ? "block does not decompress to its announced " + std::to_string(usize) + " bytes"
                                          : "invalid deflate data";
            const bool shortSize = !blockAt(pos + 4 + csize) && blockAt(pos + 6 + csize);
            return fail(pos + 6, cause + (shortSize ? "; its compressed size leaves out the 2 \"CK\" bytes, which no reader takes" : ""));
        }
        previousBlock = at;
        previousSize = usize;
        pos += 4 + csize;
        const uint64_t total = out->size() - start;
        if (total > limits.checkedAfter && total > uint64_t(limits.maxExpansion) * pos)
            return XResult::Error(XStatus::LimitExceeded,
                                  "compressed data at byte " + std::to_string(fileOffset + pos) + ": " +
                                      std::to_string(pos) + " bytes decompress to " + std::to_string(total) +
                                      ", more than " + std::to_string(limits.maxExpansion) +
                                      " times as many; no model compresses like that (a decompression bomb)");
    }
    if (out->size() - start != declaredTotal && out->size() - start != withoutHeader)
        return fail(size, "blocks decompress to " + std::to_string(out->size() - start) + " bytes, the header announces " +
                              std::to_string(declaredTotal));
    return XResult::Success();
}

}  // namespace xfile
