#include "xfile/format/payload_codec.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace xfile {
namespace {

uint32_t LoadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Integer value of a primitive integer member, as the 32-bit pattern binary lists carry.
uint32_t LoadInteger(XType type, const uint8_t* p) {
    switch (type) {
        case XType::Char: return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(p[0])));
        case XType::Uchar: return p[0];
        case XType::Word: return static_cast<uint32_t>(p[0] | p[1] << 8);
        case XType::Sword: return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(p[0] | p[1] << 8)));
        default: return LoadU32(p);
    }
}

bool IsFiniteBits(uint32_t bits) { return (bits & 0x7F800000u) != 0x7F800000u; }

uint64_t ArrayCount(const XMember& m, const uint32_t* values) {
    uint64_t count = 1;
    for (int d = 0; d < m.dimensionCount; ++d) {
        const XDimension& dim = m.dimensions[d];
        uint64_t v = dim.memberIndex >= 0 ? values[dim.memberIndex] : dim.size;
        count = v == 0 ? 0 : (count > (uint64_t(1) << 40) / v ? (uint64_t(1) << 40) : count * v);
    }
    return count;
}

// ----- validation -----

class Validator {
public:
    Validator(const XTemplateRegistry& r, std::span<const uint8_t> p) : reg_(r), p_(p.data()), size_(p.size()) {}

    XResult Run(uint32_t templateIndex) {
        const XTemplate& t = reg_.at(templateIndex);
        if (!Struct(t)) return XResult::Error(XStatus::BadPayload, "payload of '" + t.name + "': " + error_);
        if (pos_ != size_)
            return XResult::Error(XStatus::BadPayload, "payload of '" + t.name + "' has " + std::to_string(size_) +
                                                           " bytes, the template's members take " + std::to_string(pos_));
        return XResult::Success();
    }

private:
    bool Fail(const XTemplate& t, const XMember& m, const std::string& what) {
        error_ = "member '" + m.name + "' of '" + t.name + "' at byte " + std::to_string(pos_) + ": " + what;
        return false;
    }

    bool Need(const XTemplate& t, const XMember& m, uint64_t bytes) {
        if (bytes <= size_ - pos_) return true;
        return Fail(t, m, "needs " + std::to_string(bytes) + " bytes, the payload of " + std::to_string(size_) +
                              " bytes has " + std::to_string(size_ - pos_) + " left");
    }

    bool Floats(const XTemplate& t, const XMember& m, uint64_t count) {
        for (uint64_t i = 0; i < count; ++i) {
            if (!IsFiniteBits(LoadU32(p_ + pos_ + 4 * i))) {
                pos_ += 4 * i;
                return Fail(t, m, "value is not a finite number");
            }
        }
        return true;
    }

    bool Value(const XTemplate& t, const XMember& m, uint32_t* integer) {
        switch (m.type) {
            case XType::Template: return Struct(reg_.at(m.templateIndex));
            case XType::String: {
                const void* nul = std::memchr(p_ + pos_, 0, size_ - pos_);
                if (!nul) return Fail(t, m, "string has no terminating NUL within the payload");
                pos_ = static_cast<size_t>(static_cast<const uint8_t*>(nul) - p_) + 1;
                return true;
            }
            case XType::Float:
                if (!Need(t, m, 4) || !Floats(t, m, 1)) return false;
                pos_ += 4;
                return true;
            case XType::Double:
            case XType::Unicode:
            case XType::Cstring:
                return Fail(t, m, "members of type " + std::string(TypeKeyword(m.type)) + " cannot be written");
            default: {
                uint32_t size = PrimitiveSize(m.type);
                if (!Need(t, m, size)) return false;
                *integer = LoadInteger(m.type, p_ + pos_);
                pos_ += size;
                return true;
            }
        }
    }

    bool Struct(const XTemplate& t) {
        uint32_t values[kMaxMembersPerTemplate];
        for (size_t i = 0; i < t.members.size(); ++i) {
            const XMember& m = t.members[i];
            if (!m.isArray) {
                values[i] = 0;
                if (!Value(t, m, &values[i])) return false;
                continue;
            }
            uint64_t count = ArrayCount(m, values);
            if (count > size_ - pos_)
                return Fail(t, m, "array of " + std::to_string(count) + " elements cannot fit in the " +
                                      std::to_string(size_ - pos_) + " bytes left");
            // Fixed-size elements: check the extent at once, scan floats in one loop.
            int64_t elemSize = m.type == XType::Template ? reg_.at(m.templateIndex).fixedSize
                               : m.type == XType::String ? -1
                                                         : PrimitiveSize(m.type);
            bool allFloat = m.type == XType::Float ||
                            (m.type == XType::Template && reg_.at(m.templateIndex).uniformKind == 2);
            bool noFloat = IsIntegerType(m.type) ||
                           (m.type == XType::Template && reg_.at(m.templateIndex).uniformKind == 1);
            if (elemSize > 0 && (allFloat || noFloat)) {
                uint64_t bytes = count * static_cast<uint64_t>(elemSize);
                if (!Need(t, m, bytes)) return false;
                if (allFloat && !Floats(t, m, bytes / 4)) return false;
                pos_ += bytes;
                continue;
            }
            if (m.type == XType::Template && reg_.at(m.templateIndex).countedDwords) {
                if (!CountedDwords(reg_.at(m.templateIndex), count)) return false;
                continue;
            }
            uint32_t unused = 0;
            for (uint64_t k = 0; k < count; ++k)
                if (!Value(t, m, &unused)) return false;
        }
        return true;
    }

    // count instances of a { DWORD n; array DWORD v[n]; } template, in one tight loop.
    bool CountedDwords(const XTemplate& sub, uint64_t count) {
        for (uint64_t k = 0; k < count; ++k) {
            if (size_ - pos_ < 4) return Need(sub, sub.members[0], 4);
            const uint64_t n = LoadU32(p_ + pos_);
            pos_ += 4;
            // The same checks, in the same order and words, as the member-by-member walk.
            if (n > size_ - pos_)
                return Fail(sub, sub.members[1], "array of " + std::to_string(n) + " elements cannot fit in the " +
                                                     std::to_string(size_ - pos_) + " bytes left");
            if (!Need(sub, sub.members[1], 4 * n)) return false;
            pos_ += 4 * n;
        }
        return true;
    }

    const XTemplateRegistry& reg_;
    const uint8_t* p_;
    size_t size_;
    size_t pos_ = 0;
    std::string error_;
};

// Skips one instance of `t` in a validated payload.
void Skip(const XTemplateRegistry& reg, const XTemplate& t, const uint8_t*& p) {
    if (t.fixedSize >= 0) {
        p += t.fixedSize;
        return;
    }
    if (t.countedDwords) {
        p += 4 + 4 * static_cast<uint64_t>(LoadU32(p));
        return;
    }
    uint32_t values[kMaxMembersPerTemplate];
    for (size_t i = 0; i < t.members.size(); ++i) {
        const XMember& m = t.members[i];
        uint64_t count = m.isArray ? ArrayCount(m, values) : 1;
        for (uint64_t k = 0; k < count; ++k) {
            if (m.type == XType::Template) {
                const XTemplate& sub = reg.at(m.templateIndex);
                if (sub.fixedSize >= 0) {
                    p += (count - k) * static_cast<uint64_t>(sub.fixedSize);
                    break;
                }
                Skip(reg, sub, p);
            } else if (m.type == XType::String) {
                p += std::strlen(reinterpret_cast<const char*>(p)) + 1;
            } else {
                if (!m.isArray && IsIntegerType(m.type)) values[i] = LoadInteger(m.type, p);
                if (m.isArray) {
                    p += (count - k) * PrimitiveSize(m.type);
                    break;
                }
                p += PrimitiveSize(m.type);
            }
        }
    }
}

// ----- text -----

class TextEncoder {
public:
    TextEncoder(const XTemplateRegistry& r, OutBuffer* out) : reg_(r), out_(out) {}

    // Object level: one line per member; arrays one element per line.
    void Members(const XTemplate& t, const uint8_t*& p, int indent) {
        uint32_t values[kMaxMembersPerTemplate];
        for (size_t i = 0; i < t.members.size(); ++i) {
            const XMember& m = t.members[i];
            if (!m.isArray) {
                Indent(indent);
                if (IsIntegerType(m.type)) values[i] = LoadInteger(m.type, p);
                Element(m, p);
                if (m.type != XType::String) out_->PutChar(';');
                EndLine();
                continue;
            }
            uint64_t count = ArrayCount(m, values);
            if (m.type == XType::Template && TightArray(reg_.at(m.templateIndex), count, p, indent)) continue;
            for (uint64_t k = 0; k < count; ++k) {
                Indent(indent);
                Element(m, p);
                out_->PutChar(k + 1 < count ? ',' : ';');
                EndLine();
            }
        }
    }

private:
    // The two element shapes that make up the bulk of mesh data get a loop of their own, with
    // the same output as the general path: structures of plain FLOATs (vectors, texture
    // coordinates) and counted DWORD lists (faces). False for any other template.
    bool TightArray(const XTemplate& t, uint64_t count, const uint8_t*& p, int indent) {
        bool floats = !t.members.empty() && t.members.size() <= 16;
        for (const XMember& m : t.members) floats = floats && m.type == XType::Float && !m.isArray;
        if (!floats && !t.countedDwords) return false;
        const size_t n = t.members.size();
        for (uint64_t k = 0; k < count; ++k) {
            uint32_t values = floats ? static_cast<uint32_t>(n) : LoadU32(p);
            size_t most = static_cast<size_t>(indent) + (floats ? 64 * n : 11 * (size_t(values) + 1)) + 2;
            char* start = reinterpret_cast<char*>(out_->Reserve(most));
            char* d = start;
            std::memset(d, ' ', static_cast<size_t>(indent));
            d += indent;
            if (floats) {
                for (size_t i = 0; i < n; ++i, p += 4) {
                    float f;
                    std::memcpy(&f, p, 4);
                    d = FormatFloat(d, f);
                    *d++ = ';';
                }
            } else {
                p += 4;
                d = std::to_chars(d, d + 16, values).ptr;
                *d++ = ';';
                for (uint32_t i = 0; i < values; ++i, p += 4) {
                    d = std::to_chars(d, d + 16, LoadU32(p)).ptr;
                    *d++ = i + 1 < values ? ',' : ';';
                }
            }
            *d++ = k + 1 < count ? ',' : ';';
            *d++ = '\n';
            out_->Commit(static_cast<size_t>(d - start));
            out_->AtSafePoint();
        }
        return true;
    }

    void Indent(int n) {
        std::memset(out_->Reserve(n), ' ', static_cast<size_t>(n));
        out_->Commit(static_cast<size_t>(n));
    }
    void EndLine() {
        out_->PutChar('\n');
        out_->AtSafePoint();
    }

    // One value of the member's type: a scalar (strings carry their own ';'), or a
    // structure's values each with their separators.
    void Element(const XMember& m, const uint8_t*& p) {
        if (m.type == XType::Template) {
            Inline(reg_.at(m.templateIndex), p);
            return;
        }
        Scalar(m.type, p);
    }

    // A structure on one line: members separated by ';', inner arrays by ',', a nested
    // structure followed by one extra ';'.
    void Inline(const XTemplate& t, const uint8_t*& p) {
        uint32_t values[kMaxMembersPerTemplate];
        for (size_t i = 0; i < t.members.size(); ++i) {
            const XMember& m = t.members[i];
            if (!m.isArray) {
                if (IsIntegerType(m.type)) values[i] = LoadInteger(m.type, p);
                Element(m, p);
                if (m.type != XType::String) out_->PutChar(';');
                continue;
            }
            uint64_t count = ArrayCount(m, values);
            for (uint64_t k = 0; k < count; ++k) {
                Element(m, p);
                out_->PutChar(k + 1 < count ? ',' : ';');
            }
        }
    }

    // A scalar. Numbers get no separator here; strings are written "text"; because
    // readers require the ';' right after the closing quote.
    void Scalar(XType type, const uint8_t*& p) {
        if (type == XType::String) {
            size_t len = std::strlen(reinterpret_cast<const char*>(p));
            uint8_t* d = out_->Reserve(len + 3);
            d[0] = '"';
            for (size_t i = 0; i < len; ++i) d[1 + i] = p[i] == '"' ? '\'' : p[i];
            d[len + 1] = '"';
            d[len + 2] = ';';
            out_->Commit(len + 3);
            p += len + 1;
            return;
        }
        char* d = reinterpret_cast<char*>(out_->Reserve(64));
        char* e = d;
        switch (type) {
            case XType::Float: {
                float f;
                std::memcpy(&f, p, 4);
                e = FormatFloat(d, f);
                break;
            }
            case XType::Char:
            case XType::Sword:
            case XType::Sdword:
                e = std::to_chars(d, d + 64, static_cast<int32_t>(LoadInteger(type, p))).ptr;
                break;
            default: e = std::to_chars(d, d + 64, LoadInteger(type, p)).ptr; break;
        }
        out_->Commit(static_cast<size_t>(e - d));
        p += PrimitiveSize(type);
    }

    const XTemplateRegistry& reg_;
    OutBuffer* out_;
};

// ----- binary -----

class BinaryEncoder {
public:
    static constexpr uint32_t kMaxListElements = 1u << 18;

    BinaryEncoder(const XTemplateRegistry& r, OutBuffer* out) : reg_(r), out_(out) {}

    void Struct(const XTemplate& t, const uint8_t*& p) {
        uint32_t values[kMaxMembersPerTemplate];
        for (size_t i = 0; i < t.members.size(); ++i) {
            const XMember& m = t.members[i];
            uint64_t count = 1;
            if (m.isArray) {
                count = ArrayCount(m, values);
                if (count == 0) continue;
                // Runs of 32-bit values lie in the payload exactly as list elements.
                int uniform = m.type == XType::Float                               ? 2
                              : (m.type == XType::Dword || m.type == XType::Sdword) ? 1
                              : m.type == XType::Template ? reg_.at(m.templateIndex).uniformKind
                                                          : 0;
                if (uniform != 0) {
                    const uint8_t* start = p;
                    if (m.type == XType::Template) {
                        const XTemplate& sub = reg_.at(m.templateIndex);
                        if (sub.fixedSize >= 0)
                            p += count * static_cast<uint64_t>(sub.fixedSize);
                        else if (sub.countedDwords)
                            for (uint64_t k = 0; k < count; ++k) p += 4 + 4 * static_cast<uint64_t>(LoadU32(p));
                        else
                            for (uint64_t k = 0; k < count; ++k) Skip(reg_, sub, p);
                    } else {
                        p += count * 4;
                    }
                    Values(uniform == 2, start, static_cast<size_t>(p - start) / 4);
                    continue;
                }
            }
            for (uint64_t k = 0; k < count; ++k) {
                switch (m.type) {
                    case XType::Template: Struct(reg_.at(m.templateIndex), p); break;
                    case XType::String: {
                        size_t len = std::strlen(reinterpret_cast<const char*>(p));
                        CloseList();
                        out_->PutU16(2);
                        out_->PutU32(static_cast<uint32_t>(len));
                        uint8_t* d = out_->Reserve(len);
                        for (size_t c = 0; c < len; ++c) d[c] = p[c] == '"' ? '\'' : p[c];
                        out_->Commit(len);
                        out_->PutU16(20);  // TOKEN_SEMICOLON ends a string
                        p += len + 1;
                        break;
                    }
                    case XType::Float:
                        Values(true, p, 1);
                        p += 4;
                        break;
                    default: {
                        uint32_t v = LoadInteger(m.type, p);
                        if (!m.isArray) values[i] = v;
                        Values(false, reinterpret_cast<const uint8_t*>(&v), 1);
                        p += PrimitiveSize(m.type);
                        break;
                    }
                }
            }
        }
    }

    void CloseList() {
        if (listKind_ == 0) return;
        out_->PatchU32(listHeader_ + 2, listCount_);
        listKind_ = 0;
        out_->AtSafePoint();
    }

private:
    // Appends `count` 32-bit values to the open list of that kind, opening one if needed.
    void Values(bool isFloat, const uint8_t* src, size_t count) {
        int kind = isFloat ? 2 : 1;
        while (count > 0) {
            if (listKind_ != kind) {
                CloseList();
                listHeader_ = out_->size();
                out_->PutU16(isFloat ? 7 : 6);
                out_->PutU32(0);
                listKind_ = kind;
                listCount_ = 0;
            }
            size_t take = std::min<size_t>(count, kMaxListElements - listCount_);
            out_->Put(src, take * 4);
            src += take * 4;
            count -= take;
            listCount_ += static_cast<uint32_t>(take);
            if (listCount_ == kMaxListElements) CloseList();
        }
    }

    const XTemplateRegistry& reg_;
    OutBuffer* out_;
    int listKind_ = 0;  // 0 none, 1 integer list, 2 float list
    size_t listHeader_ = 0;
    uint32_t listCount_ = 0;
};

}  // namespace

char* FormatFloat(char* out, float value) {
    // The exact value rounded to six decimals, ties to even, as std::to_chars writes it, in
    // integer arithmetic: value = mantissa * 2^exponent, so value * 10^6 is an integer shifted
    // right. Magnitudes of 2^40 and more, infinities and NaNs take the library's path.
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    uint32_t exponentBits = (bits >> 23) & 0xFF;
    uint64_t mantissa = bits & 0x7FFFFF;
    int exponent = exponentBits == 0 ? -149 : static_cast<int>(exponentBits) - 150;
    if (exponentBits != 0) mantissa |= 0x800000;
    if (exponent > 16) return std::to_chars(out, out + 64, value, std::chars_format::fixed, 6).ptr;
    uint64_t millionths;
    if (exponent >= 0) {
        millionths = (mantissa << exponent) * 1000000;
    } else {
        int shift = -exponent;
        uint64_t scaled = mantissa * 1000000;  // below 2^44
        if (shift >= 45) {
            millionths = 0;  // below half a millionth
        } else {
            millionths = scaled >> shift;
            uint64_t rest = scaled & ((uint64_t(1) << shift) - 1), half = uint64_t(1) << (shift - 1);
            if (rest > half || (rest == half && (millionths & 1))) ++millionths;
        }
    }
    if (bits >> 31) *out++ = '-';
    out = std::to_chars(out, out + 24, millionths / 1000000).ptr;
    *out++ = '.';
    uint32_t fraction = static_cast<uint32_t>(millionths % 1000000);
    for (int i = 5; i >= 0; --i) {
        out[i] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    return out + 6;
}

XResult ValidatePayload(const XTemplateRegistry& registry, uint32_t templateIndex, std::span<const uint8_t> payload) {
    return Validator(registry, payload).Run(templateIndex);
}

void EncodeTextMembers(const XTemplateRegistry& registry, uint32_t templateIndex, std::span<const uint8_t> payload,
                       int indent, OutBuffer* out) {
    const uint8_t* p = payload.data();
    TextEncoder(registry, out).Members(registry.at(templateIndex), p, indent);
}

void EncodeBinaryMembers(const XTemplateRegistry& registry, uint32_t templateIndex, std::span<const uint8_t> payload,
                         OutBuffer* out) {
    const uint8_t* p = payload.data();
    BinaryEncoder encoder(registry, out);
    encoder.Struct(registry.at(templateIndex), p);
    encoder.CloseList();
}

}  // namespace xfile
