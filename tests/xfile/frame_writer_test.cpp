// The frame hierarchy and the top level of the file: placement, layouts, frame matrices in
// the output coordinates, the format, and what the options leave out.
#include <gtest/gtest.h>

#include <filesystem>

#include "host/host_materials.h"
#include "xfile/write_test_util.h"

using namespace write_test;

namespace {

// Top (dummy) -> Mid (dummy, turned) -> Leaf (bone); Box (mesh); a hidden dummy pair.
std::unique_ptr<HostScene> SmallScene() {
    SceneBuilder b;
    HostNode& mid = b.Dummy("Mid", &b.Dummy("Top").Translate({1, 2, 3}));
    mid.Transform(RotateZMatrix(1.5707964f) * TransMatrix({0, 0, 4}));
    b.Bone("Leaf", &mid).Translate({5, 0, 0});
    b.Mesh("Box").Translate({0, 0, 10});
    b.Dummy("HiddenChild", &b.Dummy("Hidden").SetHidden(true)).SetHidden(true);
    return b.Take();
}

const std::vector<float> kQuarterTurnY = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0};  // X to Z

std::vector<float> WithTranslation(std::vector<float> linear, float x, float y, float z) {
    linear.insert(linear.end(), {x, y, z, 1});
    return linear;
}

}  // namespace

TEST(FrameWriter, HierarchyNestsFramesWithParentRelativeMatrices) {
    ExportFixture f(SmallScene());
    f.options().SceneRoot = 1;
    const xfile::XDocument doc = Read(ExportBytes(f));
    EXPECT_EQ(FrameTree(doc), "Scene_Root\n  Top\n    Mid\n      Leaf\n  Box\n");
    // Z-up to Y-up left-handed: (x, y, z) -> (x, z, y); each matrix relative to its parent.
    ExpectFloatsNear(FrameMatrixOf(doc, "Top"), Floats(TransMatrix({1, 3, 2})));
    ExpectFloatsNear(FrameMatrixOf(doc, "Mid"), WithTranslation(kQuarterTurnY, 0, 4, 0));
    ExpectFloatsNear(FrameMatrixOf(doc, "Leaf"), Floats(TransMatrix({5, 0, 0})));

    ExportFixture g(SmallScene());  // SceneRoot off: the root nodes are top-level objects
    EXPECT_EQ(FrameTree(Read(ExportBytes(g))), "Top\n  Mid\n    Leaf\nBox\n");

    SceneBuilder b;  // the scene-root frame carries the root's transform
    b.root().Translate({0, 0, 7});
    b.Dummy("Child");
    ExportFixture h(b.Take());
    h.options().SceneRoot = 1;
    ExpectFloatsNear(FrameMatrixOf(Read(ExportBytes(h)), "Scene_Root"), Floats(TransMatrix({0, 7, 0})));
}

TEST(FrameWriter, WorldSpaceWritesEveryFrameFlat) {
    for (int animation : {0, 1}) {
        ExportFixture f(SmallScene());
        f.options().WorldSpace = f.options().SceneRoot = 1;
        f.options().Animation = animation;
        const xfile::XDocument doc = Read(ExportBytes(f));
        // The mesh node gets a frame only when animated: an identity frame its keys move.
        EXPECT_EQ(FrameTree(doc), animation ? "Scene_Root\n  Top\n  Mid\n  Leaf\n  Box\n"
                                            : "Scene_Root\n  Top\n  Mid\n  Leaf\n");
        ExpectFloatsNear(FrameMatrixOf(doc, "Leaf"), WithTranslation(kQuarterTurnY, 1, 7, 7));
        if (animation) ExpectFloatsNear(FrameMatrixOf(doc, "Box"), Floats(Matrix3()));
    }
}

TEST(FrameWriter, UnprocessedNodesAreLeftOut) {
    auto build = [] {
        SceneBuilder b;
        b.Dummy("VisibleChild", &b.Dummy("HiddenParent").SetHidden(true));
        return b.Take();
    };
    ExportFixture world(build());  // the hidden parent is not processed, its child is written
    world.options().WorldSpace = 1;
    EXPECT_EQ(FrameTree(Read(ExportBytes(world))), "VisibleChild\n");

    ExportFixture tree(build());  // the hierarchy processes the parent to carry its child
    EXPECT_EQ(FrameTree(Read(ExportBytes(tree))), "HiddenParent\n  VisibleChild\n");

    tree.Node("HiddenParent")->processed = false;  // an unprocessed node takes its subtree along
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(WriteXFileBytes(WriterRecords(*tree.exporter), tree.exporter->meter, bytes));
    EXPECT_EQ(FrameTree(Read(bytes)), "");
}

TEST(FrameWriter, OptionsDecideTheTopLevelObjectsAndTheFormat) {
    HostMaterialLibrary library;
    auto& material = library.AddMaterial(std::make_unique<HostStdMaterial>());
    material.name = "Paint";
    struct Case {
        int mtl, animation, onlySets, timeline, clips, fileType;
        std::vector<std::string> expected;  // template and name of each top-level object
    };
    const Case cases[] = {
        {1, 1, 0, 0, 2, 0, {"Material Paint", "Frame Box", "AnimTicksPerSecond", "AnimationSet Walk", "AnimationSet Run"}},
        {0, 1, 0, 0, 1, 1, {"Frame Box", "AnimTicksPerSecond", "AnimationSet Walk"}},
        {1, 1, 1, 0, 1, 2, {"AnimTicksPerSecond", "AnimationSet Walk"}},
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
        const xfile::XDocument doc = Read(bytes);
        std::vector<std::string> top;
        for (uint32_t i : doc.Roots()) {
            const xfile::XNode& n = doc.nodes[i];
            top.push_back(doc.TemplateOf(n).name + (n.nameSize ? " " + std::string(doc.Name(n)) : ""));
            if (top.back() == "AnimTicksPerSecond") {
                EXPECT_EQ(doc.Payload(n)[0] | doc.Payload(n)[1] << 8, 4800);
            }
        }
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
