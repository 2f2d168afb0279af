#include "xformat/payload_codec.h"

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

// { DWORD n; array FLOAT values[n]; }: a counted list of FLOATs (like FloatKeys).
bool IsCountedFloats(const XTemplate& t) {
    if (t.members.size() != 2) return false;
    const XMember& n = t.members[0];
    const XMember& v = t.members[1];
    return n.type == XType::Dword && !n.isArray && v.type == XType::Float && v.isArray && v.dimensionCount == 1 &&
           v.dimensions[0].memberIndex == 0;
}

// { DWORD; <counted FLOATs>; } (like TimedFloatKeys, the bulk of animation data): an instance
// is 8 + 4n bytes, n being its second DWORD.
bool IsTimedFloats(const XTemplateRegistry& reg, const XTemplate& t) {
    if (t.members.size() != 2) return false;
    const XMember& time = t.members[0];
    const XMember& keys = t.members[1];
    return time.type == XType::Dword && !time.isArray && keys.type == XType::Template && !keys.isArray &&
           IsCountedFloats(reg.at(keys.templateIndex));
}

// ----- validation -----

class Validator {
public:
    Validator(const XTemplateRegistry& r, PayloadCursor& c) : reg_(r), c_(c) {}

    XResult Run(uint32_t templateIndex) {
        const XTemplate& t = reg_.at(templateIndex);
        if (!Struct(t)) return XResult::Error(XStatus::BadPayload, "payload of '" + t.name + "': " + error_);
        if (c_.left() != 0)
            return XResult::Error(XStatus::BadPayload, "payload of '" + t.name + "' has " + std::to_string(c_.size()) +
                                                           " bytes, the template's members take " +
                                                           std::to_string(c_.offset()));
        return XResult::Success();
    }

private:
    bool Fail(const XTemplate& t, const XMember& m, const std::string& what) {
        error_ = "member '" + m.name + "' of '" + t.name + "' at byte " + std::to_string(c_.offset()) + ": " + what;
        return false;
    }

    bool Need(const XTemplate& t, const XMember& m, uint64_t bytes) {
        if (bytes <= c_.left()) return true;
        return Fail(t, m, "needs " + std::to_string(bytes) + " bytes, the payload of " + std::to_string(c_.size()) +
                              " bytes has " + std::to_string(c_.left()) + " left");
    }

    // Steps over `count` floats, which Need has found in the payload, checking each is finite.
    bool Floats(const XTemplate& t, const XMember& m, uint64_t count) {
        while (count > 0) {
            c_.Need(4);
            const size_t n = static_cast<size_t>(std::min<uint64_t>(count, c_.available() / 4));
            for (size_t i = 0; i < n; ++i) {
                if (!IsFiniteBits(LoadU32(c_.p + 4 * i))) {
                    c_.p += 4 * i;
                    return Fail(t, m, "value is not a finite number");
                }
            }
            c_.p += 4 * n;
            count -= n;
        }
        return true;
    }

    bool Value(const XTemplate& t, const XMember& m, uint32_t* integer) {
        switch (m.type) {
            case XType::Template: return Struct(reg_.at(m.templateIndex));
            case XType::String: {
                size_t length;
                if (!c_.FindNul(&length)) return Fail(t, m, "string has no terminating NUL within the payload");
                c_.p += length + 1;
                return true;
            }
            case XType::Float: return Need(t, m, 4) && Floats(t, m, 1);
            case XType::Double:
            case XType::Unicode:
            case XType::Cstring:
                return Fail(t, m, "members of type " + std::string(TypeKeyword(m.type)) + " cannot be written");
            default: {
                uint32_t size = PrimitiveSize(m.type);
                if (!Need(t, m, size)) return false;
                c_.Need(size);
                *integer = LoadInteger(m.type, c_.p);
                c_.p += size;
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
            if (count > c_.left())
                return Fail(t, m, "array of " + std::to_string(count) + " elements cannot fit in the " +
                                      std::to_string(c_.left()) + " bytes left");
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
                if (allFloat) {
                    if (!Floats(t, m, bytes / 4)) return false;
                } else {
                    c_.Skip(bytes);
                }
                continue;
            }
            if (m.type == XType::Template && reg_.at(m.templateIndex).countedDwords) {
                if (!CountedDwords(reg_.at(m.templateIndex), count)) return false;
                continue;
            }
            const std::vector<XValueRun>* runs =
                m.type == XType::Template && !reg_.at(m.templateIndex).valueRuns.empty()
                    ? &reg_.at(m.templateIndex).valueRuns
                    : nullptr;
            const bool timed = m.type == XType::Template && IsTimedFloats(reg_, reg_.at(m.templateIndex));
            uint32_t unused = 0;
            for (uint64_t k = 0; k < count; ++k) {
                if (timed && TimedFloats()) continue;
                // An element of 32-bit values whose FLOATs are finite is stepped over; any
                // other goes member by member, which says what is wrong.
                if (runs && c_.left() >= static_cast<uint64_t>(elemSize)) {
                    c_.Need(static_cast<size_t>(elemSize));
                    if (FiniteRuns(*runs, c_.p)) {
                        c_.p += elemSize;
                        continue;
                    }
                }
                if (!Value(t, m, &unused)) return false;
            }
        }
        return true;
    }

    // Steps over one timed FLOAT list when it is whole and its FLOATs are finite; false,
    // having read nothing, for any other, which the member walk then describes.
    bool TimedFloats() {
        if (c_.left() < 8) return false;
        c_.Need(8);
        const uint64_t bytes = 8 + 4 * uint64_t(LoadU32(c_.p + 4));
        if (bytes > c_.left()) return false;
        c_.Need(static_cast<size_t>(bytes));
        for (size_t at = 8; at < bytes; at += 4)
            if (!IsFiniteBits(LoadU32(c_.p + at))) return false;
        c_.p += bytes;
        return true;
    }

    static bool FiniteRuns(const std::vector<XValueRun>& runs, const uint8_t* p) {
        for (const XValueRun& r : runs) {
            for (uint32_t i = 0; r.kind == 2 && i < r.count; ++i)
                if (!IsFiniteBits(LoadU32(p + 4 * i))) return false;
            p += 4 * size_t(r.count);
        }
        return true;
    }

    // count instances of a { DWORD n; array DWORD v[n]; } template, in one tight loop.
    bool CountedDwords(const XTemplate& sub, uint64_t count) {
        for (uint64_t k = 0; k < count; ++k) {
            if (c_.left() < 4) return Need(sub, sub.members[0], 4);
            c_.Need(4);
            const uint64_t n = LoadU32(c_.p);
            c_.p += 4;
            // The same checks, in the same order and words, as the member-by-member walk.
            if (n > c_.left())
                return Fail(sub, sub.members[1], "array of " + std::to_string(n) + " elements cannot fit in the " +
                                                     std::to_string(c_.left()) + " bytes left");
            if (!Need(sub, sub.members[1], 4 * n)) return false;
            c_.Skip(4 * n);
        }
        return true;
    }

    const XTemplateRegistry& reg_;
    PayloadCursor& c_;
    std::string error_;
};

// "00" to "99", for writing two decimals at a time.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// FormatFloat, written into the text encoder's loops.
[[gnu::always_inline]] inline char* FixedSix(char* out, float value) {
    // The exact value rounded to six decimals, ties to even, as std::to_chars writes it, in
    // integer arithmetic: value = mantissa * 2^exponent, so value * 10^6 is an integer shifted
    // right. Magnitudes of 2^40 and more, infinities and NaNs take the library's path.
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    uint32_t exponentBits = (bits >> 23) & 0xFF;
    uint64_t mantissa = bits & 0x7FFFFF;
    int exponent = exponentBits == 0 ? -149 : static_cast<int>(exponentBits) - 150;
    if (exponentBits != 0) mantissa |= 0x800000;
    if (exponent > 16) {
        // From 2^64 on, the whole part no longer fits the 64-bit integer that some readers parse
        // it into (Assimp then stops at the first digit), and the exponent form that would fit
        // is refused by others (Wine). Such magnitudes are written as the largest float below
        // 2^64, which every reader takes; a binary file keeps them exactly.
        constexpr float kLargestBelow2To64 = 18446742974197923840.0f;  // 2^64 - 2^40
        if (exponent >= 41 && exponentBits != 0xFF) value = (bits >> 31) ? -kLargestBelow2To64 : kLargestBelow2To64;
        return std::to_chars(out, out + 64, value, std::chars_format::fixed, 6).ptr;
    }
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
    const uint64_t whole = millionths / 1000000;
    if (whole < 10) {
        *out++ = static_cast<char>('0' + whole);
    } else if (whole < 100) {
        std::memcpy(out, kDigitPairs + 2 * whole, 2);
        out += 2;
    } else {
        out = std::to_chars(out, out + 24, whole).ptr;
    }
    *out++ = '.';
    const uint32_t fraction = static_cast<uint32_t>(millionths - whole * 1000000);
    std::memcpy(out, kDigitPairs + 2 * (fraction / 10000), 2);
    std::memcpy(out + 2, kDigitPairs + 2 * (fraction / 100 % 100), 2);
    std::memcpy(out + 4, kDigitPairs + 2 * (fraction % 100), 2);
    return out + 6;
}


// ----- text -----

// Writes n spaces of indentation at d, which has room for at least 16 bytes and n; returns the
// end. Indents are short: a fixed-size copy is cheaper than a call to memset.
[[gnu::always_inline]] inline char* Spaces(char* d, size_t n) {
    if (n <= 16)
        std::memcpy(d, "                ", 16);
    else
        std::memset(d, ' ', n);
    return d + n;
}

// Writes the n floats at p, each followed by separator, the last by last; returns the end.
[[gnu::always_inline]] inline char* FloatRun(char* d, const uint8_t* p, size_t n, char separator, char last) {
    for (size_t i = 0; i < n; ++i, p += 4) {
        float f;
        std::memcpy(&f, p, 4);
        d = FixedSix(d, f);
        *d++ = i + 1 < n ? separator : last;
    }
    return d;
}

class TextEncoder {
public:
    TextEncoder(const XTemplateRegistry& r, PayloadCursor& c, OutBuffer* out) : reg_(r), c_(c), out_(out) {}

    // Object level: one line per member; arrays one element per line.
    void Members(const XTemplate& t, int indent) {
        uint32_t values[kMaxMembersPerTemplate];
        for (size_t i = 0; i < t.members.size(); ++i) {
            const XMember& m = t.members[i];
            if (!m.isArray) {
                Indent(indent);
                if (IsIntegerType(m.type)) {
                    c_.Need(PrimitiveSize(m.type));
                    values[i] = LoadInteger(m.type, c_.p);
                }
                Element(m);
                if (m.type != XType::String) out_->PutChar(';');
                EndLine();
                continue;
            }
            uint64_t count = ArrayCount(m, values);
            if (m.type == XType::Template ? TightArray(reg_.at(m.templateIndex), count, indent)
                                          : NumberLines(m.type, count, static_cast<size_t>(indent)))
                continue;
            for (uint64_t k = 0; k < count; ++k) {
                Indent(indent);
                Element(m);
                out_->PutChar(k + 1 < count ? ',' : ';');
                EndLine();
            }
        }
    }

private:
    // The element shapes that make up the bulk of mesh and animation data get a loop of their
    // own, with the same output as the general path: structures of plain FLOATs (vectors,
    // texture coordinates), counted DWORD lists (faces) and timed FLOAT lists (animation
    // keys). False for any other template.
    bool TightArray(const XTemplate& t, uint64_t count, int indent) {
        bool floats = !t.members.empty() && t.members.size() <= 16;
        for (const XMember& m : t.members) floats = floats && m.type == XType::Float && !m.isArray;
        if (floats)
            FloatLines(t.members.size(), count, static_cast<size_t>(indent));
        else if (t.countedDwords)
            CountedLines(count, static_cast<size_t>(indent));
        else if (IsTimedFloats(reg_, t))
            TimedFloatLines(count, static_cast<size_t>(indent));
        else
            return false;
        return true;
    }

    // `count` numbers, one per line (skin weights and their vertex indices); false for
    // strings, which keep the general path.
    bool NumberLines(XType type, uint64_t count, size_t indent) {
        if (type != XType::Float && !IsIntegerType(type)) return false;
        const bool isSigned = type == XType::Char || type == XType::Sword || type == XType::Sdword;
        const size_t size = PrimitiveSize(type);
        constexpr size_t kBatch = 256;
        const size_t lineMost = indent + 64 + 2;
        for (uint64_t k = 0; k < count;) {
            c_.Need(size);
            const size_t batch = static_cast<size_t>(std::min<uint64_t>({count - k, c_.available() / size, kBatch}));
            char* start = reinterpret_cast<char*>(out_->Reserve(batch * lineMost));
            char* d = start;
            const uint8_t* p = c_.p;
            for (size_t e = 0; e < batch; ++e, ++k, p += size) {
                d = Spaces(d, indent);
                if (type == XType::Float) {
                    float f;
                    std::memcpy(&f, p, 4);
                    d = FixedSix(d, f);
                } else if (isSigned) {
                    d = std::to_chars(d, d + 16, static_cast<int32_t>(LoadInteger(type, p))).ptr;
                } else {
                    d = std::to_chars(d, d + 16, LoadInteger(type, p)).ptr;
                }
                *d++ = k + 1 < count ? ',' : ';';
                *d++ = '\n';
            }
            c_.p = p;
            out_->Commit(static_cast<size_t>(d - start));
            out_->AtSafePoint();
        }
        return true;
    }

    // `count` timed FLOAT lists, one per line: "time;n;v,...,v;;".
    void TimedFloatLines(uint64_t count, size_t indent) {
        for (uint64_t k = 0; k < count; ++k) {
            c_.Need(8);
            const uint32_t values = LoadU32(c_.p + 4);
            c_.Need(8 + 4 * size_t(values));
            const uint8_t* p = c_.p + 8;
            char* start = reinterpret_cast<char*>(out_->Reserve(indent + 2 * 11 + 65 * size_t(values) + 4));
            char* d = start;
            d = Spaces(d, indent);
            d = std::to_chars(d, d + 16, LoadU32(c_.p)).ptr;
            *d++ = ';';
            d = std::to_chars(d, d + 16, values).ptr;
            *d++ = ';';
            d = FloatRun(d, p, values, ',', ';');
            *d++ = ';';
            *d++ = k + 1 < count ? ',' : ';';
            *d++ = '\n';
            c_.p = p + 4 * size_t(values);
            out_->Commit(static_cast<size_t>(d - start));
            out_->AtSafePoint();
        }
    }

    // `count` elements of n floats, one per line; the elements in memory are formatted a batch
    // at a time into room reserved for the batch.
    void FloatLines(size_t n, uint64_t count, size_t indent) {
        constexpr size_t kBatch = 256;
        const size_t elementBytes = 4 * n, lineMost = indent + 64 * n + 2;
        for (uint64_t k = 0; k < count;) {
            c_.Need(elementBytes);
            const size_t batch = static_cast<size_t>(std::min<uint64_t>({count - k, c_.available() / elementBytes, kBatch}));
            char* start = reinterpret_cast<char*>(out_->Reserve(batch * lineMost));
            char* d = start;
            const uint8_t* p = c_.p;
            for (size_t e = 0; e < batch; ++e, ++k) {
                d = FloatRun(Spaces(d, indent), p, n, ';', ';');
                p += elementBytes;
                *d++ = k + 1 < count ? ',' : ';';
                *d++ = '\n';
            }
            c_.p = p;
            out_->Commit(static_cast<size_t>(d - start));
            out_->AtSafePoint();
        }
    }

    // `count` counted DWORD lists, one per line.
    void CountedLines(uint64_t count, size_t indent) {
        for (uint64_t k = 0; k < count; ++k) {
            c_.Need(4);
            const uint32_t values = LoadU32(c_.p);
            c_.Need(4 + 4 * size_t(values));
            const uint8_t* p = c_.p + 4;
            char* start = reinterpret_cast<char*>(out_->Reserve(indent + 11 * (size_t(values) + 1) + 2 + 16));
            char* d = start;
            d = Spaces(d, indent);
            d = std::to_chars(d, d + 16, values).ptr;
            *d++ = ';';
            for (uint32_t i = 0; i < values; ++i, p += 4) {
                d = std::to_chars(d, d + 16, LoadU32(p)).ptr;
                *d++ = i + 1 < values ? ',' : ';';
            }
            *d++ = k + 1 < count ? ',' : ';';
            *d++ = '\n';
            c_.p = p;
            out_->Commit(static_cast<size_t>(d - start));
            out_->AtSafePoint();
        }
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
    void Element(const XMember& m) {
        if (m.type == XType::Template) {
            Inline(reg_.at(m.templateIndex));
            return;
        }
        Scalar(m.type);
    }

    // A structure on one line: members separated by ';', inner arrays by ',', a nested
    // structure followed by one extra ';'.
    void Inline(const XTemplate& t) {
        uint32_t values[kMaxMembersPerTemplate];
        for (size_t i = 0; i < t.members.size(); ++i) {
            const XMember& m = t.members[i];
            if (!m.isArray) {
                if (IsIntegerType(m.type)) {
                    c_.Need(PrimitiveSize(m.type));
                    values[i] = LoadInteger(m.type, c_.p);
                }
                Element(m);
                if (m.type != XType::String) out_->PutChar(';');
                continue;
            }
            uint64_t count = ArrayCount(m, values);
            for (uint64_t k = 0; k < count; ++k) {
                Element(m);
                out_->PutChar(k + 1 < count ? ',' : ';');
            }
        }
    }

    // A scalar. Numbers get no separator here; strings are written "text"; because
    // readers require the ';' right after the closing quote.
    void Scalar(XType type) {
        if (type == XType::String) {
            size_t len = 0;
            c_.FindNul(&len);
            const uint8_t* p = c_.p;
            uint8_t* d = out_->Reserve(len + 3);
            d[0] = '"';
            for (size_t i = 0; i < len; ++i) d[1 + i] = p[i] == '"' ? '\'' : p[i];
            d[len + 1] = '"';
            d[len + 2] = ';';
            out_->Commit(len + 3);
            c_.p += len + 1;
            return;
        }
        const uint32_t size = PrimitiveSize(type);
        c_.Need(size);
        const uint8_t* p = c_.p;
        char* d = reinterpret_cast<char*>(out_->Reserve(64));
        char* e = d;
        switch (type) {
            case XType::Float: {
                float f;
                std::memcpy(&f, p, 4);
                e = FixedSix(d, f);
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
        c_.p += size;
    }

    const XTemplateRegistry& reg_;
    PayloadCursor& c_;
    OutBuffer* out_;
};

// ----- binary -----

class BinaryEncoder {
public:
    static constexpr uint32_t kMaxListElements = 1u << 18;

    BinaryEncoder(const XTemplateRegistry& r, PayloadCursor& c, OutBuffer* out) : reg_(r), c_(c), out_(out) {}

    void Struct(const XTemplate& t) {
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
                const XTemplate* sub = m.type == XType::Template ? &reg_.at(m.templateIndex) : nullptr;
                if (uniform != 0 && (!sub || sub->fixedSize >= 0)) {
                    Run(uniform == 2, count * (sub ? static_cast<uint64_t>(sub->fixedSize) : 4));
                    continue;
                }
                if (uniform != 0 && sub->countedDwords) {
                    CountedRun(count);
                    continue;
                }
                if (sub && IsTimedFloats(reg_, *sub)) {
                    // Each key: its time and count join the integer list, its values a float list.
                    for (uint64_t k = 0; k < count; ++k) {
                        c_.Need(8);
                        const size_t keyValues = LoadU32(c_.p + 4);
                        c_.Need(8 + 4 * keyValues);
                        Values(false, c_.p, 2);
                        Values(true, c_.p + 8, keyValues);
                        c_.p += 8 + 4 * keyValues;
                    }
                    continue;
                }
                if (sub && !sub->valueRuns.empty()) {
                    for (uint64_t k = 0; k < count; ++k) {
                        c_.Need(static_cast<size_t>(sub->fixedSize));
                        for (const XValueRun& r : sub->valueRuns) {
                            Values(r.kind == 2, c_.p, r.count);
                            c_.p += 4 * size_t(r.count);
                        }
                    }
                    continue;
                }
                // Other elements, uniform ones included, go member by member: the values
                // join the same open list either way.
            }
            for (uint64_t k = 0; k < count; ++k) {
                switch (m.type) {
                    case XType::Template: Struct(reg_.at(m.templateIndex)); break;
                    case XType::String: {
                        size_t len = 0;
                        c_.FindNul(&len);
                        const uint8_t* p = c_.p;
                        CloseList();
                        out_->PutU16(2);
                        out_->PutU32(static_cast<uint32_t>(len));
                        uint8_t* d = out_->Reserve(len);
                        for (size_t c = 0; c < len; ++c) d[c] = p[c] == '"' ? '\'' : p[c];
                        out_->Commit(len);
                        out_->PutU16(20);  // TOKEN_SEMICOLON ends a string
                        c_.p += len + 1;
                        break;
                    }
                    case XType::Float:
                        c_.Need(4);
                        Values(true, c_.p, 1);
                        c_.p += 4;
                        break;
                    default: {
                        const uint32_t size = PrimitiveSize(m.type);
                        c_.Need(size);
                        uint32_t v = LoadInteger(m.type, c_.p);
                        if (!m.isArray) values[i] = v;
                        Values(false, reinterpret_cast<const uint8_t*>(&v), 1);
                        c_.p += size;
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
    // `bytes` of 32-bit values of one kind, as much as the cursor holds at a time.
    void Run(bool isFloat, uint64_t bytes) {
        while (bytes > 0) {
            c_.Need(4);
            const size_t take = static_cast<size_t>(std::min<uint64_t>(bytes, c_.available() & ~size_t(3)));
            Values(isFloat, c_.p, take / 4);
            c_.p += take;
            bytes -= take;
        }
    }

    // `count` counted DWORD lists: the whole lists the cursor holds go out as one run.
    void CountedRun(uint64_t count) {
        while (count > 0) {
            c_.Need(4);
            c_.Need(4 + 4 * size_t(LoadU32(c_.p)));
            const uint8_t* q = c_.p;
            while (count > 0 && c_.end - q >= 4) {
                const size_t bytes = 4 + 4 * size_t(LoadU32(q));
                if (static_cast<size_t>(c_.end - q) < bytes) break;
                q += bytes;
                --count;
            }
            Values(false, c_.p, static_cast<size_t>(q - c_.p) / 4);
            c_.p = q;
        }
    }

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
    PayloadCursor& c_;
    OutBuffer* out_;
    int listKind_ = 0;  // 0 none, 1 integer list, 2 float list
    size_t listHeader_ = 0;
    uint32_t listCount_ = 0;
};

}  // namespace

char* FormatFloat(char* out, float value) { return FixedSix(out, value); }

XResult ValidatePayload(const XTemplateRegistry& registry, uint32_t templateIndex, PayloadCursor& payload) {
    return Validator(registry, payload).Run(templateIndex);
}

void EncodeTextMembers(const XTemplateRegistry& registry, uint32_t templateIndex, PayloadCursor& payload, int indent,
                       OutBuffer* out) {
    TextEncoder(registry, payload, out).Members(registry.at(templateIndex), indent);
}

void EncodeBinaryMembers(const XTemplateRegistry& registry, uint32_t templateIndex, PayloadCursor& payload,
                         OutBuffer* out) {
    BinaryEncoder encoder(registry, payload, out);
    encoder.Struct(registry.at(templateIndex));
    encoder.CloseList();
}

void PayloadCursor::Skip(uint64_t n) {
    if (n <= available()) {
        p += n;
        return;
    }
    // Past the bytes in memory: the source is read again from there when next needed.
    endOffset_ += n - available();
    p = end;
}

bool PayloadCursor::FindNul(size_t* length) {
    for (size_t from = 0;;) {
        if (const void* nul = std::memchr(p + from, 0, available() - from)) {
            *length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - p);
            return true;
        }
        if (available() == left()) return false;
        from = available();
        Refill(static_cast<size_t>(std::min<uint64_t>(left(), from + kChunkBytes)));
    }
}

void PayloadCursor::Refill(size_t n) {
    // Only a source's cursor gets here: a whole payload holds every byte asked for.
    std::vector<uint8_t>& chunk = *chunk_;
    const size_t keep = available();
    if (chunk.size() < std::max(n, kChunkBytes)) {
        std::vector<uint8_t> bigger(std::max(n, kChunkBytes));
        if (keep) std::memcpy(bigger.data(), p, keep);
        chunk.swap(bigger);
    } else if (keep) {
        std::memmove(chunk.data(), p, keep);
    }
    const size_t read = static_cast<size_t>(std::min<uint64_t>(chunk.size() - keep, size_ - endOffset_));
    source_->Read(endOffset_, chunk.data() + keep, read);
    endOffset_ += read;
    p = chunk.data();
    end = p + keep + read;
}

}  // namespace xfile
