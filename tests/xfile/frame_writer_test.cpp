// The frame hierarchy and the top level of the file: placement, layouts, frame matrices in
// every output coordinate setting, the choice of format, and what the options leave out.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/host_materials.h"
#include "xfile/write_test_util.h"

using namespace write_test;

namespace {

// Top (dummy) -> Mid (dummy) -> Leaf (bone); Box (mesh) at the top level; a hidden dummy
// holding a hidden child.
std::unique_ptr<HostScene> SmallScene() {
    SceneBuilder b;
    HostNode& top = b.Dummy("Top").Translate({1, 2, 3});
    HostNode& mid = b.Dummy("Mid", &top).Transform(RotateZMatrix(1.5707964f) * TransMatrix({0, 0, 4}));
    b.Bone("Leaf", &mid).Translate({5, 0, 0});
    b.Mesh("Box").Translate({0, 0, 10});
    HostNode& hidden = b.Dummy("Hidden").SetHidden(true);
    b.Dummy("HiddenChild", &hidden).SetHidden(true);
    return b.Take();
}

std::string DumpOf(ExportFixture& f) { return DumpBytes(ExportBytes(f)); }

}  // namespace

TEST(FrameWriter, MatrixToFrameMatrixWritesRowsWithAFourthColumn) {
    const Matrix3 m({1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12});
    const std::array<float, 16> expected = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 1};
    EXPECT_EQ(MatrixToFrameMatrix(m), expected);
}

TEST(FrameWriter, HierarchyNestsFramesWithParentRelativeMatrices) {
    ExportFixture f(SmallScene());
    f.options().SceneRoot = 1;
    const xfile::XDocument doc = Read(ExportBytes(f));
    EXPECT_EQ(FrameTree(doc), "Scene_Root\n  Top\n    Mid\n      Leaf\n  Box\n");
    // Host Z-up to Y-up left-handed: (x, y, z) -> (x, z, y). The quarter turn about the host's
    // up axis becomes one about Y that takes X to Z. Each matrix is relative to the parent's.
    ExpectFloatsNear(FrameMatrixOf(doc, "Scene_Root"), Floats(Matrix3()));
    ExpectFloatsNear(FrameMatrixOf(doc, "Top"), Floats(TransMatrix({1, 3, 2})));
    ExpectFloatsNear(FrameMatrixOf(doc, "Mid"), {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 4, 0, 1});
    ExpectFloatsNear(FrameMatrixOf(doc, "Leaf"), Floats(TransMatrix({5, 0, 0})));
    ExpectFloatsNear(FrameMatrixOf(doc, "Box"), Floats(TransMatrix({0, 10, 0})));
    // The hidden dummies are not part of the export.
    EXPECT_TRUE(FrameMatrixOf(doc, "Hidden").empty());

    // Without the scene root the root nodes are top-level objects.
    ExportFixture g(SmallScene());
    const xfile::XDocument flat = Read(ExportBytes(g));
    EXPECT_EQ(FrameTree(flat), "Top\n  Mid\n    Leaf\nBox\n");
}

TEST(FrameWriter, SceneRootFrameCarriesTheRootTransform) {
    SceneBuilder b("Root");
    b.root().Translate({0, 0, 7});
    b.Dummy("Child").Translate({0, 0, 1});
    ExportFixture f(b.Take());
    f.options().SceneRoot = 1;
    f.exporter->rootFrameName = "My Root";  // reaches the file made legal by the save layer
    const xfile::XDocument doc = Read(ExportBytes(f));
    ExpectFloatsNear(FrameMatrixOf(doc, "My_Root"), Floats(TransMatrix({0, 7, 0})));
    // The child's frame is relative to nothing but its own world transform (it has no parent
    // export node).
    ExpectFloatsNear(FrameMatrixOf(doc, "Child"), Floats(TransMatrix({0, 8, 0})));
}

TEST(FrameWriter, WorldSpaceWritesEveryFrameFlat) {
    for (int animation : {0, 1}) {
        SCOPED_TRACE(animation ? "animation" : "no animation");
        ExportFixture f(SmallScene());
        f.options().WorldSpace = 1;
        f.options().SceneRoot = 1;
        f.options().Animation = animation;
        const xfile::XDocument doc = Read(ExportBytes(f));
        // No Frame holds another, except the scene root that holds them all. The mesh node
        // has a frame only when animated: an identity frame that its keys move.
        EXPECT_EQ(FrameTree(doc), animation ? "Scene_Root\n  Top\n  Mid\n  Leaf\n  Box\n"
                                            : "Scene_Root\n  Top\n  Mid\n  Leaf\n");
        ExpectFloatsNear(FrameMatrixOf(doc, "Leaf"), {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 7, 7, 1}, 1e-5f);
        if (animation) ExpectFloatsNear(FrameMatrixOf(doc, "Box"), Floats(Matrix3()));
    }
}

TEST(FrameWriter, UnprocessedNodesAndTheirSubtrees) {
    // Hidden parent with a visible child: in world space the parent is not processed, its
    // child is still written; in a hierarchy the parent is processed to carry the child.
    auto build = [] {
        SceneBuilder b;
        HostNode& hidden = b.Dummy("HiddenParent").SetHidden(true);
        b.Dummy("VisibleChild", &hidden);
        HostNode& gone = b.Dummy("Gone").SetHidden(true);
        b.Dummy("GoneChild", &gone).SetHidden(true);
        return b.Take();
    };
    ExportFixture world(build());
    world.options().WorldSpace = 1;
    EXPECT_EQ(DumpOf(world), "Frame VisibleChild\n  FrameTransformMatrix [1 0 0 0 | 0 1 0 0 | 0 0 1 0 | 0 0 0 1]\n");

    ExportFixture tree(build());
    EXPECT_EQ(FrameTree(Read(ExportBytes(tree))), "HiddenParent\n  VisibleChild\n");

    // A node the pass never reached takes its subtree with it, whatever its children say.
    ExportFixture manual(build());
    manual.CollectAndPass();
    manual.Node("HiddenParent")->processed = false;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(WriteXFileBytes(*manual.exporter, bytes));
    EXPECT_EQ(DumpBytes(bytes), "");
}

TEST(FrameWriter, OutputCoordinatesFollowHandednessScaleAndTurns) {
    struct Case {
        const char* what;
        int rightHand;
        float scale, xRot, zRot;
        std::vector<float> expected;  // frame of a node turned a quarter about Z at (1, 2, 3)
    };
    // The turn about the host's up axis stays a turn about the output's up axis (a turn about
    // Z when XRot tilts the up axis); the position maps as a point: left (1, 3, 2), right
    // (1, 3, -2), scale 2 (2, 6, 4), ZRot 90 (-2, 3, 1), XRot 90 (1, 2, -3).
    const Case cases[] = {
        {"left", 0, 1, 0, 0, {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 3, 2, 1}},
        {"right", 1, 1, 0, 0, {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 3, -2, 1}},
        {"scaled", 0, 2, 0, 0, {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 2, 6, 4, 1}},
        {"z turn", 0, 1, 0, 90, {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, -2, 3, 1, 1}},
        {"x turn", 0, 1, 90, 0, {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 1, 2, -3, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SceneBuilder b;
        b.Dummy("Turned").Transform(RotateZMatrix(1.5707964f) * TransMatrix({1, 2, 3}));
        ExportFixture f(b.Take());
        f.options().RightHand = c.rightHand;
        f.options().SpaceScaleEnable = c.scale != 1;
        f.options().SpaceScale = c.scale;
        f.options().XRotEnable = c.xRot != 0;
        f.options().XRot = c.xRot;
        f.options().ZRotEnable = c.zRot != 0;
        f.options().ZRot = c.zRot;
        f.Reconvert();
        ExpectFloatsNear(FrameMatrixOf(Read(ExportBytes(f)), "Turned"), c.expected, 1e-5f);
    }
}

TEST(FrameWriter, XFileTypeChoosesTheFormat) {
    const std::pair<int, const char*> cases[] = {{0, "txt "}, {1, "bin "}, {2, "bzip"}, {3, "bzip"}, {-1, "bzip"}};
    for (const auto& [type, header] : cases) {
        SceneBuilder b;
        b.Dummy("D");
        ExportFixture f(b.Take());
        f.options().XFileType = type;
        const std::vector<uint8_t> bytes = ExportBytes(f);
        ASSERT_GE(bytes.size(), 16u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 16), std::string("xof 0303") + header + "0032") << type;
    }
}

TEST(FrameWriter, OptionsDecideTheTopLevelObjects) {
    HostMaterialLibrary library;
    auto& material = library.AddMaterial(std::make_unique<HostStdMaterial>());
    material.name = "Paint";

    struct Case {
        const char* what;
        int mtl, animation, onlySets, timeline, clips;
        std::vector<std::string> expected;  // template and name of each top-level object
    };
    const Case cases[] = {
        {"everything", 1, 1, 0, 0, 2, {"Material Paint", "Frame Box", "AnimTicksPerSecond", "AnimationSet Walk",
                                       "AnimationSet Run"}},
        {"no materials", 0, 1, 0, 0, 1, {"Frame Box", "AnimTicksPerSecond", "AnimationSet Walk"}},
        {"only sets", 1, 1, 1, 0, 1, {"AnimTicksPerSecond", "AnimationSet Walk"}},
        {"only sets without animation", 1, 0, 1, 0, 1, {"Material Paint", "Frame Box"}},
        {"timeline", 0, 1, 0, 1, 1, {"Frame Box", "AnimationSet Walk"}},
        {"no clips", 0, 1, 0, 0, 0, {"Frame Box"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SceneBuilder b;
        b.Mesh("Box").SetMtl(&material);
        ExportFixture f(b.Take());
        f.options().Mtl = c.mtl;
        f.options().Animation = c.animation;
        f.options().OnlyAnimationSet = c.onlySets;
        f.options().Timeline = c.timeline;
        const AnimClipList clips = {{"Walk", 0, 10}, {"Run", 10, 20}};
        f.state.clips.assign(clips.begin(), clips.begin() + c.clips);
        const xfile::XDocument doc = Read(ExportBytes(f));
        std::vector<std::string> top;
        for (uint32_t i : doc.Roots()) {
            std::string entry = doc.TemplateOf(doc.nodes[i]).name;
            if (doc.nodes[i].nameSize) entry += " " + std::string(doc.Name(doc.nodes[i]));
            top.push_back(entry);
        }
        EXPECT_EQ(top, c.expected);
    }
}

TEST(FrameWriter, AnimTicksPerSecondIsTheHostTickRate) {
    SceneBuilder b;
    b.scene().SetFrameRate(25);
    b.scene().SetTicksPerFrame(192);
    b.Dummy("D");
    ExportFixture f(b.Take());
    f.options().Animation = 1;
    f.state.clips = {{"Clip", 0, 5}};
    const std::string dump = DumpOf(f);
    EXPECT_NE(dump.find("AnimTicksPerSecond 4800\n"), std::string::npos) << dump;
}

TEST(FrameWriter, EmptyTreeWritesNoFile) {
    SceneBuilder b;
    ExportFixture f(b.Take());
    f.Collect();
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_FALSE(WriteXFileBytes(*f.exporter, bytes, &error));
    EXPECT_EQ(error, "No node will be export.");

    const std::filesystem::path out = std::filesystem::path(PLOVER_BINARY_DIR) / "frame_writer_empty.x";
    std::filesystem::remove(out);
    f.exporter->WriteXFile(out.string());
    EXPECT_FALSE(std::filesystem::exists(out));
    ASSERT_EQ(f.scene->messages().size(), 1u);
    EXPECT_EQ(f.scene->messages()[0].text, "No node will be export.");
    EXPECT_EQ(f.scene->messages()[0].caption, "");
}

TEST(FrameWriter, UnwritablePathIsReported) {
    SceneBuilder b;
    b.Dummy("D");
    ExportFixture f(b.Take());
    f.CollectAndPass();
    const std::string path = (std::filesystem::path(PLOVER_BINARY_DIR) / "no-such-dir" / "out.x").string();
    f.exporter->WriteXFile(path);
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_EQ(f.scene->messages().size(), 1u);
    EXPECT_NE(f.scene->messages()[0].text.find("could not be written"), std::string::npos);
}
