// Node transforms: mirroring removal and where a geometry node's frame and object transforms
// come from (node, object offset, skin pose, vertex-link pose).
#include <gtest/gtest.h>

#include "anim/transforms.h"
#include "common/math_expect.h"
#include "host/scene_builder.h"
#include "sdk/deformer.h"

namespace {

// A skin (or vertex-link) deformer whose interface answers the pose queries with fixed
// matrices, or fails them.
class PoseSkin final : public ISkin {
public:
    bool succeed = true;
    Matrix3 pose, poseWithOffset;
    int GetSkinInitTM(INode*, Matrix3& tm, bool withObjectOffset) override {
        if (!succeed) return 0;
        tm = withObjectOffset ? poseWithOffset : pose;
        return 1;
    }
    int GetNumBones() override { return 0; }
    INode* GetBone(int) override { return nullptr; }
    int GetBoneInitTM(INode*, Matrix3&, bool) override { return 0; }
    ISkinContextData* GetContextInterface(INode*) override { return nullptr; }
};

class PoseLink final : public ILinkDeformer {
public:
    int result = 0;  // 0: a matrix is returned
    Matrix3 pose;
    int GetInitNodeTM(INode*, Matrix3& tm) override {
        if (result == 0) tm = pose;
        return result;
    }
    ILinkContext* GetContextInterface(INode*) override { return nullptr; }
    void ReleaseContextInterface(ILinkContext*) override {}
};

class InterfaceModifier final : public HostModifier {
public:
    InterfaceModifier(HostModifierKind kind, Class_ID id, Interface_ID interfaceId, void* face)
        : HostModifier(kind, id), interfaceId_(interfaceId), interface_(face) {}
    void* GetInterface(Interface_ID id) override { return id == interfaceId_ ? interface_ : nullptr; }

private:
    Interface_ID interfaceId_;
    void* interface_;
};

// Mirrored on X, turned and moved.
Matrix3 MirroredTransform() {
    return ScaleMatrix({-1, 2, 3}) * RotateZMatrix(0.5f) * TransMatrix({1, 2, 3});
}

}  // namespace

TEST(Transforms, RemoveMirroringKeepsStretchRotationAndTranslation) {
    // Not mirrored: returned as it is, flag word included.
    Matrix3 plain = RotateXMatrix(0.3f) * ScaleMatrix({2, 2, 2}) * TransMatrix({4, 5, 6});
    plain.SetFlags(plain.GetFlags() | 0x100);
    const Matrix3 same = RemoveMirroring(plain);
    EXPECT_TRUE(same == plain);
    EXPECT_EQ(same.GetFlags(), plain.GetFlags());

    // Mirrored: the reflection through the origin is taken out of the linear part, which is
    // therefore negated; the translation stays.
    const Matrix3 m = MirroredTransform();
    const Matrix3 fixed = RemoveMirroring(m);
    EXPECT_LT(m.Determinant(), 0);
    EXPECT_NEAR(fixed.Determinant(), 6, 1e-4f);
    ExpectMatrix3Near(fixed, Matrix3(-m.GetRow(0), -m.GetRow(1), -m.GetRow(2), m.GetTrans()), 1e-5f);
}

TEST(Transforms, NodeAndGeometryTransformsComeFromTheNodeWithoutDeformers) {
    SceneBuilder b;
    HostNode& parent = b.Dummy("Parent").Transform(MirroredTransform());
    HostNode& mesh = b.Mesh("Mesh", &parent).Translate({0, 0, 5}).ObjectOffset(TransMatrix({1, 0, 0}));
    auto scene = b.Take();

    ExpectMatrix3Near(NodeWorldTransform(nullptr, 0), Matrix3(), 0);
    ExpectMatrix3Near(RenderableFrameTransform(nullptr, 0), Matrix3(), 0);
    ExpectMatrix3Near(RenderableObjectTransform(nullptr, 0), Matrix3(), 0);

    const Matrix3 world = mesh.GetNodeTM(0);
    ASSERT_LT(world.Determinant(), 0);
    ExpectMatrix3Near(NodeWorldTransform(&mesh, 0), RemoveMirroring(world));
    ExpectMatrix3Near(RenderableFrameTransform(&mesh, 0), RemoveMirroring(world));
    // The object transform keeps the reflection (it ends up in the vertex positions) and the
    // object offset.
    const Matrix3 object = RenderableObjectTransform(&mesh, 0);
    ExpectMatrix3Near(object, TransMatrix({1, 0, 0}) * world);
    EXPECT_LT(object.Determinant(), 0);
}

TEST(Transforms, SkinAndLinkPosesReplaceTheNodeTransforms) {
    PoseSkin skin;
    skin.pose = MirroredTransform();
    skin.poseWithOffset = TransMatrix({1, 1, 1}) * MirroredTransform();
    PoseLink link;
    link.pose = TransMatrix({7, 8, 9});

    SceneBuilder b;
    HostNode& skinned = b.Mesh("Skinned").Translate({0, 0, 5});
    b.scene().AddModifier(skinned, std::make_unique<InterfaceModifier>(HostModifierKind::Skin, kSkinClassId,
                                                                       kSkinInterfaceId, &skin));
    HostNode& linked = b.Mesh("Linked").Translate({0, 0, 6});
    b.scene().AddModifier(linked, std::make_unique<InterfaceModifier>(HostModifierKind::LinkDeformer,
                                                                      kLinkDeformerClassId,
                                                                      kLinkDeformerInterfaceId, &link));
    // Both deformers: the skin decides, the link is not asked even when the skin fails.
    HostNode& both = b.Mesh("Both").Translate({0, 0, 7});
    b.scene().AddModifier(both, std::make_unique<InterfaceModifier>(HostModifierKind::Skin, kSkinClassId,
                                                                    kSkinInterfaceId, &skin));
    b.scene().AddModifier(both, std::make_unique<InterfaceModifier>(HostModifierKind::LinkDeformer,
                                                                    kLinkDeformerClassId, kLinkDeformerInterfaceId,
                                                                    &link));
    // A skin deformer that offers no interface.
    HostNode& mute = b.Mesh("Mute").Translate({0, 0, 8});
    b.Skin(mute);
    auto scene = b.Take();

    ExpectMatrix3Near(RenderableFrameTransform(&skinned, 0), RemoveMirroring(skin.pose));
    ExpectMatrix3Near(RenderableObjectTransform(&skinned, 0), skin.poseWithOffset);  // unchanged
    ExpectMatrix3Near(RenderableFrameTransform(&linked, 0), link.pose);
    ExpectMatrix3Near(RenderableObjectTransform(&linked, 0), link.pose);
    ExpectMatrix3Near(RenderableFrameTransform(&mute, 0), TransMatrix({0, 0, 8}));
    ExpectMatrix3Near(RenderableObjectTransform(&mute, 0), TransMatrix({0, 0, 8}));

    skin.succeed = false;
    ExpectMatrix3Near(RenderableFrameTransform(&both, 0), TransMatrix({0, 0, 7}));
    ExpectMatrix3Near(RenderableObjectTransform(&both, 0), TransMatrix({0, 0, 7}));
    link.result = 1;  // no matrix
    ExpectMatrix3Near(RenderableFrameTransform(&linked, 0), TransMatrix({0, 0, 6}));
    ExpectMatrix3Near(RenderableObjectTransform(&linked, 0), TransMatrix({0, 0, 6}));
}
