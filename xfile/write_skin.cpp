#include "xfile/write_skin.h"

#include <algorithm>
#include <vector>

#include "core/names.h"
#include "mesh/mesh_data.h"
#include "scene/xnode.h"
#include "skin/skin_info.h"
#include "xformat/xtemplates.h"

SkinVertexIndex::SkinVertexIndex(const XMeshData& data)
    : entryOf(data.positions.size(), kNone),
      firstVertex(data.positions.size(), kNone),
      lastVertex(data.positions.size(), 0) {
    for (uint32_t k = 0; k < data.vertices.size(); ++k) {
        const uint32_t p = data.vertices[k].positionIndex;
        if (p >= firstVertex.size()) continue;
        if (firstVertex[p] == kNone) firstVertex[p] = k;
        lastVertex[p] = k;
    }
}

xfile::XPayload SkinWeightsPayload(const SkinBone& bone, const XMeshData& data, SkinVertexIndex& index) {
    // The bone's entries by position, and the span of export vertices their positions reach;
    // one walk over that span finds the influenced vertices, in ascending order.
    const size_t positionCount = index.entryOf.size();
    uint32_t low = SkinVertexIndex::kNone, high = 0;
    for (uint32_t i = 0; i < bone.weights.size(); ++i) {
        const uint32_t p = bone.weights[i].point;
        if (p >= positionCount) continue;
        index.entryOf[p] = i;
        if (index.firstVertex[p] == SkinVertexIndex::kNone) continue;
        low = std::min(low, index.firstVertex[p]);
        high = std::max(high, index.lastVertex[p]);
    }
    std::vector<uint32_t>& influenced = index.influenced;
    influenced.clear();
    if (low != SkinVertexIndex::kNone) {
        for (uint32_t k = low; k <= high; ++k) {
            const uint32_t p = data.vertices[k].positionIndex;
            if (p < positionCount && index.entryOf[p] != SkinVertexIndex::kNone) influenced.push_back(k);
        }
    }
    const std::string name = SanitizeXName(bone.name);
    const uint32_t count = static_cast<uint32_t>(influenced.size());

    xfile::XPayload payload;
    payload.Reserve(name.size() + 1 + 4 + 8 * size_t(count) + 64);
    payload.String(name).Dword(count).Dwords(influenced);
    for (uint32_t k : influenced)
        payload.Float(bone.weights[index.entryOf[data.vertices[k].positionIndex]].weight);
    const std::array<float, 16> offset = MatrixToFrameMatrix(bone.exportOffset);
    payload.Floats(offset);
    for (const SkinWeight& e : bone.weights)
        if (e.point < positionCount) index.entryOf[e.point] = SkinVertexIndex::kNone;
    return payload;
}

void WriteSkin(XWriteContext& context, const xfile::XSaveData& mesh, XRenderableNode& node) {
    if (!node.skinned || !IsMeshNode(node) || !node.meshData || !node.meshSkin) return;
    const XSkinInfo& skin = *node.meshSkin;

    xfile::XPayload header;
    header.Reserve(6);
    header.Word(skin.maxWeightsPerVertex).Word(skin.maxWeightsPerFace).Word(skin.boneCount);
    AddObject(context, &mesh, xfile::kTidXSkinMeshHeader, "", header.bytes());

    SkinVertexIndex index(*node.meshData);
    for (const auto& [key, bone] : skin.bones) {
        const xfile::XPayload weights = SkinWeightsPayload(bone, *node.meshData, index);
        AddObject(context, &mesh, xfile::kTidSkinWeights, "", weights.bytes());
        context.meter.Step();
    }
}
