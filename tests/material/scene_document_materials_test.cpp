// Materials and maps in scene documents: what the loader makes of them, and its messages.
#include "material_test_util.h"

#include "host/procedural_maps.h"
#include "host/scene_document.h"
#include "sdk/material_classes.h"

namespace {

std::unique_ptr<HostScene> Load(const std::string& body, std::string& error) {
    return LoadSceneDocumentFromString("{\"plover_scene\": 1, " + body + "}", "scene.json", error);
}

std::string LoadError(const std::string& body) {
    std::string error;
    auto scene = Load(body, error);
    EXPECT_EQ(scene, nullptr);
    return error;
}

Mtl* NodeMaterial(HostScene& scene, int i) { return scene.root().GetChildNode(i)->GetMtl(); }

}  // namespace

TEST(SceneDocumentMaterials, LoadsMaterialsAndMaps) {
    const std::string body = R"(
      "maps": [
        {"name": "wood", "type": "bitmap", "file": "C:\\maps\\wood.png", "mapChannel": 2,
         "tiling": ["uMirror", "vWrap"], "uvTransform": {"repeat": [2, 2]},
         "crop": {"u": 0.25, "v": 0.25, "width": 0.5, "height": 0.5}},
        {"name": "board", "type": "checker", "color1": [1, 0, 0], "color2": [0, 0, 1, 0.5]},
        {"name": "bumps", "type": "normalBump", "normal": {"type": "bitmap", "file": "n.png"}},
        {"name": "noise", "type": "noise", "noiseType": "fractal", "size": 10, "levels": 4},
        {"name": "ramp", "type": "gradient", "gradientType": "radial", "middle": 0.25},
        {"name": "colours", "type": "vertexColor"}
      ],
      "materials": [
        {"name": "Wood", "type": "standard", "variant": 2, "diffuse": [1, 0.5, 0], "shininess": 0.3,
         "shininessStrength": 2, "transparency": 0.1, "selfIllumination": [0.1, 0.2, 0.3],
         "maps": {"diffuse": "wood", "bump": "bumps", "opacity": "board"}, "disabledMaps": ["opacity"]},
        {"name": "Glow", "type": "standard", "selfIllumination": 0.5},
        {"name": "Multi", "type": "multi", "materials": ["Wood", null, {"type": "generic", "name": "G",
          "maps": [null, "wood"]}]},
        {"name": "Fx", "type": "dxShader", "effectFile": "shaders/shiny.fx",
         "parameters": [{"name": "gloss", "type": "float", "value": 0.5},
                        {"name": "diffuseMap", "type": "texmap", "value": "wood"},
                        {"name": "useFog", "type": "bool", "value": true},
                        {"name": "tint", "type": "frgba", "value": [1, 0, 0, 1]}],
         "effectBitmaps": [{"file": "d.png", "mapChannel": 2}, {"file": null}]},
        {"name": "Broken", "type": "dxShader", "loaded": false}
      ],
      "nodes": [
        {"name": "A", "material": "Wood"},
        {"name": "B", "material": "Multi"},
        {"name": "C", "material": {"type": "standard", "name": "Inline"}},
        {"name": "D", "material": "Fx"},
        {"name": "E", "material": "Broken"},
        {"name": "F"}
      ])";
    std::string error;
    auto scene = Load(body, error);
    ASSERT_NE(scene, nullptr) << error;

    auto* wood = dynamic_cast<HostStdMaterial*>(NodeMaterial(*scene, 0));
    ASSERT_NE(wood, nullptr);
    EXPECT_EQ(wood->ClassID(), kStandardMaterial2ClassId);
    EXPECT_EQ(wood->GetDiffuse(), Color(1, 0.5f, 0));
    EXPECT_TRUE(wood->GetSelfIllumColorOn());
    EXPECT_FALSE(wood->MapEnabled(kMapOpacity));
    EXPECT_TRUE(wood->MapEnabled(kMapDiffuse));
    auto* bitmap = dynamic_cast<HostBitmapTex*>(wood->GetSubTexmap(kMapDiffuse));
    ASSERT_NE(bitmap, nullptr);
    EXPECT_STREQ(bitmap->GetMapName(), "C:\\maps\\wood.png");
    EXPECT_EQ(bitmap->GetMapChannel(), 2);
    EXPECT_EQ(bitmap->GetTextureTiling(), kUMirror | kVTile);
    EXPECT_TRUE(bitmap->GetApplyCrop());
    EXPECT_EQ(bitmap->GetClipW(), 0.5f);
    EXPECT_NE(dynamic_cast<HostCheckerMap*>(wood->GetSubTexmap(kMapOpacity)), nullptr);
    auto* bump = dynamic_cast<HostNormalBump*>(wood->GetSubTexmap(kMapBump));
    ASSERT_NE(bump, nullptr);
    EXPECT_NE(dynamic_cast<HostBitmapTex*>(bump->GetSubTexmap(0)), nullptr);

    auto* multi = NodeMaterial(*scene, 1);
    ASSERT_EQ(multi->NumSubMtls(), 3);
    EXPECT_EQ(multi->GetSubMtl(0), wood);  // shared by name
    EXPECT_EQ(multi->GetSubMtl(1), nullptr);
    EXPECT_EQ(multi->GetSubMtl(2)->ClassID(), kGenericMaterialClassId);
    EXPECT_EQ(multi->GetSubMtl(2)->GetSubTexmap(1), bitmap);

    Mtl* fx = NodeMaterial(*scene, 3);
    ASSERT_NE(fx->GetInterface(kDxMaterialInterfaceId), nullptr);
    ASSERT_EQ(fx->NumParamBlocks(), 2);
    EXPECT_EQ(fx->GetParamBlock(0)->NumParams(), 4);
    EXPECT_EQ(fx->GetParamBlock(0)->GetTexmap(1), bitmap);
    EXPECT_EQ(fx->GetParamBlock(1)->GetParamDef(0).internalName, "effectfile");
    auto* bitmaps = static_cast<IDxMaterial*>(fx->GetInterface(kDxEffectBitmapInterfaceId));
    ASSERT_EQ(bitmaps->GetNumberOfEffectBitmaps(), 2);
    EXPECT_STREQ(bitmaps->GetEffectBitmapFile(0), "d.png");
    EXPECT_EQ(bitmaps->GetEffectBitmapFile(1), nullptr);
    EXPECT_EQ(NodeMaterial(*scene, 4)->NumParamBlocks(), 0);
    EXPECT_EQ(NodeMaterial(*scene, 5), nullptr);

    // The loaded scene feeds material collection.
    ExportOptions options;
    ModuleState state;
    XMaterialList list;
    XMaterialTable table;
    const MaterialReadContext context{options, state, scene.get(), 1};
    ASSERT_TRUE(CollectMaterials(context, "B", NodeMaterial(*scene, 1), list, table));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(ResolveMaterialEntry(list[1].get(), table)->name, "Material_NULL");
    EXPECT_EQ(ResolveMaterialEntry(list[2].get(), table)->name, "G");
    ASSERT_TRUE(CollectMaterials(context, "E", NodeMaterial(*scene, 4), list, table));
    ASSERT_EQ(scene->messages().size(), 1u);
    EXPECT_EQ(scene->messages()[0].text, "Broken: Not valid directx material!");
}

TEST(SceneDocumentMaterials, RejectsInvalidInputWithPlace) {
    EXPECT_EQ(LoadError(R"("nodes": [{"name": "A", "material": "Nope"}])"),
              "scene.json: nodes[0].material: unknown material \"Nope\" (not earlier in \"materials\")");
    EXPECT_EQ(LoadError(R"("materials": [{"name": "M", "type": "multi", "materials": ["M"]}])"),
              "scene.json: materials[0].materials[0]: unknown material \"M\" (not earlier in \"materials\")");
    EXPECT_EQ(LoadError(R"("maps": [{"name": "a", "type": "checker"}, {"name": "a", "type": "noise"}])"),
              "scene.json: maps[1].name: a second entry named \"a\"");
    EXPECT_EQ(LoadError(R"("maps": [{"name": "a", "type": "bitmap"}])"), "scene.json: maps[0].file: missing field");
    EXPECT_EQ(LoadError(R"("maps": [{"name": "a", "type": "checker", "tiling": ["uWarp"]}])"),
              "scene.json: maps[0].tiling[0]: unknown tiling flag \"uWarp\" (uWrap, vWrap, uMirror, vMirror)");
    EXPECT_EQ(LoadError(R"("maps": [{"name": "a", "type": "checker", "color1": [1, 0]}])"),
              "scene.json: maps[0].color1: expected 3 or 4 numbers");
    EXPECT_EQ(LoadError(R"("maps": [{"name": "a", "type": "noise", "size": 0}])"),
              "scene.json: maps[0].size: size must be greater than 0");
    EXPECT_EQ(LoadError(R"("maps": [{"name": "a", "type": "bitmap", "file": "x", "mapChannel": 100}])"),
              "scene.json: maps[0].mapChannel: 100 is out of range (0 to 99)");
    EXPECT_EQ(LoadError(R"("materials": [{"name": "M", "type": "standard", "maps": {"difuse": null}}])"),
              "scene.json: materials[0].maps.difuse: unknown map slot");
    EXPECT_EQ(LoadError(R"("materials": [{"name": "M", "type": "standard", "transparency": 2}])"),
              "scene.json: materials[0].transparency: value is out of range (0.000000 to 1.000000)");
    EXPECT_EQ(LoadError(R"("materials": [{"name": "M", "type": "dxShader", "parameters": [{"name": "p", "type": "matrix"}]}])"),
              "scene.json: materials[0].parameters[0].type: unknown parameter type \"matrix\" (float, int, percent, "
              "point3, point4, color, frgba, bool, string, filename, texmap, bitmap)");
    EXPECT_EQ(LoadError(R"("materials": [{"name": "M", "type": "standard", "shininess": 1e39}])"),
              "scene.json: materials[0].shininess: number is not finite as a 32-bit float");
    EXPECT_EQ(LoadError(R"("materials": [{"name": "M", "type": "phong"}])"),
              "scene.json: materials[0].type: unknown material type \"phong\" (standard, multi, generic, dxShader)");
    EXPECT_EQ(LoadError(R"("materials": [{"name": "M", "type": "standard", "colour": [1, 1, 1]}])"),
              "scene.json: materials[0].colour: unknown field");
}
