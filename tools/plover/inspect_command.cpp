#include "tools/plover/inspect_command.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <deque>
#include <set>
#include <unordered_map>

#include "xformat/xsummary.h"

namespace xfile {
namespace {

constexpr size_t kInlineValues = 16;  // values shown for a primitive array or a structure

std::string JsonString(std::string_view s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out + "\"";
}

// The shortest text that reads back as the same value, in the value's own precision.
template <typename T>
std::string Number(T v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// Walks one payload with its template, producing either the readable or the JSON summary.
class Summary {
public:
    Summary(const XTemplateRegistry& reg, const uint8_t* p, const uint8_t* end, bool json)
        : reg_(reg), p_(p), end_(end), json_(json) {}

    // Fields of the object's template: "name=value ..." or a JSON object.
    bool Fields(const XTemplate& t, std::string* out) {
        uint64_t values[kMaxMembersPerTemplate];
        if (json_) out->push_back('{');
        for (size_t i = 0; i < t.members.size(); ++i) {
            const XMember& m = t.members[i];
            std::string name = m.name.empty() ? "member" + std::to_string(i) : m.name;
            if (json_) {
                if (i) out->push_back(',');
                *out += JsonString(name) + ":";
            } else {
                if (i) out->push_back(' ');
                *out += name + "=";
            }
            if (!m.isArray) {
                std::string v;
                if (!Value(m, &v, &values[i])) return false;
                *out += v;
                continue;
            }
            uint64_t count = 1;
            for (int d = 0; d < m.dimensionCount; ++d)
                count *= m.dimensions[d].memberIndex >= 0 ? values[m.dimensions[d].memberIndex] : m.dimensions[d].size;
            if (count > static_cast<uint64_t>(end_ - p_)) return false;
            bool primitive = m.type != XType::Template;
            std::vector<std::string> shown;
            for (uint64_t k = 0; k < count; ++k) {
                std::string v;
                uint64_t unused;
                if (!Value(m, &v, &unused)) return false;
                if (primitive && k < (json_ ? kInlineValues : 4)) shown.push_back(std::move(v));
            }
            std::string typeName = primitive ? std::string(TypeKeyword(m.type)) : reg_.at(m.templateIndex).name;
            if (json_) {
                *out += "{\"count\":" + std::to_string(count) + ",\"type\":" + JsonString(typeName);
                if (primitive && count <= kInlineValues) {
                    *out += ",\"values\":[";
                    for (size_t k = 0; k < shown.size(); ++k) *out += (k ? "," : "") + shown[k];
                    *out += "]";
                }
                *out += "}";
            } else if (primitive && count <= 4) {
                *out += "[";
                for (size_t k = 0; k < shown.size(); ++k) *out += (k ? ", " : "") + shown[k];
                *out += "]";
            } else if (primitive) {
                *out += "[" + std::to_string(count) + " values: ";
                for (size_t k = 0; k < shown.size(); ++k) *out += shown[k] + ", ";
                *out += "...]";
            } else {
                *out += "[" + std::to_string(count) + " x " + typeName + "]";
            }
        }
        if (json_) out->push_back('}');
        return true;
    }

private:
    bool Value(const XMember& m, std::string* out, uint64_t* integer) {
        *integer = 0;
        if (m.type == XType::Template) {
            const XTemplate& sub = reg_.at(m.templateIndex);
            if (json_) return Fields(sub, out);
            // A structure shows its flattened values: (1, 0, 0, 1).
            std::string inner;
            Summary nested(reg_, p_, end_, false);
            if (!nested.Flatten(sub, &inner)) return false;
            p_ = nested.p_;
            *out = "(" + inner + ")";
            return true;
        }
        if (m.type == XType::String) {
            const void* nul = std::memchr(p_, 0, static_cast<size_t>(end_ - p_));
            if (!nul) return false;
            std::string_view s(reinterpret_cast<const char*>(p_), static_cast<const uint8_t*>(nul) - p_);
            p_ = static_cast<const uint8_t*>(nul) + 1;
            *out = json_ ? JsonString(s) : "\"" + std::string(s.substr(0, 60)) + (s.size() > 60 ? "...\"" : "\"");
            return true;
        }
        uint32_t size = PrimitiveSize(m.type);
        if (size == 0 || static_cast<size_t>(end_ - p_) < size) return false;
        uint8_t b[8] = {};
        std::memcpy(b, p_, size);
        p_ += size;
        switch (m.type) {
            case XType::Float: {
                float f;
                std::memcpy(&f, b, 4);
                *out = Number(f);
                return true;
            }
            case XType::Double: {
                double d;
                std::memcpy(&d, b, 8);
                *out = Number(d);
                return true;
            }
            case XType::Char: *integer = static_cast<uint64_t>(static_cast<int8_t>(b[0])); break;
            case XType::Sword: *integer = static_cast<uint64_t>(static_cast<int16_t>(b[0] | b[1] << 8)); break;
            case XType::Sdword: {
                int32_t v;
                std::memcpy(&v, b, 4);
                *integer = static_cast<uint64_t>(v);
                *out = std::to_string(v);
                return true;
            }
            default: {
                uint32_t v = 0;
                std::memcpy(&v, b, size);
                *integer = v;
            }
        }
        *out = (m.type == XType::Char || m.type == XType::Sword) ? std::to_string(static_cast<int64_t>(*integer))
                                                                  : std::to_string(*integer);
        return true;
    }

    // All values of one structure, comma-separated, at most kInlineValues shown.
    bool Flatten(const XTemplate& t, std::string* out) {
        uint64_t values[kMaxMembersPerTemplate];
        for (size_t i = 0; i < t.members.size(); ++i) {
            const XMember& m = t.members[i];
            uint64_t count = 1;
            if (m.isArray)
                for (int d = 0; d < m.dimensionCount; ++d)
                    count *= m.dimensions[d].memberIndex >= 0 ? values[m.dimensions[d].memberIndex] : m.dimensions[d].size;
            if (count > static_cast<uint64_t>(end_ - p_) + 1) return false;
            for (uint64_t k = 0; k < count; ++k) {
                std::string v;
                uint64_t integer;
                if (!Value(m, &v, &integer)) return false;
                if (!m.isArray) values[i] = integer;
                if (shownValues_ < kInlineValues) {
                    if (!out->empty()) *out += ", ";
                    *out += v;
                } else if (shownValues_ == kInlineValues) {
                    *out += ", ...";
                }
                ++shownValues_;
            }
        }
        return true;
    }

    const XTemplateRegistry& reg_;
    const uint8_t* p_;
    const uint8_t* end_;
    bool json_;
    size_t shownValues_ = 0;
};

std::string Summarise(const XDocument& doc, const XNode& n, bool json) {
    std::span<const uint8_t> payload = doc.Payload(n);
    std::string out;
    Summary s(doc.templates, payload.data(), payload.data() + payload.size(), json);
    if (!s.Fields(doc.TemplateOf(n), &out)) return json ? "null" : "(payload does not match its template)";
    return out;
}

void PrintText(const XDocument& doc, std::ostream& out) {
    for (const XNode& n : doc.nodes) {
        out << std::string(2 * n.depth, ' ');
        if (n.isReference) {
            out << "{ " << PrintableText(doc.Name(n));
            if (n.hasGuid) out << " <" << GuidToString(n.guid) << ">";
            out << " }\n";
            continue;
        }
        out << PrintableText(doc.TemplateOf(n).name);
        if (n.nameSize) out << ' ' << PrintableText(doc.Name(n));
        if (n.hasGuid) out << " <" << GuidToString(n.guid) << ">";
        out << " (" << n.payloadSize << " bytes)";
        std::string fields = Summarise(doc, n, false);
        if (!fields.empty()) out << ' ' << PrintableText(fields);
        out << '\n';
    }
}

// Finds the object a reference names: by its instance GUID when the reference gives one, else
// by name. Files may refer to objects that they do not hold.
class ReferenceTargets {
public:
    explicit ReferenceTargets(const XDocument& doc) : doc_(doc) {
        for (uint32_t i = 0; i < doc.nodes.size(); ++i) {
            const XNode& n = doc.nodes[i];
            if (n.isReference) continue;
            if (n.nameSize) byName_.emplace(doc.Name(n), i);
            if (n.hasGuid) byGuid_.emplace(GuidToString(n.guid), i);
        }
    }
    // The target's template name, or null when the file does not hold the target.
    std::string TemplateJson(const XNode& ref) const {
        const uint32_t* target = nullptr;
        if (ref.hasGuid)
            if (auto it = byGuid_.find(GuidToString(ref.guid)); it != byGuid_.end()) target = &it->second;
        if (!target && ref.nameSize)
            if (auto it = byName_.find(std::string(doc_.Name(ref))); it != byName_.end()) target = &it->second;
        return target ? JsonString(doc_.TemplateOf(doc_.nodes[*target]).name) : "null";
    }

private:
    const XDocument& doc_;
    std::unordered_map<std::string, uint32_t> byName_;  // first object of each name
    std::unordered_map<std::string, uint32_t> byGuid_;
};

void PrintJsonNode(const XDocument& doc, const ReferenceTargets& targets, uint32_t index, std::ostream& out) {
    const XNode& n = doc.nodes[index];
    if (n.isReference) {
        out << "{\"template\":" << targets.TemplateJson(n) << ",\"reference\":" << JsonString(doc.Name(n));
        if (n.hasGuid) out << ",\"guid\":\"" << GuidToString(n.guid) << "\"";
        out << "}";
        return;
    }
    const XTemplate& t = doc.TemplateOf(n);
    out << "{\"template\":" << JsonString(t.name) << ",\"templateGuid\":\"" << GuidToString(t.guid) << "\"";
    if (n.nameSize) out << ",\"name\":" << JsonString(doc.Name(n));
    if (n.hasGuid) out << ",\"guid\":\"" << GuidToString(n.guid) << "\"";
    out << ",\"payloadSize\":" << n.payloadSize << ",\"fields\":" << Summarise(doc, n, true) << ",\"children\":[";
    bool first = true;
    for (uint32_t c : doc.Children(index)) {
        if (!first) out << ",";
        first = false;
        PrintJsonNode(doc, targets, c, out);
    }
    out << "]}";
}

std::string Counted(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

double Seconds(const XClipSummary& c, uint32_t ticksPerSecond) {
    return static_cast<double>(c.lastTick - c.firstTick) / ticksPerSecond;
}

void PrintSummary(const std::string& path, XFileFormat format, const XFileSummary& s, bool json, std::ostream& out) {
    if (json) {
        out << "{\"file\":" << JsonString(path) << ",\"format\":" << JsonString(FormatName(format))
            << ",\"frames\":" << s.frames << ",\"meshes\":" << s.meshes << ",\"faces\":" << s.faces
            << ",\"triangles\":" << s.triangles << ",\"vertices\":" << s.vertices << ",\"bones\":" << s.bones
            << ",\"materials\":" << s.materials << ",\"textures\":" << s.textures
            << ",\"ticksPerSecond\":" << s.ticksPerSecond << ",\"clips\":[";
        for (size_t i = 0; i < s.clips.size(); ++i) {
            const XClipSummary& c = s.clips[i];
            out << (i ? "," : "") << "{\"name\":" << JsonString(c.name) << ",\"keys\":" << c.keyCount
                << ",\"firstTick\":" << c.firstTick << ",\"lastTick\":" << c.lastTick
                << ",\"seconds\":" << Number(Seconds(c, s.ticksPerSecond)) << "}";
        }
        out << "]}\n";
        return;
    }
    out << path << ": " << FormatName(format) << " X file\n"
        << Counted(s.frames, "frame", "frames") << ", " << Counted(s.meshes, "mesh", "meshes") << ", "
        << Counted(s.triangles, "triangle", "triangles");
    if (s.faces != s.triangles) out << " in " << Counted(s.faces, "face", "faces");
    out << ", " << Counted(s.vertices, "vertex", "vertices") << ", " << Counted(s.bones, "bone", "bones") << ", "
        << Counted(s.clips.size(), "clip", "clips") << ", " << Counted(s.materials, "material", "materials") << ", "
        << Counted(s.textures, "texture", "textures") << "\n";
    for (const XClipSummary& c : s.clips) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", Seconds(c, s.ticksPerSecond));
        out << "clip " << (c.name.empty() ? "(unnamed)" : PrintableText(c.name)) << ": " << seconds << " s ("
            << (c.lastTick - c.firstTick) << " ticks at " << s.ticksPerSecond << " per second, "
            << Counted(c.keyCount, "key", "keys") << ")\n";
    }
}

}  // namespace

int RunInspect(const std::string& path, bool json, std::ostream& out, std::ostream& err, bool summary) {
    XDocument doc;
    XFileSummaryBuilder builder;
    XReadOptions options;
    // The summary is counted while the file is read, object by object, without keeping payloads.
    if (summary) options.onObject = [&builder](const XDocument& d, const XNode& n, std::span<const uint8_t> payload) {
        builder.Add(d, n, payload);
    };
    XResult r = ReadXFileFromPath(path, &doc, options);
    if (!r.ok()) {
        err << "plover: " << r.message << "\n";
        return 1;
    }
    if (summary) {
        PrintSummary(path, doc.format, builder.Finish(), json, out);
        return 0;
    }
    size_t objects = 0;
    for (const XNode& n : doc.nodes) objects += n.isReference ? 0 : 1;
    if (json) {
        out << "{\"file\":" << JsonString(path) << ",\"format\":" << JsonString(FormatName(doc.format))
            << ",\"floatSize\":" << (doc.floatSize64 ? 64 : 32) << ",\"definedTemplates\":[";
        for (size_t i = 0; i < doc.definedTemplates.size(); ++i)
            out << (i ? "," : "") << JsonString(doc.templates.at(doc.definedTemplates[i]).name);
        out << "],\"objects\":[";
        bool first = true;
        ReferenceTargets targets(doc);
        for (uint32_t root : doc.Roots()) {
            if (!first) out << ",";
            first = false;
            PrintJsonNode(doc, targets, root, out);
        }
        out << "]}\n";
        return 0;
    }
    out << path << ": " << FormatName(doc.format) << " X file, " << doc.definedTemplates.size()
        << " templates defined, " << objects << " objects\n";
    PrintText(doc, out);
    return 0;
}

}  // namespace xfile
