#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "common/xfile_samples.h"
#include "tools/plover/inspect_command.h"
#include "xformat/xsummary.h"

using namespace xfile;
using namespace xfile_test;

namespace {

std::string WriteTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::filesystem::path path = std::filesystem::path(PLOVER_BINARY_DIR) / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

TEST(Inspect, PrintsTheTreeSummaryAndJsonOrTheReadersError) {
    std::string path = WriteTemp("inspect_scene.x", SaveSample(WriteSampleScene, XFileFormat::CompressedBinary));
    std::ostringstream out, err;
    ASSERT_EQ(RunInspect(path, false, out, err), 0) << err.str();
    std::string text = out.str();
    EXPECT_NE(text.find("compressed binary X file, 31 templates defined, 30 objects"), std::string::npos) << text;
    EXPECT_NE(text.find("\nMaterial Red (44 bytes) faceColor=(1, 0, 0, 1) power=10 specularColor=(0.5, 0.5, 0.5)"),
              std::string::npos) << text;
    EXPECT_NE(text.find("SkinWeights (97 bytes) transformNodeName=\"Bone\" nWeights=3 vertexIndices=[0, 1, 2]"),
              std::string::npos) << text;

    std::ostringstream json;
    ASSERT_EQ(RunInspect(path, true, json, err), 0);
    std::string j = json.str();
    EXPECT_EQ(j.rfind("{\"file\":", 0), 0u);
    EXPECT_NE(j.find("\"format\":\"compressed binary\""), std::string::npos);
    EXPECT_NE(j.find("{\"template\":\"AnimTicksPerSecond\",\"templateGuid\":\"9E415A43-7BA6-4A73-8743-B73D47E88476\","
                     "\"payloadSize\":4,\"fields\":{\"AnimTicksPerSecond\":4800},\"children\":[]}"),
              std::string::npos) << j;
    EXPECT_NE(j.find("\"Floats\":{\"count\":3,\"type\":\"FLOAT\",\"values\":[1,0.5,0.25]}"), std::string::npos) << j;

    std::ostringstream summary;
    ASSERT_EQ(RunInspect(path, false, summary, err, true), 0);
    EXPECT_EQ(summary.str().substr(summary.str().find('\n')),
              "\n3 frames, 2 meshes, 2 triangles, 6 vertices, 1 bone, 1 clip, 1 material, 1 texture\n"
              "clip Wave: 1.000 s (4800 ticks at 4800 per second, 7 keys)\n");

    // A malformed file fails with the reader's error.
    std::vector<uint8_t> bytes = SaveSample(WriteSampleScene, XFileFormat::Text);
    bytes.resize(bytes.size() - 40);
    path = WriteTemp("inspect_truncated.x", bytes);
    EXPECT_EQ(RunInspect(path, false, out, err), 1);
    EXPECT_NE(err.str().find("inspect_truncated.x: line "), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("expected a number for 'values' of 'FloatKeys', found the end of the data"), std::string::npos) << err.str();
    EXPECT_EQ(RunInspect(path + ".missing", true, out, err), 1);  // (the command refuses it before, with 2)
}

// The style of other writers: a header object, quads, materials inline in the material list,
// 64-bit floats, an explicit tick rate, matrix keys and a set without keys.
const char kForeignFile[] =
    "xof 0302txt 0064\n"
    "Header { 1; 0; 1; }\n"
    "AnimTicksPerSecond { 30; }\n"
    "Frame Root { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }\n"
    " Frame Bone1 { } Frame Bone2 { }\n"
    " Mesh Quad { 5; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;, 2;2;0;;\n"
    "  2; 4;0,1,2,3;, 3;1,4,2;;\n"
    "  MeshMaterialList { 2; 2; 0, 1;;\n"
    "   Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"skin.png\"; } }\n"
    "   Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"skin.png\"; } } }\n"
    "  XSkinMeshHeader { 1; 1; 2; }\n"
    "  SkinWeights { \"Bone1\"; 1; 0; 1.0; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n"
    "  SkinWeights { \"Bone2\"; 1; 4; 1.0; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n"
    "  SkinWeights { \"Bone1\"; 1; 1; 1.0; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } } }\n"
    "AnimationSet Wave { Animation { { Bone1 } AnimationKey { 4; 2;\n"
    "  10; 16; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;;,\n"
    "  55; 16; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;;; } } }\n"
    "AnimationSet Still { }\n";

// The style of other writers: the same counts in text and in JSON.
TEST(Inspect, SummaryCountsOtherWritersFiles) {
    const std::string foreign = kForeignFile;
    std::string path = WriteTemp("inspect_foreign.x", std::vector<uint8_t>(foreign.begin(), foreign.end()));
    std::ostringstream out, err;
    ASSERT_EQ(RunInspect(path, false, out, err, true), 0) << err.str();
    EXPECT_NE(out.str().find("3 frames, 1 mesh, 3 triangles in 2 faces, 5 vertices, 2 bones, 2 clips, 2 materials, "
                             "1 texture\nclip Wave: 1.500 s (45 ticks at 30 per second, 2 keys)\n"
                             "clip Still: 0.000 s (0 ticks at 30 per second, 0 keys)\n"),
              std::string::npos) << out.str();
    std::ostringstream json;
    ASSERT_EQ(RunInspect(path, true, json, err, true), 0);
    EXPECT_NE(json.str().find("\"frames\":3,\"meshes\":1,\"faces\":2,\"triangles\":3,\"vertices\":5,\"bones\":2,"
                              "\"materials\":2,\"textures\":1,\"ticksPerSecond\":30,\"clips\":[{\"name\":\"Wave\","
                              "\"keys\":2,\"firstTick\":10,\"lastTick\":55,\"seconds\":1.5},"),
              std::string::npos) << json.str();

    // A material written into each mesh that uses it counts once by its name, as the exporter
    // counts it; each unnamed one (a mesh's default material) counts on its own.
    const std::string red = "Material Red { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; }";
    const std::string mesh = " { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { ";
    const std::string twice = "xof 0303txt 0032\nMesh A" + mesh + "1; 1; 0;; " + red + " } }\nMesh B" + mesh +
                              "2; 1; 0;; " + red + " Material { 0;0;1;1;; 0; 0;0;0;; 0;0;0;; } } }\n";
    path = WriteTemp("inspect_shared.x", std::vector<uint8_t>(twice.begin(), twice.end()));
    std::ostringstream shared;
    ASSERT_EQ(RunInspect(path, false, shared, err, true), 0) << err.str();
    EXPECT_NE(shared.str().find("0 frames, 2 meshes, 2 triangles, 6 vertices, 0 bones, 0 clips, 2 materials"),
              std::string::npos)
        << shared.str();
}

}  // namespace
