// Node collection: classification, names, export flags and work estimate. (Targets and footsteps
// dropped with their subtrees, legal names, mirrored bones and hidden ancestors in and out of
// world space are in the frame_rig golden files.)
#include <gtest/gtest.h>

#include "scene/collect_nodes.h"
#include "scene/export_fixture.h"

TEST(CollectNodes, ClassifiesObjects) {
    const Point3 quad[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    NurbsSurface surface{2, 2, 1, 1, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {}, 2, 2};
    SceneBuilder b;
    b.Mesh("Mesh");
    b.Dummy("Dummy");
    b.Helper("Point", Class_ID(0x2000, 0));
    b.Bone("BoneLike", nullptr, kBoneLikeClassId2);
    b.Biped("Pelvis");
    b.QuadPatch("Patch", quad);
    b.Nurbs("Nurbs", surface);
    b.Camera("Camera");
    b.Shape("Open", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, false);  // cannot become a mesh
    b.Mesh("Unrenderable").SetRenderable(false);
    b.Bone("BoneWithMesh", MakeBoxMesh(1, 1, 1));  // BoneMesh off: no geometry
    ExportFixture f(b.Take());
    f.Collect();

    const std::pair<const char*, int32_t> kinds[] = {
        {"Mesh", MeshObject}, {"Dummy", DummyHelper},      {"Point", OtherHelper},  {"BoneLike", OtherBone},
        {"Pelvis", BipedBone}, {"Patch", PatchObjectKind}, {"Nurbs", NurbsObject}, {"Camera", OtherObject},
        {"Open", OtherObject}, {"Unrenderable", OtherObject}, {"BoneWithMesh", BoneObject}};
    ASSERT_EQ(f.exporter->nodes.size(), std::size(kinds));
    for (const auto& [name, kind] : kinds) {
        ASSERT_NE(f.Node(name), nullptr) << name;
        EXPECT_EQ(f.Node(name)->kind, kind) << name;
        const bool geometry = kind == MeshObject || kind == PatchObjectKind || kind == NurbsObject;
        EXPECT_EQ(f.Geometry(name) != nullptr, geometry) << name;
        EXPECT_EQ(f.Node(name)->renderable, geometry ? 1 : 0) << name;
    }
}

TEST(CollectNodes, LegalNamesAreMadeUniqueInCollectionOrder) {
    for (int duplicates : {0, 1}) {
        SceneBuilder b;
        b.Dummy("Box 01");
        b.Dummy("Box?01", &b.Dummy("Box_01"));
        b.Dummy("");
        b.Dummy("", &b.Dummy("Unnamed"));
        ExportOptions options = TreeTestOptions();
        options.DuplicateNodeName = duplicates;
        ExportFixture f(b.Take(), options);
        f.Collect();
        EXPECT_EQ(f.Node("Box 01")->name, "Box_01");
        EXPECT_EQ(f.Node("Box_01")->name, duplicates ? "Box_01" : "Box_01_");
        EXPECT_EQ(f.Node("Box?01")->name, duplicates ? "Box_01" : "Box_01__");
        // Nodes without a name get a legal one, unique like every other.
        std::vector<std::string> unnamed;
        for (const XNode* node : f.exporter->nodes)
            if (node->name.rfind("Unnamed", 0) == 0) unnamed.push_back(node->name);
        const std::vector<std::string> expected =
            duplicates ? std::vector<std::string>{"Unnamed", "Unnamed", "Unnamed"}
                       : std::vector<std::string>{"Unnamed", "Unnamed_", "Unnamed__"};
        EXPECT_EQ(unnamed, expected);
    }
}

TEST(CollectNodes, AncestorsOfExportedNodesAreExported) {
    auto build = [] {
        SceneBuilder b;
        b.Dummy("UnderHiddenMesh", &b.Mesh("HiddenMesh").SetHidden(true));
        b.Dummy("UnderBone", &b.Bone("Bone"));
        b.Helper("Point", Class_ID(0x2000, 0));
        return b.Take();
    };
    ExportFixture f(build());
    f.Collect();
    EXPECT_EQ(f.Node("HiddenMesh")->exported, 1);
    EXPECT_EQ(f.Node("HiddenMesh")->renderable, 1);  // with its geometry while Meshs is on
    EXPECT_EQ(f.Node("Point")->exported, 0);  // other nodes need OTHER

    ExportOptions filtered = TreeTestOptions();
    filtered.Bones = filtered.Meshs = 0;
    ExportFixture g(build(), filtered);
    g.Collect();
    EXPECT_TRUE(IsExcluded(*g.exporter, *g.Node("Bone")));
    EXPECT_EQ(g.Node("Bone")->exported, 1);  // kept as the frame of the dummy below
    EXPECT_EQ(g.Node("HiddenMesh")->exported, 1);
    EXPECT_EQ(g.Node("HiddenMesh")->renderable, 0);  // a frame without its geometry
}

TEST(CollectNodes, WorkEstimateCountsFacesAndSamplesOncePerNode) {
    SceneBuilder b;
    HostNode& dummy = b.Dummy("Dummy");
    b.Mesh("Box", &dummy);  // 12 faces
    b.Mesh("Box2", &dummy);
    ExportOptions options = TreeTestOptions();
    options.Animation = 1;
    ExportFixture f(b.Take(), options);
    f.state.clips = {{"Walk", 0, 10}, {"Run", 5, 7}};
    f.exporter->ticksPerSample = 80;
    f.Collect();
    // Per node (10 * 160 / 80 + 1) + (2 * 160 / 80 + 1) = 26 samples; the shared dummy once.
    EXPECT_EQ(f.exporter->stage1Work, 1u + 3 * 26 + 2 * 12);
    EXPECT_TRUE(f.Node("Dummy")->counted);
}
