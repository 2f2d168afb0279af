// Node transforms: where a geometry node's frame and object transforms come from (node and
// object offset, skin pose, vertex-link pose). (Mirroring removal shows in the mirrored bone of
// the frame_rig golden files.)
#include <gtest/gtest.h>

#include "common/math_expect.h"
#include "host/objects/scene_builder.h"
#include "scene/node_transforms.h"
#include "sdk/deformer.h"

namespace {

// Answers the pose queries with fixed matrices, or fails them.
struct PoseSkin final : ISkin {
    bool succeed = true;
    Matrix3 pose, poseWithOffset;
    int GetSkinInitTM(INode*, Matrix3& tm, bool withOffset) override {
        if (succeed) tm = withOffset ? poseWithOffset : pose;
        return succeed;
    }
    int GetNumBones() override { return 0; }
    INode* GetBone(int) override { return nullptr; }
    int GetBoneInitTM(INode*, Matrix3&, bool) override { return 0; }
    ISkinContextData* GetContextInterface(INode*) override { return nullptr; }
};

struct PoseLink final : ILinkDeformer {
    int result = 0;  // 0: a matrix is returned
    Matrix3 pose;
    int GetInitNodeTM(INode*, Matrix3& tm) override { return result == 0 ? (tm = pose, 0) : result; }
    ILinkContext* GetContextInterface(INode*) override { return nullptr; }
    void ReleaseContextInterface(ILinkContext*) override {}
};

struct InterfaceModifier final : HostModifier {
    InterfaceModifier(bool skin, void* answer)
        : HostModifier(skin ? HostModifierKind::Skin : HostModifierKind::LinkDeformer,
                       skin ? kSkinClassId : kLinkDeformerClassId),
          id(skin ? kSkinInterfaceId : kLinkDeformerInterfaceId), face(answer) {}
    void* GetInterface(Interface_ID wanted) override { return wanted == id ? face : nullptr; }
    Interface_ID id;
    void* face;
};

const Matrix3 kMirrored = ScaleMatrix({-1, 2, 3}) * RotateZMatrix(0.5f) * TransMatrix({1, 2, 3});

}  // namespace

TEST(Transforms, DeformerPosesReplaceTheNodeTransforms) {
    PoseSkin skin;
    skin.pose = kMirrored;
    skin.poseWithOffset = TransMatrix({1, 1, 1}) * kMirrored;
    PoseLink link;
    link.pose = TransMatrix({7, 8, 9});

    SceneBuilder b;
    HostNode& plain = b.Mesh("Plain").Transform(kMirrored).ObjectOffset(TransMatrix({1, 0, 0}));
    HostNode& skinned = b.Mesh("Skinned");
    b.scene().AddModifier(skinned, std::make_unique<InterfaceModifier>(true, &skin));
    HostNode& linked = b.Mesh("Linked").Translate({0, 0, 6});
    b.scene().AddModifier(linked, std::make_unique<InterfaceModifier>(false, &link));
    HostNode& both = b.Mesh("Both").Translate({0, 0, 7});  // the skin decides, even failing
    b.scene().AddModifier(both, std::make_unique<InterfaceModifier>(true, &skin));
    b.scene().AddModifier(both, std::make_unique<InterfaceModifier>(false, &link));
    HostNode& mute = b.Mesh("Mute").Translate({0, 0, 8});  // a skin without interface
    b.Skin(mute);
    auto scene = b.Take();

    ExpectMatrix3Near(NodeWorldTransform(nullptr, 0), Matrix3(), 0);
    ExpectMatrix3Near(RenderableFrameTransform(&plain, 0), RemoveMirroring(kMirrored));
    // The object transform keeps the reflection (it ends up in the vertices) and the offset.
    ExpectMatrix3Near(RenderableObjectTransform(&plain, 0), TransMatrix({1, 0, 0}) * kMirrored);
    ExpectMatrix3Near(RenderableFrameTransform(&skinned, 0), RemoveMirroring(skin.pose));
    ExpectMatrix3Near(RenderableObjectTransform(&skinned, 0), skin.poseWithOffset);
    ExpectMatrix3Near(RenderableFrameTransform(&linked, 0), link.pose);
    ExpectMatrix3Near(RenderableObjectTransform(&linked, 0), link.pose);
    ExpectMatrix3Near(RenderableFrameTransform(&mute, 0), TransMatrix({0, 0, 8}));

    skin.succeed = false;  // the link would answer, but is not asked
    ExpectMatrix3Near(RenderableFrameTransform(&both, 0), TransMatrix({0, 0, 7}));
    ExpectMatrix3Near(RenderableObjectTransform(&both, 0), TransMatrix({0, 0, 7}));
    link.result = 1;
    ExpectMatrix3Near(RenderableFrameTransform(&linked, 0), TransMatrix({0, 0, 6}));
}
