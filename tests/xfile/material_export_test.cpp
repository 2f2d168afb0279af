// A whole export of a scene document with materials: the top-level materials as our reader and
// Assimp's importer see them, and the texture, baked and effect files beside the X file.
#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "host/scene_document.h"
#include "options/options_file.h"
#include "plugin/do_export.h"
#include "xfile/format/xreader.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A quad with one texture channel (Box, three material ids) and one with two (Crate).
std::string Quad(int channels, const char* materialIds) {
    std::string mesh = R"({"vertices": [0,0,0, 1,0,0, 1,1,0, 0,1,0], "faces": [0,1,2, 0,2,3], "materialIds": )" +
                       std::string(materialIds) + R"(, "mapChannels": [)";
    for (int c = 1; c <= channels; ++c)
        mesh += std::string(c > 1 ? ", " : "") + R"({"channel": )" + std::to_string(c) +
                R"(, "vertices": [0,0,0, 1,0,0, 1,1,0, 0,1,0], "faces": [0,1,2, 0,2,3]})";
    return mesh + "]}";
}

class MaterialExport : public ::testing::Test {
protected:
    void SetUp() override {
        // One directory per test: ctest runs the tests of this file in parallel processes.
        dir = fs::path(PLOVER_BINARY_DIR) / "material_export_scratch" /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir / "scene" / "textures");
        fs::create_directories(dir / "out");
        std::ofstream(dir / "scene" / "textures" / "wood.png", std::ios::binary) << "wood pixels";
        std::ofstream(dir / "scene" / "bump.png", std::ios::binary) << "bump pixels";
        std::ofstream(dir / "scene" / "shiny.fx", std::ios::binary) << "// shiny effect";
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Document() const {
        const std::string scene = (dir / "scene").string();
        return R"({"plover_scene": 1, "sceneFile": ")" + scene + R"(/scene.max",
          "objects": [
            {"name": "box", "type": "mesh", "mesh": )" + Quad(1, "[0, 2]") + R"(},
            {"name": "crate", "type": "mesh", "mesh": )" + Quad(2, "[0, 0]") + R"(}
          ],
          "maps": [
            {"name": "Wood Map", "type": "bitmap", "file": "C:\\old\\place\\wood.png"},
            {"name": "Bump Map", "type": "bitmap", "file": ")" + scene + R"(/bump.png", "mapChannel": 2},
            {"name": "Board", "type": "checker", "color1": [1, 0, 0], "color2": [1, 1, 1]}
          ],
          "materials": [
            {"name": "Wood", "type": "standard", "shininess": 0.25, "maps": {"diffuse": "Wood Map"}},
            {"name": "Parts", "type": "multi", "materials": ["Wood", null,
              {"name": "Checks", "type": "standard", "maps": {"diffuse": "Board"}}]},
            {"name": "Shiny", "type": "dxShader", "effectFile": ")" + scene + R"(/shiny.fx",
             "parameters": [{"name": "gloss", "type": "float", "value": 0.5},
                            {"name": "diffuseMap", "type": "texmap", "value": "Wood Map"}],
             "effectBitmaps": [{"file": ")" + scene + R"(/textures/wood.png"}]},
            {"name": "Layered", "type": "standard", "maps": {"diffuse": "Wood Map", "bump": "Bump Map"}}
          ],
          "nodes": [
            {"name": "Box", "object": "box", "material": "Parts"},
            {"name": "Ball", "object": "box", "material": "Shiny"},
            {"name": "Crate", "object": "crate", "material": "Layered"}
          ]})";
    }

    // Exports through XDoExport, as the command line does.
    fs::path Export() {
        std::string error;
        std::unique_ptr<HostScene> scene = LoadSceneDocumentFromString(Document(), "materials.json", error);
        EXPECT_NE(scene, nullptr) << error;
        if (!scene) return {};
        scene->SetDir(kDirPlugCfg, dir.string());
        std::ofstream(dir / kConfigFileName)
            << "[Option]\nMtl=1\nMeshs=1\nFX=1\nTexCoords=1\nTextureFiles=1\nDxFx=1\nEffectParam=1\nNormal=1\n"
               "ProcMapX=16\nProcMapY=8\nSceneRoot=0\nAnimation=0\nAnimationCount=0\nXFileType=0\n";
        const fs::path out = dir / "out" / "scene.x";
        XDoExport(out.string().c_str(), nullptr, scene.get(), /*suppressPrompts=*/1, 0);
        EXPECT_TRUE(scene->messages().empty()) << scene->messages().front().text;
        return out;
    }

    fs::path dir;
};

}  // namespace

TEST_F(MaterialExport, TopLevelMaterialsAndFilesBesideTheXFile) {
    const fs::path out = Export();
    ASSERT_TRUE(fs::exists(out));

    xfile::XDocument doc;
    ASSERT_TRUE(xfile::ReadXFileFromPath(out.string(), &doc).ok());
    std::vector<std::string> topMaterials;
    std::set<std::string> effectFiles;
    for (uint32_t i : doc.Roots())
        if (doc.TemplateOf(doc.nodes[i]).name == "Material") topMaterials.emplace_back(doc.Name(doc.nodes[i]));
    for (const xfile::XNode& node : doc.nodes)
        if (!node.isReference && doc.TemplateOf(node).name == "EffectInstance")
            effectFiles.insert(reinterpret_cast<const char*>(doc.Payload(node).data()));
    // The shared plain records, in the order the nodes met them; effect records stay in meshes.
    EXPECT_EQ(topMaterials, (std::vector<std::string>{"Wood", "Material_NULL", "Checks"}));
    EXPECT_EQ(effectFiles, (std::set<std::string>{"shiny.fx", "Crate.fx"}));

    // Beside the X file: the found texture, the baked checker, the copied and generated effects.
    EXPECT_EQ(ReadText(out.parent_path() / "wood.png"), "wood pixels");
    EXPECT_EQ(ReadText(out.parent_path() / "bump.png"), "bump pixels");
    EXPECT_EQ(ReadText(out.parent_path() / "shiny.fx"), "// shiny effect");
    EXPECT_EQ(fs::file_size(out.parent_path() / "Board.bmp"), 14u + 108u + 16u * 8u * 4u);
    const std::string generated = ReadText(out.parent_path() / "Crate.fx");
    EXPECT_NE(generated.find("texture Wood_Map; \n"), std::string::npos);
    EXPECT_NE(generated.find("sampler2D Bump_MapSampler = sampler_state  // TexCoord1 \n"), std::string::npos);

    // Assimp's importer sees the materials with their texture files.
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(out.string(), 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    std::set<std::string> names, textures;
    for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
        aiString name, texture;
        scene->mMaterials[i]->Get(AI_MATKEY_NAME, name);
        names.insert(name.C_Str());
        if (scene->mMaterials[i]->GetTexture(aiTextureType_DIFFUSE, 0, &texture) == AI_SUCCESS)
            textures.insert(texture.C_Str());
    }
    for (const char* expected : {"Wood", "Material_NULL", "Checks", "Shiny", "Layered"})
        EXPECT_TRUE(names.count(expected)) << expected;
    EXPECT_TRUE(textures.count("wood.png"));
    EXPECT_TRUE(textures.count("Board.bmp"));
}
