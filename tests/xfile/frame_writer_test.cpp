// The top level of the file: what the options leave out, the format, and the paths it cannot
// write. (Unprocessed nodes left out with their subtrees show in the frame_rig golden files.)
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "host/objects/host_materials.h"
#include "xfile/write_test_util.h"

using namespace write_test;

TEST(FrameWriter, OptionsDecideTheTopLevelObjectsAndTheFormat) {
    HostMaterialLibrary library;
    auto& material = library.AddMaterial(std::make_unique<HostStdMaterial>());
    material.name = "Paint";
    struct Case {
        int mtl, animation, onlySets, timeline, clips, fileType;
        std::vector<std::string> expected;  // template and name of each top-level object
    };
    const char* kTicks = "AnimTicksPerSecond AnimTicksPerSecond=4800";
    const Case cases[] = {
        {1, 1, 0, 0, 2, 0, {"Material Paint", "Frame Box", kTicks, "AnimationSet Walk", "AnimationSet Run"}},
        {0, 1, 0, 0, 1, 1, {"Frame Box", kTicks, "AnimationSet Walk"}},
        {1, 1, 1, 0, 1, 2, {kTicks, "AnimationSet Walk"}},
        {1, 0, 1, 0, 1, 7, {"Material Paint", "Frame Box"}},
        {0, 1, 0, 1, 1, -1, {"Frame Box", "AnimationSet Walk"}},
        {0, 1, 0, 0, 0, 0, {"Frame Box"}},
    };
    for (const Case& c : cases) {
        SceneBuilder b;
        b.scene().SetFrameRate(25);
        b.scene().SetTicksPerFrame(192);
        b.Mesh("Box").SetMtl(&material);
        ExportFixture f(b.Take());
        ExportOptions& o = f.options();
        o.Mtl = c.mtl, o.Animation = c.animation;
        o.OnlyAnimationSet = c.onlySets, o.Timeline = c.timeline, o.XFileType = c.fileType;
        const AnimClipList clips = {{"Walk", 0, 10}, {"Run", 10, 20}};
        f.state.clips.assign(clips.begin(), clips.begin() + c.clips);
        const std::vector<uint8_t> bytes = ExportBytes(f);
        const char* header = c.fileType == 0 ? "txt " : c.fileType == 1 ? "bin " : "bzip";
        EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), header);
        std::istringstream lines(xfile_test::Outline(bytes, {"AnimTicksPerSecond"}));
        std::vector<std::string> top;
        for (std::string line; std::getline(lines, line);)
            if (line[0] != ' ') top.push_back(line);
        EXPECT_EQ(top, c.expected);
    }
}

TEST(FrameWriter, NothingToWriteAndUnwritablePathsAreReported) {
    SceneBuilder empty;
    ExportFixture f(empty.Take());
    f.Collect();
    const std::filesystem::path out = std::filesystem::path(PLOVER_BINARY_DIR) / "frame_writer_empty.x";
    std::string cause;
    EXPECT_FALSE(WriteXFile(WriterRecords(*f.exporter), f.exporter->meter, out.string(), &cause));
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(cause, "No node will be export.");

    SceneBuilder b;
    b.Dummy("D");
    ExportFixture g(b.Take());
    g.CollectAndPass();
    // The writer only writes: the cause goes back to the driver, which names the user's file.
    EXPECT_FALSE(WriteXFile(WriterRecords(*g.exporter), g.exporter->meter, (std::filesystem::path(PLOVER_BINARY_DIR) / "no-such-dir" / "out.x").string(),
                                        &cause));
    EXPECT_TRUE(g.scene->messages().empty());
    EXPECT_EQ(cause, "no such file or folder");
}
