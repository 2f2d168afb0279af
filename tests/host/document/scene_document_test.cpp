#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/test_files.h"
#include "host/document/scene_document.h"
#include "host/objects/scene_builder.h"

namespace {

const std::string kExamplePath = std::string(PLOVER_SOURCE_DIR) + "/examples/simple_scene.json";

// The error of loading `json` as "s.json" (empty when it loads).
std::string LoadError(const std::string& json) {
    std::string error;
    std::unique_ptr<HostScene> scene = LoadSceneDocumentFromString(json, "s.json", error);
    EXPECT_EQ(scene == nullptr, !error.empty()) << error;
    return error;
}

std::string WithNode(const std::string& node) { return R"({"plover_scene": 1, "nodes": [)" + node + "]}"; }

// (That every document the tests share writes back and loads again the same is the scene
// document fuzz target's, whose corpus test runs them all.)
TEST(SceneDocument, SavesClassedObjectsAsLoadableTypes) {
    SceneBuilder b;
    const Mesh box = MakeBoxMesh(1, 1, 1);
    b.Classed("MeshHelper", kDummyClassId, kHelperClassId, &box);
    b.Classed("Odd", Class_ID(0x77, 0), kCameraClassId);
    b.Node("Caf\xE9");  // an 8-bit name that is not UTF-8
    const std::string saved = SaveSceneDocument(b.scene());
    std::string error;
    std::unique_ptr<HostScene> loaded = LoadSceneDocumentFromString(saved, "saved.json", error);
    ASSERT_NE(loaded, nullptr) << error << saved;
    EXPECT_EQ(loaded->root().children()[0]->GetObjectRef()->SuperClassID(), kHelperClassId);
    EXPECT_EQ(loaded->root().children()[0]->GetObjectRef()->NumPoints(), 8);
    EXPECT_EQ(loaded->root().children()[1]->GetObjectRef()->ClassID(), Class_ID(0x77, 0));
    EXPECT_EQ(loaded->root().children()[2]->name(), "Caf\xEF\xBF\xBD");
}

// One case for each kind of problem; the message names the file, the place and the cause.
TEST(SceneDocument, RejectsInvalidDocumentsWithPathAndProblem) {
    const std::pair<std::string, std::string> cases[] = {
        {"[1, 2]", "s.json: expected a JSON object at the top level, found an array"},
        {"{}", "s.json: plover_scene: missing field (the document version)"},
        {R"({"plover_scene": 2})", "s.json: plover_scene: unsupported version 2 (this host reads version 1)"},
        {R"({"plover_scene": 1, "extra": 0})", "s.json: extra: unknown field"},
        {R"({"plover_scene": 1, "time": {"frameRate": 7}})",
         "s.json: time.frameRate: frame rate 7 does not divide 4800 ticks per second"},
        {R"({"plover_scene": 1, "time": {"animationRange": [10, 5]}})",
         "s.json: time.animationRange: end frame 5 is before start frame 10"},
        {WithNode(R"({"name": "A"}, {"name": "B", "children": [{"name": "C", "transform": [1, 2, 3]}]})"),
         "s.json: nodes[1].children[0].transform: expected 12 numbers, found 3"},
        {WithNode(R"({"name": "A", "transform": [1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1e39]})"),
         "s.json: nodes[0].transform[11]: number is not finite as a 32-bit float"},
        {WithNode(R"({"name": "A", "transform": {"rotation": [0, 0, 0, 0]}})"),
         "s.json: nodes[0].transform.rotation: quaternion has zero length"},
        {WithNode(R"({"name": "A", "transform": {"rotation": [0, 0, 0, 1], "eulerDegrees": [0, 0, 0]}})"),
         "s.json: nodes[0].transform: give either \"rotation\" or \"eulerDegrees\", not both"},
        {WithNode(R"({"name": "A", "object": "missing"})"),
         "s.json: nodes[0].object: unknown object \"missing\" (not in \"objects\")"},
        {WithNode(R"({"name": "A", "object": {"type": "teapot"}})"),
         "s.json: nodes[0].object.type: unknown object type \"teapot\""},
        {WithNode(R"({"name": "A", "object": {"type": "mesh", "mesh": {"vertices": [0, 0, 0, 1, 1], "faces": []}}})"),
         "s.json: nodes[0].object.mesh.vertices: length 5 is not a multiple of 3"},
        {WithNode(R"({"name": "A", "object": {"type": "mesh", "mesh": {"vertices": [0, 0, 0], "faces": [0, 0, 1]}}})"),
         "s.json: nodes[0].object.mesh.faces[2]: index 1 is out of range (1 vertices)"},
        {WithNode(R"({"name": "A", "object": {"type": "helper", "classId": ["0xZZ", 0]}})"),
         "s.json: nodes[0].object.classId[0]: expected a hexadecimal word such as \"0x1A2B\", found \"0xZZ\""},
        {WithNode(R"({"name": "A", "object": {"type": "patch", "vertices": [0, 0, 0], "patches": [{"corners": [0, 0]}]}})"),
         "s.json: nodes[0].object.patches[0].corners: a patch has 3 or 4 corners, found 2"},
        {WithNode(R"({"name": "A", "stack": [[{"type": "skin"}]]})"), "s.json: nodes[0].stack: a modifier stack needs an object"},
        {R"({"plover_scene": 1, "objects": [{"name": "x", "type": "dummy"}, {"name": "x", "type": "dummy"}]})",
         "s.json: objects[1].name: duplicate object name \"x\""},
        {R"({"plover_scene": 1, "clips": [{"name": "", "start": 0, "end": 1}]})", "s.json: clips[0].name: a clip needs a name"},
        // Numbers beyond 64 bits or of the wrong type: every part reads them through one reader.
        {R"({"plover_scene": 1, "clips": [{"name": "a", "start": 18446744073709551615, "end": 1}]})",
         "s.json: clips[0].start: 18446744073709551615 is out of range (-2147483647 to 2147483647)"},
        {WithNode(R"({"name": "A", "tmController": {"type": "transform", "position": {"times": [0], "values": [0, "x", 0]}}})"),
         "s.json: nodes[0].tmController.position.values[1]: expected a number, found a string"},
        // Malformed JSON: the line and column.
        {"{\n  \"plover_scene\": 1,\n  \"nodes\": [x]\n}",
         "s.json: line 3, column 13: malformed JSON: syntax error while parsing value - invalid literal; "
         "last read: '\"nodes\": [x'"},
        {"", "s.json: line 1, column 1: malformed JSON: syntax error while parsing value - "
             "unexpected end of input; expected '[', '{', or a literal"},
    };
    for (const auto& [json, expected] : cases) EXPECT_EQ(LoadError(json), expected) << json;
}

TEST(SceneDocument, ClipsAreReadAndWrittenBackAndAbsentMeansNone) {
    std::string error;
    auto scene = LoadSceneDocumentFromString(
        R"({"plover_scene": 1, "clips": [{"name": "Walk", "start": 0, "end": 30}, {"name": "Run", "start": -5, "end": 60}]})",
        "s.json", error);
    ASSERT_TRUE(scene && scene->clips()) << error;
    EXPECT_EQ(*scene->clips(), (std::vector<HostClip>{{"Walk", 0, 30}, {"Run", -5, 60}}));
    auto again = LoadSceneDocumentFromString(SaveSceneDocument(*scene), "again.json", error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->clips(), scene->clips());
    auto empty = LoadSceneDocumentFromString(R"({"plover_scene": 1, "clips": []})", "s.json", error);
    ASSERT_TRUE(empty && empty->clips());
    EXPECT_TRUE(empty->clips()->empty());  // offers "no clips"
    auto none = LoadSceneDocumentFromString(R"({"plover_scene": 1})", "n.json", error);
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->clips());
    EXPECT_EQ(SaveSceneDocument(*none).find("\"clips\""), std::string::npos);
}

TEST(SceneDocument, DeepNestingIsRejected) {
    std::string deep = R"({"plover_scene": 1, "nodes": [)";
    for (int i = 0; i < 300; ++i) deep += R"({"name": "n", "children": [)";
    for (int i = 0; i < 300; ++i) deep += "]}";
    deep += "]}";
    std::string error = LoadError(deep);
    EXPECT_NE(error.find(": nodes nested deeper than 256 levels"), std::string::npos) << error.substr(0, 200);

    // Inline maps and materials: each level costs stack, so they are limited too.
    const auto nested = [](const std::string& open, const std::string& close, int levels,
                            const std::string& inner = R"({"type": "standard"})") {
        std::string text;
        for (int i = 0; i < levels; ++i) text += open;
        text += inner;
        for (int i = 0; i < levels; ++i) text += close;
        return text;
    };
    error = LoadError(WithNode(R"({"name": "A", "material": )" +
                               nested(R"({"type": "multi", "materials": [)", "]}", 63) + "}"));
    EXPECT_EQ(error, "") << error.substr(0, 200);
    error = LoadError(WithNode(R"({"name": "A", "material": )" +
                               nested(R"({"type": "multi", "materials": [)", "]}", 64) + "}"));
    EXPECT_NE(error.find("].materials[0]: maps and materials nested more than 64 levels deep"), std::string::npos)
        << error.substr(0, 200);
    error = LoadError(R"({"plover_scene": 1, "maps": [{"name": "m", "type": "normalBump", "normal": )" +
                      nested(R"({"type": "normalBump", "bump": )", "}", 70, R"({"type": "vertexColor"})") + "}]}");
    EXPECT_NE(error.find(": maps and materials nested more than 64 levels deep"), std::string::npos)
        << error.substr(0, 200);

    // Arrays and objects nested past any document's need are refused before they are parsed.
    error = LoadError(R"({"plover_scene": 1, "sceneFile": )" + std::string(100000, '[') + std::string(100000, ']') + "}");
    EXPECT_EQ(error, "s.json: line 1, column 1057: arrays and objects nested more than 1024 levels deep");
    EXPECT_EQ(LoadError(R"({"plover_scene": 1, "sceneFile": "[[[[{{{{"})"), "");
}

TEST(SceneDocument, FilesThatAreNotDocuments) {
    std::string error;
    EXPECT_EQ(LoadSceneDocument("/nonexistent/scene.json", error), nullptr);
    EXPECT_EQ(error, "/nonexistent/scene.json: cannot open the file");
    EXPECT_EQ(LoadSceneDocument(PLOVER_SOURCE_DIR, error), nullptr);
    EXPECT_EQ(error, std::string(PLOVER_SOURCE_DIR) + ": is a folder, not a scene document");
    // A document that names no scene file stands for itself, so that textures are looked for
    // beside it.
    const std::string bare = ::testing::TempDir() + "/bare_scene.json";
    std::ofstream(bare) << R"({"plover_scene": 1})";
    auto scene = LoadSceneDocument(bare, error);
    ASSERT_NE(scene, nullptr) << error;
    EXPECT_EQ(scene->GetCurFilePath(), std::filesystem::path(bare).lexically_normal().string());
    std::filesystem::remove(bare);
}

// (Random damage, and the round trip of whatever loads, are the fuzz target's.)
TEST(SceneDocument, EveryPrefixIsHandled) {
    const std::string example = ReadText(kExamplePath);
    ASSERT_FALSE(example.empty());
    const size_t complete = example.rfind('}') + 1;  // shorter prefixes are cut JSON
    for (size_t n = 0; n < example.size(); ++n) {
        std::string error;
        std::unique_ptr<HostScene> scene = LoadSceneDocumentFromString(example.substr(0, n), "prefix.json", error);
        EXPECT_EQ(scene != nullptr, n >= complete) << n << ": " << error;
        if (!scene) {
            EXPECT_EQ(error.rfind("prefix.json: line ", 0), 0u) << error;
        }
    }
}

}  // namespace
