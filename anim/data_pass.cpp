#include "anim/data_pass.h"

#include "anim/anim_track.h"
#include "anim/transforms.h"
#include "material/collect_materials.h"
#include "mesh/mesh_data.h"
#include "plugin/exporter.h"
#include "scene/xnode.h"
#include "sdk/node.h"
#include "skin/skin_info.h"

void XExporter::RunDataPass() {
    meter.Step();
    if (topLevelNodes.empty()) return;
    for (const std::unique_ptr<XNode>& top : topLevelNodes) {
        if (!top) continue;
        if (top->exported) PassNodeChain(*this, top.get());
        for (const std::unique_ptr<XNode>& child : top->children) PassSubtree(*this, child.get());
    }
    PassSkinBones(*this);
}

void PassSubtree(XExporter& exporter, XNode* node) {
    if (!node) return;
    if (node->exported) PassNodeChain(exporter, node);
    for (const std::unique_ptr<XNode>& child : node->children) PassSubtree(exporter, child.get());
}

void PassNodeChain(XExporter& exporter, XNode* node) {
    const ExportOptions& options = exporter.options();
    for (XNode* n = node; n; n = n->parent) {
        if (n->renderable == 0) {
            if (!n->processed && options.Animation) AnimateNode(exporter, *n);
            n->processed = true;
        } else if (n->renderable == 1 && !n->processed) {
            n->processed = true;
            XRenderableNode* geometry = AsRenderable(n);
            if (geometry && GenerateRenderable(exporter, *geometry)) {
                exporter.meshNodes.push_back(n);
                exporter.stage2Work += options.Mtl ? 4 : 3;
                if (geometry->skinned && geometry->meshSkin) exporter.stage2Work += SkinBoneCount(*geometry->meshSkin);
                const bool skinnedLeaf = geometry->skinned && n->children.empty();
                if (!skinnedLeaf && options.Animation) AnimateNode(exporter, *n);
            } else {
                n->renderable = 0;  // written as a plain frame from now on
                if (options.Animation) AnimateNode(exporter, *n);
            }
        }
        if (options.WorldSpace) return;
    }
}

void PassSkinBones(XExporter& exporter) {
    const ExportOptions& options = exporter.options();
    if (!options.Skin || !options.Bones) return;
    // By index: nodes appended while the sweep runs are visited too.
    for (size_t i = 0; i < exporter.meshNodes.size(); ++i) {
        const XRenderableNode* meshNode = AsRenderable(exporter.meshNodes[i]);
        if (!meshNode || !meshNode->meshSkin) continue;
        // The record stays alive for the sweep even if the list grows under it.
        const std::shared_ptr<XSkinInfo> skin = meshNode->meshSkin;
        VisitSkinBones(*skin, [&](INode* boneHostNode) {
            auto found = exporter.nodeMap.find(boneHostNode);
            if (found == exporter.nodeMap.end() || !found->second) return;
            XNode* bone = found->second;
            bone->isBone = 1;
            if (bone->renderable == 1) bone->renderable = options.BoneMesh ? 1 : 0;
            PassNodeChain(exporter, bone);
        });
    }
}

bool GenerateRenderable(XExporter& exporter, XRenderableNode& node) {
    if (!node.mesh) return false;
    node.frameTM = RenderableFrameTransform(node.hostNode, exporter.animStart);
    node.objectTM = RenderableObjectTransform(node.hostNode, exporter.animStart);

    const MaterialReadContext context{exporter.options(), exporter.module(), exporter.ip,
                                      CountMeshMapChannels(node.mesh)};
    CollectMaterials(context, node.name, node.hostNode ? node.hostNode->GetMtl() : nullptr, node.materials,
                     exporter.materialTable);

    if (!GenMeshData(exporter, node)) return false;
    if (IsMeshNode(node)) ExtractSkin(exporter, node);
    return true;
}
