#include "xformat/xsummary.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string_view>

namespace xfile {
namespace {

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

}  // namespace xfile
