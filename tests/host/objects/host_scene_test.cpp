// Message boxes: answered OK without a sink, else forwarded with the caption before the text.
// (That they are recorded shows in every test that reads the scene's messages.) The world
// transforms a frozen scene keeps.
#include <gtest/gtest.h>

#include "host/objects/host_controllers.h"
#include "host/objects/host_scene.h"
#include "tools/plover/console.h"

TEST(HostScene, MessagesAreForwardedWithTheirCaption) {
    HostScene scene;
    EXPECT_EQ(scene.MessageBox(nullptr, "No node!", "", kMbOk), kIdOk);
    std::vector<std::string> shown;
    scene.SetMessageSink([&](const HostMessage& m) {
        shown.push_back(FormatMessageBox(m));
        return 7;
    });
    EXPECT_EQ(scene.MessageBox(nullptr, "Hidden nodes", "Warning", kMbIconWarning), 7);
    EXPECT_EQ(scene.MessageBox(nullptr, "Plain", "", kMbOk), 7);
    EXPECT_EQ(shown, (std::vector<std::string>{"Warning: Hidden nodes", "Plain"}));
}

// A frozen scene keeps the world transforms it works out, and key tracks remember where the last
// time fell: whatever order the times come in (increasing as the exporter asks, repeated,
// backwards, scattered, between and beyond the keys), every answer is the one a fresh scene gives.
TEST(HostScene, KeptTransformsAndKeyPositionsAnswerInAnyOrder) {
    const auto build = [](HostScene& scene) {
        std::vector<TimeValue> times;
        std::vector<Point3> points;
        std::vector<Quat> turns;
        for (int k = 0; k < 40; ++k) {
            times.push_back(k * 480 + (k % 3) * 7);
            points.push_back(Point3(float(k), float(k * k % 7), -float(k) / 3));
            turns.push_back(QuatFromAxisAngle(Point3(1, float(k % 4), 2), 0.3f * float(k)));
        }
        HostNode* node = &scene.root();
        for (int depth = 0; depth < 3; ++depth) {
            auto control = std::make_unique<HostTransformControl>();
            control->SetPosition(PointKeys(times, points));
            control->SetRotation(QuatKeys(times, turns));
            if (depth == 1) control->SetScale(PointKeys(times, points, HostInterpolation::Step));
            node = &node->AddChild("n" + std::to_string(depth)).Transform(TransMatrix(Point3(1, 2, 3)));
            node->SetController(std::move(control));
        }
        return node;
    };
    std::vector<TimeValue> asked;
    for (TimeValue t = -200; t < 20000; t += 80) asked.push_back(t);           // increasing
    for (TimeValue t = -200; t < 20000; t += 560) asked.push_back(t);          // again, some of them
    for (TimeValue t = 19000; t > 0; t -= 480) asked.insert(asked.end(), {t, t});  // backwards, twice each
    for (int i = 0; i < 300; ++i) asked.push_back(TimeValue((i * 7919) % 21000 - 500));  // scattered
    HostScene frozen;
    HostNode* leaf = build(frozen);
    frozen.FreezeTransforms(true);
    for (const TimeValue t : asked) {
        HostScene fresh;
        INode* expected = build(fresh);
        ASSERT_TRUE(leaf->GetNodeTM(t) == expected->GetNodeTM(t)) << "at " << t;
        ASSERT_TRUE(leaf->GetParentNode()->GetNodeTM(t) == expected->GetParentNode()->GetNodeTM(t)) << "at " << t;
    }
}
