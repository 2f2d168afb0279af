// Whole exports of scene documents through the export driver: the exact text, the same tree
// in binary and compressed form, and the frames as Assimp's X importer sees them.
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include "common/assimp_keys.h"
#include "common/xfile_samples.h"
#include "host/document/scene_document.h"
#include "options/options_file.h"
#include "plugin/do_export.h"
#include "xfile/write_test_util.h"

namespace fs = std::filesystem;
using namespace write_test;

namespace {

struct GoldenCase {
    const char* scene;     // relative to the source tree
    const char* golden;    // under tests/xfile/golden/
    const char* settings;  // option file lines
};

const GoldenCase kCases[] = {
    {"examples/simple_scene.json", "frame_simple.x", "SceneRoot=1\n"},
    {"examples/simple_scene.json", "frame_simple_world.x", "WorldSpace=1\nDummy=1\n"},
    {"examples/simple_scene.json", "frame_simple_converted.x",
     "SceneRoot=1\nRightHand=1\nSpaceScaleEnable=1\nSpaceScale=2.5\nXRotEnable=1\nXRot=30\nZRotEnable=1\nZRot=-45\n"
     "Animation=0\n"},
    {"tests/xfile/golden/frame_rig.json", "frame_rig.x", "SceneRoot=1\nDummy=1\n"},
    {"tests/xfile/golden/frame_rig.json", "frame_rig_world.x", "SceneRoot=1\nDummy=1\nWorldSpace=1\n"},
};

// Exports through XDoExport as the command line does, without materials and clips.
std::vector<uint8_t> ExportDocument(const GoldenCase& c, int xFileType) {
    const ScratchDir scratch(ScratchDir::TestName() + "/" + c.golden);
    const fs::path& dir = scratch.path();
    std::unique_ptr<HostScene> scene = LoadSourceScene(c.scene);
    if (!scene) return {};
    scene->SetDir(kDirPlugCfg, dir.string());
    std::ofstream(dir / kConfigFileName) << "[Option]\nMtl=0\nAnimationCount=0\n"
                                         << c.settings << "XFileType=" << xFileType << "\n";
    XDoExport((dir / "out.x").string().c_str(), nullptr, scene.get(), /*suppressPrompts=*/1, 0);
    EXPECT_TRUE(scene->messages().empty());
    mesh_invariants::ExpectMeshObjectsValidUnder(dir);
    return xfile_test::ReadFileBytes((dir / "out.x").string());
}

}  // namespace

TEST(WriteGolden, TextBinaryAndCompressedExportsAndAssimpSeesTheFrames) {
    for (const GoldenCase& c : kCases) {
        SCOPED_TRACE(c.golden);
        const std::vector<uint8_t> text = ExportDocument(c, 0);
        ExpectGolden(text, std::string("xfile/golden/") + c.golden);
        // Binary and compressed hold the same tree; written out as text it is the text export.
        const xfile::XDocument binary = Read(ExportDocument(c, 1));
        xfile_test::ExpectSameTree(Read(ExportDocument(c, 2)), binary);
        EXPECT_TRUE(xfile_test::RewriteAsText(binary) == text);

        // Assimp finds every frame under its parent, with its transform.
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFileFromMemory(text.data(), text.size(), 0, "x");
        ASSERT_NE(scene, nullptr) << importer.GetErrorString();
        for (const xfile::XNode& matrix : binary.nodes) {
            if (matrix.isReference || binary.TemplateOf(matrix).name != "FrameTransformMatrix") continue;
            const xfile::XNode& frame = binary.nodes[matrix.parent];
            const aiNode* found = scene->mRootNode->FindNode(std::string(binary.Name(frame)).c_str());
            ASSERT_NE(found, nullptr) << binary.Name(frame);
            if (frame.parent != xfile::kNoNode) {
                EXPECT_EQ(binary.Name(binary.nodes[frame.parent]), found->mParent->mName.C_Str());
            }
            float m[16];
            std::memcpy(m, binary.Payload(matrix).data(), sizeof m);
            EXPECT_LT(assimp_keys::MaxDifference(found->mTransformation, assimp_keys::FromXFrameMatrix(m)), 1e-5f)
                << binary.Name(frame);
        }
    }
}
