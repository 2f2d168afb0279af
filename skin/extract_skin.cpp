#include <algorithm>
#include <memory>
#include <vector>

#include "mesh/mesh_data.h"
#include "scene/export_context.h"
#include "scene/extract_geometry.h"
#include "scene/xnode.h"
#include "skin/skin_info.h"

void ExtractSkin(ExportContext& exporter, XRenderableNode& node) {
    node.skinned = false;
    if (!exporter.options().Skin || !node.hostNode) return;

    if (Modifier* skin = FindSkinModifier(node.hostNode)) {
        node.pointSkin = std::make_shared<XSkinInfo>();
        node.skinned = ReadSkinDeformer(exporter, node, skin);
    } else if (Modifier* link = FindLinkModifier(node.hostNode)) {
        node.pointSkin = std::make_shared<XSkinInfo>();
        node.skinned = ReadLinkDeformer(exporter, node, link);
    }
    if (!node.skinned) return;

    if (node.topologyChanged)
        node.skinned = node.kind == PatchObjectKind ? RemapPatchSkin(exporter, node) : RemapTessellatedSkin(exporter, node);
    else
        node.meshSkin = node.pointSkin;
    if (node.skinned)
        FinaliseSkin(exporter, node);
    else
        node.meshSkin.reset();  // a failed remapping leaves no half-built record behind
}

void FinaliseSkin(ExportContext& exporter, XRenderableNode& node) {
    if (!node.meshSkin) return;
    XSkinInfo& skin = *node.meshSkin;
    const XMeshData* data = node.meshData.get();
    const size_t positionCount = data ? data->positions.size() : 0;

    // The bones (by their rank in key order) that influence each position, as flat lists. A
    // position's count is the same at every corner that reaches it, so it is taken once.
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

    // A face's distinct bones are counted by marking each bone with the last face that met it.
    uint32_t maxPerVertex = 0, maxPerFace = 0;
    std::vector<uint32_t> metAt(rank, UINT32_MAX);
    if (data) {
        for (uint32_t f = 0; f < data->faces.size(); ++f) {
            uint32_t distinct = 0;
            for (uint32_t vertexIndex : data->faces[f].index) {
                if (vertexIndex >= data->vertices.size()) continue;
                const uint32_t p = data->vertices[vertexIndex].positionIndex;
                if (p >= positionCount) continue;
                maxPerVertex = std::max(maxPerVertex, first[p + 1] - first[p]);
                for (uint32_t i = first[p]; i < first[p + 1]; ++i) {
                    if (metAt[influences[i]] == f) continue;
                    metAt[influences[i]] = f;
                    ++distinct;
                }
            }
            maxPerFace = std::max(maxPerFace, distinct);
            exporter.meter.Step();
        }
    }
    for (auto& [key, bone] : skin.bones) bone.exportOffset = ConvertTransform(exporter.conversion(), bone.offset);
    skin.boneCount = static_cast<uint16_t>(skin.bones.size());
    skin.maxWeightsPerFace = static_cast<uint16_t>(maxPerFace);
    skin.maxWeightsPerVertex = static_cast<uint16_t>(maxPerVertex);
}
