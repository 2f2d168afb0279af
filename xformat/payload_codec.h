// Internal: checks packed payloads against their templates and encodes them as text or
// binary X data into an output buffer.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "xformat/xpayload.h"
#include "xformat/xresult.h"
#include "xformat/xtemplates.h"

namespace xfile {

// A growable byte buffer with a flush hook: encoders call AtSafePoint() where the bytes so
// far may leave the buffer, and the owner empties it once it holds more than the threshold.
class OutBuffer {
public:
    struct Flusher {
        virtual void FlushBuffer() = 0;

    protected:
        // Never deleted through this interface: the buffer only calls it.
        ~Flusher() = default;
    };

    OutBuffer() = default;
    OutBuffer(const OutBuffer&) = delete;
    OutBuffer& operator=(const OutBuffer&) = delete;
    ~OutBuffer() { std::free(data_); }

    void SetFlusher(Flusher* flusher, size_t threshold) {
        flusher_ = flusher;
        threshold_ = threshold;
    }
    uint8_t* Reserve(size_t n) {
        if (size_ + n > capacity_) Grow(size_ + n);
        return data_ + size_;
    }
    void Commit(size_t n) { size_ += n; }
    void Put(const void* p, size_t n) {
        if (n == 0) return;
        std::memcpy(Reserve(n), p, n);
        size_ += n;
    }
    void Put(std::string_view s) { Put(s.data(), s.size()); }
    void PutChar(char c) { *Reserve(1) = static_cast<uint8_t>(c), ++size_; }
    void PutU16(uint16_t v) { Put(&v, 2); }
    void PutU32(uint32_t v) { Put(&v, 4); }
    void PatchU32(size_t at, uint32_t v) { std::memcpy(data_ + at, &v, 4); }
    void AtSafePoint() {
        if (flusher_ && size_ >= threshold_) flusher_->FlushBuffer();
    }

    uint8_t* data() { return data_; }
    size_t size() const { return size_; }
    // Drops the first `n` bytes, keeping the rest at the front.
    void Consume(size_t n) {
        if (n < size_) std::memmove(data_, data_ + n, size_ - n);
        size_ = n < size_ ? size_ - n : 0;
    }
    void Clear() { size_ = 0; }

private:
    void Grow(size_t need) {
        // Room for a small file's body at once: growing by doubling from a few KiB copied
        // the body several times. Pages not written to cost nothing.
        size_t capacity = capacity_ ? capacity_ : size_t(256) << 10;
        while (capacity < need) capacity *= 2;
        void* p = std::realloc(data_, capacity);
        if (!p) throw std::bad_alloc();
        data_ = static_cast<uint8_t*>(p);
        capacity_ = capacity;
    }

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    Flusher* flusher_ = nullptr;
    size_t threshold_ = 0;
};

// Reads a payload front to back: a payload given whole lies in memory as it is; one given as
// a source is read a chunk at a time into a buffer that the cursor refills when asked for
// bytes beyond its end, keeping the bytes not yet read. Readers ask with Need(n) for the n
// bytes they read next (n no more than left()), then read them at p.
class PayloadCursor {
public:
    static constexpr size_t kChunkBytes = size_t(256) << 10;

    explicit PayloadCursor(std::span<const uint8_t> bytes)
        : p(bytes.data()), end(bytes.data() + bytes.size()), size_(bytes.size()), endOffset_(bytes.size()) {}
    // `chunk` is the buffer the source is read into, kept by the caller for reuse.
    PayloadCursor(const XPayloadSource& source, std::vector<uint8_t>* chunk)
        : size_(source.size()), source_(&source), chunk_(chunk) {}

    const uint8_t* p = nullptr;    // the next byte
    const uint8_t* end = nullptr;  // the end of the bytes in memory

    uint64_t size() const { return size_; }
    uint64_t offset() const { return endOffset_ - available(); }
    uint64_t left() const { return size_ - offset(); }
    size_t available() const { return static_cast<size_t>(end - p); }

    void Need(size_t n) {
        if (available() < n) Refill(n);
    }
    // Steps over n bytes (n no more than left()); a source is not asked for bytes stepped over.
    void Skip(uint64_t n);
    // The length of the string at p, whose NUL is then in memory; false when the payload
    // has no NUL after p.
    bool FindNul(size_t* length);

private:
    void Refill(size_t n);

    uint64_t size_ = 0;
    uint64_t endOffset_ = 0;  // payload offset of `end`
    const XPayloadSource* source_ = nullptr;
    std::vector<uint8_t>* chunk_ = nullptr;
};

// Checks that `payload` is exactly one instance of registry template `templateIndex`:
// every array count satisfied, every string terminated, no byte left over, floats finite,
// and no member of a type the writer cannot encode (DOUBLE, UNICODE, CSTRING).
// The cursor is left where the check stopped.
XResult ValidatePayload(const XTemplateRegistry& registry, uint32_t templateIndex, PayloadCursor& payload);

// Encoders, from the payload's start. The payload must have passed ValidatePayload.
// Text: one line per member at `indent` spaces, each ending with its separator.
void EncodeTextMembers(const XTemplateRegistry& registry, uint32_t templateIndex, PayloadCursor& payload, int indent,
                       OutBuffer* out);
// Binary: integer and float lists and string tokens.
void EncodeBinaryMembers(const XTemplateRegistry& registry, uint32_t templateIndex, PayloadCursor& payload,
                         OutBuffer* out);

// Writes a float the way D3DX text files do ("%f": fixed, six decimals, never an exponent).
// `out` needs room for 64 characters. Returns the end.
char* FormatFloat(char* out, float value);

}  // namespace xfile
