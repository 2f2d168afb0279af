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
void Animate(DataPass& pass, XNode& node) {
    pass.exporter.stage2Work += AnimateNode(pass.keys, node, pass.exporter.meter, &pass.keyBuilder);
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

MeshSettings MeshSettingsOf(const ExportContext& exporter) {
    const ExportOptions& options = exporter.options();
    MeshSettings settings;
    settings.conversion = exporter.conversion();
    settings.worldSpace = options.WorldSpace != 0;
    settings.normal = options.Normal != 0;
    settings.tangentFrame = options.Tangent || options.BiTangent;
    settings.declData = options.DeclData != 0;
    settings.texCoords = options.TexCoords != 0;
    settings.vertexColor = options.VertexColor != 0;
    settings.mergeChannels = options.MultiTexCoordsOptimize != 0;
    return settings;
}

SkinSettings SkinSettingsOf(const ExportContext& exporter) {
    const ExportOptions& options = exporter.options();
    SkinSettings settings;
    settings.conversion = exporter.conversion();
    settings.skin = options.Skin != 0;
    settings.worldSpace = options.WorldSpace != 0;
    settings.weightFix = options.SkinFix && options.Precision != 0;
    settings.weightFixLimit = static_cast<float>(options.Precision) * 0.1f;
    settings.boneName = [&exporter](INode* boneHostNode) {
        const XNode* found = exporter.FindNode(boneHostNode);
        return found ? found->name : std::string();
    };
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
    DataPass pass{exporter, keys, KeySettingsOf(exporter), MeshSettingsOf(exporter), SkinSettingsOf(exporter)};

    exporter.meter.Step();
    for (const std::unique_ptr<XNode>& top : exporter.topLevelNodes) {
        if (!top) continue;
        if (top->exported) PassNodeChain(pass, top.get());
        for (const std::unique_ptr<XNode>& child : top->children) PassSubtree(pass, child.get());
    }
    PassSkinBones(pass);
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

void PassSubtree(DataPass& pass, XNode* node) {
    if (!node) return;
    if (node->exported) PassNodeChain(pass, node);
    for (const std::unique_ptr<XNode>& child : node->children) PassSubtree(pass, child.get());
}

void PassNodeChain(DataPass& pass, XNode* node) {
    ExportContext& exporter = pass.exporter;
    const ExportOptions& options = exporter.options();
    for (XNode* n = node; n; n = n->parent) {
        if (n->renderable == 0) {
            if (!n->processed && options.Animation) Animate(pass, *n);
            n->processed = true;
        } else if (n->renderable == 1 && !n->processed) {
            n->processed = true;
            XRenderableNode* geometry = AsRenderable(n);
            if (geometry && GenerateRenderable(pass, *geometry)) {
                exporter.meshNodes.push_back(n);
                exporter.stage2Work += options.Mtl ? 4 : 3;
                if (geometry->skinned && geometry->meshSkin) exporter.stage2Work += SkinBoneCount(*geometry->meshSkin);
                const bool skinnedLeaf = geometry->skinned && n->children.empty();
                if (!skinnedLeaf && options.Animation) Animate(pass, *n);
            } else {
                n->renderable = 0;  // written as a plain frame from now on
                if (options.Animation) Animate(pass, *n);
            }
        }
        if (options.WorldSpace) return;
    }
}

void PassSkinBones(DataPass& pass) {
    ExportContext& exporter = pass.exporter;
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
            PassNodeChain(pass, bone);
        });
    }
}

bool GenerateRenderable(DataPass& pass, XRenderableNode& node) {
    ExportContext& exporter = pass.exporter;
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

    const bool made = GenMeshData(pass.mesh, exporter.materialTable, node, exporter.meter, exporter.messages);
    if (made && IsMeshNode(node)) ExtractSkin(pass.skin, node, exporter.meter, exporter.messages);
    node.ReleaseMesh();
    return made;
}
