#include "xfile/format/xpayload.h"

namespace xfile {

XPayload& XPayload::String(std::string_view s) {
    size_t len = s.size();
    if (const void* nul = std::memchr(s.data(), 0, len)) len = static_cast<size_t>(static_cast<const char*>(nul) - s.data());
    Put(s.data(), len);
    const char zero = 0;
    return Put(&zero, 1);
}

void XPayload::Grow(size_t capacity) {
    std::unique_ptr<uint8_t[]> next(new uint8_t[capacity]);
    if (size_) std::memcpy(next.get(), data_.get(), size_);
    data_ = std::move(next);
    capacity_ = capacity;
}

}  // namespace xfile
