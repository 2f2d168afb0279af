// Skin extraction through the data pass: both deformers, the assignment rules, the weight fix,
// the header counts and the bone marking of node collection. (Offsets are read back through
// Assimp in skin_export_test.cpp.)
#include <gtest/gtest.h>

#include "scene/node_transforms.h"
#include "common/math_expect.h"
#include "skin/skin_fixture.h"

using namespace skin_test;

namespace {

// Four points, two faces.
Mesh Quad() { return MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}); }

struct SkinScene {
    std::unique_ptr<HostScene> scene;
    HostNode* bones[3] = {};
    HostSkinDeformer* skin = nullptr;
};

// Body skinned to B0, B1, B2 and an absent bone (index 3):
//   p0: B0 0.6 and B0 0.7 (one bone twice), p1: B1 0 only, p2: bone -1, B2 0.5, the absent
//   bone, p3: B2 0.3 and B0 0.4.
SkinScene AssignmentScene() {
    SkinScene s;
    SceneBuilder b;
    for (int i = 0; i < 3; ++i) s.bones[i] = &b.Bone("B" + std::to_string(i)).Translate({0, 0, float(i + 1)});
    HostNode& body = b.Mesh("Body", Quad());
    s.skin = &AddSkinDeformer(b.scene(), body);
    s.skin->bones = {{s.bones[0], {}}, {s.bones[1], {}}, {s.bones[2], {}}, {nullptr, {}}};
    s.skin->AddPoint({{0, 0.6f}, {0, 0.7f}});
    s.skin->AddPoint({{1, 0.0f}});
    s.skin->AddPoint({{-1, 0.5f}, {2, 0.5f}, {3, 0.5f}});
    s.skin->AddPoint({{2, 0.3f}, {0, 0.4f}});
    s.scene = b.Take();
    return s;
}

}  // namespace

TEST(SkinExtract, AssignmentsFollowTheSkinRules) {
    SkinScene s = AssignmentScene();
    ExportFixture f(std::move(s.scene));
    f.CollectAndPass();
    XRenderableNode* body = f.Geometry("Body");
    ASSERT_NE(body, nullptr);
    ASSERT_TRUE(body->skinned);
    ASSERT_TRUE(body->meshSkin);
    EXPECT_EQ(body->meshSkin, body->pointSkin);  // same topology: one record
    const XSkinInfo& skin = *body->meshSkin;

    // B1 has only a zero weight: not a bone of the record. Keys are the bone indices.
    ASSERT_EQ(skin.bones.size(), 2u);
    EXPECT_EQ(skin.bones.begin()->second.name, "B0");
    EXPECT_EQ(skin.bones.rbegin()->second.name, "B2");
    EXPECT_EQ(skin.Find(s.bones[1]), nullptr);
    EXPECT_EQ(skin.Find(s.bones[0])->weights.size(), 2u);  // only the points it influences

    EXPECT_FLOAT_EQ(WeightOf(skin, s.bones[0], 0), 1.0f);  // 0.6 + 0.7 capped
    EXPECT_FLOAT_EQ(WeightOf(skin, s.bones[0], 3), 0.4f);
    EXPECT_EQ(WeightOf(skin, s.bones[0], 2), -1.0f);
    EXPECT_FLOAT_EQ(WeightOf(skin, s.bones[2], 2), 0.5f);  // index -1 and the absent bone skipped
    EXPECT_FLOAT_EQ(WeightOf(skin, s.bones[2], 3), 0.3f);

    EXPECT_EQ(skin.boneCount, 2u);
    EXPECT_EQ(skin.maxWeightsPerVertex, 2u);  // p3
    EXPECT_EQ(skin.maxWeightsPerFace, 2u);

    // The bones were brought into the export as bones.
    EXPECT_EQ(f.Node("B0")->isBone, 1);
    EXPECT_EQ(f.Node("B1")->isBone, 1);  // named by the deformer, although with weight 0
    EXPECT_TRUE(f.Node("B2")->processed);
}

TEST(SkinExtract, WeightFixFillsShortfallsUpToThePrecision) {
    struct Case {
        int32_t skinFix, precision;
        float p2, p3b2, p3b0;  // p2 on B2; p3 on B2 and B0
    };
    const Case cases[] = {
        {1, 10, 1.0f, 0.45f, 0.55f},  // every shortfall filled
        {1, 5, 1.0f, 0.45f, 0.55f},   // 0.5 and 0.3 are within 0.5
        {1, 2, 0.5f, 0.3f, 0.4f},     // 0.5 and 0.3 exceed the cap 0.2
        {0, 10, 0.5f, 0.3f, 0.4f},    // fix off
        {1, 0, 0.5f, 0.3f, 0.4f},     // precision 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("SkinFix " + std::to_string(c.skinFix) + " Precision " + std::to_string(c.precision));
        SkinScene s = AssignmentScene();
        ExportOptions o = TreeTestOptions();
        o.SkinFix = c.skinFix;
        o.Precision = c.precision;
        ExportFixture f(std::move(s.scene), o);
        f.CollectAndPass();
        const XSkinInfo& skin = *f.Geometry("Body")->meshSkin;
        EXPECT_FLOAT_EQ(WeightOf(skin, s.bones[0], 0), 1.0f);  // a full point is not changed
        EXPECT_NEAR(WeightOf(skin, s.bones[2], 2), c.p2, 1e-6f);
        EXPECT_NEAR(WeightOf(skin, s.bones[2], 3), c.p3b2, 1e-6f);
        EXPECT_NEAR(WeightOf(skin, s.bones[0], 3), c.p3b0, 1e-6f);
        EXPECT_EQ(WeightOf(skin, s.bones[0], 1), -1.0f);  // a point without weights stays without
    }
}

TEST(SkinExtract, FaceAndVertexMaxima) {
    // One face touching four bones, at most two per vertex; a point on no face has more. Up to
    // 64 bones and beyond are counted differently.
    for (int extra : {0, 70}) {
        SCOPED_TRACE(extra);
        SceneBuilder b;
        std::vector<HostNode*> bones;
        for (int i = 0; i < 4 + extra; ++i) bones.push_back(&b.Bone("B" + std::to_string(i)));
        HostNode& body = b.Mesh("Body", MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}}, {{0, 1, 2}}));
        HostSkinDeformer& skin = AddSkinDeformer(b.scene(), body);
        for (HostNode* bone : bones) skin.bones.push_back({bone, {}});
        skin.AddPoint({{0, 0.5f}, {1, 0.5f}});
        skin.AddPoint({{2, 0.5f}, {3, 0.5f}});
        skin.AddPoint({{0, 0.5f}, {2, 0.5f}});
        std::vector<HostSkinAssignment> offFace = {{0, 0.3f}, {1, 0.3f}, {2, 0.4f}};
        for (int i = 4; i < 4 + extra; ++i) offFace.push_back({i, 0.01f});
        skin.AddPoint(offFace.data(), offFace.size());
        ExportFixture f(b.Take());
        f.CollectAndPass();
        const XSkinInfo& record = *f.Geometry("Body")->meshSkin;
        EXPECT_EQ(record.boneCount, 4u + extra);
        EXPECT_EQ(record.maxWeightsPerVertex, 2u);
        EXPECT_EQ(record.maxWeightsPerFace, 4u);
    }
}

TEST(SkinExtract, DeformersWithoutInterfaceContextOrBonesAndBonesWithoutExportNodes) {
    SceneBuilder b;
    HostNode& bone = b.Bone("Arm");
    HostNode& a = b.Mesh("NoInterface", Quad());
    b.Skin(a);  // a skin deformer that offers no interface
    HostNode& c = b.Mesh("OtherOwner", Quad());
    HostNode& d = b.Mesh("Owner", Quad());
    // A deformer on c's stack whose data belongs to d: it has no context for c.
    auto& foreign = static_cast<HostSkinDeformer&>(b.scene().AddModifier(c, std::make_unique<HostSkinDeformer>()));
    foreign.owner = &d;
    foreign.bones = {{&bone, {}}};
    for (int p = 0; p < 4; ++p) foreign.AddPoint({{0, 1.0f}});
    HostSkinDeformer& extra = AddSkinDeformer(b.scene(), b.Mesh("Body", Quad()));
    extra.bones = {{&bone, {}}};
    for (int p = 0; p < 6; ++p) extra.AddPoint({{0, p < 4 ? 0.0f : 1.0f}});  // only points 4, 5 weigh
    AddSkinDeformer(b.scene(), b.Mesh("Empty", Quad()));
    HostNode& target = b.Target("Aim");
    HostNode& dropped = b.Bone("UnderTarget", &target);  // targets are dropped with their subtree
    HostSkinDeformer& orphan = AddSkinDeformer(b.scene(), b.Mesh("Orphan", Quad()));
    orphan.bones = {{&dropped, {}}};
    for (int p = 0; p < 4; ++p) orphan.AddPoint({{0, 1.0f}});
    ExportFixture f(b.Take());
    f.CollectAndPass();
    EXPECT_FALSE(f.Geometry("NoInterface")->skinned);
    EXPECT_FALSE(f.Geometry("OtherOwner")->skinned);
    EXPECT_FALSE(f.Geometry("OtherOwner")->meshSkin);
    // Points beyond the object's are ignored: no bone has a weight, the node is still skinned.
    for (const char* name : {"Body", "Empty"}) {
        SCOPED_TRACE(name);
        XRenderableNode* node = f.Geometry(name);
        ASSERT_TRUE(node->skinned);
        EXPECT_TRUE(node->meshSkin->bones.empty());
        EXPECT_EQ(node->meshSkin->boneCount, 0u);
        EXPECT_EQ(node->meshSkin->maxWeightsPerVertex, 0u);
        EXPECT_EQ(node->meshSkin->maxWeightsPerFace, 0u);
    }
    // A bone that is not exported keeps its weights under an empty name.
    const XSkinInfo& record = *f.Geometry("Orphan")->meshSkin;
    ASSERT_EQ(record.bones.size(), 1u);
    EXPECT_EQ(record.bones.begin()->second.name, "");

    SkinScene s = AssignmentScene();
    ExportOptions o = TreeTestOptions();
    o.Skin = 0;
    ExportFixture off(std::move(s.scene), o);
    off.CollectAndPass();
    EXPECT_FALSE(off.Geometry("Body")->skinned);
    EXPECT_FALSE(off.Geometry("Body")->pointSkin);
}

TEST(SkinExtract, LinkDeformerRigidAndBlendedVertices) {
    for (int fix : {0, 1}) {
        SCOPED_TRACE("SkinFix " + std::to_string(fix));
        SceneBuilder b;
        HostNode& b0 = b.Bone("B0");
        HostNode& b1 = b.Bone("B1");
        HostNode& body = b.Mesh("Body", Quad());
        HostLinkDeformer& link = AddLinkDeformer(b.scene(), body);
        link.bones = {{&b0, TransMatrix({0, 0, 1})}, {&b1, TransMatrix({0, 0, 2})}, {nullptr, {}}};
        link.initTM = TransMatrix({3, 0, 0});
        link.vertices.resize(4);
        link.vertices[0] = {true, kHostLinkRigid, {0}, {}};
        link.vertices[1] = {true, kHostLinkBlended, {0, 1}, {0.6f, 0.0f}};  // B1 with weight 0
        link.vertices[2] = {true, kHostLinkBlended, {1, 1, 2}, {0.7f, 0.6f, 0.5f}};  // B1 twice, absent bone
        link.vertices[3] = {false, kHostLinkRigid, {1}, {}};  // no interface
        ExportOptions o = TreeTestOptions();
        o.SkinFix = fix;
        o.Precision = 10;
        ExportFixture f(b.Take(), o);
        f.CollectAndPass();
        XRenderableNode* node = f.Geometry("Body");
        ASSERT_TRUE(node->skinned);
        const XSkinInfo& skin = *node->meshSkin;
        EXPECT_FLOAT_EQ(WeightOf(skin, &b0, 0), 1.0f);
        EXPECT_FLOAT_EQ(WeightOf(skin, &b1, 2), 1.0f);  // 0.7 + 0.6 capped
        EXPECT_EQ(WeightOf(skin, &b0, 3), -1.0f);
        EXPECT_EQ(WeightOf(skin, &b1, 3), -1.0f);
        if (fix) {
            // The zero weight makes B1 an influence, and the fix tops both up by 0.2.
            EXPECT_NEAR(WeightOf(skin, &b0, 1), 0.8f, 1e-6f);
            EXPECT_NEAR(WeightOf(skin, &b1, 1), 0.2f, 1e-6f);
        } else {
            EXPECT_FLOAT_EQ(WeightOf(skin, &b0, 1), 0.6f);
            EXPECT_EQ(WeightOf(skin, &b1, 1), -1.0f);
        }
        // Bones in order of appearance; offsets from the deformer's initial node transforms.
        ASSERT_EQ(skin.bones.size(), 2u);
        EXPECT_EQ(skin.bones.begin()->second.hostNode, &b0);
        ExpectMatrix3Near(skin.Find(&b1)->offset, TransMatrix({3, 0, 0}) * Inverse(TransMatrix({0, 0, 2})));
        // Both switches were set and every interface handed back.
        EXPECT_TRUE(link.convertToRigid);
        EXPECT_TRUE(link.allowBlending);
        EXPECT_EQ(link.openVertexInterfaces, 0);
        EXPECT_EQ(link.openContexts, 0);
    }
}

TEST(SkinExtract, BoneMarkingLowersGeometryAndExportsHiddenBones) {
    for (int boneMesh : {0, 1}) {
        SCOPED_TRACE("BoneMesh " + std::to_string(boneMesh));
        SceneBuilder b;
        HostNode& stick = b.Mesh("Stick", Quad());  // a mesh used as a bone
        HostNode& hidden = b.Bone("Hidden").SetHidden(true);
        HostNode& body = b.Mesh("Body", Quad());
        HostSkinDeformer& skin = AddSkinDeformer(b.scene(), body);
        skin.bones = {{&stick, {}}, {&hidden, {}}};
        for (int p = 0; p < 4; ++p) skin.AddPoint({{p % 2, 1.0f}});
        ExportOptions o = TreeTestOptions();
        o.BoneMesh = boneMesh;
        ExportFixture f(b.Take(), o);
        f.Collect();
        XNode* stickNode = f.Node("Stick");
        EXPECT_EQ(stickNode->isBone, 1);
        EXPECT_EQ(stickNode->renderable, boneMesh);
        EXPECT_EQ(f.Node("Hidden")->isBone, 1);
        EXPECT_EQ(f.Node("Hidden")->exported, 1);
        EXPECT_EQ(f.Node("Body")->exported, 1);
    }
}
