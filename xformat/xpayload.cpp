#include "xformat/xpayload.h"

#include <algorithm>

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

XStreamedPayload& XStreamedPayload::Bytes(const void* p, size_t n) {
    if (n == 0) return *this;
    if (parts_.empty() || parts_.back().elementSize != 0) {
        parts_.emplace_back();
        parts_.back().start = size_;
    }
    Part& part = parts_.back();
    const uint8_t* bytes = static_cast<const uint8_t*>(p);
    part.fixed.insert(part.fixed.end(), bytes, bytes + n);
    part.bytes += n;
    size_ += n;
    return *this;
}

XStreamedPayload& XStreamedPayload::Elements(uint64_t count, uint32_t elementSize, Fill fill) {
    if (count == 0 || elementSize == 0) return *this;
    Part part;
    part.start = size_;
    part.bytes = count * elementSize;
    part.elementSize = elementSize;
    part.fill = std::move(fill);
    size_ += part.bytes;
    parts_.push_back(std::move(part));
    return *this;
}

void XStreamedPayload::Read(uint64_t offset, uint8_t* out, size_t n) const {
    // Parts are few; the layer reads front to back, so the search is short.
    size_t i = 0;
    while (i + 1 < parts_.size() && parts_[i + 1].start <= offset) ++i;
    std::vector<uint8_t> element;  // an element cut by the range's ends
    for (; n > 0; ++i) {
        const Part& part = parts_[i];
        const uint64_t at = offset - part.start;
        const size_t take = static_cast<size_t>(std::min<uint64_t>(n, part.bytes - at));
        if (part.elementSize == 0) {
            std::memcpy(out, part.fixed.data() + at, take);
        } else {
            const uint32_t es = part.elementSize;
            uint64_t first = at / es;
            size_t skip = static_cast<size_t>(at % es), done = 0;
            if (skip != 0 || take < es) {  // the range starts inside an element
                element.resize(es);
                part.fill(first, 1, element.data());
                done = std::min<size_t>(take, es - skip);
                std::memcpy(out, element.data() + skip, done);
                ++first;
            }
            const size_t whole = (take - done) / es;
            if (whole > 0) part.fill(first, whole, out + done);
            done += whole * es;
            first += whole;
            if (done < take) {  // the range ends inside an element
                element.resize(es);
                part.fill(first, 1, element.data());
                std::memcpy(out + done, element.data(), take - done);
            }
        }
        out += take;
        offset += take;
        n -= take;
    }
}

}  // namespace xfile
