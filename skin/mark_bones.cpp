#include <algorithm>
#include <unordered_set>
#include <vector>

#include "scene/export_context.h"
#include "scene/collect_nodes.h"
#include "scene/extract_geometry.h"
#include "scene/xnode.h"
#include "sdk/deformer.h"
#include "sdk/object.h"
#include "skin/skin_info.h"

namespace {

// The effect of one visit of a bone. Visits of the same bone repeat the same effect, so each
// distinct bone is applied once, in the order of its first visit.
void MarkBone(ExportContext& exporter, XNode& node, INode* boneHostNode) {
    const ExportOptions& options = exporter.options();
    node.exported = ComputeExportFlag(exporter, node);
    XNode* found = exporter.FindNode(boneHostNode);
    if (!found) return;
    XNode& bone = *found;
    if (!IsSkinnedMeshNode(bone)) {
        if (bone.renderable == 1) bone.renderable = options.BoneMesh ? 1 : 0;
        bone.isBone = 1;
    }
    if (node.exported && options.Skin && options.Bones) bone.exported = 1;
}

void MarkBones(ExportContext& exporter, XNode& node, const std::vector<INode*>& bones) {
    for (INode* bone : bones) MarkBone(exporter, node, bone);
    // The mesh's flag as the last visit leaves it.
    if (!bones.empty()) node.exported = ComputeExportFlag(exporter, node);
}

// Appends bone to the list when it was not seen yet.
void Visit(std::vector<INode*>& bones, std::unordered_set<INode*>& seen, INode* bone) {
    if (bone && seen.insert(bone).second) bones.push_back(bone);
}

}  // namespace

bool IsSkinnedMeshNode(const XNode& node) {
    return node.renderable == 1 && node.hostNode &&
           (FindSkinModifier(node.hostNode) != nullptr || FindLinkModifier(node.hostNode) != nullptr);
}

void MarkSkinBones(ExportContext& exporter, XNode& node, Modifier* deformer) {
    ISkin* skin = deformer ? static_cast<ISkin*>(deformer->GetInterface(kSkinInterfaceId)) : nullptr;
    if (!skin) return;
    ISkinContextData* context = skin->GetContextInterface(node.hostNode);
    if (!context) return;
    std::vector<INode*> bones;
    std::unordered_set<INode*> seen;
    // A bone index names the same bone every time, so only its first assignment is looked at.
    std::vector<bool> indexSeen(static_cast<size_t>(std::max(0, skin->GetNumBones())), false);
    const int pointCount = context->GetNumPoints();
    for (int v = 0; v < pointCount; ++v) {
        const int assignmentCount = context->GetNumAssignedBones(v);
        for (int j = 0; j < assignmentCount; ++j) {
            const int b = context->GetAssignedBone(v, j);
            if (b < 0) continue;
            const size_t index = static_cast<size_t>(b);
            if (index < indexSeen.size()) {
                if (indexSeen[index]) continue;
                indexSeen[index] = true;
            }
            Visit(bones, seen, skin->GetBone(b));
        }
    }
    MarkBones(exporter, node, bones);
}

void MarkLinkBones(ExportContext& exporter, XNode& node, Modifier* deformer) {
    ILinkDeformer* link =
        deformer ? static_cast<ILinkDeformer*>(deformer->GetInterface(kLinkDeformerInterfaceId)) : nullptr;
    if (!link) return;
    ILinkContext* context = link->GetContextInterface(node.hostNode);
    if (!context) return;
    context->ConvertToRigid(true);
    context->AllowBlending(true);
    std::vector<INode*> bones;
    std::unordered_set<INode*> seen;
    const int vertexCount = context->GetNumberVertices();
    for (int v = 0; v < vertexCount; ++v) {
        ILinkVertex* vertex = context->GetVertexInterface(v);
        if (!vertex) continue;
        const int type = vertex->GetVertexType();
        if (type == kLinkRigidType) {
            Visit(bones, seen, vertex->GetNode());
        } else if (type == kLinkBlendedRigidType) {
            const int boneCount = vertex->GetNumberNodes();
            for (int k = 0; k < boneCount; ++k) Visit(bones, seen, vertex->GetNode(k));
        }
        context->ReleaseVertexInterface(vertex);
    }
    link->ReleaseContextInterface(context);
    MarkBones(exporter, node, bones);
}

void MarkDeformerBones(ExportContext& exporter) {
    // In host order, so that which node is seen as a bone first never depends on memory
    // addresses. A copy: marking never adds nodes.
    const std::vector<XNode*> nodes = exporter.nodes;
    for (XNode* node : nodes) {
        if (!node->hostNode || node->renderable != 1 || node->isBone != 0 || IsBoneKind(node->kind)) continue;
        if (Modifier* skin = FindSkinModifier(node->hostNode))
            MarkSkinBones(exporter, *node, skin);
        else if (Modifier* link = FindLinkModifier(node->hostNode))
            MarkLinkBones(exporter, *node, link);
    }
}
