#include "xfile/format/inspect.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <deque>
#include <set>
#include <unordered_map>

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

// Reads instances of a template from a payload the reader built, member by member.
class PayloadWalker {
public:
    struct MemberAt {
        uint64_t count = 1;             // values of the member (1 unless an array)
        const uint8_t* begin = nullptr; // first value
        uint32_t value = 0;             // non-array integer members: the value's bits
    };

    PayloadWalker(const XTemplateRegistry& reg, std::span<const uint8_t> payload)
        : reg_(reg), p_(payload.data()), end_(payload.data() + payload.size()) {}
    PayloadWalker(const XTemplateRegistry& reg, const uint8_t* p, const uint8_t* end) : reg_(reg), p_(p), end_(end) {}

    const uint8_t* position() const { return p_; }
    const uint8_t* end() const { return end_; }

    // Splits one instance into its members and moves past it. False when the payload is short.
    bool Split(const XTemplate& t, std::vector<MemberAt>* members) {
        members->assign(t.members.size(), MemberAt{});
        for (size_t i = 0; i < t.members.size(); ++i) {
            const XMember& m = t.members[i];
            MemberAt& at = (*members)[i];
            at.begin = p_;
            if (m.isArray) {
                for (int d = 0; d < m.dimensionCount; ++d) {
                    const XDimension& dim = m.dimensions[d];
                    at.count *= dim.memberIndex >= 0 ? (*members)[dim.memberIndex].value : dim.size;
                    if (at.count > static_cast<uint64_t>(end_ - p_)) return false;
                }
            } else if (IsIntegerType(m.type)) {
                uint32_t size = PrimitiveSize(m.type);
                if (static_cast<size_t>(end_ - p_) < size) return false;
                uint8_t b[4] = {};
                std::memcpy(b, p_, size);
                at.value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
                // Signed types were stored sign-extended to their size; dimensions use the 32-bit bits.
                if (m.type == XType::Char) at.value = static_cast<uint32_t>(static_cast<int8_t>(b[0]));
                if (m.type == XType::Sword) at.value = static_cast<uint32_t>(static_cast<int16_t>(b[0] | b[1] << 8));
            }
            for (uint64_t k = 0; k < at.count; ++k)
                if (!Skip(m)) return false;
        }
        return true;
    }

    // The member called `name`, or -1.
    static int Find(const XTemplate& t, std::string_view name) {
        for (size_t i = 0; i < t.members.size(); ++i)
            if (t.members[i].name == name) return static_cast<int>(i);
        return -1;
    }

private:
    bool Skip(const XMember& m) {
        if (m.type == XType::Template) {
            const XTemplate& sub = reg_.at(m.templateIndex);
            if (sub.fixedSize >= 0) return Advance(static_cast<uint64_t>(sub.fixedSize));
            // One list of members per nesting level, kept from instance to instance (a deque
            // keeps the outer levels' lists in place while inner ones are added).
            if (scratch_.size() <= depth_) scratch_.emplace_back();
            ++depth_;
            const bool ok = Split(sub, &scratch_[depth_ - 1]);
            --depth_;
            return ok;
        }
        if (m.type == XType::String) {
            const void* nul = std::memchr(p_, 0, static_cast<size_t>(end_ - p_));
            if (!nul) return false;
            p_ = static_cast<const uint8_t*>(nul) + 1;
            return true;
        }
        uint32_t size = PrimitiveSize(m.type);
        return size > 0 && Advance(size);
    }
    bool Advance(uint64_t bytes) {
        if (bytes > static_cast<uint64_t>(end_ - p_)) return false;
        p_ += bytes;
        return true;
    }

    const XTemplateRegistry& reg_;
    const uint8_t* p_;
    const uint8_t* end_;
    std::deque<std::vector<MemberAt>> scratch_;
    size_t depth_ = 0;
};

bool IsTemplate(const XTemplate& t, const XGuid& guid, std::string_view name) { return t.guid == guid || t.name == name; }

std::string StringAt(const uint8_t* p, const uint8_t* end) {
    const void* nul = std::memchr(p, 0, static_cast<size_t>(end - p));
    return nul ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(static_cast<const uint8_t*>(nul) - p))
               : std::string();
}

// Adds the vertices and faces of one Mesh payload; members without their published names are skipped.
void CountMesh(const XDocument& doc, const XNode& n, std::span<const uint8_t> payload, XFileSummary* s) {
    const XTemplate& t = doc.TemplateOf(n);
    int nVertices = PayloadWalker::Find(t, "nVertices"), faces = PayloadWalker::Find(t, "faces");
    PayloadWalker walker(doc.templates, payload);
    std::vector<PayloadWalker::MemberAt> members, face;
    if (!walker.Split(t, &members)) return;
    if (nVertices >= 0) s->vertices += members[nVertices].value;
    if (faces < 0 || t.members[faces].type != XType::Template) return;
    const XTemplate& faceTemplate = doc.templates.at(t.members[faces].templateIndex);
    PayloadWalker faceWalker(doc.templates, members[faces].begin, walker.end());
    for (uint64_t k = 0; k < members[faces].count; ++k) {
        if (!faceWalker.Split(faceTemplate, &face) || face.empty()) return;
        uint32_t corners = face[0].value;
        ++s->faces;
        s->triangles += corners >= 3 ? corners - 2 : 0;
    }
}

// Widens a clip's key span by the key times of one AnimationKey payload.
void CountKeys(const XDocument& doc, const XNode& n, std::span<const uint8_t> payload, XClipSummary* clip) {
    const XTemplate& t = doc.TemplateOf(n);
    int keys = PayloadWalker::Find(t, "keys");
    if (keys < 0 || t.members[keys].type != XType::Template) return;
    const XTemplate& keyTemplate = doc.templates.at(t.members[keys].templateIndex);
    int time = PayloadWalker::Find(keyTemplate, "time");
    if (time < 0) return;
    PayloadWalker walker(doc.templates, payload);
    std::vector<PayloadWalker::MemberAt> members, key;
    if (!walker.Split(t, &members)) return;
    PayloadWalker keyWalker(doc.templates, members[keys].begin, walker.end());
    for (uint64_t k = 0; k < members[keys].count; ++k) {
        if (!keyWalker.Split(keyTemplate, &key)) return;
        uint32_t tick = key[time].value;
        clip->firstTick = clip->keyCount == 0 ? tick : std::min(clip->firstTick, tick);
        clip->lastTick = clip->keyCount == 0 ? tick : std::max(clip->lastTick, tick);
        ++clip->keyCount;
    }
}

// The value of the string member `name` of a node, or "".
std::string StringMember(const XDocument& doc, const XNode& n, std::span<const uint8_t> payload,
                         std::string_view name) {
    const XTemplate& t = doc.TemplateOf(n);
    int index = PayloadWalker::Find(t, name);
    if (index < 0 || t.members[index].type != XType::String || t.members[index].isArray) return {};
    PayloadWalker walker(doc.templates, payload);
    std::vector<PayloadWalker::MemberAt> members;
    if (!walker.Split(t, &members)) return {};
    return StringAt(members[index].begin, walker.end());
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

void XFileSummaryBuilder::Add(const XDocument& doc, const XNode& n, std::span<const uint8_t> payload) {
    if (n.isReference) return;
    const XTemplate& t = doc.TemplateOf(n);
    if (IsTemplate(t, kTidFrame, "Frame")) {
        ++summary_.frames;
    } else if (IsTemplate(t, kTidMesh, "Mesh")) {
        ++summary_.meshes;
        CountMesh(doc, n, payload, &summary_);
    } else if (IsTemplate(t, kTidMaterial, "Material")) {
        // A named material counts once however often it is written; each unnamed one counts.
        if (n.nameSize == 0) ++unnamedMaterials_;
        else materials_.emplace(doc.Name(n));
    } else if (IsTemplate(t, kTidTextureFilename, "TextureFilename")) {
        textures_.insert(StringMember(doc, n, payload, "filename"));
    } else if (IsTemplate(t, kTidSkinWeights, "SkinWeights")) {
        bones_.insert(StringMember(doc, n, payload, "transformNodeName"));
    } else if (IsTemplate(t, kTidAnimTicksPerSecond, "AnimTicksPerSecond")) {
        PayloadWalker walker(doc.templates, payload);
        std::vector<PayloadWalker::MemberAt> members;
        if (walker.Split(t, &members) && !members.empty() && members[0].value > 0)
            summary_.ticksPerSecond = members[0].value;
    } else if (IsTemplate(t, kTidAnimationSet, "AnimationSet")) {
        summary_.clips.push_back(XClipSummary{std::string(doc.Name(n))});
        clipNode_ = static_cast<uint32_t>(&n - doc.nodes.data());
    } else if (clipNode_ != kNoNode && IsTemplate(t, kTidAnimationKey, "AnimationKey")) {
        // Keys count for the animation set they are inside of.
        uint32_t above = n.parent;
        while (above != kNoNode && above != clipNode_) above = doc.nodes[above].parent;
        if (above == clipNode_) CountKeys(doc, n, payload, &summary_.clips.back());
    }
}

XFileSummary XFileSummaryBuilder::Finish() {
    summary_.textures = textures_.size();
    summary_.bones = bones_.size();
    summary_.materials = materials_.size() + unnamedMaterials_;
    return std::move(summary_);
}

XFileSummary SummariseXFile(const XDocument& doc) {
    XFileSummaryBuilder builder;
    for (const XNode& n : doc.nodes) builder.Add(doc, n, doc.Payload(n));
    return builder.Finish();
}

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
