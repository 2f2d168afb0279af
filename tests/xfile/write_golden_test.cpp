// Whole exports of scene documents through the export driver: the exact text output, the same
// tree in binary and compressed form, and the frames as Assimp's X importer sees them.
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/scene_document.h"
#include "options/options_file.h"
#include "common/xfile_samples.h"
#include "plugin/do_export.h"
#include "xfile/write_test_util.h"

namespace fs = std::filesystem;
using namespace write_test;

namespace {

struct GoldenCase {
    const char* scene;     // relative to the source tree
    const char* golden;    // under tests/xfile/golden/
    const char* settings;  // lines of the option file
};

const GoldenCase kCases[] = {
    {"examples/simple_scene.json", "frame_simple.x", "SceneRoot=1\nDummy=0\n"},
    {"examples/simple_scene.json", "frame_simple_world.x", "SceneRoot=0\nWorldSpace=1\nDummy=1\n"},
    {"examples/simple_scene.json", "frame_simple_converted.x",
     "SceneRoot=1\nRightHand=1\nSpaceScaleEnable=1\nSpaceScale=2.5\nXRotEnable=1\nXRot=30\nZRotEnable=1\n"
     "ZRot=-45\nAnimation=0\n"},
    {"tests/xfile/golden/frame_rig.json", "frame_rig.x", "SceneRoot=1\nDummy=1\nBones=1\n"},
    {"tests/xfile/golden/frame_rig.json", "frame_rig_world.x", "SceneRoot=1\nDummy=1\nBones=1\nWorldSpace=1\n"},
};

// Exports the scene document with the settings (and XFileType) through XDoExport, as the
// command line does, and returns the written file.
std::vector<uint8_t> ExportDocument(const GoldenCase& c, int xFileType) {
    const fs::path dir = fs::path(PLOVER_BINARY_DIR) / "xfile_golden_scratch" /
                         (std::string(c.golden) + "." + std::to_string(xFileType));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string error;
    std::unique_ptr<HostScene> scene = LoadSceneDocument(std::string(PLOVER_SOURCE_DIR) + "/" + c.scene, error);
    EXPECT_NE(scene, nullptr) << error;
    if (!scene) return {};
    scene->SetDir(kDirPlugCfg, dir.string());
    // No materials and no clips: the files hold the frame hierarchy and the meshes.
    std::ofstream(dir / kConfigFileName) << "[Option]\nMtl=0\nAnimationCount=0\n" << c.settings
                                         << "XFileType=" << xFileType << "\n";
    const fs::path out = dir / "out.x";
    XDoExport(out.string().c_str(), nullptr, scene.get(), /*suppressPrompts=*/1, 0);
    EXPECT_TRUE(scene->messages().empty()) << scene->messages().front().text;
    std::ifstream in(out, std::ios::binary);
    EXPECT_TRUE(in) << "no file written for " << c.golden;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    fs::remove_all(dir);
    return bytes;
}

// Assimp converts X files to right-handed coordinates and column vectors: its node transform
// is S * transpose(M) * S with S = diag(1, 1, -1, 1).
void ExpectAssimpTransform(const aiNode& node, const std::vector<float>& m) {
    const float s[4] = {1, 1, -1, 1};
    const aiMatrix4x4& a = node.mTransformation;
    const float* actual = &a.a1;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(actual[r * 4 + c], s[r] * s[c] * m[c * 4 + r], 1e-5f)
                << node.mName.C_Str() << " row " << r << " column " << c;
}

// The document written again, as text, through the save layer.
std::vector<uint8_t> AsText(const xfile::XDocument& doc) {
    xfile::XFile file;
    EXPECT_TRUE(file.RegisterPublishedTemplates().ok());
    std::unique_ptr<xfile::XSaveObject> save;
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(file.CreateMemorySaveObject(&bytes, xfile::XFileFormat::Text, &save).ok());
    EXPECT_TRUE(xfile_test::WriteDocument(doc, *save).ok());
    EXPECT_TRUE(save->Save().ok());
    return bytes;
}

}  // namespace

TEST(WriteGolden, TextOutputMatchesTheGoldenFiles) {
    for (const GoldenCase& c : kCases) {
        SCOPED_TRACE(c.golden);
        ExpectGolden(ExportDocument(c, 0), c.golden);
    }
}

TEST(WriteGolden, BinaryAndCompressedReadBackAsTheText) {
    for (const GoldenCase& c : kCases) {
        SCOPED_TRACE(c.golden);
        const std::vector<uint8_t> text = ExportDocument(c, 0);
        const std::vector<uint8_t> binaryBytes = ExportDocument(c, 1);
        const std::vector<uint8_t> compressedBytes = ExportDocument(c, 2);
        ASSERT_GE(binaryBytes.size(), 16u);
        ASSERT_GE(compressedBytes.size(), 16u);
        EXPECT_EQ(std::string(binaryBytes.begin() + 8, binaryBytes.begin() + 12), "bin ");
        EXPECT_EQ(std::string(compressedBytes.begin() + 8, compressedBytes.begin() + 12), "bzip");
        const xfile::XDocument binary = Read(binaryBytes);
        ASSERT_FALSE(binary.nodes.empty());
        // Binary and compressed hold the same objects and bytes; written out as text they give
        // the text export byte for byte.
        ExpectSameTree(Read(compressedBytes), binary, 0);
        const std::vector<uint8_t> binaryAsText = AsText(binary);
        EXPECT_TRUE(binaryAsText == text) << std::string(binaryAsText.begin(), binaryAsText.end());
    }
}

TEST(WriteGolden, AssimpSeesTheSameFramesAndTransforms) {
    for (const GoldenCase& c : kCases) {
        for (int type : {0, 1, 2}) {
            SCOPED_TRACE(std::string(c.golden) + " type " + std::to_string(type));
            const std::vector<uint8_t> bytes = ExportDocument(c, type);
            const xfile::XDocument doc = Read(bytes);
            Assimp::Importer importer;
            const aiScene* scene = importer.ReadFileFromMemory(bytes.data(), bytes.size(), 0, "x");
            ASSERT_NE(scene, nullptr) << importer.GetErrorString();
            size_t frames = 0;
            for (const xfile::XNode& node : doc.nodes) {
                if (node.isReference || doc.TemplateOf(node).name != "Frame") continue;
                ++frames;
                const std::string name(doc.Name(node));
                const aiNode* found = scene->mRootNode->FindNode(name.c_str());
                ASSERT_NE(found, nullptr) << name;
                ExpectAssimpTransform(*found, FrameMatrixOf(doc, name));
                // Same parent frame.
                const std::string parentName =
                    node.parent == xfile::kNoNode ? "" : std::string(doc.Name(doc.nodes[node.parent]));
                if (!parentName.empty()) {
                    ASSERT_NE(found->mParent, nullptr);
                    EXPECT_EQ(parentName, found->mParent->mName.C_Str()) << name;
                }
            }
            EXPECT_GT(frames, 0u);
        }
    }
}
