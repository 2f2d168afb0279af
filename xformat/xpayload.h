// Builds the packed payload of one data object: the template's members in order,
// little-endian, without padding. DWORD and FLOAT take 4 bytes, WORD 2; an array follows
// its count directly; a string is stored inline as its bytes and one NUL.
//
//   XPayload p;
//   p.Reserve(8 + 12 * vertexCount + ...);   // exact size: no reallocation
//   p.Dword(vertexCount).Floats(positions).Dword(faceCount);
//   save.AddDataObject(kTidMesh, "Box01", p.bytes(), &mesh);
//
// A payload too large to build whole is given as an XPayloadSource instead, which the save
// layer reads in bounded chunks; XStreamedPayload makes one from counts and runs of elements
// laid out on demand:
//
//   XStreamedPayload p;
//   p.Dword(vertexCount).Elements(vertexCount, 12, [&](uint64_t first, size_t n, uint8_t* out) {
//       for (size_t i = 0; i < n; ++i) XPacker{out + 12 * i}.Float(x).Float(y).Float(z);
//   });
#pragma once

#include <cstdint>
#include <bit>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace xfile {

class XPayload {
public:
    XPayload() = default;
    XPayload(const XPayload&) = delete;
    XPayload& operator=(const XPayload&) = delete;
    XPayload(XPayload&&) noexcept = default;
    XPayload& operator=(XPayload&&) noexcept = default;

    // Makes room for `bytes` in total; with the exact size the buffer is allocated once.
    void Reserve(size_t bytes) {
        if (bytes > capacity_) Grow(bytes);
    }
    void Clear() { size_ = 0; }

    XPayload& Dword(uint32_t v) { return Put(&v, 4); }
    XPayload& Word(uint16_t v) { return Put(&v, 2); }
    XPayload& Float(float v) { return Put(&v, 4); }
    XPayload& Dwords(std::span<const uint32_t> v) { return Put(v.data(), v.size_bytes()); }
    XPayload& Floats(std::span<const float> v) { return Put(v.data(), v.size_bytes()); }
    // A string member: the bytes up to the first NUL (if any), then one NUL.
    XPayload& String(std::string_view s);
    XPayload& Bytes(std::span<const uint8_t> v) { return Put(v.data(), v.size()); }

    std::span<const uint8_t> bytes() const { return {data_.get(), size_}; }
    size_t size() const { return size_; }

private:
    // The layer targets little-endian machines, so values are stored as they lie in memory.
    XPayload& Put(const void* p, size_t n) {
        if (size_ + n > capacity_) Grow(size_ + n > 2 * capacity_ ? size_ + n : 2 * capacity_);
        if (n) std::memcpy(data_.get() + size_, p, n);
        size_ += n;
        return *this;
    }
    void Grow(size_t capacity);

    std::unique_ptr<uint8_t[]> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// A payload laid out on demand. The save layer reads it front to back in chunks, once to
// check it against its template and once to encode it, so the same range must always give
// the same bytes.
class XPayloadSource {
public:
    virtual uint64_t size() const = 0;
    // Writes bytes [offset, offset + n) of the payload to out; the range lies within size().
    virtual void Read(uint64_t offset, uint8_t* out, size_t n) const = 0;

protected:
    ~XPayloadSource() = default;
};

// Writes 32-bit values one after the other, as XPayload stores them.
struct XPacker {
    uint8_t* at;
    XPacker& Dword(uint32_t v) {
        std::memcpy(at, &v, 4);
        at += 4;
        return *this;
    }
    XPacker& Float(float v) {
        std::memcpy(at, &v, 4);
        at += 4;
        return *this;
    }
};

// A payload source made of parts in order: bytes given now (counts, small members) and runs
// of fixed-size elements that a function lays out when the layer asks for them.
class XStreamedPayload final : public XPayloadSource {
public:
    // Lays out elements [first, first + count) of a run at out, elementSize bytes each.
    using Fill = std::function<void(uint64_t first, size_t count, uint8_t* out)>;

    XStreamedPayload& Dword(uint32_t v) { return Bytes(&v, 4); }
    XStreamedPayload& Bytes(const void* p, size_t n);
    XStreamedPayload& Elements(uint64_t count, uint32_t elementSize, Fill fill);

    uint64_t size() const override { return size_; }
    void Read(uint64_t offset, uint8_t* out, size_t n) const override;

private:
    struct Part {
        uint64_t start = 0;       // payload offset of the part
        uint64_t bytes = 0;
        uint32_t elementSize = 0;  // 0: the bytes are in `fixed`
        Fill fill;
        std::vector<uint8_t> fixed;
    };
    std::vector<Part> parts_;
    uint64_t size_ = 0;
};

static_assert(std::endian::native == std::endian::little, "payloads are built in memory order");

}  // namespace xfile
