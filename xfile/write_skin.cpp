#include "xfile/write_skin.h"

#include "mesh/mesh_data.h"
#include "core/names.h"
#include "scene/xnode.h"
#include "skin/skin_info.h"
#include "xfile/format/xtemplates.h"

xfile::XPayload SkinWeightsPayload(const SkinBone& bone, const XMeshData& data) {
    auto influenced = [&](const XMeshVertex& v) {
        return v.positionIndex < bone.weights.size() && bone.weights[v.positionIndex].used;
    };
    const std::string name = SanitizeXName(bone.name);
    uint32_t count = 0;
    for (const XMeshVertex& v : data.vertices)
        if (influenced(v)) ++count;

    xfile::XPayload p;
    p.Reserve(name.size() + 1 + 4 + 8 * size_t(count) + 64);
    p.String(name).Dword(count);
    for (uint32_t k = 0; k < data.vertices.size(); ++k)
        if (influenced(data.vertices[k])) p.Dword(k);
    for (const XMeshVertex& v : data.vertices)
        if (influenced(v)) p.Float(bone.weights[v.positionIndex].weight);
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
