#include "scene/node_transforms.h"
#include "scene/xnode.h"
#include "sdk/deformer.h"
#include "sdk/object.h"
#include "skin/skin_info.h"

namespace {

// Makes a bone of the vertex-link deformer: keyed by the order in which bones first appear.
SkinBone& AddLinkBone(const SkinSettings& settings, XRenderableNode& node, ILinkDeformer& link, INode* bone,
                      const Matrix3& meshPose) {
    XSkinInfo& record = *node.pointSkin;
    Matrix3 boneTM;
    link.GetInitNodeTM(bone, boneTM);  // status not needed: a failed query leaves the identity
    const Matrix3 boneInverse = Inverse(RemoveMirroring(boneTM));
    const Matrix3 offset = settings.worldSpace ? boneInverse : meshPose * boneInverse;
    return record.Add(static_cast<SkinBoneKey>(record.bones.size()), bone, settings.boneName(bone), offset);
}

}  // namespace

bool ReadLinkDeformer(const SkinSettings& settings, XRenderableNode& node, Modifier* deformer) {
    ILinkDeformer* link =
        deformer ? static_cast<ILinkDeformer*>(deformer->GetInterface(kLinkDeformerInterfaceId)) : nullptr;
    if (!link || !node.pointSkin) return false;
    ILinkContext* context = link->GetContextInterface(node.hostNode);
    if (!context) return false;

    context->ConvertToRigid(true);
    context->AllowBlending(true);
    const int pointLimit = static_cast<int>(std::min<uint32_t>(node.pointCount, INT32_MAX));
    const int pointCount = std::max(0, std::min(context->GetNumberVertices(), pointLimit));

    Matrix3 pose;
    link->GetInitNodeTM(node.hostNode, pose);
    const Matrix3 meshPose = RemoveMirroring(pose);

    // With the weight fix, a blended vertex's zero (or negative) weight still makes the bone an
    // influence, so that the fix can top it up.
    const bool keepZeroWeights = settings.weightFix;
    XSkinInfo& record = *node.pointSkin;
    for (int v = 0; v < pointCount; ++v) {
        ILinkVertex* vertex = context->GetVertexInterface(v);
        if (!vertex) continue;
        const uint32_t point = static_cast<uint32_t>(v);
        const int type = vertex->GetVertexType();
        if (type == kLinkRigidType) {
            if (INode* bone = vertex->GetNode()) {
                if (SkinBone* known = record.Find(bone)) {
                    if (!known->Last(point)) known->weights.push_back({point, 1.0f});
                } else {
                    AddLinkBone(settings, node, *link, bone, meshPose).weights.push_back({point, 1.0f});
                }
            }
        } else if (type == kLinkBlendedRigidType) {
            const int boneCount = vertex->GetNumberNodes();
            for (int k = 0; k < boneCount; ++k) {
                const float w = vertex->GetWeight(k);
                if (!(w > 0.0f) && !keepZeroWeights) continue;
                INode* bone = vertex->GetNode(k);
                if (!bone) continue;
                if (SkinBone* known = record.Find(bone)) {
                    if (SkinWeight* e = known->Last(point))
                        e->weight = w + e->weight > 1.0f ? 1.0f : w + e->weight;
                    else
                        known->weights.push_back({point, w});
                } else {
                    AddLinkBone(settings, node, *link, bone, meshPose).weights.push_back({point, w});
                }
            }
        }
        context->ReleaseVertexInterface(vertex);
    }
    link->ReleaseContextInterface(context);

    if (keepZeroWeights) WeightFix(node, static_cast<uint32_t>(pointCount), settings.weightFixLimit);
    return true;
}
