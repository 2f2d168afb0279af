#include "host/import/json_tree.h"

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

// One parse of a text into a tree: a cursor over the text, the values read so far of every open
// array and object, and the tree's blocks that closed containers and decoded strings move into.
class JsonParser {
public:
    JsonParser(JsonTree& tree, std::string_view text, int depthLimit)
        : tree_(tree), text_(text), data_(text.data()), n_(text.size()), depthLimit_(std::max(depthLimit, 0)) {
        if (n_ >= 3 && std::memcmp(data_, "\xEF\xBB\xBF", 3) == 0) i_ = 3;
        slots_.reserve(256);
    }

    // The whole text as one value, into the tree's root; false when it is not valid JSON.
    bool Parse() {
        slots_.push_back({});
        while (true) {
            bool opened = false;
            if (!ReadValue(slots_.back().value, opened)) return false;
            bool done = false;
            if (!NextSlot(opened, done)) return false;
            if (done) {
                tree_.root_ = slots_[0].value;
                return true;
            }
        }
    }

private:
    struct Open {
        size_t first;  // its first value's slot
        bool object;
    };

    void SkipSpace() {
        while (i_ < n_ && IsSpace(data_[i_])) ++i_;
    }

    bool Literal(const char* word, size_t length) {
        if (n_ - i_ < length || std::memcmp(data_ + i_, word, length) != 0) return false;
        i_ += length;
        return true;
    }

    // A value at data[i], into `value`; an array or object is left open (`opened`) for the
    // values that follow.
    bool ReadValue(JsonValue& value, bool& opened) {
        SkipSpace();
        if (i_ >= n_) return false;
        const char c = data_[i_];
        if (c == '{' || c == '[') {
            if (open_.size() >= size_t(depthLimit_)) return false;
            value.kind_ = c == '{' ? JsonValue::Kind::Object : JsonValue::Kind::Array;
            value.items_ = nullptr;
            open_.push_back({slots_.size(), c == '{'});
            ++i_;
            opened = true;
        } else if (c == '"') {
            std::string_view s;
            if (!ReadString(s)) return false;
            value.kind_ = JsonValue::Kind::String;
            value.string_ = s.data();
            value.count_ = uint32_t(s.size());
        } else if (c == '-' || IsDigit(c)) {
            if (!ReadNumber(value)) return false;
        } else if (Literal("true", 4)) {
            value.kind_ = JsonValue::Kind::Boolean;
            value.boolean_ = true;
        } else if (Literal("false", 5)) {
            value.kind_ = JsonValue::Kind::Boolean;
            value.boolean_ = false;
        } else if (Literal("null", 4)) {
            value.kind_ = JsonValue::Kind::Null;
        } else {
            return false;
        }
        return true;
    }

    // What follows a value: the next value's slot (after its key in an object), or closing
    // brackets; `done` when the root value is complete and nothing but space follows.
    bool NextSlot(bool opened, bool& done) {
        while (true) {
            SkipSpace();
            if (open_.empty()) {
                done = i_ == n_;
                return done;
            }
            if (i_ >= n_) return false;
            const bool object = open_.back().object;
            const char d = data_[i_];
            if (d == (object ? '}' : ']')) {
                ++i_;
                if (!Close()) return false;
                opened = false;
                continue;
            }
            if (!opened) {
                if (d != ',') return false;
                ++i_;
                SkipSpace();
            }
            std::string_view key;
            if (object) {
                if (i_ >= n_ || data_[i_] != '"' || !ReadString(key)) return false;
                SkipSpace();
                if (i_ >= n_ || data_[i_] != ':') return false;
                ++i_;
            }
            slots_.push_back({key, JsonValue()});
            return true;
        }
    }

    // Moves the values of the innermost open container into a block.
    bool Close() {
        const Open container = open_.back();
        open_.pop_back();
        const size_t count = slots_.size() - container.first;
        if (count > std::numeric_limits<uint32_t>::max()) return false;
        JsonValue& value = slots_[container.first - 1].value;
        value.count_ = uint32_t(count);
        if (container.object) {
            JsonValue::Member* members = tree_.Allocate<JsonValue::Member>(count);
            std::copy(slots_.begin() + std::ptrdiff_t(container.first), slots_.end(), members);
            value.members_ = members;
        } else {
            JsonValue* items = tree_.Allocate<JsonValue>(count);
            for (size_t k = 0; k < count; ++k) items[k] = slots_[container.first + k].value;
            value.items_ = items;
        }
        slots_.resize(container.first);
        return true;
    }

    // The string starting at the quote at data[i]; i moves past its closing quote. A string
    // without escapes stays in the text; one with escapes is decoded into a block.
    bool ReadString(std::string_view& out) {
        const size_t start = ++i_;
        bool escapes = false;
        while (true) {
            if (i_ >= n_) return false;
            const unsigned char c = static_cast<unsigned char>(data_[i_]);
            if (c == '"') break;
            if (c == '\\') {
                escapes = true;
                if (++i_ >= n_) return false;
                ++i_;
            } else if (c < 0x20) {
                return false;
            } else if (c < 0x80) {
                ++i_;
            } else {
                const size_t length = Utf8Length(reinterpret_cast<const unsigned char*>(data_ + i_),
                                                 reinterpret_cast<const unsigned char*>(data_ + n_));
                if (length == 0) return false;
                i_ += length;
            }
        }
        const size_t stop = i_++;
        if (stop - start > std::numeric_limits<uint32_t>::max()) return false;
        if (!escapes) {
            out = std::string_view(data_ + start, stop - start);
            return true;
        }
        if (!DecodeEscapes(start, stop)) return false;
        char* copy = tree_.Allocate<char>(decoded_.size());
        std::memcpy(copy, decoded_.data(), decoded_.size());
        out = std::string_view(copy, decoded_.size());
        return true;
    }

    // The characters of text[start, stop) with their escapes decoded, into decoded_.
    bool DecodeEscapes(size_t start, size_t stop) {
        decoded_.clear();
        for (size_t at = start; at < stop; ++at) {
            if (data_[at] != '\\') {
                decoded_ += data_[at];
                continue;
            }
            switch (data_[++at]) {
            case '"': decoded_ += '"'; break;
            case '\\': decoded_ += '\\'; break;
            case '/': decoded_ += '/'; break;
            case 'b': decoded_ += '\b'; break;
            case 'f': decoded_ += '\f'; break;
            case 'n': decoded_ += '\n'; break;
            case 'r': decoded_ += '\r'; break;
            case 't': decoded_ += '\t'; break;
            case 'u': {
                int32_t code = Hex4(text_.substr(0, stop), at + 1);
                if (code < 0 || (code >= 0xDC00 && code <= 0xDFFF)) return false;
                at += 4;
                if (code >= 0xD800 && code <= 0xDBFF) {
                    // A high surrogate pairs with the low one that must follow.
                    if (stop - at < 7 || data_[at + 1] != '\\' || data_[at + 2] != 'u') return false;
                    const int32_t low = Hex4(text_.substr(0, stop), at + 3);
                    if (low < 0xDC00 || low > 0xDFFF) return false;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    at += 6;
                }
                AppendUtf8(decoded_, uint32_t(code));
                break;
            }
            default: return false;
            }
        }
        return true;
    }

    // The number starting at data[i]; i moves past it.
    bool ReadNumber(JsonValue& value) {
        const size_t start = i_;
        const bool negative = data_[i_] == '-';
        if (negative) ++i_;
        if (i_ >= n_ || !IsDigit(data_[i_])) return false;
        uint64_t magnitude = 0;
        bool overflow = false;
        if (data_[i_] == '0') {
            ++i_;
        } else {
            for (; i_ < n_ && IsDigit(data_[i_]); ++i_) {
                const uint64_t digit = uint64_t(data_[i_] - '0');
                overflow |= magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10;
                magnitude = magnitude * 10 + digit;
            }
        }
        bool isFloat = false;
        if (i_ < n_ && data_[i_] == '.') {
            isFloat = true;
            if (++i_ >= n_ || !IsDigit(data_[i_])) return false;
            while (i_ < n_ && IsDigit(data_[i_])) ++i_;
        }
        if (i_ < n_ && (data_[i_] == 'e' || data_[i_] == 'E')) {
            isFloat = true;
            if (++i_ < n_ && (data_[i_] == '+' || data_[i_] == '-')) ++i_;
            if (i_ >= n_ || !IsDigit(data_[i_])) return false;
            while (i_ < n_ && IsDigit(data_[i_])) ++i_;
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
        const auto result = std::from_chars(data_ + start, data_ + i_, d);
        if (result.ec == std::errc::result_out_of_range) {
            const std::string copy(data_ + start, i_ - start);
            d = std::strtod(copy.c_str(), nullptr);
        } else if (result.ec != std::errc() || result.ptr != data_ + i_) {
            return false;
        }
        if (!std::isfinite(d)) return false;
        value.kind_ = JsonValue::Kind::Float;
        value.float_ = d;
        return true;
    }

    JsonTree& tree_;
    std::string_view text_;
    const char* data_;
    size_t n_;
    size_t i_ = 0;
    int depthLimit_;
    // The values read so far of every open array and object, each after the slot of the value
    // that holds them; the first slot is the root's. A container that closes moves its values
    // into a block and becomes its slot's value.
    std::vector<JsonValue::Member> slots_;
    std::vector<Open> open_;
    std::string decoded_;
};

bool JsonTree::Parse(std::string_view text, int depthLimit) {
    root_ = JsonValue();
    blocks_.clear();
    free_ = nullptr;
    freeBytes_ = 0;
    return JsonParser(*this, text, depthLimit).Parse();
}
