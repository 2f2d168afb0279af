// Models from strangers: the files an import reads and writes stay the model's own. Images get
// the extension of what their bytes are, buffers and textures stay in the model's folder unless
// the user allows more, pipes are never opened, and a file that goes to Assimp is checked as the
// glTF reader checks what it reads.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/test_files.h"
#include "host/import/interchange_import.h"
#include "host/import/unpack_folder.h"
#include "host/objects/host_materials.h"

namespace fs = std::filesystem;

namespace {

const std::string kPng = "\x89PNG\r\n\x1a\n";

// A glTF model of one triangle whose positions are buffer 0 (36 bytes from `bufferUri`), with
// `more` added to its top level (after a comma) and `primitive` to the primitive.
std::string Model(const std::string& bufferUri, const std::string& more = "", const std::string& primitive = "") {
    return R"({"asset":{"version":"2.0"},"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],)"
           R"("meshes":[{"primitives":[{"attributes":{"POSITION":0})" + primitive + R"(}]}],)"
           R"("buffers":[{"uri":")" + bufferUri + R"(","byteLength":36}],)"
           R"("bufferViews":[{"buffer":0,"byteLength":36}],)"
           R"("accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"}])" +
           (more.empty() ? "" : "," + more) + "}";
}

struct Imported {
    std::unique_ptr<HostScene> scene;
    std::string error;
    std::vector<std::string> warnings;
};

Imported Import(const fs::path& file, const std::string& text, bool allowOutside = false,
                const fs::path& textures = {}) {
    std::ofstream(file, std::ios::binary) << text;
    ImportOptions options;
    options.textureDirectory = textures.empty() ? (file.parent_path() / "textures").string() : textures.string();
    options.allowOutsideFiles = allowOutside;
    Imported result;
    options.warnings = &result.warnings;
    result.scene = ImportInterchangeFile(file.string(), options, result.error);
    return result;
}

// The file of the first bitmap map of the scene's materials.
std::string FirstBitmapFile(HostScene& scene) {
    for (const auto& map : scene.materials().texmaps())
        if (const auto* bitmap = dynamic_cast<const HostBitmapTex*>(map.get())) return bitmap->fileName;
    return {};
}

}  // namespace

TEST(UntrustedModel, ImagesAreNamedByTheirBytesAndNeverReplaceOtherFiles) {
    ScratchDir dir;
    const fs::path model = dir.path() / "model";
    fs::create_directories(model);
    std::ofstream(model / "b.bin", std::ios::binary) << std::string(36, '\0');
    // Two images stored in the file, named "m" and "notes", that claim to be a model and text.
    const std::string images =
        R"("images":[{"name":"m","uri":"data:image/glb;base64,iVBORw0KGgo="},)"
        R"({"name":"notes","uri":"data:text/plain;base64,aGVsbG8="}],)"
        R"("textures":[{"source":0},{"source":1}],)"
        R"("materials":[{"pbrMetallicRoughness":{"baseColorTexture":{"index":0}},"emissiveTexture":{"index":1}}])";
    // Written beside the model (as `plover dump` does): the model and the notes stay.
    std::ofstream(model / "notes.bin") << "the user's notes";
    std::ofstream(model / "m.png") << "not an image";
    const Imported beside = Import(model / "m.gltf", Model("b.bin", images, R"(,"material":0)"), false, model);
    ASSERT_TRUE(beside.scene) << beside.error;
    EXPECT_EQ(ReadText(model / "m_2.png"), kPng);
    EXPECT_EQ(ReadText(model / "m.png"), "not an image");
    EXPECT_EQ(ReadText(model / "notes_2.bin"), "hello");
    EXPECT_EQ(ReadText(model / "notes.bin"), "the user's notes");
    EXPECT_EQ(FirstBitmapFile(*beside.scene), (model / "m_2.png").string());
    // An image of its name's kind is replaced, as a second dump of the model replaces its images.
    std::ofstream(model / "m.png") << kPng + "older";
    const Imported again = Import(model / "m.gltf", Model("b.bin", images, R"(,"material":0)"), false, model);
    ASSERT_TRUE(again.scene) << again.error;
    EXPECT_EQ(ReadText(model / "m.png"), kPng);
}

TEST(UntrustedModel, ReferencesStayInTheModelsFolderUnlessAllowed) {
    ScratchDir dir;
    const fs::path model = dir.path() / "model";
    fs::create_directories(model / "sub");
    std::ofstream(model / "sub" / "b.bin", std::ios::binary) << std::string(36, '\0');
    std::ofstream(dir.path() / "outside.bin", std::ios::binary) << std::string(36, '\0');
    std::ofstream(dir.path() / "secret.png", std::ios::binary) << kPng;
    fs::create_symlink(dir.path() / "outside.bin", model / "link.bin");
    const fs::path file = model / "m.gltf";
    const std::string folder = model.string();

    EXPECT_TRUE(Import(file, Model("sub/b.bin")).scene);
    for (const std::string& uri : {(dir.path() / "outside.bin").string(), std::string("../outside.bin"),
                                  std::string("link.bin"), std::string("sub/../../outside.bin")}) {
        const Imported refused = Import(file, Model(uri));
        EXPECT_FALSE(refused.scene) << uri;
        EXPECT_EQ(refused.error, file.string() + ": buffer 0's uri " + uri + " is outside the model's folder " +
                                     folder + " (--allow-outside-files reads it)");
        EXPECT_TRUE(Import(file, Model(uri), true).scene) << uri;
    }

    // A texture outside the folder is looked for by its name inside it, with a warning.
    const std::string image = R"("images":[{"uri":"../secret.png"}],"textures":[{"source":0}],)"
                              R"("materials":[{"pbrMetallicRoughness":{"baseColorTexture":{"index":0}}}])";
    const Imported texture = Import(file, Model("sub/b.bin", image, R"(,"material":0)"));
    ASSERT_TRUE(texture.scene) << texture.error;
    EXPECT_EQ(FirstBitmapFile(*texture.scene), (model / "secret.png").string());
    ASSERT_EQ(texture.warnings.size(), 1u);
    EXPECT_EQ(texture.warnings[0], file.string() + ": the texture ../secret.png is outside the model's folder " +
                                       folder + " and was not read (--allow-outside-files reads it); the scene names " +
                                       (model / "secret.png").string() + " instead");
    const Imported allowed = Import(file, Model("sub/b.bin", image, R"(,"material":0)"), true);
    EXPECT_EQ(FirstBitmapFile(*allowed.scene), (dir.path() / "secret.png").string());

    // Assimp's readers open only files of the folder too (an OBJ's material library here).
    std::ofstream(dir.path() / "outside.mtl") << "newmtl Red\nKd 1 0 0\n";
    std::ofstream(model / "m.obj") << "mtllib ../outside.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl Red\nf 1 2 3\n";
    ImportOptions options;
    std::vector<std::string> warnings;
    options.warnings = &warnings;
    std::string error;
    EXPECT_TRUE(ImportInterchangeFile((model / "m.obj").string(), options, error)) << error;
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], (model / "m.obj").string() + ": " + (model / "../outside.mtl").string() +
                               " is outside the model's folder " + folder +
                               " (--allow-outside-files reads it); it was not read");
}

TEST(UntrustedModel, APipeOrDeviceIsNeverOpened) {
    ScratchDir dir;
    ASSERT_EQ(mkfifo((dir.path() / "pipe.bin").c_str(), 0600), 0);
    const fs::path file = dir.path() / "m.gltf";
    const Imported pipe = Import(file, Model("pipe.bin"));  // would block for ever in open()
    EXPECT_EQ(pipe.error, file.string() + ": buffer 0's uri " + (dir.path() / "pipe.bin").string() +
                              " is not a regular file");
    const Imported device = Import(file, Model("/dev/zero"), true);
    EXPECT_EQ(device.error, file.string() + ": buffer 0's uri /dev/zero is not a regular file");
}

TEST(UntrustedModel, FilesForAssimpAreCheckedAsTheGltfReaderChecksItsOwn) {
    ScratchDir dir;
    // A skinned triangle in a 256-byte buffer: positions, joints (all 0) and weights (1, 0, 0, 0),
    // then room for inverse bind matrices; it goes to Assimp for an extension the reader lacks.
    std::string bin(256, '\0');
    const auto one = [&](size_t at) {
        const float value = 1;
        std::memcpy(bin.data() + at, &value, 4);
    };
    one(12), one(28);  // positions (0 0 0) (1 0 0) (0 1 0)
    for (size_t v = 0; v < 3; ++v) one(60 + v * 16);  // weights
    for (size_t m = 0; m < 2; ++m)
        for (size_t d = 0; d < 4; ++d) one(108 + m * 64 + d * 20);  // identity inverse bind matrices
    std::ofstream(dir.path() / "b.bin", std::ios::binary) << bin;
    const auto model = [](const std::string& extra, const std::string& skin, const std::string& animation) {
        return R"({"asset":{"version":"2.0"},"extensionsUsed":["EXT_unknown"],)" + extra +
               R"("scenes":[{"nodes":[0,1]}],"nodes":[{"mesh":0,"skin":0},{"name":"bone"}],)"
               R"("meshes":[{"primitives":[{"attributes":{"POSITION":0,"JOINTS_0":1,"WEIGHTS_0":2}}]}],)"
               R"("skins":[)" + skin + R"(],"buffers":[{"uri":"b.bin","byteLength":256}],)"
               R"("bufferViews":[{"buffer":0,"byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":24},)"
               R"({"buffer":0,"byteOffset":60,"byteLength":48},{"buffer":0,"byteOffset":108,"byteLength":148}],)"
               R"("accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"},)"
               R"({"bufferView":1,"componentType":5123,"count":3,"type":"VEC4"},)"
               R"({"bufferView":2,"componentType":5126,"count":3,"type":"VEC4"},)"
               R"({"bufferView":3,"componentType":5126,"count":2,"type":"MAT4"},)"
               R"({"bufferView":3,"componentType":5126,"count":2,"type":"VEC4"},)"
               R"({"bufferView":3,"componentType":5126,"count":2,"type":"SCALAR"},)"
               R"({"bufferView":3,"componentType":5126,"count":4,"type":"VEC3"}])" + animation + "}";
    };
    const std::string oneJoint = R"({"joints":[1],"inverseBindMatrices":3})";
    const std::string why = ", which Assimp cannot read safely (the file goes to Assimp for extension EXT_unknown)";
    const fs::path file = dir.path() / "m.gltf";
    const struct {
        std::string text;
        std::string message;  // empty: the file imports
    } cases[] = {
        {model("", oneJoint, ""), ""},
        {model("", R"({"joints":[1,1,1],"inverseBindMatrices":3})", ""),
         "skin 0 has 2 inverse bind matrices for 3 joints" + why},
        {model("", R"({"joints":[1],"inverseBindMatrices":4})", ""),
         "skin 0's inverseBindMatrices is not a MAT4 accessor of floats" + why},
        // Two key times: a cubic spline needs 6 outputs, linear keys 2.
        {model("", oneJoint,
               R"(,"animations":[{"samplers":[{"input":5,"output":6,"interpolation":"CUBICSPLINE"}],)"
               R"("channels":[{"sampler":0,"target":{"node":1,"path":"translation"}}]}])"),
         "animation 0 channel 0 has 4 output values for 2 key times (6 needed)" + why},
        {model("", oneJoint,
               R"(,"animations":[{"samplers":[{"input":5,"output":4}],)"
               R"("channels":[{"sampler":0,"target":{"node":1,"path":"translation"}}]}])"),
         "animation 0 channel 0's output is not a VEC3 accessor of floats" + why},
        {model(R"("extensionsRequired":["EXT_unknown"],)", oneJoint, ""),
         "the file requires the extension EXT_unknown, which neither glTF reader here reads"},
    };
    for (const auto& c : cases) {
        const Imported imported = Import(file, c.text);
        EXPECT_EQ(imported.scene == nullptr, !c.message.empty()) << c.message << imported.error;
        if (!c.message.empty()) {
            EXPECT_EQ(imported.error, file.string() + ": " + c.message);
        }
    }
    // Assimp compares every bone with every other: a skin with very many joints is refused.
    std::string joints = "1";
    for (int j = 0; j < 16384; ++j) joints += ",1";
    const Imported many = Import(file, model("", R"({"joints":[)" + joints + "]}", ""));
    EXPECT_EQ(many.error, file.string() + ": skin 0 has 16385 joints, more than the 16384 Assimp is given (the file "
                                          "goes to Assimp for extension EXT_unknown; the glTF reader takes more)");
}

TEST(UntrustedModel, FoldersOfKilledProcessesAreRemovedByTheNextImport) {
    ScratchDir dir;
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    const fs::path dead = dir.path() / ("plover-textures-" + std::to_string(child) + "-AbC123");
    fs::create_directories(dead);
    std::ofstream(dead / "m.png") << kPng;
    const fs::path running = dir.path() / "plover-textures-1-XyZ789";  // pid 1 runs
    fs::create_directories(running);
    const fs::path old = dir.path() / "plover-textures-QwErTy";  // no process id: left alone
    fs::create_directories(old);
    fs::create_directories(dir.path() / "target");
    fs::create_directory_symlink(dir.path() / "target",
                                 dir.path() / ("plover-textures-" + std::to_string(child) + "-link"));
    EXPECT_EQ(RemoveStaleUnpackFolders(dir.path().string()), 1);
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_TRUE(fs::exists(running));
    EXPECT_TRUE(fs::exists(old));
    EXPECT_TRUE(fs::exists(dir.path() / "target"));
}
