// Generated effect files: exact text for each combination, checked against golden files.
#include <gtest/gtest.h>

#include "common/test_files.h"
#include "effect/effect_file.h"
#include "options/export_options.h"

namespace {

ExportOptions Options(int rightHand, int normalMapCode) {
    ExportOptions options;
    options.RightHand = rightHand;
    options.NormalMapCode = normalMapCode;
    return options;
}

}  // namespace

TEST(EffectFile, GoldenFiles) {
    // No textures, normals only, left-handed.
    XEffectFile plain;
    plain.normal = 1;
    ExpectGolden(plain.GenerateText(Options(0, 1)), "effect/golden/no_textures.fx");

    XEffectFile diffuse;
    diffuse.diffuse = AColor(0.5f, 0.25f, 1, 1);
    diffuse.power = 25;
    diffuse.specular = Color(0.1f, 0.2f, 0.3f);
    diffuse.normal = 1;
    diffuse.AddTexture(1, 0, 1, 1, "Wood");
    ExpectGolden(diffuse.GenerateText(Options(0, 1)), "effect/golden/diffuse.fx");

    // Everything at once: diffuse and normal map on different sets, all vertex channels, vertex
    // colours, emissive, diffuse tint, right-handed. With NormalMapCode off the normal map is
    // declared and has a sampler, but the shaders take the light strength path and never sample it.
    XEffectFile all;
    all.diffuse = AColor(0.8f, 0.8f, 0.8f, 0.5f);
    all.emissive = Color(0, 0, 0.5f);
    all.normal = all.tangent = all.bitangent = all.vertexColor = all.diffuseMapColor = 1;
    all.AddTexture(1, 0, 1, 1, "Stone");
    all.AddTexture(2, 1, 2, 0, "StoneBump");
    ExpectGolden(all.GenerateText(Options(1, 1)), "effect/golden/normal_map_rh.fx");
    ExpectGolden(all.GenerateText(Options(1, 0)), "effect/golden/normal_map_code_off.fx");

    // A normal map without a diffuse texture, left-handed: no green flip, the colour starts from
    // DiffuseColor.
    XEffectFile bump;
    bump.normal = bump.tangent = bump.bitangent = 1;
    bump.AddTexture(2, 0, 1, 1, "Bumps");
    ExpectGolden(bump.GenerateText(Options(0, 1)), "effect/golden/normal_map_only_lh.fx");

    // Textures on sets 2 and 0 (in that order), two textures sharing set 0: one member per set,
    // in ascending order, in both structures and the vertex shader; the first main texture is
    // the diffuse one.
    XEffectFile sets;
    sets.vertexColor = 1;
    sets.AddTexture(0, 2, 0, 2, "Detail");
    sets.AddTexture(1, 0, 1, 1, "Base");
    sets.AddTexture(1, 0, 1, 1, "Second");
    ExpectGolden(sets.GenerateText(Options(0, 1)), "effect/golden/coordinate_sets.fx");

    // Large magnitudes are written in full.
    XEffectFile big;
    big.power = -1234567.0f;
    EXPECT_NE(big.GenerateText(Options(1, 1)).find("float  SpecularPower = -1234567.000000f; \n"), std::string::npos);
}
