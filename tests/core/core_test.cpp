// The shared helpers: the progress meter (percentages and cancel) and atomic file writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/test_files.h"
#include "core/atomic_write.h"
#include "core/progress.h"
#include "host/objects/scene_builder.h"

namespace fs = std::filesystem;

namespace {

std::vector<int> ShownPercents(const HostScene& scene) {
    std::vector<int> shown;
    for (const HostProgressEvent& e : scene.progress())
        if (e.kind == HostProgressEvent::Update) shown.push_back(e.percent);
    return shown;
}

size_t EntryCount(const fs::path& dir) { return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {})); }

}  // namespace

TEST(ProgressMeter, ShowsEvenlySpreadPercentages) {
    SceneBuilder b;
    auto scene = b.Take();
    ProgressMeter meter(scene.get());

    // Ten units over 95 percent: one percentage per unit, truncated.
    ASSERT_TRUE(meter.BeginStage(10, 95.0f, 95.0f, "Reading"));
    for (int i = 0; i < 10; ++i) meter.Step();
    EXPECT_EQ(ShownPercents(*scene), (std::vector<int>{9, 19, 28, 38, 47, 57, 66, 76, 85, 95}));
    EXPECT_EQ(scene->progress().back().title, "Reading");

    // A thousand units: 1, 2, 3, ... one every 10.526 units, never above the limit.
    scene->ClearRecords();
    meter.ResetSteps();
    ASSERT_TRUE(meter.BeginStage(1000, 95.0f, 95.0f));
    for (int i = 0; i < 1000; ++i) meter.Step();
    std::vector<int> shown = ShownPercents(*scene);
    ASSERT_EQ(shown.size(), 95u);
    for (int i = 0; i < 95; ++i) EXPECT_EQ(shown[i], i + 1);

    // The next stage continues from the steps done, from 95 to 100; thirds of five percent
    // accumulate in single precision to just under 100, and extra steps show nothing past it.
    scene->ClearRecords();
    ASSERT_TRUE(meter.BeginStage(3, 5.0f, 100.0f));
    for (int i = 0; i < 5; ++i) meter.Step();
    EXPECT_EQ(ShownPercents(*scene), (std::vector<int>{96, 98, 99}));

    EXPECT_FALSE(meter.BeginStage(0, 5.0f, 100.0f));
}

TEST(ProgressMeter, EveryStepAsksTheHostWhetherToStop) {
    HostScene host;
    int left = 3;
    host.SetCancelCheck([&] { return left-- <= 0; });
    ProgressMeter meter(&host);
    ASSERT_TRUE(meter.BeginStage(10, 95.0f, 95.0f));
    meter.Step();
    meter.Step();
    meter.Step();
    EXPECT_THROW(meter.Step(), ExportCancelled);
    EXPECT_EQ(meter.stepsDone(), 4u);
}

TEST(AtomicWrite, ReplacesWholeOrLeavesTheTargetAlone) {
    const ScratchDir scratch;
    const fs::path& dir = scratch.path();
    const std::string target = (dir / "out.txt").string();
    std::string error;

    ASSERT_TRUE(WriteFileAtomically(target, "first", &error)) << error;
    ASSERT_TRUE(WriteFileAtomically(target, "second", &error)) << error;
    EXPECT_EQ(ReadText(target), "second");

    {  // Abandoned before the commit: the target keeps its bytes, no temporary is left.
        AtomicFile file(target);
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(file.Write("half"));
    }
    EXPECT_EQ(ReadText(target), "second");
    EXPECT_EQ(EntryCount(dir), 1u);

    // A directory in the target's place cannot be replaced: the cause is named, nothing is left.
    fs::create_directories(dir / "taken" / "inner");
    EXPECT_FALSE(WriteFileAtomically((dir / "taken").string(), "x", &error));
    EXPECT_NE(error.find("taken"), std::string::npos) << error;
    EXPECT_EQ(EntryCount(dir), 2u);

    // Missing directories are made; an empty name is refused.
    EXPECT_TRUE(WriteFileAtomically((dir / "a" / "b.txt").string(), "deep", &error)) << error;
    EXPECT_EQ(ReadText(dir / "a" / "b.txt"), "deep");
    EXPECT_FALSE(WriteFileAtomically("", "x", &error));
}
