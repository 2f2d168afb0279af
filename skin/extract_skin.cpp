#include <algorithm>
#include <bit>
#include <memory>
#include <vector>

#include "core/progress.h"
#include "mesh/mesh_data.h"
#include "scene/extract_geometry.h"
#include "scene/xnode.h"
#include "skin/skin_info.h"

void ExtractSkin(const SkinSettings& settings, XRenderableNode& node, ProgressMeter& meter, ExportMessages& messages) {
    node.skinned = false;
    if (!settings.skin || !node.hostNode) return;

    if (Modifier* skin = FindSkinModifier(node.hostNode)) {
        node.pointSkin = std::make_shared<XSkinInfo>();
        node.skinned = ReadSkinDeformer(settings, node, skin);
    } else if (Modifier* link = FindLinkModifier(node.hostNode)) {
        node.pointSkin = std::make_shared<XSkinInfo>();
        node.skinned = ReadLinkDeformer(settings, node, link);
    }
    if (!node.skinned) return;

    if (node.topologyChanged)
        node.skinned = node.kind == PatchObjectKind ? RemapPatchSkin(node, meter, messages) : RemapTessellatedSkin(node, meter);
    else
        node.meshSkin = node.pointSkin;
    if (node.skinned)
        FinaliseSkin(settings.conversion, node, meter);
    else
        node.meshSkin.reset();  // a failed remapping leaves no half-built record behind
}

namespace {

struct SkinCounts {
    uint32_t perVertex = 0;  // most bones of one position that a face reaches
    uint32_t perFace = 0;    // most distinct bones of one face
};

// With at most 64 bones: each position's bones (bit = rank in key order) in one word; a
// position's count is its bits, a face's the bits of its corners' union. Neighbouring corners
// and faces mostly have the same bones, so a set is counted only when it differs from the last.
SkinCounts CountByBits(ProgressMeter& meter, const XSkinInfo& skin, const XMeshData& data, size_t positionCount) {
    std::vector<uint64_t> bits(positionCount, 0);
    uint32_t rank = 0;
    for (const auto& [key, bone] : skin.bones) {
        for (const SkinWeight& e : bone.weights)
            if (e.point < positionCount) bits[e.point] |= uint64_t(1) << rank;
        ++rank;
    }
    struct CountedSet {
        uint64_t bits = 0;
        uint32_t count = 0;
        uint32_t Count(uint64_t set) {
            if (set != bits) bits = set, count = static_cast<uint32_t>(std::popcount(set));
            return count;
        }
    };
    CountedSet vertexSet, faceSet;
    SkinCounts counts;
    for (const XMeshFace& face : data.faces) {
        uint64_t faceBits = 0;
        for (uint32_t vertexIndex : face.index) {
            if (vertexIndex >= data.vertices.size()) continue;
            const uint32_t p = data.vertices[vertexIndex].positionIndex;
            if (p >= positionCount) continue;
            counts.perVertex = std::max(counts.perVertex, vertexSet.Count(bits[p]));
            faceBits |= bits[p];
        }
        counts.perFace = std::max(counts.perFace, faceSet.Count(faceBits));
        meter.Step();
    }
    return counts;
}

// Any number of bones: each position's bones as flat lists; a face's distinct bones are
// counted by marking each bone with the last face that met it.
SkinCounts CountByLists(ProgressMeter& meter, const XSkinInfo& skin, const XMeshData& data, size_t positionCount) {
    std::vector<uint32_t> first(positionCount + 1, 0);
    for (const auto& [key, bone] : skin.bones)
        for (const SkinWeight& e : bone.weights)
            if (e.point < positionCount) ++first[e.point + 1];
    for (size_t p = 0; p < positionCount; ++p) first[p + 1] += first[p];
    std::vector<uint32_t> influences(first[positionCount]);
    std::vector<uint32_t> fill(first.begin(), first.end() - 1);
    uint32_t rank = 0;
    for (const auto& [key, bone] : skin.bones) {
        for (const SkinWeight& e : bone.weights)
            if (e.point < positionCount) influences[fill[e.point]++] = rank;
        ++rank;
    }

    SkinCounts counts;
    std::vector<uint32_t> metAt(rank, UINT32_MAX);
    for (uint32_t f = 0; f < data.faces.size(); ++f) {
        uint32_t distinct = 0;
        for (uint32_t vertexIndex : data.faces[f].index) {
            if (vertexIndex >= data.vertices.size()) continue;
            const uint32_t p = data.vertices[vertexIndex].positionIndex;
            if (p >= positionCount) continue;
            counts.perVertex = std::max(counts.perVertex, first[p + 1] - first[p]);
            for (uint32_t i = first[p]; i < first[p + 1]; ++i) {
                if (metAt[influences[i]] == f) continue;
                metAt[influences[i]] = f;
                ++distinct;
            }
        }
        counts.perFace = std::max(counts.perFace, distinct);
        meter.Step();
    }
    return counts;
}

}  // namespace

void FinaliseSkin(const Conversion& conversion, XRenderableNode& node, ProgressMeter& meter) {
    if (!node.meshSkin) return;
    XSkinInfo& skin = *node.meshSkin;
    // A position's count is the same at every corner that reaches it (a bone lists a point
    // once), so only the faces' corners are walked.
    SkinCounts counts;
    if (const XMeshData* data = node.meshData.get()) {
        const size_t positionCount = data->positions.size();
        counts = skin.bones.size() <= 64 ? CountByBits(meter, skin, *data, positionCount)
                                         : CountByLists(meter, skin, *data, positionCount);
    }
    for (auto& [key, bone] : skin.bones) bone.exportOffset = ConvertTransform(conversion, bone.offset);
    skin.boneCount = static_cast<uint16_t>(skin.bones.size());
    skin.maxWeightsPerFace = static_cast<uint16_t>(counts.perFace);
    skin.maxWeightsPerVertex = static_cast<uint16_t>(counts.perVertex);
}
