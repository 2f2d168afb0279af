// What the import makes of interchange files that the read-back of their exports does not show:
// channels, vertex colours and maps, merged meshes, the animation timeline, image names, and the
// errors for files it cannot read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <iterator>
#include <string>
#include <vector>

#include "common/test_files.h"
#include "host/import/import_shared.h"
#include "host/import/interchange_import.h"
#include "host/import/unpack_folder.h"
#include "host/objects/host_materials.h"
#include "host/objects/texture_search.h"

namespace fs = std::filesystem;

namespace {

const fs::path kModels = fs::path(PLOVER_TEST_DATA_DIR) / "assets" / "gltf";
// Small models made for these tests: morph_and_images.gltf (a triangle with a morph target, three
// materials whose images are stored in the file, a node animation that ends at 1 s with morph
// weights keyed to 2 s, and an animation of morph weights only) and camera_and_animation.gltf
// (a camera and an empty node that moves, nothing else).
const fs::path kOwnModels = fs::path(PLOVER_TEST_DATA_DIR) / "host" / "import" / "models";

std::unique_ptr<HostScene> Import(const fs::path& file, const fs::path& textures, std::vector<ImportedClip>* clips = nullptr) {
    ImportOptions options;
    options.textureDirectory = textures.string();
    std::string error;
    auto scene = ImportInterchangeFile(file.string(), options, error, clips);
    EXPECT_NE(scene, nullptr) << error;
    return scene;
}

HostNode* Find(HostNode& node, const std::string& name) {
    if (node.name() == name) return &node;
    for (const auto& child : node.children())
        if (HostNode* found = Find(*child, name)) return found;
    return nullptr;
}

const Mesh& MeshOf(HostNode& node) { return static_cast<HostTriObject*>(node.object()->FindBaseObject())->mesh(); }

}  // namespace

TEST(ImportMapping, ChannelsColoursAndMaps) {
    ScratchDir dir;
    // Two texture coordinate sets: the base colour reads set 0, the metal/roughness texture
    // (kept in the glossiness slot) set 1.
    auto scene = Import(kModels / "BoxTexcoords" / "boxTexcoords.gltf", dir.path());
    ASSERT_TRUE(scene);
    HostNode* cube = Find(scene->root(), "Cube");
    ASSERT_NE(cube, nullptr);
    EXPECT_TRUE(MeshOf(*cube).mapSupport(1));
    EXPECT_TRUE(MeshOf(*cube).mapSupport(2));
    auto* material = dynamic_cast<HostStdMaterial*>(cube->GetMtl());
    ASSERT_NE(material, nullptr);
    auto* diffuse = dynamic_cast<HostBitmapTex*>(material->maps[kMapDiffuse]);
    auto* gloss = dynamic_cast<HostBitmapTex*>(material->maps[kMapGlossiness]);
    ASSERT_TRUE(diffuse && gloss);
    EXPECT_EQ(diffuse->mapChannel, 1);
    EXPECT_EQ(gloss->mapChannel, 2);
    EXPECT_EQ(fs::path(diffuse->fileName), (kModels / "BoxTexcoords" / "texture.png").lexically_normal());
    // Cameras and lights without data, and other empty nodes, are dummies.
    for (const auto& child : scene->root().children())
        if (child.get() != cube) {
            EXPECT_EQ(child->object()->ClassID(), kDummyClassId) << child->name();
        }

    // Vertex colours: channel 0 with alpha in channel -2; the file has no material.
    scene = Import(kModels / "BoxVertexColors" / "BoxVertexColors.glb", dir.path());
    ASSERT_TRUE(scene);
    HostNode& box = *scene->root().children()[0];
    const Mesh& mesh = MeshOf(box);
    EXPECT_TRUE(mesh.mapSupport(kVertexColorChannel));
    EXPECT_TRUE(mesh.mapSupport(kVertexAlphaChannel));
    EXPECT_TRUE(mesh.hasColorVerts() && mesh.hasColorFaces());
    EXPECT_EQ(mesh.Map(kVertexAlphaChannel).tv[0].x, 1.0f);
    EXPECT_EQ(box.GetMtl(), nullptr);

    // Normal maps go through a normal-bump map in the bump slot.
    scene = Import(kModels / "ClearCoatTest" / "ClearCoatTest.gltf", dir.path());
    ASSERT_TRUE(scene);
    int normalMaps = 0;
    for (const auto& owned : scene->materials().materials()) {
        auto* standard = dynamic_cast<HostStdMaterial*>(owned.get());
        if (!standard || !standard->maps[kMapBump]) continue;
        auto* bump = dynamic_cast<HostNormalBump*>(standard->maps[kMapBump]);
        ASSERT_NE(bump, nullptr) << standard->name;
        auto* normal = dynamic_cast<HostBitmapTex*>(bump->normalMap);
        ASSERT_NE(normal, nullptr);
        const std::string file = fs::path(normal->fileName).filename().string();
        EXPECT_TRUE(file == "RibsNormal.png" || file == "PlasticWrap_normals.jpg") << file;
        ++normalMaps;
    }
    EXPECT_EQ(normalMaps, 6);
}

TEST(ImportMapping, MeshesOfOneNodeMergeUnderAMultiMaterial) {
    ScratchDir dir;
    std::ofstream(dir.path() / "two.mtl") << "newmtl Red\nKd 1 0 0\nKs 0.5 0.5 0.5\nNs 20\nd 0.5\n"
                                           "newmtl Green\nKd 0 1 0\nKe 0.25 0 0\nmap_Kd green.png\n";
    std::ofstream(dir.path() / "two.obj") << "mtllib two.mtl\no Pair\n"
                                           "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\nv 2 1 0\n"
                                           "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                                           "usemtl Red\nf 1/1 2/2 3/3 4/4\nusemtl Green\nf 2/1 5/2 6/3\n";
    auto scene = Import(dir.path() / "two.obj", dir.path());
    ASSERT_TRUE(scene);
    HostNode* pair = Find(scene->root(), "Pair");
    ASSERT_NE(pair, nullptr);
    // (Which faces take which material shows in the read-back of every exported model.)
    auto* multi = dynamic_cast<HostMultiMaterial*>(pair->GetMtl());
    ASSERT_NE(multi, nullptr);
    ASSERT_EQ(multi->subMaterials.size(), 2u);
    auto* red = dynamic_cast<HostStdMaterial*>(multi->subMaterials[0]);
    auto* green = dynamic_cast<HostStdMaterial*>(multi->subMaterials[1]);
    ASSERT_TRUE(red && green);
    EXPECT_EQ(red->name, "Red");
    EXPECT_EQ(red->diffuse, Color(1, 0, 0));
    EXPECT_FLOAT_EQ(red->transparency, 0.5f);
    EXPECT_FLOAT_EQ(red->shininess, 0.2f);  // exponent 20
    EXPECT_EQ(red->specular, Color(0.5f, 0.5f, 0.5f));
    EXPECT_FLOAT_EQ(red->shininessStrength, 10.0f);  // the colour as the file gives it
    EXPECT_TRUE(green->selfIllumColorOn);
    EXPECT_EQ(green->selfIllumColor, Color(0.25f, 0, 0));
    auto* map = dynamic_cast<HostBitmapTex*>(green->maps[kMapDiffuse]);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(fs::path(map->fileName), (dir.path() / "green.png").lexically_normal());
    EXPECT_EQ(MeshOf(*pair).mapFaces(1).size(), 3u);
}

// (Where each animation starts and ends on the timeline shows in the durations and poses of the
// read-back of every animated model.)
TEST(ImportMapping, FrameRatesThatDoNotDivideTheTicksAndClipNames) {
    // 7 frames per second do not divide the ticks of a second.
    ImportOptions options;
    options.frameRate = 7;
    std::string error;
    EXPECT_EQ(ImportInterchangeFile((kModels / "Fox" / "Fox.glb").string(), options, error), nullptr);
    EXPECT_EQ(error, (kModels / "Fox" / "Fox.glb").string() + ": frame rate 7 does not divide 4800 ticks per second");

    // Clip names: letters, digits and '_' only, no leading digit, at most 31 characters.
    EXPECT_EQ(LegalClipName("Step Scale", 0), "Step_Scale");
    EXPECT_EQ(LegalClipName("", 2), "Anim3");
    EXPECT_EQ(LegalClipName("2nd walk", 0), "_2nd_walk");
    EXPECT_EQ(LegalClipName(std::string(40, 'a'), 0), std::string(31, 'a'));
}

TEST(ImportMapping, FilesAssimpCannotReadGiveItsErrorWithTheFileName) {
    ScratchDir dir;
    ImportOptions options;
    options.textureDirectory = dir.path().string();
    std::string error;

    EXPECT_EQ(ImportInterchangeFile((dir.path() / "none.glb").string(), options, error), nullptr);
    EXPECT_EQ(error, (dir.path() / "none.glb").string() + ": no such file");

    const fs::path junk = dir.path() / "junk.gltf";
    std::ofstream(junk) << "{ \"asset\": { \"version\": \"2.0\" }, \"meshes\": [ { \"primitives\": [ { \"attributes\": "
                           "{ \"POSITION\": 7 } } ] } ], \"nodes\": [ { \"mesh\": 0 } ], \"scenes\": [ { \"nodes\": [0] } ] }";
    EXPECT_EQ(ImportInterchangeFile(junk.string(), options, error), nullptr);
    EXPECT_EQ(error.rfind(junk.string() + ": ", 0), 0u) << error;
    EXPECT_GT(error.size(), junk.string().size() + 2);

    EXPECT_EQ(ImportInterchangeFile(dir.path().string(), options, error), nullptr);
    EXPECT_EQ(error, dir.path().string() + ": is a folder, not a file");

    // Binary glTF headers whose lengths lie are refused before Assimp allocates what they claim.
    const auto glb = [&](uint32_t length, uint32_t jsonLength) {
        const fs::path file = dir.path() / "lie.glb";
        const uint32_t words[] = {0x46546C67, 2, length, jsonLength, 0x4E4F534A, 0x2020207B, 0x2020207D};
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(words), sizeof words);
        EXPECT_EQ(ImportInterchangeFile(file.string(), options, error), nullptr);
        return error.substr(file.string().size());
    };
    EXPECT_EQ(glb(1000000000, 8), ": binary glTF header gives a length of 1000000000 bytes, but the file holds 28");
    EXPECT_EQ(glb(28, 0xFFFFFF00u), ": binary glTF header gives its JSON chunk a length of 4294967040 bytes, beyond "
                                    "the file's 28");

    // Every cut of a binary file fails cleanly or imports; none crashes.
    std::ifstream in(kModels / "BoxVertexColors" / "BoxVertexColors.glb", std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const fs::path cut = dir.path() / "cut.glb";
    for (size_t length = 0; length < bytes.size(); length += 37) {
        std::ofstream(cut, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(length));
        error.clear();
        if (!ImportInterchangeFile(cut.string(), options, error)) {
            EXPECT_EQ(error.rfind(cut.string() + ": ", 0), 0u) << error;
        }
    }
}

TEST(ImportMapping, FilesWithoutGeometryImportAsTheyAre) {
    ScratchDir dir;
    std::vector<ImportedClip> clips;
    auto scene = Import(kOwnModels / "camera_and_animation.gltf", dir.path(), &clips);
    ASSERT_TRUE(scene);
    HostNode* camera = Find(scene->root(), "Cam");
    HostNode* mover = Find(scene->root(), "Mover");
    ASSERT_TRUE(camera && mover);
    EXPECT_EQ(camera->object()->SuperClassID(), kCameraClassId);
    EXPECT_EQ(mover->object()->ClassID(), kDummyClassId);
    EXPECT_NE(mover->controller(), nullptr);
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips[0], (ImportedClip{"Slide", 0, 30}));
}

TEST(ImportMapping, ClipsLastAsLongAsTheirAnimationAndImagesKeepTheirNames) {
    ScratchDir dir;
    std::vector<ImportedClip> clips;
    auto scene = Import(kOwnModels / "morph_and_images.gltf", dir.path(), &clips);
    ASSERT_TRUE(scene);
    // The node's keys end at 1 s but the animation lasts 2 s; morph weights alone last 2 s too.
    ASSERT_EQ(clips.size(), 2u);
    EXPECT_EQ(clips[0], (ImportedClip{"Morph", 0, 60}));
    EXPECT_EQ(clips[1], (ImportedClip{"OnlyMorph", 61, 121}));

    // Images keep their names, made legal and unique ignoring case; one without a name is named
    // after the model.
    std::set<std::string> files;
    for (const auto& owned : scene->materials().texmaps())
        if (auto* bitmap = dynamic_cast<HostBitmapTex*>(owned.get())) {
            EXPECT_EQ(fs::path(bitmap->fileName).parent_path(), fs::absolute(dir.path()));
            EXPECT_TRUE(fs::is_regular_file(bitmap->fileName)) << bitmap->fileName;
            files.insert(fs::path(bitmap->fileName).filename().string());
        }
    EXPECT_EQ(files, (std::set<std::string>{"Brick_Wall.png", "brick_wall_2.png", "morph_and_images_texture2.png"}));
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 3u);  // no temporary file is left
    // A name made of the model's file name is made legal the same way.
    ScratchDir other("odd-names");
    fs::copy_file(kOwnModels / "morph_and_images.gltf", other.path() / "F\xC3\xB4x model.gltf");
    ASSERT_TRUE(Import(other.path() / "F\xC3\xB4x model.gltf", other.path() / "images", nullptr));
    EXPECT_TRUE(fs::is_regular_file(other.path() / "images" / "F__x_model_texture2.png"));
    EXPECT_EQ(LegalImageName("C:\\art\\wood grain.final.jpg", "x"), "wood_grain.final");
    EXPECT_EQ(LegalImageName("../..", "fallback"), "fallback");
}

TEST(ImportMapping, TexturesThatCannotBeFoundAreReportedOnce) {
    ScratchDir dir;
    fs::create_directories(dir.path() / "sub" / "deeper");
    std::ofstream(dir.path() / "sub" / "deeper" / "found.png") << "x";
    std::ofstream(dir.path() / "here.png") << "x";
    HostScene scene;
    scene.SetCurFilePath((dir.path() / "scene.max").string());
    for (const std::string& file : {(dir.path() / "here.png").string(), std::string("/elsewhere/found.png"),
                                   std::string("C:\\art\\lost.png"), std::string("C:\\art\\lost.png"), std::string()}) {
        auto map = std::make_unique<HostBitmapTex>();
        map->fileName = file;
        scene.materials().AddTexmap(std::move(map));
    }
    const std::string folder = (dir.path() / "").string();
    EXPECT_EQ(MissingTextureWarnings(scene),
              std::vector<std::string>{"C:\\art\\lost.png: texture not found (looked there and in " + folder +
                                       ", subfolders included)"});
    scene.SetDir(kDirMaps, "/nonexistent/maps");
    EXPECT_EQ(MissingTextureWarnings(scene).at(0),
              "C:\\art\\lost.png: texture not found (looked there and in " + folder +
                  " and /nonexistent/maps, subfolders included)");
}

TEST(ImportMapping, UnpackFolderIsRemovedOnEveryPath) {
    std::string error;
    std::string path;
    {
        auto folder = UnpackFolder::Create(error);
        ASSERT_NE(folder, nullptr) << error;
        path = folder->path();
        EXPECT_EQ(fs::path(path).filename().string().rfind("plover-textures-", 0), 0u);
        std::ofstream(fs::path(path) / "a.png") << "x";
        fs::create_directories(fs::path(path) / "sub" / "deeper");  // not the import's, removed all the same
        std::ofstream(fs::path(path) / "sub" / "b.png") << "x";
    }
    EXPECT_FALSE(fs::exists(path));
    // The signal handler's way: everything in the folder, then the folder.
    auto folder = UnpackFolder::Create(error);
    ASSERT_NE(folder, nullptr) << error;
    for (int i = 0; i < 300; ++i) std::ofstream(fs::path(folder->path()) / ("image" + std::to_string(i) + ".png")) << "x";
    RemoveUnpackFolderNow();
    EXPECT_FALSE(fs::exists(folder->path()));
    RemoveUnpackFolderNow();  // nothing left to do
}

// The timeline's rate is one whose frames hold every key time and length: 30 where it can be,
// else the lowest common rate that does, else 30 again.
TEST(ImportMapping, TheFrameRateHoldsTheKeyTimes) {
    const auto rate = [](std::vector<TimeValue> times, TimeValue last) {
        std::vector<ImportedAnimation> animations(1);
        animations[0].last = last;
        for (TimeValue t : times) animations[0].nodes[nullptr].rotation.Push(t, Quat());
        return FrameRateOfKeys(animations);
    };
    EXPECT_EQ(rate({}, 0), 30);
    EXPECT_EQ(rate({0, 800, 1600}, 4800), 30);  // 24 would hold them too
    EXPECT_EQ(rate({0, 200, 400}, 400), 24);
    EXPECT_EQ(rate({0, 600}, 3400), 24);         // the length counts: 17 frames at 24, not 30
    EXPECT_EQ(rate({0, 200}, 1160), 120);        // a last key between 24ths
    EXPECT_EQ(rate({0, 80, 160}, 160), 60);
    EXPECT_EQ(rate({0, 192}, 192), 25);
    EXPECT_EQ(rate({0, 1}, 1), 30);              // no common rate holds a single tick
}
