// Node collection: classification, skipped subtrees, names, export flags and the work estimate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/collect_nodes.h"
#include "scene/export_fixture.h"

namespace {

NurbsSurface SmallSurface() {
    NurbsSurface s;
    s.uCount = 2;
    s.vCount = 2;
    s.uDegree = 1;
    s.vDegree = 1;
    s.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    s.uSegments = 2;
    s.vSegments = 2;
    return s;
}

const Point3 kQuad[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};

}  // namespace

TEST(CollectNodes, ClassifiesEveryObjectKind) {
    SceneBuilder b;
    b.Mesh("Mesh");
    b.Dummy("Dummy");
    b.Helper("Point", Class_ID(0x2000, 0));
    b.Bone("Bone");
    b.Bone("BoneLike", nullptr, kBoneLikeClassId2);
    b.Biped("Pelvis");
    b.QuadPatch("Patch", kQuad);
    b.Nurbs("Nurbs", SmallSurface());
    b.Camera("Camera");
    b.Node("Empty");
    b.Shape("Closed", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, true);
    b.Shape("Open", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, false);
    b.Mesh("Unrenderable").SetRenderable(false);
    b.Bone("BoneWithMesh", MakeBoxMesh(1, 1, 1));
    ExportFixture f(b.Take());
    f.Collect();

    struct Expect {
        const char* name;
        int32_t kind;
        bool geometry;
    };
    const Expect expected[] = {
        {"Mesh", MeshObject, true},       {"Dummy", DummyHelper, false},   {"Point", OtherHelper, false},
        {"Bone", BoneObject, false},      {"BoneLike", OtherBone, false},  {"Pelvis", BipedBone, false},
        {"Patch", PatchObjectKind, true}, {"Nurbs", NurbsObject, true},    {"Camera", OtherObject, false},
        {"Empty", OtherObject, false},    {"Closed", MeshObject, true},    {"Open", OtherObject, false},
        {"Unrenderable", OtherObject, false},
        // BoneMesh is off: a bone with geometry is a plain frame of its bone kind.
        {"BoneWithMesh", BoneObject, false},
    };
    ASSERT_EQ(f.exporter->nodeMap.size(), std::size(expected));
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.name);
        XNode* node = f.Node(e.name);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->kind, e.kind);
        EXPECT_EQ(AsRenderable(node) != nullptr, e.geometry);
        EXPECT_EQ(node->hostNode->GetName(), std::string(e.name));
        EXPECT_EQ(node->name, e.name);
        if (!e.geometry) {
            EXPECT_EQ(node->renderable, 0);
        }
    }
    // Top-level order is the root's child order.
    ASSERT_EQ(f.exporter->topLevelNodes.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(f.exporter->topLevelNodes[i]->name, expected[i].name);

    // With BoneMesh on the same bone carries its geometry.
    SceneBuilder b2;
    b2.Bone("BoneWithMesh", MakeBoxMesh(1, 1, 1));
    ExportOptions options = TreeTestOptions();
    options.BoneMesh = 1;
    ExportFixture f2(b2.Take(), options);
    f2.Collect();
    XRenderableNode* bone = f2.Geometry("BoneWithMesh");
    ASSERT_NE(bone, nullptr);
    EXPECT_EQ(bone->kind, BoneObject);
    EXPECT_EQ(bone->renderable, 1);
    EXPECT_FALSE(IsMeshNode(*bone));
    EXPECT_TRUE(IsBoneLike(*bone));
}

TEST(CollectNodes, TargetsAndFootstepsAreDroppedWithTheirSubtrees) {
    SceneBuilder b;
    HostNode& target = b.Target("Target");
    b.Mesh("UnderTarget", &target);
    HostNode& steps = b.Biped("Footsteps", nullptr, /*footstep=*/true);
    b.Dummy("UnderSteps", &steps);
    HostNode& pelvis = b.Biped("Pelvis");
    b.Mesh("Kept", &pelvis);
    ExportFixture f(b.Take());
    f.Collect();
    EXPECT_EQ(f.exporter->nodeMap.size(), 2u);
    EXPECT_EQ(f.Node("Target"), nullptr);
    EXPECT_EQ(f.Node("UnderTarget"), nullptr);
    EXPECT_EQ(f.Node("Footsteps"), nullptr);
    EXPECT_EQ(f.Node("UnderSteps"), nullptr);
    ASSERT_NE(f.Node("Kept"), nullptr);
    EXPECT_EQ(f.Node("Kept")->parent, f.Node("Pelvis"));
    ASSERT_EQ(f.exporter->topLevelNodes.size(), 1u);
}

TEST(CollectNodes, LegalNamesAreMadeUniqueInCollectionOrder) {
    SceneBuilder b;
    b.Dummy("Box 01");
    HostNode& second = b.Dummy("Box_01");
    b.Dummy("Box?01", &second);
    b.Dummy("7up");
    b.Dummy("_7up");
    ExportFixture f(b.Take());
    f.Collect();
    EXPECT_EQ(f.Node("Box 01")->name, "Box_01");
    EXPECT_EQ(f.Node("Box_01")->name, "Box_01_");
    EXPECT_EQ(f.Node("Box?01")->name, "Box_01__");
    EXPECT_EQ(f.Node("7up")->name, "_7up");
    EXPECT_EQ(f.Node("_7up")->name, "_7up_");

    SceneBuilder b2;
    b2.Dummy("Box 01");
    b2.Dummy("Box_01");
    b2.Dummy("Box?01");
    ExportOptions options = TreeTestOptions();
    options.DuplicateNodeName = 1;
    ExportFixture f2(b2.Take(), options);
    f2.Collect();
    for (const char* name : {"Box 01", "Box_01", "Box?01"}) EXPECT_EQ(f2.Node(name)->name, "Box_01");
}

TEST(CollectNodes, AncestorsOfExportedNodesAreExported) {
    // A hidden mesh above a visible dummy; a bone (Bones off) above a visible dummy; a mesh
    // (Meshs off) above a visible dummy.
    auto build = [] {
        SceneBuilder b;
        HostNode& hiddenMesh = b.Mesh("HiddenMesh");
        hiddenMesh.SetHidden(true);
        b.Dummy("UnderHiddenMesh", &hiddenMesh);
        HostNode& hiddenAlone = b.Mesh("HiddenAlone");
        hiddenAlone.SetHidden(true);
        HostNode& bone = b.Bone("Bone");
        b.Dummy("UnderBone", &bone);
        b.Bone("LoneBone");
        return b.Take();
    };

    {
        ExportFixture f(build());
        f.Collect();
        EXPECT_EQ(f.Node("HiddenMesh")->exported, 1);
        EXPECT_EQ(f.Node("HiddenMesh")->renderable, 1);  // Meshs on: keeps its geometry
        EXPECT_EQ(f.Node("HiddenAlone")->exported, 0);
        EXPECT_EQ(f.Node("UnderHiddenMesh")->exported, 1);
    }
    {
        ExportOptions options = TreeTestOptions();
        options.Bones = 0;
        options.Meshs = 0;
        ExportFixture f(build(), options);
        f.Collect();
        // Excluded by their own filters, kept as frames for the exported dummies below them.
        EXPECT_EQ(f.Node("Bone")->exported, 1);
        EXPECT_EQ(f.Node("LoneBone")->exported, 0);
        EXPECT_EQ(f.Node("HiddenMesh")->exported, 1);
        EXPECT_EQ(f.Node("HiddenMesh")->renderable, 0);  // a frame without geometry
        EXPECT_TRUE(IsExcluded(*f.exporter, *f.Node("Bone")));
    }
    {
        ExportOptions options = TreeTestOptions();
        options.WorldSpace = 1;
        ExportFixture f(build(), options);
        f.Collect();
        // World space needs no ancestors.
        EXPECT_EQ(f.Node("HiddenMesh")->exported, 0);
        EXPECT_EQ(f.Node("UnderHiddenMesh")->exported, 1);
    }
}

TEST(CollectNodes, SelectionAndOptionFilters) {
    auto build = [] {
        SceneBuilder b;
        b.Mesh("Selected").SetSelected(true).SetHidden(true);
        b.Mesh("Visible");
        b.Dummy("Dummy");
        b.Helper("Point", Class_ID(0x2000, 0));
        b.Node("Empty");
        return b.Take();
    };
    {
        ExportFixture f(build());
        f.exporter->selectedOnly = true;
        f.Collect();
        EXPECT_EQ(f.Node("Selected")->exported, 1);  // hidden, but selected
        EXPECT_EQ(f.Node("Visible")->exported, 0);
    }
    {
        ExportFixture f(build());
        f.Collect();
        EXPECT_EQ(f.Node("Selected")->exported, 0);
        EXPECT_EQ(f.Node("Visible")->exported, 1);
        EXPECT_EQ(f.Node("Dummy")->exported, 1);
        EXPECT_EQ(f.Node("Point")->exported, 0);  // other nodes need OTHER
        EXPECT_EQ(f.Node("Empty")->exported, 0);
        EXPECT_TRUE(IsOtherNode(*f.Node("Point")));
        EXPECT_FALSE(IsOtherNode(*f.Node("Dummy")));
    }
    {
        ExportOptions options = TreeTestOptions();
        options.OTHER = 1;
        options.Dummy = 0;
        ExportFixture f(build(), options);
        f.Collect();
        EXPECT_EQ(f.Node("Point")->exported, 1);
        EXPECT_EQ(f.Node("Empty")->exported, 1);
        EXPECT_EQ(f.Node("Dummy")->exported, 0);  // Dummy off wins over OTHER
    }
}

TEST(CollectNodes, WorkEstimateCountsFacesAndSamplesOncePerChain) {
    SceneBuilder b;
    b.scene().SetAnimRange({0, 10 * 160});
    HostNode& dummy = b.Dummy("Dummy");
    b.Mesh("Box", &dummy);   // 12 faces
    b.Mesh("Box2", &dummy);  // 12 faces
    ExportOptions options = TreeTestOptions();
    ExportFixture f(b.Take(), options);
    f.Collect();
    EXPECT_EQ(f.exporter->stage1Work, 1u + 12 + 12);  // the dummy adds nothing without animation
    EXPECT_FALSE(f.Node("Dummy")->counted);
    EXPECT_TRUE(f.Node("Box")->counted);

    SceneBuilder b2;
    HostNode& dummy2 = b2.Dummy("Dummy");
    b2.Mesh("Box", &dummy2);
    b2.Mesh("Box2", &dummy2);
    options.Animation = 1;
    ExportFixture f2(b2.Take(), options);
    f2.state.clips = {{"Walk", 0, 10}, {"Run", 5, 7}};
    f2.exporter->ticksPerSample = 80;
    // Per node: (10 * 160 / 80 + 1) + (2 * 160 / 80 + 1) = 26 samples; the shared dummy once.
    f2.Collect();
    EXPECT_EQ(f2.exporter->stage1Work, 1u + 3 * 26 + 12 + 12);
    EXPECT_TRUE(f2.Node("Dummy")->counted);
}

TEST(CollectNodes, EmptyRootGivesAnEmptyTree) {
    SceneBuilder b;
    ExportFixture f(b.Take());
    f.Collect();
    EXPECT_TRUE(f.exporter->topLevelNodes.empty());
    EXPECT_TRUE(f.exporter->nodeMap.empty());
    f.exporter->CollectNodes(nullptr);  // no root: nothing happens
    EXPECT_TRUE(f.exporter->topLevelNodes.empty());
}
