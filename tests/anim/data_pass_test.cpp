// The per-node data pass: which nodes it processes, what it fills into geometry nodes, and
// the work it leaves for the writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "anim/anim_track.h"
#include "anim/data_pass.h"
#include "common/math_expect.h"
#include "host/host_materials.h"
#include "options/options_file.h"
#include "plugin/do_export.h"
#include "scene/export_fixture.h"

namespace fs = std::filesystem;

TEST(DataPass, AncestorsAreProcessedUnlessWorldSpace) {
    auto build = [] {
        SceneBuilder b;
        HostNode& top = b.Dummy("Top");
        HostNode& dummy = b.Dummy("Animated", &top);
        b.Mesh("Selected", &dummy).SetSelected(true);
        b.Mesh("Other", &top);
        return b.Take();
    };
    for (int worldSpace : {0, 1}) {
        SCOPED_TRACE(worldSpace ? "world space" : "hierarchy");
        ExportOptions options = TreeTestOptions();
        options.WorldSpace = worldSpace;
        ExportFixture f(build(), options);
        f.exporter->selectedOnly = true;
        f.CollectAndPass();
        EXPECT_TRUE(f.Node("Selected")->processed);
        EXPECT_EQ(f.Node("Animated")->processed, !worldSpace);
        EXPECT_EQ(f.Node("Top")->processed, !worldSpace);
        EXPECT_FALSE(f.Node("Other")->processed);
        ASSERT_EQ(f.exporter->meshNodes.size(), 1u);
        EXPECT_EQ(f.exporter->meshNodes[0], f.Node("Selected"));
    }
}

TEST(DataPass, GeometryNodesGetTransformsMaterialsAndWriterWork) {
    HostMaterialLibrary library;
    auto& material = library.AddMaterial(std::make_unique<HostStdMaterial>());
    material.name = "Red";

    auto build = [&] {
        SceneBuilder b;
        b.scene().SetAnimRange({320, 3200});
        HostNode& parent = b.Dummy("Parent").Translate({0, 0, 1});
        b.Mesh("Box", &parent)
            .Transform(ScaleMatrix({-1, 1, 1}) * TransMatrix({2, 0, 0}))
            .ObjectOffset(TransMatrix({0, 3, 0}))
            .SetMtl(&material);
        b.Mesh("Plain");
        return b.Take();
    };

    ExportFixture f(build());
    f.CollectAndPass();
    XRenderableNode* box = f.Geometry("Box");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->processed);
    EXPECT_EQ(box->renderable, 1);
    // frameTM without the reflection (the mirror on X becomes a half turn about X), objectTM
    // with it and the object offset.
    ExpectMatrix3Near(box->frameTM, Matrix3({1, 0, 0}, {0, -1, 0}, {0, 0, -1}, {2, 0, 1}));
    ExpectMatrix3Near(box->objectTM, TransMatrix({0, 3, 0}) * ScaleMatrix({-1, 1, 1}) * TransMatrix({2, 0, 1}));
    EXPECT_FALSE(box->meshData);  // no mesh data generator yet
    ASSERT_EQ(box->materials.size(), 1u);
    EXPECT_EQ(f.exporter->materialTable.size(), 1u);
    EXPECT_TRUE(f.Geometry("Plain")->materials.empty());
    // Mtl off: 3 units per mesh node on top of the driver's 2.
    EXPECT_EQ(f.exporter->stage2Work, 2u + 3 + 3);
    // The pass itself steps once.
    EXPECT_GE(f.exporter->stepsDone, 1u);

    ExportOptions withMaterials = TreeTestOptions();
    withMaterials.Mtl = 1;
    ExportFixture g(build(), withMaterials);
    g.CollectAndPass();
    EXPECT_EQ(g.exporter->stage2Work, 2u + 4 + 4);
}

TEST(DataPass, NodeWithoutMeshBecomesAFrame) {
    SceneBuilder b;
    HostNode& host = b.Mesh("Broken");
    ExportFixture f(b.Take());
    // A geometry node that lost its mesh: the pass writes it as a frame.
    auto node = std::make_unique<XRenderableNode>();
    node->hostNode = &host;
    node->name = "Broken";
    node->exported = 1;
    XRenderableNode* raw = node.get();
    f.exporter->topLevelNodes.push_back(std::move(node));
    f.exporter->nodeMap[&host] = raw;
    f.Pass();
    EXPECT_TRUE(raw->processed);
    EXPECT_EQ(raw->renderable, 0);
    EXPECT_TRUE(f.exporter->meshNodes.empty());
    EXPECT_EQ(f.exporter->stage2Work, 2u);
    EXPECT_FALSE(GenerateRenderable(*f.exporter, *raw));
}

TEST(DataPass, EmptyTreeOnlyStepsOnce) {
    SceneBuilder b;
    ExportFixture f(b.Take());
    f.Pass();
    EXPECT_EQ(f.exporter->stepsDone, 1u);
    EXPECT_TRUE(f.exporter->meshNodes.empty());
}

TEST(DataPass, BoneMeshDecidesWhetherABoneKeepsItsGeometry) {
    for (int boneMesh : {0, 1}) {
        SCOPED_TRACE(boneMesh);
        SceneBuilder b;
        b.Bone("Bone", MakeBoxMesh(1, 1, 1));
        ExportOptions options = TreeTestOptions();
        options.BoneMesh = boneMesh;
        ExportFixture f(b.Take(), options);
        f.CollectAndPass();
        XNode* bone = f.Node("Bone");
        EXPECT_TRUE(bone->processed);
        EXPECT_EQ(bone->renderable, boneMesh);
        EXPECT_EQ(f.exporter->meshNodes.size(), static_cast<size_t>(boneMesh));
    }
}

TEST(DataPass, CountSamplesFollowsTheClipFormula) {
    SceneBuilder b;
    ExportOptions options = TreeTestOptions();
    ExportFixture f(b.Take(), options);
    f.state.clips = {{"A", 0, 10}, {"B", 5, 7}, {"C", 3, 3}};
    f.exporter->ticksPerSample = 70;
    EXPECT_EQ(CountSamples(*f.exporter), 0);  // Animation off
    f.options().Animation = 1;
    // 10 * 160 / 70 + 1 = 23; 2 * 160 / 70 + 1 = 5; 0 + 1 = 1.
    EXPECT_EQ(CountSamples(*f.exporter), 29);
    f.state.clips.clear();
    EXPECT_EQ(CountSamples(*f.exporter), 0);
}

TEST(DataPass, DriverWarnsWhenNothingIsProcessed) {
    const fs::path dir = fs::temp_directory_path() / "plover-datapass-warning";
    fs::remove_all(dir);
    fs::create_directories(dir);
    SceneBuilder b;
    b.Mesh("Hidden").SetHidden(true);
    auto scene = b.Take();
    scene->SetDir(kDirPlugCfg, dir.string());
    std::ofstream(dir / kConfigFileName) << "[Option]\nXFileType=0\n";
    XDoExport((dir / "out.x").string().c_str(), nullptr, scene.get(), 1, 0);
    ASSERT_EQ(scene->messages().size(), 1u);
    EXPECT_EQ(scene->messages()[0].text, kNothingProcessedText);
    EXPECT_EQ(scene->messages()[0].caption, "Warning");
    EXPECT_FALSE(fs::exists(dir / "out.x"));
    fs::remove_all(dir);
}
