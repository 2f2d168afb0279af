// Input that used to lose data without a word: each case exports what can be kept and says what
// was left out, naming the place in the input.
#include <gtest/gtest.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/test_files.h"
#include "tools/plover/commands.h"

namespace fs = std::filesystem;

namespace {

std::string Base64(const std::vector<uint8_t>& bytes) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const uint32_t n = (uint32_t(bytes[i]) << 16) | (i + 1 < bytes.size() ? uint32_t(bytes[i + 1]) << 8 : 0) |
                           (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        out += digits[n >> 18];
        out += digits[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? digits[n & 63] : '=';
    }
    return out;
}

// A small glTF with one buffer: accessors are added as float runs (or bytes) and referenced by
// their index.
struct Gltf {
    std::vector<uint8_t> buffer;
    std::string views, accessors;
    int count = 0;

    int Add(const void* data, size_t size, int componentType, int elements, const char* type) {
        const size_t offset = buffer.size();
        buffer.insert(buffer.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
        while (buffer.size() % 4) buffer.push_back(0);
        const std::string n = std::to_string(count);
        views += std::string(count ? "," : "") + R"({"buffer":0,"byteOffset":)" + std::to_string(offset) +
                 R"(,"byteLength":)" + std::to_string(size) + "}";
        accessors += std::string(count ? "," : "") + R"({"bufferView":)" + n + R"(,"componentType":)" +
                     std::to_string(componentType) + R"(,"count":)" + std::to_string(elements) + R"(,"type":")" + type +
                     "\"}";
        return count++;
    }
    int Floats(const std::vector<float>& v, int elements, const char* type) {
        return Add(v.data(), v.size() * 4, 5126, elements, type);
    }
    // The document: `body` holds the top-level members other than buffers, views and accessors.
    std::string Document(const std::string& body) const {
        return R"({"asset":{"version":"2.0"},)" + body + R"(,"buffers":[{"byteLength":)" +
               std::to_string(buffer.size()) + R"(,"uri":"data:application/octet-stream;base64,)" + Base64(buffer) +
               R"("}],"bufferViews":[)" + views + R"(],"accessors":[)" + accessors + "]}";
    }
};

const std::vector<float> kTriangle = {0, 0, 0, 1, 0, 0, 0, 1, 0};

class LostData : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_.path() / "config");
        command_.configDir = (dir_.path() / "config").string();
        command_.pluginPath = std::string(PLOVER_BINARY_DIR) + "/plover.dle";
        command_.quiet = true;
        command_.outputPath = (dir_.path() / "out.x").string();
        command_.settings = {"XFileType=0"};
    }
    // Exports the text as the file `name`; returns the exit code, what was said in `said`.
    int Export(const std::string& name, const std::string& text, std::string& said) {
        std::ofstream(dir_.path() / name, std::ios::binary) << text;
        command_.scenePath = (dir_.path() / name).string();
        ::testing::internal::CaptureStderr();
        const int code = RunExportCommand(command_);
        said = ::testing::internal::GetCapturedStderr();
        return code;
    }
    std::string X() const { return ReadText(command_.outputPath); }

    ScratchDir dir_;
    ExportCommand command_;
};

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

// A skinned mesh whose node is one of its own joints used to vanish (0 meshes, no word).
TEST_F(LostData, ASkinnedMeshThatIsItsOwnJointIsExported) {
    Gltf g;
    const int position = g.Floats(kTriangle, 3, "VEC3");
    const uint8_t joints[12] = {};
    const int joint = g.Add(joints, sizeof joints, 5121, 3, "VEC4");
    const int weight = g.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}, 3, "VEC4");
    const int bind = g.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, 1, "MAT4");
    std::string said;
    ASSERT_EQ(Export("self.gltf",
                     g.Document(R"("scenes":[{"nodes":[0]}],"nodes":[{"name":"Body","mesh":0,"skin":0}],)"
                                R"("skins":[{"joints":[0],"inverseBindMatrices":)" + std::to_string(bind) + "}],"
                                R"("meshes":[{"primitives":[{"attributes":{"POSITION":)" + std::to_string(position) +
                                R"(,"JOINTS_0":)" + std::to_string(joint) + R"(,"WEIGHTS_0":)" +
                                std::to_string(weight) + "}}]}]"),
                     said),
              0)
        << said;
    const std::string x = X();
    EXPECT_EQ(Count(x, "\n Mesh Body {"), 1u) << x;
    EXPECT_NE(x.find("SkinWeights {\n   \"Body\";"), std::string::npos) << "the mesh's weights name its own frame";
}

// Key times that do not increase used to drop the channel; a texture coordinate or a key that is
// not finite used to fail the export with a message about the X file. Now the keys that can be
// kept are, the values that cannot are written as 0 or left out, and each is named.
TEST_F(LostData, KeysOutOfOrderAndValuesThatAreNotFiniteAreNamed) {
    const float nan = std::nanf(""), inf = INFINITY;
    Gltf g;
    const int position = g.Floats(kTriangle, 3, "VEC3");
    const int uv = g.Floats({0, 0, nan, 0, 0, inf}, 3, "VEC2");
    const int times = g.Floats({0, 1, 0.5f, 1, 2}, 5, "SCALAR");
    const int moves = g.Floats({0, 0, 0, 0, 0, 1, 0, 0, 9, 0, 0, 9, 0, 0, 2}, 5, "VEC3");
    const int turnTimes = g.Floats({0, 1, 2}, 3, "SCALAR");
    const int turns = g.Floats({0, 0, 0, 1, nan, 0, 0, 1, 0, 0, 0, 1}, 3, "VEC4");
    const std::string n = "\"node\":0";
    std::string said;
    ASSERT_EQ(Export("keys.gltf",
                     g.Document(R"("scenes":[{"nodes":[0]}],"nodes":[{"name":"Body","mesh":0}],)"
                                R"("meshes":[{"primitives":[{"attributes":{"POSITION":)" + std::to_string(position) +
                                R"(,"TEXCOORD_0":)" + std::to_string(uv) + "}}]}],"
                                R"("animations":[{"name":"Move","samplers":[{"input":)" + std::to_string(times) +
                                R"(,"output":)" + std::to_string(moves) + R"(},{"input":)" +
                                std::to_string(turnTimes) + R"(,"output":)" + std::to_string(turns) +
                                R"(}],"channels":[{"sampler":0,"target":{)" + n +
                                R"(,"path":"translation"}},{"sampler":1,"target":{)" + n +
                                R"(,"path":"rotation"}}]}])"),
                     said),
              0)
        << said;
    const std::string file = (dir_.path() / "keys.gltf").string();
    EXPECT_NE(said.find(file + ": animation Move, node Body, translation: 2 keys at or before the time of the key "
                               "before it were left out"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find(file + ": animation Move, node Body, rotation: 1 key not finite"), std::string::npos) << said;
    EXPECT_NE(said.find(": mesh of node Body: 2 of its texture coordinate set 0 are not finite (NaN or infinite) and "
                        "written as 0"),
              std::string::npos)
        << said;
    // The translation keeps its keys at 0, 1 and 2 seconds: the node goes up to 1 and down to 2.
    const std::string x = X();
    EXPECT_NE(x.find("AnimationSet Move"), std::string::npos);
    EXPECT_NE(x.find("1.000000;;"), std::string::npos) << x;
}

// A clip name with a line break in a scene document used to be refused as an option error; an
// imported model's was cleaned up. Both are cleaned up alike.
TEST_F(LostData, AClipNameWithALineBreakIsCleanedUp) {
    std::string said;
    ASSERT_EQ(Export("clips.json", R"({"plover_scene": 1, "time": {"frameRate": 30, "animationRange": [0, 10]},
      "clips": [{"name": "Walk\nCycle", "start": 0, "end": 10}],
      "nodes": [{"name": "Box", "object": {"type": "mesh", "mesh": {"vertices": [0,0,0, 1,0,0, 0,1,0], "faces": [0,1,2]}},
        "tmController": {"type": "transform", "position": {"times": [0, 1600], "values": [0,0,0, 0,0,5]}}}]})",
                     said),
              0)
        << said;
    EXPECT_NE(X().find("AnimationSet Walk_Cycle"), std::string::npos);
}

// A texture whose name is the X file's own used to fail the export ("it names no file"): the X
// file keeps its name and the texture gets one of its own.
TEST_F(LostData, ATextureNamedAsTheOutputGetsANameOfItsOwn) {
    fs::create_directories(dir_.path() / "maps");
    std::ofstream(dir_.path() / "maps" / "out.x") << "an image";
    std::string said;
    ASSERT_EQ(Export("named.json", R"({"plover_scene": 1,
      "maps": [{"name": "m", "type": "bitmap", "file": "maps/out.x"}],
      "materials": [{"name": "M", "type": "standard", "maps": {"diffuse": "m"}}],
      "nodes": [{"name": "Box", "material": "M",
        "object": {"type": "mesh", "mesh": {"vertices": [0,0,0, 1,0,0, 0,1,0], "faces": [0,1,2]}}}]})",
                     said),
              0)
        << said;
    const std::string x = X();
    EXPECT_EQ(x.substr(0, 16), "xof 0303txt 0032");
    EXPECT_NE(x.find("\"out_2.x\""), std::string::npos) << x;
    EXPECT_EQ(ReadText(dir_.path() / "out_2.x"), "an image");
}

// Values from 2^64 on used to be written in text as 39-digit numbers Assimp cannot read.
TEST_F(LostData, HugeValuesInATextFileAreReadByAssimp) {
    std::string said;
    ASSERT_EQ(Export("far.json", R"({"plover_scene": 1, "nodes": [{"name": "Far",
        "transform": [1,0,0, 0,1,0, 0,0,1, 1e20,0,0],
        "object": {"type": "mesh", "mesh": {"vertices": [0,0,0, 3e38,0,0, 0,1,0], "faces": [0,1,2]}}}]})",
                     said),
              0)
        << said;
    Assimp::Importer reader;
    const aiScene* scene = reader.ReadFile(command_.outputPath, 0);
    ASSERT_TRUE(scene) << reader.GetErrorString();
    ASSERT_EQ(scene->mNumMeshes, 1u);
    float farthest = 0;
    for (unsigned v = 0; v < scene->mMeshes[0]->mNumVertices; ++v)
        farthest = std::max(farthest, scene->mMeshes[0]->mVertices[v].x);
    EXPECT_GT(farthest, 1.8e19f);
}

// A value that overflows only once the export scales it used to fail with a message about the X
// file's save; the node and what overflowed are named instead, before anything is written.
TEST_F(LostData, ValuesThatOverflowOnceScaledNameTheirNode) {
    command_.settings = {"XFileType=0", "SpaceScaleEnable=1", "SpaceScale=100"};
    const std::string triangle = R"({"type": "mesh", "mesh": {"vertices": [0,0,0, 1,0,0, 0,1,0], "faces": [0,1,2]}})";
    std::string said;
    EXPECT_EQ(Export("far.json", R"({"plover_scene": 1, "nodes": [{"name": "Far",
        "object": {"type": "mesh", "mesh": {"vertices": [0,0,0, 3e38,0,0, 0,1,0], "faces": [0,1,2]}}}]})",
                     said),
              1);
    EXPECT_NE(said.find("The node Far cannot be exported: its mesh's vertices are beyond the range of a float once "
                        "converted to the output's coordinates (scaled by 100)"),
              std::string::npos)
        << said;
    EXPECT_EQ(Export("moves.json", R"({"plover_scene": 1, "time": {"frameRate": 30, "animationRange": [0, 10]},
        "nodes": [{"name": "Mover", "object": )" + triangle + R"(, "tmController": {"type": "transform",
          "position": {"times": [0, 1600], "values": [0,0,0, 0,0,3e38]}}}]})",
                     said),
              1);
    EXPECT_NE(said.find("The node Mover cannot be exported: its position keys in clip Anim1 are beyond"),
              std::string::npos)
        << said;
    EXPECT_FALSE(fs::exists(command_.outputPath));
}
