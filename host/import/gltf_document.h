// The container side of the glTF 2.0 reader: the file mapped once, its JSON parsed, its buffers
// (the binary chunk, external files, data URIs) loaded on first use, and typed, strided views
// of its accessors. Every offset, length, count and stride is checked against the buffer it
// refers to before a view is handed out, so reading a view never leaves its buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform.h"
#include "host/import/json_tree.h"

// A file the reader cannot take: the message says what is wrong and where (without the path).
class GltfError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that is well formed but needs something this reader leaves to Assimp (an extension,
// glTF 1.0, a primitive mode ...): the message says what.
class GltfUnsupported : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file's bytes, mapped read-only where the system allows, read otherwise.
using MappedFile = platform::MappedFile;

// One accessor's elements as floats or indices. Elements lie `stride` bytes apart from `data`
// (no data: every element is zero); a sparse accessor overrides some of them.
struct GltfAccessor {
    const uint8_t* data = nullptr;
    uint64_t stride = 0;
    uint32_t count = 0;
    int components = 1;     // 1 SCALAR, 2 VEC2, 3 VEC3, 4 VEC4, 16 MAT4 ...
    int componentType = 0;  // 5120 byte ... 5126 float
    bool normalized = false;
    // Sparse values: `sparseCount` element indices (strictly increasing) with their values.
    const uint8_t* sparseIndices = nullptr;
    int sparseIndexType = 0;
    const uint8_t* sparseValues = nullptr;
    uint32_t sparseCount = 0;

    // The element's first n components as floats (normalized integers scaled to 0..1 or -1..1).
    void Read(uint32_t element, float* out, int n) const;
    // An integer element's value (indices, joints).
    uint32_t Index(uint32_t element, int component = 0) const;
    bool IsFloat() const { return componentType == 5126; }

private:
    // The element's bytes: a sparse value, else the element's place in the data.
    const uint8_t* Element(uint32_t element) const {
        if (sparseCount > 0)
            if (const uint8_t* value = SparseValue(element)) return value;
        return data ? data + uint64_t(element) * stride : nullptr;
    }
    const uint8_t* SparseValue(uint32_t element) const;
};

class GltfDocument {
public:
    // Reads the container and parses its JSON. Throws GltfError or GltfUnsupported.
    void Load(const std::string& path);

    // What names a referrer in messages, put into words only when a message needs it.
    using Naming = std::function<std::string()>;

    const JsonValue& root() const { return json_.root(); }
    // The array member `name` of the root (an empty array when absent) and its element `index`,
    // checked: what names the reference in messages ("node 3's mesh").
    const JsonValue& Array(const char* name) const;
    const JsonValue& Element(const char* array, uint64_t index, const std::string& referrer) const;
    const JsonValue& Element(const char* array, uint64_t index, const Naming& referrer) const {
        return ElementNamed(array, index, referrer);
    }

    // The accessor's checked view; `referrer` names who uses it in messages.
    GltfAccessor Accessor(uint64_t index, const std::string& referrer);
    GltfAccessor Accessor(uint64_t index, const Naming& referrer);
    // The bytes of a buffer view, checked.
    std::string_view BufferView(uint64_t index, const std::string& referrer);

    uint64_t fileSize() const { return file_.size(); }
    // Buffers may name files outside the model's folder tree (otherwise such a buffer is an
    // error naming its uri).
    bool allowOutsideFiles = false;
    // The bytes of the buffers loaded so far.
    uint64_t loadedBytes() const { return loadedBytes_; }

private:
    struct Buffer {
        bool loaded = false;
        const uint8_t* data = nullptr;
        uint64_t size = 0;
        std::unique_ptr<MappedFile> file;
        std::vector<uint8_t> decoded;
    };
    const Buffer& LoadBuffer(uint64_t index, const Naming& referrer);
    const JsonValue& ElementNamed(const char* array, uint64_t index, const Naming& referrer) const;
    std::string_view BufferViewNamed(uint64_t index, const Naming& referrer);

    std::string path_;
    MappedFile file_;
    JsonTree json_;  // points into file_
    const uint8_t* binary_ = nullptr;  // the binary chunk of a .glb
    uint64_t binarySize_ = 0;
    uint64_t loadedBytes_ = 0;
    std::vector<Buffer> buffers_;
};

// Reading JSON values with checks; `where` names the value in messages.
const JsonValue* Member(const JsonValue& object, const char* key);
uint64_t UnsignedOf(const JsonValue& value, const std::string& where);
// The same, where where() names the value; called only when the value is refused.
template <class Naming>
uint64_t UnsignedNamed(const JsonValue& value, const Naming& where) {
    if (value.is_number_unsigned()) return value.get<uint64_t>();
    return UnsignedOf(value, where());
}
float FloatOf(const JsonValue& value, const std::string& where);
// Reads a member array of n numbers into out; false when absent.
bool FloatsOf(const JsonValue& object, const char* key, float* out, size_t n, const std::string& where);
std::string StringOf(const JsonValue& object, const char* key);

// Decodes base64 text; false when it is not base64.
bool DecodeBase64(std::string_view text, std::vector<uint8_t>& out);
// A data URI's media type and bytes; false when the URI is not a base64 data URI.
bool ParseDataUri(std::string_view uri, std::string& mediaType, std::vector<uint8_t>& bytes);
