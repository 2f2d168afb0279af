// Materials and maps in scene documents: the loader's messages for what it refuses, one case for
// each kind of problem the other document tests do not show. (What it loads is exported and
// checked whole in tests/xfile/material_export_test.cpp.)
#include "material_test_util.h"

#include "host/document/scene_document.h"
#include "host/objects/procedural_maps.h"
#include "sdk/material_classes.h"

namespace {

std::string LoadError(const std::string& body) {
    std::string error;
    auto scene = LoadSceneDocumentFromString("{\"plover_scene\": 1, " + body + "}", "scene.json", error);
    EXPECT_EQ(scene, nullptr);
    return error;
}

}  // namespace

TEST(SceneDocumentMaterials, RejectsInvalidInputWithPlace) {
    EXPECT_EQ(LoadError(R"("nodes": [{"name": "A", "material": "Nope"}])"),
              "scene.json: nodes[0].material: unknown material \"Nope\" (not earlier in \"materials\")");
    EXPECT_EQ(LoadError(R"("maps": [{"name": "a", "type": "checker"}, {"name": "a", "type": "noise"}])"),
              "scene.json: maps[1].name: a second entry named \"a\"");
    EXPECT_EQ(LoadError(R"("maps": [{"name": "a", "type": "checker", "tiling": ["uWarp"]}])"),
              "scene.json: maps[0].tiling[0]: unknown tiling flag \"uWarp\" (uWrap, vWrap, uMirror, vMirror)");
    EXPECT_EQ(LoadError(R"("maps": [{"name": "a", "type": "checker", "color1": [1, 0]}])"),
              "scene.json: maps[0].color1: expected 3 or 4 numbers");
    EXPECT_EQ(LoadError(R"("materials": [{"name": "M", "type": "standard", "maps": {"difuse": null}}])"),
              "scene.json: materials[0].maps.difuse: unknown map slot");
    EXPECT_EQ(LoadError(R"("materials": [{"name": "M", "type": "standard", "transparency": 2}])"),
              "scene.json: materials[0].transparency: value is out of range (0.000000 to 1.000000)");
    EXPECT_EQ(LoadError(R"("materials": [{"name": "M", "type": "dxShader", "parameters": [{"name": "p", "type": "matrix"}]}])"),
              "scene.json: materials[0].parameters[0].type: unknown parameter type \"matrix\" (float, int, percent, "
              "point3, point4, color, frgba, bool, string, filename, texmap, bitmap)");
}
