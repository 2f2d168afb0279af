#include "host/json_tree.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <nlohmann/json.hpp>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The length of the UTF-8 sequence starting at p (before end) that RFC 3629 allows, 0 when it
// is not one (overlong forms, surrogates and code points beyond U+10FFFF are not).
size_t Utf8Length(const unsigned char* p, const unsigned char* end) {
    const unsigned char c = p[0];
    unsigned char low = 0x80, high = 0xBF;
    size_t length;
    if (c >= 0xC2 && c <= 0xDF) length = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (size_t(end - p) < length || p[1] < low || p[1] > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if (p[k] < 0x80 || p[k] > 0xBF) return 0;
    return length;
}

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// The four hexadecimal digits at text[at]; -1 when they are not.
int32_t Hex4(std::string_view text, size_t at) {
    if (text.size() - at < 4) return -1;
    int32_t value = 0;
    for (size_t k = 0; k < 4; ++k) {
        const int digit = HexDigit(text[at + k]);
        if (digit < 0) return -1;
        value = value << 4 | digit;
    }
    return value;
}

// The value as nlohmann's tree, which writes it (a key given twice becomes one member where it
// first appears, with its last value, as nlohmann's parser makes it).
nlohmann::ordered_json ToNlohmann(const JsonValue& value) {
    switch (value.kind()) {
    case JsonValue::Kind::Null: return nullptr;
    case JsonValue::Kind::Boolean: return value.get<bool>();
    case JsonValue::Kind::Integer: return value.get<int64_t>();
    case JsonValue::Kind::Unsigned: return value.get<uint64_t>();
    case JsonValue::Kind::Float: return value.get<double>();
    case JsonValue::Kind::String: return value.get<std::string>();
    case JsonValue::Kind::Array: {
        nlohmann::ordered_json array = nlohmann::ordered_json::array();
        for (const JsonValue& item : value) array.push_back(ToNlohmann(item));
        return array;
    }
    case JsonValue::Kind::Object: break;
    }
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (size_t i = 0; i < value.size(); ++i) {
        const JsonValue::Member& member = value.members()[i];
        object[std::string(member.key)] = ToNlohmann(member.value);
    }
    return object;
}

}  // namespace

const JsonValue* JsonValue::Find(std::string_view key) const {
    if (kind_ != Kind::Object) return nullptr;
    for (uint32_t i = count_; i-- > 0;) {
        const std::string_view k = members_[i].key;
        if (k.size() == key.size() && (k.empty() || (k[0] == key[0] && k == key))) return &members_[i].value;
    }
    return nullptr;
}

std::string JsonValue::dump() const { return ToNlohmann(*this).dump(); }

const JsonValue& JsonValue::EmptyArray() {
    static const JsonValue empty = [] {
        JsonValue value;
        value.kind_ = Kind::Array;
        value.items_ = nullptr;
        return value;
    }();
    return empty;
}

template <class T>
T* JsonTree::Allocate(size_t n) {
    static_assert(alignof(T) <= 8);
    const size_t bytes = (n * sizeof(T) + 7) & ~size_t(7);
    if (bytes > freeBytes_) {
        // Blocks grow with the tree, so a small file takes little and a large one few blocks.
        const size_t size = std::max(bytes, std::min<size_t>(size_t(64) << 10 << blocks_.size(), size_t(8) << 20));
        blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(size));
        free_ = blocks_.back().get();
        freeBytes_ = size;
    }
    T* at = reinterpret_cast<T*>(free_);
    free_ += bytes;
    freeBytes_ -= bytes;
    return at;
}

bool JsonTree::Parse(std::string_view text, int depthLimit) {
    root_ = JsonValue();
    blocks_.clear();
    free_ = nullptr;
    freeBytes_ = 0;

    // The values read so far of every open array and object, each after the slot of the value
    // that holds them; the first slot is the root's. A container that closes moves its values
    // into a block and becomes its slot's value.
    std::vector<JsonValue::Member> slots;
    slots.reserve(256);
    struct Open {
        size_t first;  // its first value's slot
        bool object;
    };
    std::vector<Open> open;
    std::string decoded;

    const char* const data = text.data();
    const size_t n = text.size();
    size_t i = 0;
    if (n >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) i = 3;
    const auto skipSpace = [&] {
        while (i < n && IsSpace(data[i])) ++i;
    };

    // The string starting at the quote at data[i]; i moves past its closing quote.
    const auto readString = [&](std::string_view& out) {
        const size_t start = ++i;
        bool escapes = false;
        while (true) {
            if (i >= n) return false;
            const unsigned char c = static_cast<unsigned char>(data[i]);
            if (c == '"') break;
            if (c == '\\') {
                escapes = true;
                if (++i >= n) return false;
                ++i;
            } else if (c < 0x20) {
                return false;
            } else if (c < 0x80) {
                ++i;
            } else {
                const size_t length = Utf8Length(reinterpret_cast<const unsigned char*>(data + i),
                                                 reinterpret_cast<const unsigned char*>(data + n));
                if (length == 0) return false;
                i += length;
            }
        }
        const size_t stop = i++;
        if (stop - start > std::numeric_limits<uint32_t>::max()) return false;
        if (!escapes) {
            out = std::string_view(data + start, stop - start);
            return true;
        }
        decoded.clear();
        for (size_t at = start; at < stop; ++at) {
            if (data[at] != '\\') {
                decoded += data[at];
                continue;
            }
            switch (data[++at]) {
            case '"': decoded += '"'; break;
            case '\\': decoded += '\\'; break;
            case '/': decoded += '/'; break;
            case 'b': decoded += '\b'; break;
            case 'f': decoded += '\f'; break;
            case 'n': decoded += '\n'; break;
            case 'r': decoded += '\r'; break;
            case 't': decoded += '\t'; break;
            case 'u': {
                int32_t code = Hex4(text.substr(0, stop), at + 1);
                if (code < 0 || (code >= 0xDC00 && code <= 0xDFFF)) return false;
                at += 4;
                if (code >= 0xD800 && code <= 0xDBFF) {
                    // A high surrogate pairs with the low one that must follow.
                    if (stop - at < 7 || data[at + 1] != '\\' || data[at + 2] != 'u') return false;
                    const int32_t low = Hex4(text.substr(0, stop), at + 3);
                    if (low < 0xDC00 || low > 0xDFFF) return false;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    at += 6;
                }
                AppendUtf8(decoded, uint32_t(code));
                break;
            }
            default: return false;
            }
        }
        char* copy = Allocate<char>(decoded.size());
        std::memcpy(copy, decoded.data(), decoded.size());
        out = std::string_view(copy, decoded.size());
        return true;
    };

    // The number starting at data[i]; i moves past it.
    const auto readNumber = [&](JsonValue& value) {
        const size_t start = i;
        const bool negative = data[i] == '-';
        if (negative) ++i;
        if (i >= n || !IsDigit(data[i])) return false;
        uint64_t magnitude = 0;
        bool overflow = false;
        if (data[i] == '0') {
            ++i;
        } else {
            for (; i < n && IsDigit(data[i]); ++i) {
                const uint64_t digit = uint64_t(data[i] - '0');
                overflow |= magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10;
                magnitude = magnitude * 10 + digit;
            }
        }
        bool isFloat = false;
        if (i < n && data[i] == '.') {
            isFloat = true;
            if (++i >= n || !IsDigit(data[i])) return false;
            while (i < n && IsDigit(data[i])) ++i;
        }
        if (i < n && (data[i] == 'e' || data[i] == 'E')) {
            isFloat = true;
            if (++i < n && (data[i] == '+' || data[i] == '-')) ++i;
            if (i >= n || !IsDigit(data[i])) return false;
            while (i < n && IsDigit(data[i])) ++i;
        }
        if (!isFloat && !overflow) {
            if (!negative) {
                value.kind_ = JsonValue::Kind::Unsigned;
                value.unsigned_ = magnitude;
                return true;
            }
            if (magnitude <= uint64_t(std::numeric_limits<int64_t>::max()) + 1) {
                value.kind_ = JsonValue::Kind::Integer;
                value.integer_ = magnitude == uint64_t(std::numeric_limits<int64_t>::max()) + 1
                                     ? std::numeric_limits<int64_t>::min()
                                     : -static_cast<int64_t>(magnitude);
                return true;
            }
        }
        // Fractions, exponents and integers beyond 64 bits are doubles, correctly rounded;
        // one that overflows a double is refused, one that underflows is what strtod makes of it.
        double d = 0;
        const auto result = std::from_chars(data + start, data + i, d);
        if (result.ec == std::errc::result_out_of_range) {
            const std::string copy(data + start, i - start);
            d = std::strtod(copy.c_str(), nullptr);
        } else if (result.ec != std::errc() || result.ptr != data + i) {
            return false;
        }
        if (!std::isfinite(d)) return false;
        value.kind_ = JsonValue::Kind::Float;
        value.float_ = d;
        return true;
    };

    const auto literal = [&](const char* word, size_t length) {
        if (n - i < length || std::memcmp(data + i, word, length) != 0) return false;
        i += length;
        return true;
    };

    // Moves the values of the innermost open container into a block.
    const auto close = [&] {
        const Open container = open.back();
        open.pop_back();
        const size_t count = slots.size() - container.first;
        if (count > std::numeric_limits<uint32_t>::max()) return false;
        JsonValue& value = slots[container.first - 1].value;
        value.count_ = uint32_t(count);
        if (container.object) {
            JsonValue::Member* members = Allocate<JsonValue::Member>(count);
            std::copy(slots.begin() + std::ptrdiff_t(container.first), slots.end(), members);
            value.members_ = members;
        } else {
            JsonValue* items = Allocate<JsonValue>(count);
            for (size_t k = 0; k < count; ++k) items[k] = slots[container.first + k].value;
            value.items_ = items;
        }
        slots.resize(container.first);
        return true;
    };

    slots.push_back({});
    while (true) {
        // A value, into the last slot.
        skipSpace();
        if (i >= n) return false;
        JsonValue& value = slots.back().value;
        const char c = data[i];
        bool opened = false;
        if (c == '{' || c == '[') {
            if (open.size() >= size_t(std::max(depthLimit, 0))) return false;
            value.kind_ = c == '{' ? JsonValue::Kind::Object : JsonValue::Kind::Array;
            value.items_ = nullptr;
            open.push_back({slots.size(), c == '{'});
            ++i;
            opened = true;
        } else if (c == '"') {
            std::string_view s;
            if (!readString(s)) return false;
            value.kind_ = JsonValue::Kind::String;
            value.string_ = s.data();
            value.count_ = uint32_t(s.size());
        } else if (c == '-' || IsDigit(c)) {
            if (!readNumber(value)) return false;
        } else if (literal("true", 4)) {
            value.kind_ = JsonValue::Kind::Boolean;
            value.boolean_ = true;
        } else if (literal("false", 5)) {
            value.kind_ = JsonValue::Kind::Boolean;
            value.boolean_ = false;
        } else if (literal("null", 4)) {
            value.kind_ = JsonValue::Kind::Null;
        } else {
            return false;
        }

        // What follows: the next value's slot (after its key in an object), or closing brackets.
        bool next = false;
        while (!next) {
            skipSpace();
            if (open.empty()) {
                if (i != n) return false;
                root_ = slots[0].value;
                return true;
            }
            if (i >= n) return false;
            const bool object = open.back().object;
            const char d = data[i];
            if (d == (object ? '}' : ']')) {
                ++i;
                if (!close()) return false;
                opened = false;
                continue;
            }
            if (!opened) {
                if (d != ',') return false;
                ++i;
                skipSpace();
            }
            std::string_view key;
            if (object) {
                if (i >= n || data[i] != '"' || !readString(key)) return false;
                skipSpace();
                if (i >= n || data[i] != ':') return false;
                ++i;
            }
            slots.push_back({key, JsonValue()});
            next = true;
        }
    }
}
