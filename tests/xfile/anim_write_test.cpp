// Animation serialisation: which nodes get an Animation and the objects inside it. (The key
// payloads are read back through Assimp in anim_assimp_test.cpp.)
#include <gtest/gtest.h>

#include "host/objects/host_controllers.h"
#include "xfile/write_animation.h"
#include "xfile/write_test_util.h"

namespace {

// The animation sets of the file as Outline shows them (options with their fields).
std::string Sets(const std::vector<uint8_t>& bytes) {
    const std::string outline = xfile_test::Outline(bytes, {"AnimationOptions"});
    return outline.substr(std::min(outline.find("AnimationSet"), outline.size()));
}

}  // namespace

TEST(AnimWrite, AnimationsReferToTheirFramesAndHoldTheNonEmptyLists) {
    SceneBuilder b;
    b.scene().SetAnimRange({0, 20 * 160});
    HostNode& mover = b.Dummy("Mover").SetController(Slide());
    b.Dummy("Still", &mover);
    ExportOptions options = AnimTestOptions(3);
    options.AnimationOptions = 1;
    options.AnimationOpenClose = 1;
    options.AnimationQuality = 1;
    ExportFixture f(b.Take(), options);
    f.state.clips = {{"Walk", 0, 10}, {"Idle", 0, 10}};
    f.CollectAndPass();
    // A track with only position keys gets only "T"; a clip without keys is written empty;
    // a matrix track gets one unnamed key object.
    AnimTrack& walk = f.Node("Still")->tracks[0];
    walk.rotationKeys.clear();
    walk.scaleKeys.clear();
    f.Node("Mover")->tracks[1] = AnimTrack{};
    f.Node("Mover")->tracks[1].separateKeys = 1;
    AnimTrack& idle = f.Node("Still")->tracks[1];
    idle.separateKeys = 0;
    idle.matrixKeys = {{kMatrixKey, 0, Matrix3()}, {kMatrixKey, 1600, Matrix3()}};

    const uint32_t stepsBefore = f.exporter->meter.stepsDone();
    const std::string opts = "    AnimationOptions openclosed=1 positionquality=1\n";
    EXPECT_EQ(Sets(write_test::WriteBytes(f)),
              "AnimationSet Walk\n  Animation\n    { Mover }\n" + opts +
                  "    AnimationKey S\n    AnimationKey R\n    AnimationKey T\n"
                  "  Animation\n    { Still }\n" + opts + "    AnimationKey T\n"
                  "AnimationSet Idle\n  Animation\n    { Still }\n" + opts + "    AnimationKey\n");
    // One step per key written, besides the writer's own two.
    uint32_t keys = 0;
    for (const char* name : {"Mover", "Still"})
        for (const AnimTrack& track : f.Node(name)->tracks) keys += TrackKeyCount(track);
    EXPECT_EQ(f.exporter->meter.stepsDone() - stepsBefore, 2 + keys);
}

TEST(AnimWrite, SkinnedAndUnprocessedNodesAreSkipped) {
    auto build = [] {
        SceneBuilder b;
        b.scene().SetAnimRange({0, 20 * 160});
        HostNode& body = b.Mesh("Body").SetController(Slide());
        b.Dummy("Hand", &body).SetController(Slide());
        b.Mesh("Lone").SetController(Slide());
        b.Dummy("Off").SetController(Slide());
        return b.Take();
    };
    for (int worldSpace : {0, 1}) {
        SCOPED_TRACE(worldSpace);
        ExportOptions options = AnimTestOptions(3);
        options.WorldSpace = worldSpace;
        ExportFixture f(build(), options);
        f.state.clips = {{"Clip", 0, 10}};
        f.CollectAndPass();
        // Skin flags as the skin extraction would leave them; "Off" as if it was never visited.
        for (const char* name : {"Body", "Lone"}) {
            ASSERT_TRUE(IsMeshNode(*f.Node(name)));
            f.Geometry(name)->skinned = true;
        }
        f.Node("Off")->processed = false;
        const std::string outline = Sets(write_test::WriteBytes(f));
        // Hierarchy: a skinned mesh with children is animated like any other node, a skinned
        // leaf is not. World space: a skinned mesh is left out with its subtree.
        const char* srt = "    AnimationKey S\n    AnimationKey R\n    AnimationKey T\n";
        const std::string expected = worldSpace ? "AnimationSet Clip\n"
                                                : "AnimationSet Clip\n  Animation\n    { Body }\n" + std::string(srt) +
                                                      "  Animation\n    { Hand }\n" + srt;
        EXPECT_EQ(outline, expected);
    }
}
