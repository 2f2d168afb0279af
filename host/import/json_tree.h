// A read-only JSON tree for large interchange files: every value is 16 bytes, the elements of an
// array and the members of an object lie side by side in a few big blocks, and strings without
// escapes point into the parsed text instead of being copied. Building it takes a handful of
// allocations instead of several per value, and dropping it frees a handful of blocks.
//
// The values read as nlohmann's do (the same member functions for what a reader asks: kinds,
// size, elements, get<T>, dump), and the parser accepts exactly what nlohmann's strict parser
// accepts: RFC 8259 JSON, one leading UTF-8 byte order mark, valid UTF-8 in strings, numbers
// that are finite as doubles. Integers without a fraction or exponent are unsigned when they
// have no sign and signed when they do (so -0 is a signed 0), and a float when they exceed 64
// bits. An object's key given twice finds its last value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

class JsonValue {
public:
    enum class Kind : uint8_t { Null, Boolean, Integer, Unsigned, Float, String, Array, Object };
    struct Member;

    Kind kind() const { return kind_; }
    bool is_null() const { return kind_ == Kind::Null; }
    bool is_boolean() const { return kind_ == Kind::Boolean; }
    bool is_number() const { return kind_ == Kind::Integer || kind_ == Kind::Unsigned || kind_ == Kind::Float; }
    bool is_number_integer() const { return kind_ == Kind::Integer || kind_ == Kind::Unsigned; }
    bool is_number_unsigned() const { return kind_ == Kind::Unsigned; }
    bool is_number_float() const { return kind_ == Kind::Float; }
    bool is_string() const { return kind_ == Kind::String; }
    bool is_array() const { return kind_ == Kind::Array; }
    bool is_object() const { return kind_ == Kind::Object; }

    // Elements of an array, members of an object (keys given twice count twice), 0 for null
    // and 1 for any other value.
    size_t size() const { return kind_ == Kind::Array || kind_ == Kind::Object ? count_ : kind_ == Kind::Null ? 0 : 1; }
    bool empty() const { return size() == 0; }
    // An array's elements (none for other values).
    const JsonValue* begin() const { return kind_ == Kind::Array ? items_ : nullptr; }
    const JsonValue* end() const { return kind_ == Kind::Array ? items_ + count_ : nullptr; }
    // Element i of an array; i must be less than size().
    const JsonValue& operator[](size_t i) const { return items_[i]; }
    // An object's members in the order written.
    const Member* members() const { return kind_ == Kind::Object ? members_ : nullptr; }
    // The value of an object's member, the last one of that key; null when absent or not an object.
    const JsonValue* Find(std::string_view key) const;

    // A string's text (empty for other values).
    std::string_view text() const {
        return kind_ == Kind::String ? std::string_view(string_, count_) : std::string_view();
    }
    // The value as T: std::string from a string, bool from a boolean, any arithmetic type from a
    // number (converted as static_cast does). Throws std::domain_error for another kind.
    template <class T>
    T get() const;
    // The value written as compact JSON, as nlohmann writes it (for messages).
    std::string dump() const;

    // An array without elements, for a reader's absent arrays.
    static const JsonValue& EmptyArray();

private:
    friend class JsonTree;
    friend class JsonParser;
    Kind kind_ = Kind::Null;
    uint32_t count_ = 0;  // elements, members, or a string's bytes
    union {
        bool boolean_;
        int64_t integer_;
        uint64_t unsigned_ = 0;
        double float_;
        const char* string_;
        const JsonValue* items_;
        const Member* members_;
    };
};

struct JsonValue::Member {
    std::string_view key;
    JsonValue value;
};

template <class T>
T JsonValue::get() const {
    if constexpr (std::is_same_v<T, std::string>) {
        if (kind_ == Kind::String) return std::string(string_, count_);
    } else if constexpr (std::is_same_v<T, bool>) {
        if (kind_ == Kind::Boolean) return boolean_;
    } else {
        static_assert(std::is_arithmetic_v<T>);
        if (kind_ == Kind::Integer) return static_cast<T>(integer_);
        if (kind_ == Kind::Unsigned) return static_cast<T>(unsigned_);
        if (kind_ == Kind::Float) return static_cast<T>(float_);
    }
    throw std::domain_error("a JSON value read as another kind");
}

// Owns a parsed tree. The tree may point into the text it was parsed from, which must outlive it.
class JsonTree {
public:
    JsonTree() = default;
    JsonTree(const JsonTree&) = delete;
    JsonTree& operator=(const JsonTree&) = delete;

    // Parses text; false (and a null root) when it is not one valid JSON value or when arrays
    // and objects nest more than depthLimit levels.
    bool Parse(std::string_view text, int depthLimit);
    const JsonValue& root() const { return root_; }

private:
    friend class JsonParser;
    // Room for n objects of T in the current block, or a new block.
    template <class T>
    T* Allocate(size_t n);

    JsonValue root_;
    std::vector<std::unique_ptr<std::byte[]>> blocks_;
    std::byte* free_ = nullptr;  // unused room of the last block
    size_t freeBytes_ = 0;
};
