// Generated effect files: exact text for each combination, checked against golden files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "effect/effect_file.h"
#include "options/export_options.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// Compares text with golden/<name>; PLOVER_UPDATE_GOLDEN=1 rewrites the file instead. A mismatch
// names the first differing line and leaves the actual text beside the build for review.
void ExpectGoldenText(const std::string& text, const std::string& name) {
    const fs::path golden = fs::path(PLOVER_TEST_DATA_DIR) / "effect" / "golden" / name;
    if (const char* update = std::getenv("PLOVER_UPDATE_GOLDEN"); update && std::string(update) == "1") {
        std::ofstream(golden, std::ios::binary) << text;
        return;
    }
    ASSERT_TRUE(fs::exists(golden)) << "missing golden file " << golden;
    const std::string expected = ReadAll(golden);
    if (expected == text) return;
    std::istringstream a(expected), b(text);
    std::string lineA, lineB;
    int line = 1;
    while (true) {
        const bool moreA = static_cast<bool>(std::getline(a, lineA));
        const bool moreB = static_cast<bool>(std::getline(b, lineB));
        if (!moreA && !moreB) break;
        if (!moreA || !moreB || lineA != lineB) break;
        ++line;
    }
    const fs::path actual = fs::path(PLOVER_BINARY_DIR) / ("actual_" + name);
    std::ofstream(actual, std::ios::binary) << text;
    ADD_FAILURE() << name << " differs at line " << line << "\n expected: " << lineA << "\n actual:   " << lineB
                  << "\n actual text saved as " << actual;
}

struct Case {
    const char* golden;
    ExportOptions options;
    XEffectFile effect;
};

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
// colours, emissive, diffuse tint, right-handed.
TEST(EffectFile, NormalMapRightHandedGolden) {
    XEffectFile effect;
    effect.diffuse = AColor(0.8f, 0.8f, 0.8f, 0.5f);
    effect.emissive = Color(0, 0, 0.5f);
    effect.normal = effect.tangent = effect.bitangent = effect.vertexColor = effect.diffuseMapColor = 1;
    effect.AddTexture(1, 0, 1, 1, "Stone");
    effect.AddTexture(2, 1, 2, 0, "StoneBump");
    ExpectGoldenText(effect.GenerateText(Options(1, 1)), "normal_map_rh.fx");
}

// The same material with NormalMapCode off: the normal map is declared and has a sampler, but
// the shaders take the light strength path and never sample it.
TEST(EffectFile, NormalMapCodeOffGolden) {
    XEffectFile effect;
    effect.diffuse = AColor(0.8f, 0.8f, 0.8f, 0.5f);
    effect.emissive = Color(0, 0, 0.5f);
    effect.normal = effect.tangent = effect.bitangent = effect.vertexColor = effect.diffuseMapColor = 1;
    effect.AddTexture(1, 0, 1, 1, "Stone");
    effect.AddTexture(2, 1, 2, 0, "StoneBump");
    const std::string text = effect.GenerateText(Options(1, 0));
    ExpectGoldenText(text, "normal_map_code_off.fx");
    EXPECT_NE(text.find("texture StoneBump; \n"), std::string::npos);
    EXPECT_NE(text.find("sampler2D StoneBumpSampler"), std::string::npos);
    EXPECT_EQ(text.find("tex2D( StoneBumpSampler"), std::string::npos);
    EXPECT_NE(text.find("LightStrength"), std::string::npos);
}

// A normal map without a diffuse texture, left-handed: no green flip, the colour starts from
// DiffuseColor.
TEST(EffectFile, NormalMapWithoutDiffuseGolden) {
    XEffectFile effect;
    effect.normal = effect.tangent = effect.bitangent = 1;
    effect.AddTexture(2, 0, 1, 1, "Bumps");
    const std::string text = effect.GenerateText(Options(0, 1));
    ExpectGoldenText(text, "normal_map_only_lh.fx");
    EXPECT_EQ(text.find("bumpNormal.y = -bumpNormal.y"), std::string::npos);
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
    const std::string text = effect.GenerateText(Options(0, 1));
    ExpectGoldenText(text, "coordinate_sets.fx");

    const auto count = [&](const std::string& needle) {
        size_t n = 0;
        for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("   float2 TexCoord0 : TEXCOORD0;\n"), 2u);  // VS_INPUT and VS_OUTPUT
    EXPECT_EQ(count("   float2 TexCoord2 : TEXCOORD2;\n"), 2u);
    EXPECT_LT(text.find("TexCoord0 : TEXCOORD0"), text.find("TexCoord2 : TEXCOORD2"));
    EXPECT_LT(text.find("OUT.TexCoord0.xy"), text.find("OUT.TexCoord2.xy"));
    EXPECT_NE(text.find("tex2D( BaseSampler, vout.TexCoord0 )"), std::string::npos);
    EXPECT_NE(text.find("   AddressU  = Clamp;     \n   AddressV  = Mirror;     \n"), std::string::npos);
}

TEST(EffectFile, NumbersAndEmissiveSwitch) {
    XEffectFile effect;
    effect.diffuse = AColor(0.5f, 0.25f, 1, 1);
    std::string text = effect.GenerateText(Options(0, 1));
    EXPECT_NE(text.find("float4 DiffuseColor  = { 0.500000f, 0.250000f, 1.000000f, 1.000000f }; \n"), std::string::npos);
    EXPECT_NE(text.find("\nbool bEmissiveColor = false; \n"), std::string::npos);
    EXPECT_NE(text.find("float3 lightDirection = { 0, 0, -1 }; \n\n"), std::string::npos);

    effect.emissive = Color(0, 0, 0.5f);
    effect.power = -1234567.0f;
    text = effect.GenerateText(Options(1, 1));
    EXPECT_NE(text.find("\nbool bEmissiveColor = true; \n"), std::string::npos);
    EXPECT_NE(text.find("float  SpecularPower = -1234567.000000f; \n"), std::string::npos);
    EXPECT_NE(text.find("float3 lightDirection = { 0, 0, 1 }; \n\n"), std::string::npos);
    EXPECT_NE(text.find("float4 EmissiveColor = { 0.000000f, 0.000000f, 0.500000f, 1.000000f }; \n\n"),
              std::string::npos);
}
