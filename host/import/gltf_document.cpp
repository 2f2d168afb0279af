#include "host/import/gltf_document.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

#include "core/nesting_scan.h"
#include "host/document/json_document.h"
#include "host/import/byte_order.h"
#include "host/import/import_shared.h"

namespace fs = std::filesystem;
using json = JsonValue;

// ---------------------------------------------------------------------------------------------
// JSON values

const json* Member(const json& object, const char* key) { return object.Find(key); }

uint64_t UnsignedOf(const json& value, const std::string& where) {
    if (value.is_number_unsigned()) return value.get<uint64_t>();
    if (value.is_number_integer() && value.get<int64_t>() >= 0) return static_cast<uint64_t>(value.get<int64_t>());
    if (value.is_number_float()) {
        const double d = value.get<double>();
        if (d >= 0 && d < 1.8e19 && std::floor(d) == d) return static_cast<uint64_t>(d);
    }
    throw GltfError(where + " is not a whole number of zero or more");
}

float FloatOf(const json& value, const std::string& where) {
    if (!value.is_number()) throw GltfError(where + " is not a number");
    return value.get<float>();
}

bool FloatsOf(const json& object, const char* key, float* out, size_t n, const std::string& where) {
    const json* array = Member(object, key);
    if (!array) return false;
    if (!array->is_array() || array->size() != n)
        throw GltfError(where + "'s " + key + " is not an array of " + std::to_string(n) + " numbers");
    for (size_t i = 0; i < n; ++i) out[i] = FloatOf((*array)[i], where + "'s " + key);
    return true;
}

std::string StringOf(const json& object, const char* key) {
    const json* value = Member(object, key);
    return value && value->is_string() ? value->get<std::string>() : std::string();
}

bool DecodeBase64(std::string_view text, std::vector<uint8_t>& out) {
    while (!text.empty() && text.back() == '=') text.remove_suffix(1);
    out.clear();
    out.reserve(text.size() / 4 * 3 + 3);
    uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else if (c == '+' || c == '-') v = 62;
        else if (c == '/' || c == '_') v = 63;
        else return false;
        bits = (bits << 6) | uint32_t(v);
        if (++count == 4) {
            out.push_back(uint8_t(bits >> 16));
            out.push_back(uint8_t(bits >> 8));
            out.push_back(uint8_t(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count == 1) return false;
    if (count == 2) out.push_back(uint8_t(bits >> 4));
    if (count == 3) {
        out.push_back(uint8_t(bits >> 10));
        out.push_back(uint8_t(bits >> 2));
    }
    return true;
}

bool ParseDataUri(std::string_view uri, std::string& mediaType, std::vector<uint8_t>& bytes) {
    if (uri.substr(0, 5) != "data:") return false;
    const size_t comma = uri.find(',');
    if (comma == std::string_view::npos) return false;
    std::string_view header = uri.substr(5, comma - 5);
    if (header.size() < 7 || header.substr(header.size() - 7) != ";base64") return false;
    header.remove_suffix(7);
    mediaType = std::string(header.substr(0, header.find(';')));
    return DecodeBase64(uri.substr(comma + 1), bytes);
}

namespace {

std::string PercentDecoded(const std::string& uri) {
    std::string out;
    for (size_t i = 0; i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size() && std::isxdigit(static_cast<unsigned char>(uri[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(uri[i + 2]))) {
            out += static_cast<char>(std::stoi(uri.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += uri[i];
        }
    }
    return out;
}

int ComponentSize(int type) {
    switch (type) {
    case 5120: case 5121: return 1;
    case 5122: case 5123: return 2;
    case 5125: case 5126: return 4;
    default: return 0;
    }
}

int ComponentsOf(const std::string& type) {
    if (type == "SCALAR") return 1;
    if (type == "VEC2") return 2;
    if (type == "VEC3") return 3;
    if (type == "VEC4") return 4;
    if (type == "MAT2") return 4;
    if (type == "MAT3") return 9;
    if (type == "MAT4") return 16;
    return 0;
}

std::string Bytes(uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// The document

void GltfDocument::Load(const std::string& path) {
    path_ = path;
    std::string problem;
    if (!file_.Open(path, problem)) throw GltfError(problem);
    const uint8_t* data = file_.data();
    const uint64_t size = file_.size();
    std::string_view text;
    if (size >= 4 && std::memcmp(data, "glTF", 4) == 0) {
        if (size < 12) throw GltfError("binary glTF file is cut short in its header");
        const uint32_t version = Le32(data + 4);
        if (version != 2) throw GltfUnsupported("binary glTF version " + std::to_string(version));
        const uint64_t length = std::min<uint64_t>(Le32(data + 8), size);
        // Chunks: the JSON first, then an optional binary chunk; others are skipped.
        uint64_t at = 12;
        bool haveJson = false;
        while (at + 8 <= length) {
            const uint64_t chunkLength = Le32(data + at);
            const uint32_t type = Le32(data + at + 4);
            if (at + 8 + chunkLength > length)
                throw GltfError("binary glTF chunk at byte " + std::to_string(at) + " has a length of " +
                                Bytes(chunkLength) + ", beyond the file's " + std::to_string(length));
            if (!haveJson) {
                if (type != 0x4E4F534Au) throw GltfError("binary glTF file does not start with a JSON chunk");
                text = std::string_view(reinterpret_cast<const char*>(data + at + 8), chunkLength);
                haveJson = true;
            } else if (type == 0x004E4942u && !binary_) {
                binary_ = data + at + 8;
                binarySize_ = chunkLength;
            }
            at += 8 + ((chunkLength + 3) & ~uint64_t(3));
        }
        if (!haveJson) throw GltfError("binary glTF file has no JSON chunk");
    } else {
        text = std::string_view(reinterpret_cast<const char*>(data), size);
    }
    // Nothing in a glTF file nests deeply. A file that does is refused, and so never reaches
    // Assimp's parser, which recurses through every level; the parser here stops at the limit
    // and the message names where the text first goes beyond it.
    if (!json_.Parse(text, kMaxImportJsonDepth) || !json_.root().is_object()) {
        size_t line = 0, column = 0;
        if (FindDeepJsonNesting(text, kMaxImportJsonDepth, line, column))
            throw GltfError("the glTF JSON nests arrays and objects more than " + std::to_string(kMaxImportJsonDepth) +
                            " levels deep (line " + std::to_string(line) + ", column " + std::to_string(column) + ")");
        if (const std::string syntax = json_document::FindSyntaxError(text); !syntax.empty())
            throw GltfError(syntax);
        throw GltfError("the glTF JSON is not a valid JSON object");
    }

    const json* asset = Member(json_.root(), "asset");
    const std::string version = asset ? StringOf(*asset, "version") : std::string();
    if (version.empty() || version[0] != '2') throw GltfUnsupported("glTF version " + (version.empty() ? "?" : version));
    buffers_.resize(Array("buffers").size());
}

const json& GltfDocument::Array(const char* name) const {
    const json* array = Member(json_.root(), name);
    if (!array) return JsonValue::EmptyArray();
    if (!array->is_array()) throw GltfError(std::string("the file's ") + name + " is not an array");
    return *array;
}

const json& GltfDocument::Element(const char* array, uint64_t index, const std::string& referrer) const {
    return ElementNamed(array, index, [&] { return referrer; });
}

const json& GltfDocument::ElementNamed(const char* array, uint64_t index, const Naming& referrer) const {
    const json& items = Array(array);
    if (index >= items.size()) {
        std::string kind(array);
        if (kind == "accessors") kind = "accessor";
        else if (kind == "bufferViews") kind = "buffer view";
        else if (kind == "meshes") kind = "mesh";
        else kind.pop_back();
        throw GltfError(referrer() + " refers to " + kind + " " + std::to_string(index) + ", but the file has " +
                        std::to_string(items.size()));
    }
    const json& item = items[static_cast<size_t>(index)];
    if (!item.is_object()) throw GltfError(std::string(array) + "[" + std::to_string(index) + "] is not an object");
    return item;
}

const GltfDocument::Buffer& GltfDocument::LoadBuffer(uint64_t index, const Naming& referrer) {
    const json& item = ElementNamed("buffers", index, referrer);
    Buffer& buffer = buffers_[static_cast<size_t>(index)];
    if (buffer.loaded) return buffer;
    const auto where = [&] { return "buffer " + std::to_string(index); };
    const json* lengthValue = Member(item, "byteLength");
    if (!lengthValue) throw GltfError(where() + " has no byteLength");
    const uint64_t length = UnsignedNamed(*lengthValue, [&] { return where() + "'s byteLength"; });
    const json* uriValue = Member(item, "uri");
    if (!uriValue) {
        if (index != 0 || !binary_) throw GltfError(where() + " has no uri and the file has no binary chunk for it");
        buffer.data = binary_;
        buffer.size = binarySize_;
    } else {
        if (!uriValue->is_string()) throw GltfError(where() + "'s uri is not a string");
        const std::string uri = uriValue->get<std::string>();
        std::string mediaType;
        if (uri.compare(0, 5, "data:") == 0) {
            if (!ParseDataUri(uri, mediaType, buffer.decoded))
                throw GltfError(where() + " has a data URI that is not base64");
            buffer.data = buffer.decoded.data();
            buffer.size = buffer.decoded.size();
        } else {
            const fs::path file = platform::PathOf(path_).parent_path() / platform::PathOf(PercentDecoded(uri));
            // Only files of the model's folder tree, and only regular files: a named pipe or a
            // device would block or never end.
            std::string problem = ModelDataFileProblem(path_, platform::Utf8Of(file), uri, allowOutsideFiles);
            if (!problem.empty()) throw GltfError(where() + "'s uri " + problem);
            buffer.file = std::make_unique<MappedFile>();
            if (!buffer.file->Open(platform::Utf8Of(file), problem)) throw GltfError(where() + ": " + problem);
            buffer.data = buffer.file->data();
            buffer.size = buffer.file->size();
        }
    }
    if (buffer.size < length)
        throw GltfError(where() + " holds " + Bytes(buffer.size) + ", fewer than its byteLength of " +
                        std::to_string(length));
    buffer.size = length;
    buffer.loaded = true;
    loadedBytes_ += length;
    return buffer;
}

std::string_view GltfDocument::BufferView(uint64_t index, const std::string& referrer) {
    return BufferViewNamed(index, [&] { return referrer; });
}

std::string_view GltfDocument::BufferViewNamed(uint64_t index, const Naming& referrer) {
    const json& view = ElementNamed("bufferViews", index, referrer);
    const auto where = [&] { return "buffer view " + std::to_string(index); };
    const json* bufferValue = Member(view, "buffer");
    const json* lengthValue = Member(view, "byteLength");
    if (!bufferValue || !lengthValue) throw GltfError(where() + " lacks its buffer or byteLength");
    const Buffer& buffer = LoadBuffer(UnsignedNamed(*bufferValue, [&] { return where() + "'s buffer"; }), where);
    const json* offsetValue = Member(view, "byteOffset");
    const uint64_t offset = offsetValue ? UnsignedNamed(*offsetValue, [&] { return where() + "'s byteOffset"; }) : 0;
    const uint64_t length = UnsignedNamed(*lengthValue, [&] { return where() + "'s byteLength"; });
    if (offset > buffer.size || length > buffer.size - offset)
        throw GltfError(where() + " takes " + Bytes(length) + " from byte " + std::to_string(offset) + " of buffer " +
                        std::to_string(UnsignedNamed(*bufferValue, where)) + ", which holds " + Bytes(buffer.size));
    return std::string_view(reinterpret_cast<const char*>(buffer.data + offset), static_cast<size_t>(length));
}

GltfAccessor GltfDocument::Accessor(uint64_t index, const std::string& referrer) {
    return Accessor(index, [&] { return referrer; });
}

GltfAccessor GltfDocument::Accessor(uint64_t index, const Naming& referrer) {
    const json& item = ElementNamed("accessors", index, referrer);
    const auto where = [&] { return "accessor " + std::to_string(index); };
    GltfAccessor view;
    const json* typeValue = Member(item, "componentType");
    const json* countValue = Member(item, "count");
    if (!typeValue || !countValue) throw GltfError(where() + " lacks its componentType or count");
    const uint64_t componentType = UnsignedNamed(*typeValue, [&] { return where() + "'s componentType"; });
    view.componentType = static_cast<int>(std::min<uint64_t>(componentType, 99999));
    const int componentSize = ComponentSize(view.componentType);
    view.components = ComponentsOf(StringOf(item, "type"));
    if (componentSize == 0 || view.components == 0)
        throw GltfError(where() + " has an unknown component type " + std::to_string(view.componentType) + " or type \"" +
                        StringOf(item, "type") + "\"");
    const uint64_t count = UnsignedNamed(*countValue, [&] { return where() + "'s count"; });
    if (count > std::numeric_limits<uint32_t>::max())
        throw GltfError(where() + " has a count of " + std::to_string(count));
    view.count = static_cast<uint32_t>(count);
    if (const json* normalized = Member(item, "normalized")) view.normalized = normalized->is_boolean() && normalized->get<bool>();
    const uint64_t elementSize = uint64_t(componentSize) * uint64_t(view.components);

    if (const json* viewValue = Member(item, "bufferView")) {
        const uint64_t viewIndex = UnsignedNamed(*viewValue, [&] { return where() + "'s bufferView"; });
        const std::string_view bytes = BufferViewNamed(viewIndex, where);
        const json* offsetValue = Member(item, "byteOffset");
        const uint64_t offset = offsetValue ? UnsignedNamed(*offsetValue, [&] { return where() + "'s byteOffset"; }) : 0;
        uint64_t stride = elementSize;
        if (const json* strideValue = Member(ElementNamed("bufferViews", viewIndex, where), "byteStride")) {
            stride = UnsignedOf(*strideValue, "buffer view " + std::to_string(viewIndex) + "'s byteStride");
            if (stride < elementSize || stride > 252)
                throw GltfError("buffer view " + std::to_string(viewIndex) + " has a byte stride of " +
                                std::to_string(stride) + ", but " + where() + "'s elements take " + Bytes(elementSize));
        }
        // The last element needs only its own size, not a whole stride.
        const uint64_t span = count == 0 ? 0 : (count - 1) * stride + elementSize;
        if (offset > bytes.size() || span > bytes.size() - offset)
            throw GltfError(where() + " reads " + Bytes(span) + " from byte " + std::to_string(offset) + " of buffer view " +
                            std::to_string(viewIndex) + ", which holds " + Bytes(bytes.size()));
        view.data = reinterpret_cast<const uint8_t*>(bytes.data()) + offset;
        view.stride = stride;
    } else if (count > std::max<uint64_t>(4096, fileSize() + loadedBytes_)) {
        // Elements that no buffer holds are zeros; the file must not make more of them than it
        // has bytes.
        throw GltfError(where() + " has " + std::to_string(count) + " elements but no buffer view that holds them");
    }

    if (const json* sparse = Member(item, "sparse")) {
        const std::string sparseWhere = where() + "'s sparse values";
        const json* sparseCount = Member(*sparse, "count");
        const json* indices = Member(*sparse, "indices");
        const json* values = Member(*sparse, "values");
        if (!sparseCount || !indices || !values || !Member(*indices, "bufferView") || !Member(*values, "bufferView"))
            throw GltfError(sparseWhere + " lack their count, indices or values");
        const uint64_t n = UnsignedOf(*sparseCount, sparseWhere + "' count");
        if (n > count) throw GltfError(sparseWhere + " are more than the accessor's " + std::to_string(count) + " elements");
        view.sparseCount = static_cast<uint32_t>(n);
        const json* indexType = Member(*indices, "componentType");
        view.sparseIndexType = indexType ? static_cast<int>(std::min<uint64_t>(UnsignedOf(*indexType, sparseWhere), 99999)) : 0;
        if (view.sparseIndexType != 5121 && view.sparseIndexType != 5123 && view.sparseIndexType != 5125)
            throw GltfError(sparseWhere + " have indices of an unknown component type");
        const auto part = [&](const json& source, uint64_t bytesEach) {
            const std::string_view bytes =
                BufferView(UnsignedOf(*Member(source, "bufferView"), sparseWhere + "' bufferView"), sparseWhere);
            const json* offsetValue = Member(source, "byteOffset");
            const uint64_t offset = offsetValue ? UnsignedOf(*offsetValue, sparseWhere + "' byteOffset") : 0;
            if (offset > bytes.size() || n * bytesEach > bytes.size() - offset)
                throw GltfError(sparseWhere + " read beyond their buffer view");
            return reinterpret_cast<const uint8_t*>(bytes.data()) + offset;
        };
        view.sparseIndices = part(*indices, ComponentSize(view.sparseIndexType));
        view.sparseValues = part(*values, elementSize);
        // Strictly increasing indices within the accessor, so that elements are found by bisection.
        for (uint32_t i = 0; i < view.sparseCount; ++i) {
            GltfAccessor indexView;
            indexView.data = view.sparseIndices;
            indexView.stride = ComponentSize(view.sparseIndexType);
            indexView.componentType = view.sparseIndexType;
            indexView.count = view.sparseCount;
            const uint32_t at = indexView.Index(i);
            if (at >= count || (i > 0 && at <= indexView.Index(i - 1)))
                throw GltfError(sparseWhere + " have index " + std::to_string(at) + " out of order or out of range");
        }
    }
    return view;
}

// ---------------------------------------------------------------------------------------------
// Accessor views

const uint8_t* GltfAccessor::SparseValue(uint32_t element) const {
    const int size = ComponentSize(sparseIndexType);
    uint32_t low = 0, high = sparseCount;
    while (low < high) {
        const uint32_t mid = low + (high - low) / 2;
        const uint8_t* p = sparseIndices + uint64_t(mid) * size;
        const uint32_t at = size == 1 ? p[0] : size == 2 ? uint32_t(p[0] | p[1] << 8) : Le32(p);
        if (at == element) return sparseValues + uint64_t(mid) * uint64_t(ComponentSize(componentType)) * components;
        if (at < element) low = mid + 1;
        else high = mid;
    }
    return nullptr;
}

void GltfAccessor::Read(uint32_t element, float* out, int n) const {
    const int take = std::min(n, components);
    if (componentType == 5126 && sparseCount == 0 && data) {  // the common case: floats as stored
        std::memcpy(out, data + uint64_t(element) * stride, sizeof(float) * size_t(std::max(take, 0)));
        return;
    }
    const uint8_t* p = Element(element);
    if (!p) {
        std::fill(out, out + take, 0.0f);
        return;
    }
    for (int c = 0; c < take; ++c) {
        switch (componentType) {
        case 5126: std::memcpy(&out[c], p + 4 * c, 4); break;
        case 5121: out[c] = normalized ? float(p[c]) / 255.0f : float(p[c]); break;
        case 5120: {
            const float v = float(int8_t(p[c]));
            out[c] = normalized ? std::max(v / 127.0f, -1.0f) : v;
            break;
        }
        case 5123: {
            uint16_t v;
            std::memcpy(&v, p + 2 * c, 2);
            out[c] = normalized ? float(v) / 65535.0f : float(v);
            break;
        }
        case 5122: {
            int16_t v;
            std::memcpy(&v, p + 2 * c, 2);
            out[c] = normalized ? std::max(float(v) / 32767.0f, -1.0f) : float(v);
            break;
        }
        default: {
            uint32_t v;
            std::memcpy(&v, p + 4 * c, 4);
            out[c] = float(v);
        }
        }
    }
}

uint32_t GltfAccessor::Index(uint32_t element, int component) const {
    const uint8_t* p = Element(element);
    if (!p) return 0;
    switch (componentType) {
    case 5121: case 5120: return p[component];
    case 5123: case 5122: return uint32_t(p[2 * component]) | uint32_t(p[2 * component + 1]) << 8;
    case 5125: return Le32(p + 4 * component);
    default: {
        float v;
        std::memcpy(&v, p + 4 * component, 4);
        return v >= 0 && v < 4294967040.0f ? uint32_t(v) : UINT32_MAX;
    }
    }
}
