#include <algorithm>
#include <vector>

#include "scene/node_transforms.h"
#include "scene/xnode.h"
#include "sdk/deformer.h"
#include "sdk/object.h"
#include "skin/skin_info.h"

bool ReadSkinDeformer(const SkinSettings& settings, XRenderableNode& node, Modifier* deformer) {
    ISkin* skin = deformer ? static_cast<ISkin*>(deformer->GetInterface(kSkinInterfaceId)) : nullptr;
    if (!skin || !node.pointSkin) return false;

    // The mesh's initial pose; the deformer's success indicator is not needed here (a failed
    // query leaves the identity).
    Matrix3 pose;
    skin->GetSkinInitTM(node.hostNode, pose, false);
    const Matrix3 meshPose = RemoveMirroring(pose);

    // A skin that does not deform this node has no data for it: no skin rather than a crash.
    ISkinContextData* context = skin->GetContextInterface(node.hostNode);
    if (!context) return false;
    const int pointLimit = static_cast<int>(std::min<uint32_t>(node.pointCount, INT32_MAX));
    const int pointCount = std::max(0, std::min(context->GetNumPoints(), pointLimit));

    XSkinInfo& record = *node.pointSkin;
    // The record's entry by the deformer's bone index, once met: the same few bones come back
    // at every point, and an index names the same bone every time.
    std::vector<SkinBone*> entryOf(static_cast<size_t>(std::max(0, skin->GetNumBones())), nullptr);
    for (int v = 0; v < pointCount; ++v) {
        const int assignmentCount = context->GetNumAssignedBones(v);
        for (int j = 0; j < assignmentCount; ++j) {
            const float w = context->GetBoneWeight(v, j);
            const int b = context->GetAssignedBone(v, j);
            if (b < 0) continue;
            const size_t index = static_cast<size_t>(b);
            SkinBone* known = index < entryOf.size() ? entryOf[index] : nullptr;
            INode* bone = known ? known->hostNode : skin->GetBone(b);
            if (!bone || !(w > 0.0f)) continue;
            if (!known && (known = record.Find(bone)) && index < entryOf.size()) entryOf[index] = known;
            if (known) {
                if (SkinWeight* e = known->Last(static_cast<uint32_t>(v))) {
                    e->weight += w;
                    if (e->weight > 1.0f) e->weight = 1.0f;
                } else {
                    known->weights.push_back({static_cast<uint32_t>(v), w});
                }
                continue;
            }
            Matrix3 boneTM;
            skin->GetBoneInitTM(bone, boneTM, false);
            const Matrix3 boneInverse = Inverse(RemoveMirroring(boneTM));
            const Matrix3 offset = settings.worldSpace ? boneInverse : meshPose * boneInverse;
            SkinBone& added = record.Add(static_cast<SkinBoneKey>(b), bone, settings.boneName(bone), offset);
            added.weights.push_back({static_cast<uint32_t>(v), w});
        }
    }

    if (settings.weightFix) WeightFix(node, static_cast<uint32_t>(pointCount), settings.weightFixLimit);
    return true;
}
