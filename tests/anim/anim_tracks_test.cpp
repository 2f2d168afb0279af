// Track building: sample times, key times from controllers, the keyed/sampled fall-back and
// the work counts. (Keys local to the parent in output coordinates are checked against the
// source scene through Assimp in tests/xfile/anim_assimp_test.cpp.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "anim/anim_track.h"
#include "common/math_expect.h"
#include "host/objects/host_controllers.h"
#include "scene/export_fixture.h"

namespace {

// One dummy "Mover" under the scene root with the given controller; range frames 0 to 20.
std::unique_ptr<HostScene> MoverScene(std::unique_ptr<HostTransformControl> control) {
    SceneBuilder b;
    b.scene().SetAnimRange({0, 20 * 160});
    b.Dummy("Mover").SetController(std::move(control));
    return b.Take();
}

std::vector<int32_t> Range(int32_t first, int32_t step, int32_t last) {
    std::vector<int32_t> v;
    for (int32_t t = first; t <= last; t += step) v.push_back(t);
    return v;
}

}  // namespace

TEST(AnimTracks, SamplesEveryStepAndOnceAtTheClipEnd) {
    struct Case {
        int32_t ticksPerSample;
        std::vector<int32_t> offsets;
    };
    for (const Case& c : {Case{80, Range(0, 80, 1600)}, Case{685, {0, 685, 1370, 1600}}}) {
        SCOPED_TRACE(c.ticksPerSample);
        ExportFixture f(MoverScene(Slide()), AnimTestOptions(0));
        f.state.clips = {{"Clip", 0, 10}};
        f.exporter->ticksPerSample = c.ticksPerSample;
        f.CollectAndPass();
        const XNode* mover = f.Node("Mover");
        ASSERT_EQ(mover->tracks.size(), 1u);
        const AnimTrack& track = mover->tracks[0];
        EXPECT_EQ(Times(track.positionKeys), c.offsets);
        EXPECT_EQ(Times(track.rotationKeys), c.offsets);  // level 0: nothing collapses
        // Three keys per sample for the writer, on top of the driver's two.
        EXPECT_EQ(f.exporter->stage2Work, 2u + 3 * c.offsets.size());
    }
    // The estimate counts one sample less where the step does not divide the clip.
    ExportFixture f(MoverScene(Slide()), AnimTestOptions(0));
    f.state.clips = {{"Clip", 0, 10}, {"Still", 4, 4}};
    f.exporter->ticksPerSample = 685;
    EXPECT_EQ(CountSamples(KeySettingsOf(*f.exporter)), 3 + 1);
    f.CollectAndPass();
    // A clip whose start and end frames are equal gets one sample at offset 0.
    ASSERT_EQ(f.Node("Mover")->tracks.size(), 2u);
    EXPECT_EQ(Times(f.Node("Mover")->tracks[1].positionKeys), (std::vector<int32_t>{0}));
}

TEST(AnimTracks, TimelineKeyTimesAreFramesTimesTheCustomUnit) {
    for (int32_t custom : {1, 160}) {
        SCOPED_TRACE(custom);
        ExportOptions options = AnimTestOptions(0);
        options.Timeline = 1;
        options.TimelineCustom = custom;
        ExportFixture f(MoverScene(Slide()), options);
        f.state.clips = {{"Clip", 2, 6}};
        f.CollectAndPass();
        EXPECT_EQ(Times(f.Node("Mover")->tracks[0].positionKeys), Range(0, custom, 4 * custom));
    }
    // Keyed: two controller keys in the same frame get the same key time.
    auto control = std::make_unique<HostTransformControl>();
    control->SetPosition(PointKeys({0, 160, 200, 1600}, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}));
    ExportOptions options = AnimTestOptions(0);
    options.Timeline = 1;
    options.KeyFrames = 1;
    ExportFixture f(MoverScene(std::move(control)), options);
    f.state.clips = {{"Clip", 0, 10}};
    f.CollectAndPass();
    EXPECT_EQ(f.Node("Mover")->tracks[0].keyTimes, (std::vector<int32_t>{0, 160, 200, 1600}));
    EXPECT_EQ(Times(f.Node("Mover")->tracks[0].positionKeys), (std::vector<int32_t>{0, 1, 1, 10}));
}

TEST(AnimTracks, KeyFramesUseTheUnionOfControllerKeysAndTheClipEnds) {
    auto make = [] {
        auto c = std::make_unique<HostTransformControl>();
        c->SetPosition(PointKeys({0, 1600}, {{0, 0, 0}, {10, 0, 0}}));
        c->SetRotation(QuatKeys({800}, {QuatFromAxisAngle({0, 0, 1}, 0.5f)}));
        return c;
    };
    ExportOptions options = AnimTestOptions(0);
    options.KeyFrames = 1;
    ExportFixture f(MoverScene(make()), options);
    f.state.clips = {{"Clip", 0, 20}};
    EXPECT_EQ(CountKeyTimes(KeySettingsOf(*f.exporter), XNode{}), 0);  // no host node
    f.CollectAndPass();
    const AnimTrack& track = f.Node("Mover")->tracks[0];
    EXPECT_EQ(track.positionKeyTimes, (std::vector<int32_t>{0, 1600}));
    EXPECT_EQ(track.rotationKeyTimes, (std::vector<int32_t>{800}));
    EXPECT_TRUE(track.scaleKeyTimes.empty());
    EXPECT_EQ(track.keyTimes, (std::vector<int32_t>{0, 800, 1600, 3200}));
    EXPECT_EQ(Times(track.positionKeys), track.keyTimes);
    EXPECT_EQ(CountKeyTimes(KeySettingsOf(*f.exporter), *f.Node("Mover")), 4);
    EXPECT_EQ(f.exporter->stage2Work, 2u + 3 * 4);

    // Per-axis tracks are sub-animatables; their keys count, keys outside the clip do not.
    auto axes = std::make_unique<HostTransformControl>();
    axes->SetPosition(std::make_unique<HostAxisControl>(std::array<std::unique_ptr<HostKeyTrack>, 3>{
        FloatKeys({0, 480, 4000}, {0, 1, 2}), nullptr, FloatKeys({960}, {5})}));
    ExportFixture g(MoverScene(std::move(axes)), options);
    g.state.clips = {{"Clip", 0, 10}};
    g.CollectAndPass();
    EXPECT_EQ(g.Node("Mover")->tracks[0].positionKeyTimes, (std::vector<int32_t>{0, 480, 960}));
    EXPECT_EQ(g.Node("Mover")->tracks[0].keyTimes, (std::vector<int32_t>{0, 480, 960, 1600}));
}

TEST(AnimTracks, OneClipWithoutKeysSamplesTheWholeNode) {
    auto make = [] {
        auto c = std::make_unique<HostTransformControl>();
        c->SetPosition(PointKeys({0, 1600}, {{0, 0, 0}, {10, 0, 0}}));
        return c;
    };
    ExportOptions options = AnimTestOptions(0);
    options.KeyFrames = 1;
    ExportFixture f(MoverScene(make()), options);
    f.state.clips = {{"Keyed", 0, 10}, {"Empty", 12, 20}};
    EXPECT_EQ(CountKeyTimes(KeySettingsOf(*f.exporter), *[&] { f.Collect(); return f.Node("Mover"); }()), 0);
    f.Pass();
    const XNode* mover = f.Node("Mover");
    ASSERT_EQ(mover->tracks.size(), 2u);
    EXPECT_TRUE(mover->tracks[0].keyTimes.empty());  // sampled: no working lists
    EXPECT_EQ(Times(mover->tracks[0].positionKeys), Range(0, 160, 1600));
    EXPECT_EQ(Times(mover->tracks[1].positionKeys), Range(0, 160, 1280));
    // Only the sampling path's keys are counted for the writer.
    EXPECT_EQ(f.exporter->stage2Work, 2u + 3 * (11 + 9));

    // A controller whose sub-controllers carry no keys is sampled; so is a single key.
    auto single = std::make_unique<HostTransformControl>();
    single->SetPosition(PointKeys({800}, {{1, 2, 3}}));
    ExportFixture g(MoverScene(std::move(single)), options);
    g.state.clips = {{"Clip", 0, 10}};
    g.CollectAndPass();
    EXPECT_EQ(Times(g.Node("Mover")->tracks[0].positionKeys), Range(0, 160, 1600));
}

TEST(AnimTracks, WorldSpaceMeshStartsWithTheIdentity) {
    auto make = [] {
        SceneBuilder b;
        b.scene().SetAnimRange({0, 20 * 160});
        auto c = std::make_unique<HostTransformControl>();
        c->SetPosition(PointKeys({0, 1600}, {{5, 0, 0}, {5, 10, 0}}));
        c->SetRotation(QuatKeys({0, 1600}, {QuatFromAxisAngle({1, 0, 0}, 0.3f), QuatFromAxisAngle({1, 0, 0}, 1.3f)}));
        HostNode& parent = b.Dummy("Parent").Translate({0, 0, 7});
        b.Mesh("Box", &parent).SetController(std::move(c));
        return b.Take();
    };
    ExportOptions options = AnimTestOptions(3);
    options.KeyType = 0;
    options.WorldSpace = 1;
    ExportFixture f(make(), options);
    f.state.clips = {{"Clip", 0, 10}};
    f.CollectAndPass();
    const XNode* box = f.Node("Box");
    ASSERT_TRUE(IsMeshNode(*box));
    const AnimTrack& track = box->tracks[0];
    ASSERT_EQ(track.matrixKeys.size(), 11u);
    ExpectMatrix3Near(track.matrixKeys[0].value, Matrix3(), 1e-5f);
    EXPECT_FALSE(track.matrixKeys[5].value.Equals(Matrix3(), 1e-3f));
    // The keys move the mesh from the pose in which it was written to its world pose at t.
    const Matrix3 expected =
        ConvertTransform(f.state.conversion, Inverse(box->frameTM) * box->hostNode->GetNodeTM(800));
    ExpectMatrix3Near(track.matrixKeys[5].value, expected, 1e-5f);
}

TEST(AnimTracks, TheKeyBuilderAddsWhatTheNodeWouldAlone) {
    // A chain of turning, moving and scaling nodes: enough keys for the builder's thread.
    SceneBuilder b;
    b.scene().SetAnimRange({0, 20 * 160});
    HostNode* parent = nullptr;
    for (int i = 0; i < 12; ++i) {
        auto c = std::make_unique<HostTransformControl>();
        c->SetPosition(PointKeys({0, 1600}, {{float(i), 0, 0}, {0, float(i), 3}}));
        c->SetRotation(QuatKeys({0, 800, 3200}, {Quat(), QuatFromAxisAngle({0, 1, 1}, 0.2f * float(i)),
                                                 QuatFromAxisAngle({1, 0, 0}, 2.5f)}));
        c->SetScale(PointKeys({0, 3200}, {{1, 1, 1}, {1, 2, float(i % 3 + 1)}}));
        parent = &b.Dummy("Bone" + std::to_string(i), parent).SetController(std::move(c));
    }
    ExportFixture f(b.Take(), AnimTestOptions(2));
    f.state.clips = {{"A", 0, 20}, {"B", 5, 15}};
    f.exporter->ticksPerSample = 4;
    f.CollectAndPass();
    auto same = [](const auto& x, const auto& y) {
        return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof x[0]) == 0;
    };
    for (int i = 0; i < 12; ++i) {
        XNode& node = *f.Node("Bone" + std::to_string(i));
        const std::vector<AnimTrack> built = node.tracks;
        EXPECT_GT(AnimateNode(KeySettingsOf(*f.exporter), node, f.exporter->meter), 0u);
        ASSERT_EQ(built.size(), 2u);
        for (size_t t = 0; t < built.size(); ++t) {
            EXPECT_TRUE(same(built[t].rotationKeys, node.tracks[t].rotationKeys)) << i;
            EXPECT_TRUE(same(built[t].scaleKeys, node.tracks[t].scaleKeys)) << i;
            EXPECT_TRUE(same(built[t].positionKeys, node.tracks[t].positionKeys)) << i;
        }
    }

    // A clip longer than the transforms held at once loses and repeats no key.
    ExportFixture g(MoverScene(Slide()), AnimTestOptions(0));
    g.state.clips = {{"Long", 0, 500}};
    g.exporter->ticksPerSample = 1;
    g.CollectAndPass();
    EXPECT_EQ(Times(g.Node("Mover")->tracks[0].positionKeys), Range(0, 1, 80000));
}
