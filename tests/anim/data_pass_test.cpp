// The per-node data pass: what it fills into geometry nodes, and the work it leaves for the
// writer. (Which nodes it processes shows in the frames the writer tests and the selected-only
// command test see.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host/objects/host_materials.h"
#include "options/options_file.h"
#include "plugin/data_pass.h"
#include "plugin/do_export.h"
#include "plugin/driver_texts.h"
#include "scene/export_fixture.h"

// (The transforms it fills in are the node transform tests' and show in every golden file.)
TEST(DataPass, GeometryNodesGetMaterialsAndWriterWork) {
    HostMaterialLibrary library;
    auto& material = library.AddMaterial(std::make_unique<HostStdMaterial>());
    material.name = "Red";
    for (int mtl : {0, 1}) {
        SceneBuilder b;
        b.Mesh("Box").SetMtl(&material);
        ExportOptions options = TreeTestOptions();
        options.Mtl = mtl;
        ExportFixture f(b.Take(), options);
        f.CollectAndPass();
        EXPECT_EQ(f.Geometry("Box")->materials.size(), 1u);
        EXPECT_EQ(f.exporter->stage2Work, mtl ? 2u + 4 : 2u + 3);
    }
}

TEST(DataPass, NodeThatCannotBeGeneratedBecomesAFrame) {
    SceneBuilder b;
    HostNode& host = b.Mesh("Broken");
    ExportFixture f(b.Take());
    auto node = std::make_unique<XRenderableNode>();  // a geometry node without its mesh
    node->hostNode = &host;
    node->exported = 1;
    XRenderableNode* raw = node.get();
    f.exporter->topLevelNodes.push_back(std::move(node));
    f.exporter->AddNode(&host, raw);
    f.Pass();
    EXPECT_TRUE(raw->processed);
    EXPECT_EQ(raw->renderable, 0);
    EXPECT_TRUE(f.exporter->meshNodes.empty());
    EXPECT_EQ(f.exporter->stage2Work, 2u);
}

TEST(DataPass, DriverWarnsWhenNothingIsProcessed) {
    const std::filesystem::path dir = std::filesystem::path(PLOVER_BINARY_DIR) / "datapass-warning";
    std::filesystem::create_directories(dir);
    SceneBuilder b;
    b.Mesh("Hidden").SetHidden(true);
    auto scene = b.Take();
    scene->SetDir(kDirPlugCfg, dir.string());
    std::ofstream(dir / kConfigFileName) << "[Option]\n";
    XDoExport((dir / "out.x").string().c_str(), nullptr, scene.get(), 1, 0);
    ASSERT_EQ(scene->messages().size(), 1u);
    EXPECT_EQ(scene->messages()[0].text, kNothingProcessedText);
    EXPECT_EQ(scene->messages()[0].caption, "Warning");
    EXPECT_FALSE(std::filesystem::exists(dir / "out.x"));
    std::filesystem::remove_all(dir);
}
