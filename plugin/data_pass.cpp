#include "plugin/data_pass.h"

#include "scene/collect_nodes.h"
#include "scene/extract_geometry.h"

#include "anim/anim_track.h"
#include "anim/key_builder.h"
#include "scene/node_transforms.h"
#include "material/collect_materials.h"
#include "mesh/mesh_data.h"
#include "scene/export_context.h"
#include "scene/xnode.h"
#include "sdk/node.h"
#include "skin/skin_info.h"

namespace {

// Builds the node's tracks and counts their keys into the writer's work (those the key builder
// adds when it finishes).
void Animate(ExportContext& exporter, XNode& node) {
    exporter.stage2Work += AnimateNode(KeySettingsOf(exporter), node, exporter.meter, exporter.keyBuilder);
}

}  // namespace

KeySettings KeySettingsOf(const ExportContext& exporter) {
    const ExportOptions& options = exporter.options();
    KeySettings settings;
    settings.clips = exporter.clips();
    settings.conversion = exporter.conversion();
    settings.worldSpace = options.WorldSpace != 0;
    settings.ticksPerFrame = exporter.ticksPerFrame;
    settings.ticksPerSample = exporter.ticksPerSample;
    settings.timeline = options.Timeline != 0;
    settings.timelineCustom = options.TimelineCustom;
    settings.keyFrames = options.KeyFrames != 0;
    settings.separateKeys = options.KeyType != 0;
    settings.reduction = KeyReductionFor(options.KeyOptimizeLevel);
    return settings;
}

void CollectStage(ExportContext& exporter, INode* rootNode) {
    CollectNodes(exporter, rootNode);
    MarkDeformerBones(exporter);
    SettleExportFlags(exporter);
    for (XNode* node : exporter.nodes)
        if (node->exported == 1) EstimateWork(exporter, node);
}

void RunDataPass(ExportContext& exporter) {
    // Animation keys are added on a second thread while the pass goes on with the host; all of
    // them are in their tracks, and the thread stopped, before the pass returns or unwinds.
    KeyBuilder keys;
    struct Lend {
        ExportContext& exporter;
        ~Lend() { exporter.keyBuilder = nullptr; }
    } lend{exporter};
    exporter.keyBuilder = &keys;

    exporter.meter.Step();
    for (const std::unique_ptr<XNode>& top : exporter.topLevelNodes) {
        if (!top) continue;
        if (top->exported) PassNodeChain(exporter, top.get());
        for (const std::unique_ptr<XNode>& child : top->children) PassSubtree(exporter, child.get());
    }
    PassSkinBones(exporter);
    exporter.stage2Work += keys.Finish();
    ConvertFrameMatrices(exporter);
}

void ConvertFrameMatrices(ExportContext& exporter) {
    const Conversion& conversion = exporter.conversion();
    const bool worldSpace = exporter.options().WorldSpace != 0;
    for (XNode* node : exporter.nodes) {
        const Matrix3 local =
            !worldSpace && node->parent ? node->frameTM * Inverse(node->parent->frameTM) : node->frameTM;
        node->frameMatrix = ConvertTransform(conversion, local);
    }
    exporter.rootFrameMatrix = ConvertTransform(conversion, exporter.rootTransform);
}

void PassSubtree(ExportContext& exporter, XNode* node) {
    if (!node) return;
    if (node->exported) PassNodeChain(exporter, node);
    for (const std::unique_ptr<XNode>& child : node->children) PassSubtree(exporter, child.get());
}

void PassNodeChain(ExportContext& exporter, XNode* node) {
    const ExportOptions& options = exporter.options();
    for (XNode* n = node; n; n = n->parent) {
        if (n->renderable == 0) {
            if (!n->processed && options.Animation) Animate(exporter, *n);
            n->processed = true;
        } else if (n->renderable == 1 && !n->processed) {
            n->processed = true;
            XRenderableNode* geometry = AsRenderable(n);
            if (geometry && GenerateRenderable(exporter, *geometry)) {
                exporter.meshNodes.push_back(n);
                exporter.stage2Work += options.Mtl ? 4 : 3;
                if (geometry->skinned && geometry->meshSkin) exporter.stage2Work += SkinBoneCount(*geometry->meshSkin);
                const bool skinnedLeaf = geometry->skinned && n->children.empty();
                if (!skinnedLeaf && options.Animation) Animate(exporter, *n);
            } else {
                n->renderable = 0;  // written as a plain frame from now on
                if (options.Animation) Animate(exporter, *n);
            }
        }
        if (options.WorldSpace) return;
    }
}

void PassSkinBones(ExportContext& exporter) {
    const ExportOptions& options = exporter.options();
    if (!options.Skin || !options.Bones) return;
    // By index: nodes appended while the sweep runs are visited too.
    for (size_t i = 0; i < exporter.meshNodes.size(); ++i) {
        const XRenderableNode* meshNode = AsRenderable(exporter.meshNodes[i]);
        if (!meshNode || !meshNode->meshSkin) continue;
        // The record stays alive for the sweep even if the list grows under it.
        const std::shared_ptr<XSkinInfo> skin = meshNode->meshSkin;
        VisitSkinBones(*skin, [&](INode* boneHostNode) {
            XNode* bone = exporter.FindNode(boneHostNode);
            if (!bone) return;
            if (!IsSkinnedMeshNode(*bone)) {
                bone->isBone = 1;
                if (bone->renderable == 1) bone->renderable = options.BoneMesh ? 1 : 0;
            }
            PassNodeChain(exporter, bone);
        });
    }
}

bool GenerateRenderable(ExportContext& exporter, XRenderableNode& node) {
    // The mesh is read where it is valid: evaluated again at the export time, made into the
    // node's records, and released before anything else is evaluated.
    const bool withPoints = exporter.options().Skin && node.hostNode &&
                            (FindSkinModifier(node.hostNode) || FindLinkModifier(node.hostNode));
    if (!node.AcquireMesh(exporter.animStart, withPoints)) {
        node.ReleaseMesh();
        return false;
    }
    node.frameTM = RenderableFrameTransform(node.hostNode, exporter.animStart);
    node.objectTM = RenderableObjectTransform(node.hostNode, exporter.animStart);

    const MaterialReadContext context{exporter.options(), exporter.settings().directories, exporter.ip,
                                      CountMeshMapChannels(node.mesh), &exporter.texturePaths};
    CollectMaterials(context, node.name, node.hostNode ? node.hostNode->GetMtl() : nullptr, node.materials,
                     exporter.materialTable);

    const bool made = GenMeshData(exporter, node);
    if (made && IsMeshNode(node)) ExtractSkin(exporter, node);
    node.ReleaseMesh();
    return made;
}
