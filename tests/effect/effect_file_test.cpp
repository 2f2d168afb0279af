// Generated effect files: exact text for each combination, checked against golden files.
#include <gtest/gtest.h>

#include "common/test_files.h"
#include "effect/effect_file.h"
#include "options/export_options.h"

namespace {

void ExpectGoldenText(const std::string& text, const std::string& name) { ExpectGolden(text, "effect/golden/" + name); }

ExportOptions Options(int rightHand, int normalMapCode) {
    ExportOptions options;
    options.RightHand = rightHand;
    options.NormalMapCode = normalMapCode;
    return options;
}

}  // namespace

// The first file in full: no textures, normals only, left-handed.
TEST(EffectFile, NoTexturesGolden) {
    XEffectFile effect;
    effect.normal = 1;
    ExpectGoldenText(effect.GenerateText(Options(0, 1)), "no_textures.fx");
}

TEST(EffectFile, DiffuseTextureGolden) {
    XEffectFile effect;
    effect.diffuse = AColor(0.5f, 0.25f, 1, 1);
    effect.power = 25;
    effect.specular = Color(0.1f, 0.2f, 0.3f);
    effect.normal = 1;
    effect.AddTexture(1, 0, 1, 1, "Wood");
    ExpectGoldenText(effect.GenerateText(Options(0, 1)), "diffuse.fx");
}

// Everything at once: diffuse and normal map on different sets, all vertex channels, vertex
// colours, emissive, diffuse tint, right-handed. With NormalMapCode off the normal map is
// declared and has a sampler, but the shaders take the light strength path and never sample it.
TEST(EffectFile, NormalMapRightHandedGolden) {
    XEffectFile effect;
    effect.diffuse = AColor(0.8f, 0.8f, 0.8f, 0.5f);
    effect.emissive = Color(0, 0, 0.5f);
    effect.normal = effect.tangent = effect.bitangent = effect.vertexColor = effect.diffuseMapColor = 1;
    effect.AddTexture(1, 0, 1, 1, "Stone");
    effect.AddTexture(2, 1, 2, 0, "StoneBump");
    ExpectGoldenText(effect.GenerateText(Options(1, 1)), "normal_map_rh.fx");
    ExpectGoldenText(effect.GenerateText(Options(1, 0)), "normal_map_code_off.fx");
}

// A normal map without a diffuse texture, left-handed: no green flip, the colour starts from
// DiffuseColor.
TEST(EffectFile, NormalMapWithoutDiffuseGolden) {
    XEffectFile effect;
    effect.normal = effect.tangent = effect.bitangent = 1;
    effect.AddTexture(2, 0, 1, 1, "Bumps");
    ExpectGoldenText(effect.GenerateText(Options(0, 1)), "normal_map_only_lh.fx");
}

// Textures on sets 2 and 0 (in that order), two textures sharing set 0: one member per set, in
// ascending order, in both structures and the vertex shader; the first main texture is the
// diffuse one.
TEST(EffectFile, CoordinateSetsGolden) {
    XEffectFile effect;
    effect.vertexColor = 1;
    effect.AddTexture(0, 2, 0, 2, "Detail");
    effect.AddTexture(1, 0, 1, 1, "Base");
    effect.AddTexture(1, 0, 1, 1, "Second");
    ExpectGoldenText(effect.GenerateText(Options(0, 1)), "coordinate_sets.fx");
}

// Numbers the goldens do not show: large magnitudes in full.
TEST(EffectFile, LargeNumbersAreWrittenInFull) {
    XEffectFile effect;
    effect.power = -1234567.0f;
    EXPECT_NE(effect.GenerateText(Options(1, 1)).find("float  SpecularPower = -1234567.000000f; \n"), std::string::npos);
}
