// Saving materials and maps in scene documents: every field comes back, shared entries are
// written once under unique names, and the reloaded scene exports the same X file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include <nlohmann/json.hpp>

#include "common/test_files.h"
#include "host/scene_document.h"
#include "options/options_file.h"
#include "plugin/do_export.h"

namespace fs = std::filesystem;

namespace {

// Every material and map feature, written the way the host writes it, so that the saved lists
// must equal these. Shared entries are in the lists, single-use ones inline.
const std::string kMaterialsDocument = ReadText(std::string(PLOVER_TEST_DATA_DIR) + "/host/documents/materials.json");

std::unique_ptr<HostScene> Load(const std::string& text) {
    std::string error;
    std::unique_ptr<HostScene> scene = LoadSceneDocumentFromString(text, "m.json", error);
    EXPECT_NE(scene, nullptr) << error;
    return scene;
}

// The parts of a document that describe materials: the lists and each node's "material".
nlohmann::json MaterialParts(const std::string& text) {
    const nlohmann::json doc = nlohmann::json::parse(text);
    nlohmann::json parts = {{"maps", doc.value("maps", nlohmann::json::array())},
                            {"materials", doc.value("materials", nlohmann::json::array())},
                            {"nodes", nlohmann::json::array()}};
    for (const auto& node : doc["nodes"]) parts["nodes"].push_back(node.value("material", nlohmann::json()));
    return parts;
}

TEST(SceneDocumentMaterialsSave, EveryFieldIsWrittenAndReadsBackTheSame) {
    std::unique_ptr<HostScene> scene = Load(kMaterialsDocument);
    ASSERT_NE(scene, nullptr);
    const std::string saved = SaveSceneDocument(*scene);
    EXPECT_EQ(MaterialParts(saved), MaterialParts(kMaterialsDocument));

    std::unique_ptr<HostScene> reloaded = Load(saved);
    ASSERT_NE(reloaded, nullptr);
    EXPECT_EQ(SaveSceneDocument(*reloaded), saved);
}

TEST(SceneDocumentMaterialsSave, SharedEntriesWithTheSameNameGetUniqueNames) {
    HostScene scene;
    auto& first = scene.materials().AddMaterial(std::make_unique<HostStdMaterial>());
    auto& second = scene.materials().AddMaterial(std::make_unique<HostStdMaterial>());
    auto& map = scene.materials().AddTexmap(std::make_unique<HostBitmapTex>());
    first.name = second.name = "Same";
    first.diffuse = Color(1, 0, 0);
    second.diffuse = Color(0, 1, 0);
    map.name = "Same";
    map.fileName = "a.png";
    first.maps[kMapDiffuse] = first.maps[kMapBump] = &map;
    for (Mtl* m : {static_cast<Mtl*>(&first), static_cast<Mtl*>(&first), static_cast<Mtl*>(&second),
                   static_cast<Mtl*>(&second)})
        scene.root().AddChild("N").SetMtl(m);

    const std::string saved = SaveSceneDocument(scene);
    const nlohmann::json doc = nlohmann::json::parse(saved);
    ASSERT_EQ(doc["maps"].size(), 1u) << saved;
    ASSERT_EQ(doc["materials"].size(), 2u) << saved;
    EXPECT_EQ(doc["materials"][0]["name"], "Same");
    EXPECT_EQ(doc["materials"][1]["name"], "Same_2");
    EXPECT_EQ(doc["nodes"][3]["material"], "Same_2");

    std::unique_ptr<HostScene> reloaded = Load(saved);
    ASSERT_NE(reloaded, nullptr);
    INode* root = reloaded->GetRootNode();
    EXPECT_EQ(root->GetChildNode(0)->GetMtl(), root->GetChildNode(1)->GetMtl());
    EXPECT_EQ(root->GetChildNode(2)->GetMtl(), root->GetChildNode(3)->GetMtl());
    EXPECT_EQ(root->GetChildNode(2)->GetMtl()->GetDiffuse(), Color(0, 1, 0));
    Mtl* red = root->GetChildNode(0)->GetMtl();
    EXPECT_EQ(red->GetSubTexmap(kMapDiffuse), red->GetSubTexmap(kMapBump));
    EXPECT_STREQ(red->GetSubTexmap(kMapDiffuse)->GetName(), "Same");
}

// Exports through XDoExport with materials on into dir; returns every file written there (the
// X file, baked maps, effect files) by name with its bytes.
std::map<std::string, std::string> ExportFiles(HostScene& scene, const fs::path& dir) {
    fs::create_directories(dir / "config");
    scene.SetDir(kDirPlugCfg, (dir / "config").string());
    std::ofstream(dir / "config" / kConfigFileName)
        << "[Option]\nMtl=1\nMeshs=1\nFX=1\nTexCoords=1\nTextureFiles=1\nDxFx=1\nEffectParam=1\nNormal=1\n"
           "VertexColors=1\nProcMapX=8\nProcMapY=8\nSceneRoot=0\nAnimation=0\nAnimationCount=0\nXFileType=0\n";
    XDoExport((dir / "scene.x").string().c_str(), nullptr, &scene, /*suppressPrompts=*/1, 0);
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file()) files[entry.path().filename().string()] = ReadText(entry.path());
    return files;
}

TEST(SceneDocumentMaterialsSave, ReloadedSceneExportsTheSameFiles) {
    const ScratchDir scratch;
    const fs::path& dir = scratch.path();
    std::unique_ptr<HostScene> original = Load(kMaterialsDocument);
    ASSERT_NE(original, nullptr);
    std::unique_ptr<HostScene> reloaded = Load(SaveSceneDocument(*original));
    ASSERT_NE(reloaded, nullptr);

    const std::map<std::string, std::string> expected = ExportFiles(*original, dir / "original");
    ASSERT_TRUE(expected.count("scene.x"));
    ASSERT_NE(expected.at("scene.x").find("Material Shiny"), std::string::npos);
    EXPECT_TRUE(expected.count("Board.bmp") && expected.count("Plain.fx"));  // baked map, generated effect
    const std::map<std::string, std::string> actual = ExportFiles(*reloaded, dir / "reloaded");
    for (const auto& [name, bytes] : expected) {
        ASSERT_TRUE(actual.count(name)) << name;
        EXPECT_TRUE(actual.at(name) == bytes) << name << " differs";
    }
    EXPECT_EQ(actual.size(), expected.size());
}

}  // namespace
