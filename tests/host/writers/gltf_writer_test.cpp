// The glTF writer: a model written out and read back holds the same facts as the model
// (names, triangles, UV sets, colours, joints and weights, clips, positions at rest and skinned
// at three times), and the writer keeps to the rules for untrusted models' textures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/scene_facts.h"
#include "common/test_files.h"
#include "core/staged_files.h"
#include "host/import/interchange_import.h"
#include "host/objects/host_deformers.h"
#include "host/objects/host_objects.h"
#include "host/writers/gltf_writer.h"

namespace fs = std::filesystem;

namespace {

const fs::path kAssets = fs::path(PLOVER_TEST_DATA_DIR) / "assets" / "gltf";

fs::path Scratch(const std::string& name) {
    const fs::path dir = fs::path(PLOVER_BINARY_DIR) / "gltf-writer-test" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

bool Convert(HostScene& scene, const fs::path& out, const GltfWriteOptions& options, GltfWriteReport& report,
             std::string& error) {
    StagedFiles staged;
    if (!WriteGltf(scene, out.string(), options, staged, report, error)) return false;
    std::string failed;
    return staged.Commit(&failed, &error);
}

using namespace scene_facts;

class GltfRoundTrip : public ::testing::TestWithParam<const char*> {};

}  // namespace

// glTF -> host -> glTF -> host: the second scene holds what the first does.
TEST_P(GltfRoundTrip, KeepsTheFacts) {
    const fs::path source = kAssets / GetParam();
    const fs::path dir = Scratch(fs::path(GetParam()).stem().string());
    auto first = ImportModel(source, dir / "unpacked1");
    ASSERT_TRUE(first);
    for (const char* extension : {".glb", ".gltf"}) {
        const fs::path out = dir / (std::string("out") + extension);
        GltfWriteOptions options;
        options.textureFolders = {source.parent_path().string(), (dir / "unpacked1").string()};
        GltfWriteReport report;
        std::string error;
        ASSERT_TRUE(Convert(*first, out, options, report, error)) << error;
        EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
        auto second = ImportModel(out, dir / (std::string("unpacked2") + extension));
        ASSERT_TRUE(second);

        ExpectSameScenes(*first, *second, std::string(GetParam()) + extension);
    }
}

INSTANTIATE_TEST_SUITE_P(Assets, GltfRoundTrip,
                         ::testing::Values("BoxTextured/BoxTextured.gltf", "BoxVertexColors/BoxVertexColors.glb",
                                           "BoxTexcoords/boxTexcoords.gltf",
                                           "TextureCoordinateTest/TextureCoordinateTest.glb",
                                           "ClearCoatTest/ClearCoatTest.gltf", "InterpolationTest/InterpolationTest.gltf",
                                           "SimpleSkin/SimpleSkin.gltf", "RiggedFigure/RiggedFigure.glb",
                                           "CesiumMan/CesiumMan.glb", "Fox/Fox.glb"),
                         [](const auto& param) { return fs::path(param.param).stem().string(); });

// Textures: one outside the model's folder is not read unless allowed; one in a format glTF
// does not take is left out with a warning; a different file already where a copy would go is
// not replaced; a failed write leaves nothing behind.
TEST(GltfWriter, TexturesOfUntrustedModels) {
    const fs::path dir = Scratch("textures");
    fs::create_directories(dir / "model");
    fs::create_directories(dir / "out");
    fs::copy_file(kAssets / "BoxTexcoords" / "texture.png", dir / "outside.png");
    std::ofstream(dir / "model" / "picture.tga", std::ios::binary) << "not a png";
    fs::copy_file(kAssets / "BoxTexcoords" / "texture.png", dir / "model" / "inside.png");

    HostScene scene;
    Mesh mesh = MakeBoxMesh(1, 1, 1);
    HostNode& node = scene.root().AddChild("box");
    node.SetObject(&scene.AddObject(std::make_unique<HostTriObject>(std::move(mesh))));
    auto& multi = scene.materials().AddMaterial(std::make_unique<HostMultiMaterial>());
    for (const char* file : {"outside.png", "model/picture.tga", "model/inside.png"}) {
        auto& material = scene.materials().AddMaterial(std::make_unique<HostStdMaterial>());
        material.name = file;
        auto& map = scene.materials().AddTexmap(std::make_unique<HostBitmapTex>());
        map.fileName = (dir / file).string();
        material.maps[kMapDiffuse] = &map;
        material.mapEnabled[kMapDiffuse] = true;
        multi.subMaterials.push_back(&material);
    }
    node.SetMtl(&multi);
    // Someone else's file where the inside texture's copy would go.
    std::ofstream(dir / "out" / "inside.png") << "keep me";

    GltfWriteOptions options;
    options.textureFolders = {(dir / "model").string()};
    GltfWriteReport report;
    std::string error;
    ASSERT_TRUE(Convert(scene, dir / "out" / "box.gltf", options, report, error)) << error;
    ASSERT_EQ(report.warnings.size(), 2u);
    EXPECT_NE(report.warnings[0].find("outside the model's folder"), std::string::npos) << report.warnings[0];
    EXPECT_NE(report.warnings[1].find("PNG and JPEG"), std::string::npos) << report.warnings[1];
    EXPECT_EQ(ReadText(dir / "out" / "inside.png"), "keep me");
    EXPECT_EQ(ReadText(dir / "out" / "inside_2.png"), ReadText(dir / "model" / "inside.png"));
    EXPECT_FALSE(fs::exists(dir / "out" / "outside.png"));
    const auto doc = nlohmann::json::parse(ReadText(dir / "out" / "box.gltf"));
    ASSERT_EQ(doc["images"].size(), 1u);
    EXPECT_EQ(doc["images"][0]["uri"], "inside_2.png");
    EXPECT_EQ(doc["materials"][0]["extras"]["texturesLeftOut"]["diffuse"], (dir / "outside.png").string());
    // Three materials, one primitive per material (the box's six sides take ids 0 to 5).
    EXPECT_EQ(doc["meshes"][0]["primitives"].size(), 3u);

    // Allowed everywhere, the outside texture is read too.
    options.texturesAnywhere = true;
    ASSERT_TRUE(Convert(scene, dir / "out" / "box.glb", options, report, error)) << error;
    EXPECT_EQ(report.warnings.size(), 1u);
    EXPECT_EQ(report.images, 2u);

    // An output that cannot be put in place: nothing is written, nothing left behind.
    fs::create_directories(dir / "out" / "taken.glb");
    const auto before = std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator());
    EXPECT_FALSE(Convert(scene, dir / "out" / "taken.glb", options, report, error));
    EXPECT_NE(error.find("directory"), std::string::npos) << error;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), before);
}

// The material mapping: the importer's power from roughness undone; X values kept in extras.
TEST(GltfWriter, MaterialMapping) {
    EXPECT_FLOAT_EQ(RoughnessFromPower(0), 1);
    EXPECT_FLOAT_EQ(RoughnessFromPower(1000), 0);
    EXPECT_FLOAT_EQ(RoughnessFromPower(5000), 0);
    const float r = RoughnessFromPower(250);
    EXPECT_NEAR(1000 * (1 - r) * (1 - r), 250, 1e-3);

    const fs::path dir = Scratch("material");
    HostScene scene;
    HostNode& node = scene.root().AddChild("box");
    node.SetObject(&scene.AddObject(std::make_unique<HostTriObject>(MakeBoxMesh(1, 1, 1))));
    auto& material = scene.materials().AddMaterial(std::make_unique<HostStdMaterial>());
    material.name = "red";
    material.diffuse = Color(1, 0, 0);
    material.transparency = 0.25f;
    material.shininess = 0.5f;  // power 50
    material.specular = Color(1, 1, 1);
    material.shininessStrength = 5;  // X specular 0.5
    material.selfIllumColorOn = true;
    material.selfIllumColor = Color(0, 0.5f, 0);
    node.SetMtl(&material);
    GltfWriteReport report;
    std::string error;
    ASSERT_TRUE(Convert(scene, dir / "m.gltf", {}, report, error)) << error;
    const auto m = nlohmann::json::parse(ReadText(dir / "m.gltf"))["materials"][0];
    EXPECT_EQ(m["pbrMetallicRoughness"]["baseColorFactor"], nlohmann::json({1, 0, 0, 0.75}));
    EXPECT_EQ(m["pbrMetallicRoughness"]["metallicFactor"], 0);
    EXPECT_NEAR(m["pbrMetallicRoughness"]["roughnessFactor"].get<double>(), RoughnessFromPower(50), 1e-6);
    EXPECT_EQ(m["alphaMode"], "BLEND");
    EXPECT_EQ(m["emissiveFactor"], nlohmann::json({0, 0.5, 0}));
    EXPECT_EQ(m["extras"]["xMaterial"]["power"], 50);
    EXPECT_EQ(m["extras"]["xMaterial"]["specular"], nlohmann::json({0.5, 0.5, 0.5}));
}

// A skinned mesh whose node is one of its own joints (an X file's frame holding the mesh it
// deforms) is written, on a node of its own, and the joint keeps its place in the hierarchy.
TEST(GltfWriter, ASkinnedMeshOnItsOwnJointIsWritten) {
    const fs::path source = fs::path(PLOVER_TEST_DATA_DIR) / "fuzz" / "corpus" / "xfile_reader" / "scene.txt.x";
    const fs::path dir = Scratch("mesh_on_joint");
    auto scene = ImportModel(source, dir / "unpacked");
    ASSERT_TRUE(scene);
    GltfWriteReport report;
    std::string error;
    ASSERT_TRUE(Convert(*scene, dir / "out.gltf", GltfWriteOptions(), report, error)) << error;
    const auto doc = nlohmann::json::parse(ReadText(dir / "out.gltf"));
    ASSERT_EQ(doc["meshes"].size(), 2u);
    ASSERT_EQ(doc["skins"].size(), 1u);
    int joint = -1, skinned = -1;
    for (size_t i = 0; i < doc["nodes"].size(); ++i) {
        const auto& node = doc["nodes"][i];
        if (node.value("name", "") != "Bone") continue;
        (node.contains("skin") ? skinned : joint) = static_cast<int>(i);
    }
    ASSERT_GE(joint, 0);
    ASSERT_GE(skinned, 0);
    EXPECT_NE(std::find(doc["skins"][0]["joints"].begin(), doc["skins"][0]["joints"].end(), joint),
              doc["skins"][0]["joints"].end());
    EXPECT_TRUE(doc["nodes"][joint].contains("translation"));
}
