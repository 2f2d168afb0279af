// The stand-in host's keyed transform controllers: the interpolations the imported files do not
// show, and their scene document form. (What the exporter reads from them shows in the track
// tests; the transforms they give in the command's read-back of every animated model.)
#include <gtest/gtest.h>

#include <vector>

#include "common/math_expect.h"
#include "host/document/scene_document.h"
#include "host/objects/host_controllers.h"

namespace {

std::unique_ptr<HostScene> Load(const std::string& controller, std::string& error) {
    const std::string json = R"({"plover_scene": 1, "nodes": [{"name": "N", "transform": {"translation": [1, 2, 3]},
        "tmController": )" + controller + "}]}";
    return LoadSceneDocumentFromString(json, "c.json", error);
}

HostNode& OnlyNode(HostScene& scene) { return *scene.root().children()[0]; }

}  // namespace

TEST(KeysHostControllers, InterpolationStepHermiteAndTheShorterArc) {
    float v = -1;
    FloatKeys({0, 100}, {0, 10}, HostInterpolation::Step)->Evaluate(50, &v);
    EXPECT_EQ(v, 0);
    FloatKeys({0, 100}, {0, 10}, HostInterpolation::Step)->Evaluate(100, &v);
    EXPECT_EQ(v, 10);
    FloatKeys({0, 100}, {0, 10})->Evaluate(-5, &v);  // holds outside the keys
    EXPECT_EQ(v, 0);

    // Hermite with zero slopes eases in and out: a quarter of the way it is at 15.625 %.
    HostKeyData d;
    d.dimension = 1;
    d.interpolation = HostInterpolation::Bezier;
    d.times = {0, 4800};
    d.values = {0, 1};
    d.inSlopes = {0, 0};
    d.outSlopes = {0, 0};
    HostKeyTrack(d).Evaluate(1200, &v);
    EXPECT_NEAR(v, 0.15625f, 1e-6f);
    // Automatic slopes on a straight line keep it straight.
    d.inSlopes.clear();
    d.outSlopes.clear();
    d.times = {0, 4800, 9600};
    d.values = {0, 1, 2};
    HostKeyTrack(d).Evaluate(6000, &v);
    EXPECT_NEAR(v, 1.25f, 1e-6f);

    // Quaternions take the shorter arc, whatever the sign of the second key.
    const Quat a = QuatFromAxisAngle({0, 0, 1}, 0), b = QuatFromAxisAngle({0, 0, 1}, 1.0f);
    float q[4];
    QuatKeys({0, 100}, {a, -b})->Evaluate(50, q);
    Matrix3 m;
    Quat(q[0], q[1], q[2], q[3]).MakeMatrix(m);
    ExpectMatrix3Near(m, RotateZMatrix(0.5f));
}

TEST(KeysHostControllers, DocumentRoundTripAndErrors) {
    std::string error;
    auto scene = Load(R"({"type": "transform",
        "position": {"times": [0, 160], "values": [0,0,0, 5,0,0], "interpolation": "step"},
        "rotation": {"x": {"times": [0, 480], "values": [0, 90], "interpolation": "bezier", "outSlopes": [1, 2]}},
        "scale": {"times": [0], "values": [2, 2, 2]}})",
                      error);
    ASSERT_NE(scene, nullptr) << error;
    HostNode& node = OnlyNode(*scene);
    ExpectMatrix3Near(node.GetNodeTM(0), ScaleMatrix({2, 2, 2}));
    ExpectPoint3Near(node.GetNodeTM(100).GetTrans(), {0, 0, 0});  // step: the first key holds
    ExpectPoint3Near(node.GetNodeTM(480).GetTrans(), {5, 0, 0});
    ExpectMatrix3Near(node.GetNodeTM(480), ScaleMatrix({2, 2, 2}) * RotateXMatrix(float(M_PI) / 2) * TransMatrix({5, 0, 0}),
                      1e-5f);
    const std::string saved = SaveSceneDocument(*scene);
    auto again = LoadSceneDocumentFromString(saved, "saved.json", error);
    ASSERT_NE(again, nullptr) << error;
    EXPECT_EQ(SaveSceneDocument(*again), saved);
    for (TimeValue t : {0, 100, 300, 480, 1000}) EXPECT_EQ(OnlyNode(*again).GetNodeTM(t), node.GetNodeTM(t));

    // A channel left out keeps the static part.
    auto partial = Load(R"({"type": "transform", "rotation": {"times": [0], "values": [0, 0, 0, 2]}})", error);
    ASSERT_NE(partial, nullptr) << error;
    ExpectMatrix3Near(OnlyNode(*partial).GetNodeTM(50), TransMatrix({1, 2, 3}));

    // The problems only key tracks have; the other kinds are in the scene document tests.
    const std::pair<const char*, const char*> bad[] = {
        {R"({"type": "transform", "position": {"times": [0, 0], "values": [0,0,0, 1,1,1]}})",
         "c.json: nodes[0].tmController.position.times[1]: key times must be strictly ascending"},
        {R"({"type": "transform", "rotation": {"times": [0], "values": [0,0,0,1], "interpolation": "bezier"}})",
         "c.json: nodes[0].tmController.rotation.interpolation: rotation keys interpolate \"step\" or \"linear\"; "
         "use per-axis angles for curves"},
        {R"({"type": "transform", "scale": {"x": {"times": [0], "values": [1], "inSlopes": [0]}}})",
         "c.json: nodes[0].tmController.scale.x.inSlopes: slopes need \"interpolation\": \"bezier\""},
        {R"({"type": "transform", "position": {"times": [], "values": []}})",
         "c.json: nodes[0].tmController.position.times: a track needs at least one key"},
    };
    for (const auto& [controller, message] : bad) {
        error.clear();
        EXPECT_EQ(Load(controller, error), nullptr) << controller;
        EXPECT_EQ(error, message);
    }
}
