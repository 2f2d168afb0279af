// Builds the packed payload of one data object: the template's members in order,
// little-endian, without padding. DWORD and FLOAT take 4 bytes, WORD 2; an array follows
// its count directly; a string is stored inline as its bytes and one NUL.
//
//   XPayload p;
//   p.Reserve(8 + 12 * vertexCount + ...);   // exact size: no reallocation
//   p.Dword(vertexCount).Floats(positions).Dword(faceCount);
//   save.AddDataObject(kTidMesh, "Box01", p.bytes(), &mesh);
#pragma once

#include <cstdint>
#include <bit>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>

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

static_assert(std::endian::native == std::endian::little, "payloads are built in memory order");

}  // namespace xfile
