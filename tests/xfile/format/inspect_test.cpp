#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/xfile_samples.h"
#include "xfile/format/inspect.h"

using namespace xfile;
using namespace xfile_test;

namespace {

std::string WriteTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::filesystem::path path = std::filesystem::path(PLOVER_BINARY_DIR) / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

TEST(Inspect, PrintsTheTreeWithSummariesAndJson) {
    std::string path = WriteTemp("inspect_scene.x", SaveSample(WriteSampleScene, XFileFormat::CompressedBinary));
    std::ostringstream out, err;
    ASSERT_EQ(RunInspect(path, false, out, err), 0) << err.str();
    std::string text = out.str();
    EXPECT_NE(text.find("compressed binary X file, 31 templates defined, 30 objects"), std::string::npos) << text;
    EXPECT_NE(text.find("\nMaterial Red (44 bytes) faceColor=(1, 0, 0, 1) power=10 specularColor=(0.5, 0.5, 0.5)"),
              std::string::npos) << text;
    EXPECT_NE(text.find("\n    Mesh Tri (60 bytes) nVertices=3 vertices=[3 x Vector] nFaces=1 faces=[1 x MeshFace]\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find("\n        { Red }\n"), std::string::npos) << text;
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
    EXPECT_NE(j.find("{\"reference\":\"Bone\"}"), std::string::npos);
    EXPECT_NE(j.find("\"Floats\":{\"count\":3,\"type\":\"FLOAT\",\"values\":[1,0.5,0.25]}"), std::string::npos) << j;
}

TEST(Inspect, MalformedFileFailsWithTheReadersError) {
    std::vector<uint8_t> bytes = SaveSample(WriteSampleScene, XFileFormat::Text);
    bytes.resize(bytes.size() - 40);
    std::string path = WriteTemp("inspect_truncated.x", bytes);
    std::ostringstream out, err;
    EXPECT_EQ(RunInspect(path, false, out, err), 1);
    EXPECT_NE(err.str().find("inspect_truncated.x: line "), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("expected a number for 'values' of 'FloatKeys', found the end of the data"), std::string::npos) << err.str();
    EXPECT_EQ(RunInspect(path + ".missing", true, out, err), 1);
}

}  // namespace
