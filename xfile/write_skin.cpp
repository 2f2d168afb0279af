#include "xfile/write_skin.h"

#include <vector>

#include "mesh/mesh_data.h"
#include "core/names.h"
#include "scene/xnode.h"
#include "skin/skin_info.h"
#include "xfile/format/xtemplates.h"

xfile::XPayload SkinWeightsPayload(const SkinBone& bone, const XMeshData& data) {
    // One walk over the export vertices finds the influenced ones; indices and weights are
    // then written from that list.
    std::vector<uint32_t> influenced;
    const size_t pointCount = bone.weights.size();
    for (uint32_t k = 0; k < data.vertices.size(); ++k) {
        const uint32_t position = data.vertices[k].positionIndex;
        if (position < pointCount && bone.weights[position].used) influenced.push_back(k);
    }
    const std::string name = SanitizeXName(bone.name);
    const uint32_t count = static_cast<uint32_t>(influenced.size());

    xfile::XPayload p;
    p.Reserve(name.size() + 1 + 4 + 8 * size_t(count) + 64);
    p.String(name).Dword(count).Dwords(influenced);
    for (uint32_t k : influenced) p.Float(bone.weights[data.vertices[k].positionIndex].weight);
    const std::array<float, 16> offset = MatrixToFrameMatrix(bone.exportOffset);
    p.Floats(offset);
    return p;
}

void WriteSkin(XWriteContext& context, const xfile::XSaveData& mesh, XRenderableNode& node) {
    if (!node.skinned || !IsMeshNode(node) || !node.meshData || !node.meshSkin) return;
    const XSkinInfo& skin = *node.meshSkin;

    xfile::XPayload header;
    header.Reserve(6);
    header.Word(skin.maxWeightsPerVertex).Word(skin.maxWeightsPerFace).Word(skin.boneCount);
    AddObject(context, &mesh, xfile::kTidXSkinMeshHeader, "", header.bytes());

    for (const auto& [key, bone] : skin.bones) {
        const xfile::XPayload weights = SkinWeightsPayload(bone, *node.meshData);
        AddObject(context, &mesh, xfile::kTidSkinWeights, "", weights.bytes());
        context.meter.Step();
    }
}
