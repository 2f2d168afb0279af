// FBX files through Assimp: the file's units and axes, no frame for Assimp's own root, and
// vertices welded. One Blender scene written as FBX and as glTF (tests/assets/fbx) must give
// the same meshes in the same places.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/test_files.h"
#include "host/import/interchange_import.h"
#include "host/objects/host_objects.h"
#include "options/options_file.h"
#include "plugin/do_export.h"

namespace fs = std::filesystem;

namespace {

const fs::path kAssets = fs::path(PLOVER_TEST_DATA_DIR) / "assets" / "fbx";

std::unique_ptr<HostScene> Import(const fs::path& file, const fs::path& dir) {
    ImportOptions options;
    options.textureDirectory = (dir / "textures").string();
    std::string error;
    auto scene = ImportInterchangeFile(file.string(), options, error);
    EXPECT_TRUE(scene) << error;
    return scene;
}

// The text X file of the scene, without animation, with "-0.000000" written as "0.000000" (the
// two readers round the sign of a zero differently).
std::string ExportText(HostScene& scene, const fs::path& out) {
    std::ofstream(out.parent_path() / kConfigFileName) << "[Option]\nXFileType=0\nAnimation=0\n";
    scene.SetDir(kDirPlugCfg, out.parent_path().string());
    XDoExport(out.string().c_str(), nullptr, &scene, 1, 0);
    std::string text = ReadText(out);
    for (size_t at = text.find("-0.000000"); at != std::string::npos; at = text.find("-0.000000", at)) text.erase(at, 1);
    return text;
}

// The text from the line that starts with `first` to the next line that starts with `last`.
std::string Section(const std::string& text, const std::string& first, const std::string& last) {
    const size_t begin = text.find("\n" + first);
    if (begin == std::string::npos) return "missing " + first;
    return text.substr(begin, text.find("\n" + last, begin + 1) - begin);
}

HostNode* Child(HostNode& parent, const std::string& name) {
    for (int i = 0; i < parent.NumberOfChildren(); ++i) {
        auto* child = static_cast<HostNode*>(parent.GetChildNode(i));
        if (child->name() == name) return child;
    }
    return nullptr;
}

}  // namespace

TEST(FbxImport, TheSameBlenderSceneAsFbxAndAsGltfGivesTheSameMeshesInTheSamePlaces) {
    ScratchDir dir;
    auto fbx = Import(kAssets / "column.fbx", dir.path());
    auto gltf = Import(kAssets / "column.glb", dir.path());
    ASSERT_TRUE(fbx && gltf);
    // Assimp's "RootNode" stands for the file's implicit root: the file's top-level nodes are
    // the scene's, with the skinned column where the file has it.
    for (const char* name : {"Rig", "Body", "Box"}) EXPECT_TRUE(Child(fbx->root(), name)) << name;
    EXPECT_FALSE(Child(fbx->root(), "RootNode"));
    // The FBX keeps a vertex per face corner (32); welded, the column has Blender's 12.
    HostNode* body = Child(fbx->root(), "Body");
    ASSERT_TRUE(body);
    Object* object = body->GetObjectRef();  // the skin's stack over the mesh
    ASSERT_TRUE(object);
    EXPECT_EQ(object->NumPoints(), 12);

    const std::string fromFbx = ExportText(*fbx, dir.path() / "fbx.x");
    const std::string fromGltf = ExportText(*gltf, dir.path() / "gltf.x");
    EXPECT_EQ(fromFbx.find("RootNode"), std::string::npos);
    // Centimetres and the file's axes are undone: the box stands 2 m along X, its centre 0.25 m
    // up, as in Blender and in the glTF; the column's vertices and weights are the same.
    EXPECT_EQ(Section(fromFbx, "Frame Box", "}"), Section(fromGltf, "Frame Box", "}"));
    EXPECT_NE(Section(fromFbx, "Frame Box", "}").find("2.000000,0.250000,0.000000,1.000000;;"), std::string::npos);
    EXPECT_EQ(Section(fromFbx, " Mesh Box", " }"), Section(fromGltf, " Mesh Box", " }"));
    EXPECT_EQ(Section(fromFbx, " Mesh Body", "  XSkinMeshHeader"), Section(fromGltf, " Mesh Body", "  XSkinMeshHeader"));
}
