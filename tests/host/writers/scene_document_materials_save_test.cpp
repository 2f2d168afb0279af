// Saving materials and maps in scene documents: every field comes back, shared entries are
// written once under unique names. (That the saved document loads and saves again the same is
// the scene document fuzz target's: materials.json is in its corpus.)
#include <gtest/gtest.h>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "common/test_files.h"
#include "host/document/scene_document.h"

namespace {

// Every material and map feature, written the way the host writes it, so that the saved lists
// must equal these. Shared entries are in the lists, single-use ones inline.
const std::string kMaterialsDocument = ReadText(std::string(PLOVER_TEST_DATA_DIR) + "/host/document/documents/materials.json");

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

TEST(SceneDocumentMaterialsSave, EveryFieldIsWrittenAsTheDocumentGivesIt) {
    std::unique_ptr<HostScene> scene = Load(kMaterialsDocument);
    ASSERT_NE(scene, nullptr);
    const std::string saved = SaveSceneDocument(*scene);
    EXPECT_EQ(MaterialParts(saved), MaterialParts(kMaterialsDocument));
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

}  // namespace
