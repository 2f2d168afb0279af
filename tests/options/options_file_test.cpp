// Loading and saving the option set through the initialisation file.
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <random>

#include "common/test_files.h"
#include "options/option_keys.h"
#include "options/options_file.h"
#include "options/profile.h"

namespace {

class OptionsFileTest : public ::testing::Test {
protected:
    void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string Read() const { return ReadText(path_); }
    void Load() { LoadOptions(path_, time_, options_, rootName_, clips_); }

    const ScratchDir dir_;
    const std::string path_ = ConfigFilePath(dir_.path().string());
    OptionsTime time_{0, 100 * 160, 160, 30};  // frames 0 to 100
    ExportOptions options_;
    std::string rootName_ = "stale";
    AnimClipList clips_{{"stale", 1, 2}};
};

}  // namespace

TEST(OptionKeys, TableHasEveryFieldOnce) {
    // Each key writes a distinct field: set each to its position and read it back.
    const auto table = OptionKeyTable();
    ASSERT_EQ(table.size(), 54u);
    ExportOptions probe;
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].type == OptionType::Int) probe.*table[i].intField = static_cast<int32_t>(i + 1);
        else probe.*table[i].floatField = static_cast<float>(i + 1);
    }
    for (size_t i = 0; i < table.size(); ++i) {
        const double value = table[i].type == OptionType::Int ? probe.*table[i].intField : probe.*table[i].floatField;
        EXPECT_EQ(value, static_cast<double>(i + 1)) << table[i].name;
        EXPECT_EQ(FindOptionKey(table[i].name), &table[i]);
    }
    EXPECT_EQ(FindOptionKey("multi-textures"), FindOptionKey("Multi-Textures"));
    EXPECT_EQ(FindOptionKey("MultiTextures"), nullptr);
}

TEST_F(OptionsFileTest, MissingFileGivesDefaults) {
    time_ = OptionsTime{320, 4800, 160, 25};  // frames 2 to 30
    Load();
    ExportOptions expected;
    expected.Mtl = expected.Meshs = expected.Bones = expected.Normal = expected.TexCoords = expected.Skin = 1;
    expected.Animation = expected.KeyType = expected.TimelineCustom = 1;
    expected.EffectParam = expected.DxFx = expected.TextureFiles = expected.OverwriteTexture = expected.OverwriteFX = 1;
    expected.XFileType = 1;
    expected.Precision = 10;
    expected.SampleRate = 25;
    expected.KeyOptimizeLevel = 3;
    expected.SpaceScale = 1.0f;
    expected.ProcMapX = expected.ProcMapY = 256;
    EXPECT_EQ(FormatOptions(options_, "", {}), FormatOptions(expected, "", {}));
    EXPECT_EQ(rootName_, "");
    EXPECT_EQ(clips_, (AnimClipList{{"Anim1", 2, 30}}));
}

TEST_F(OptionsFileTest, DependencyRulesRawValuesAndNumbersInAnyLocale) {
    Write("[Option]\nMtl=0\nTextureFiles=1\nPowerOf2=1\nOverwriteFX=1\nDxFx=1\nEffectParam=1\nInlineMtl=1\n"
          "Bones=0\nBoneMesh=1\nXFileType=7\nPrecision=50\nSampleRate=-3\nNormal=junk\nTangent=1x\n"
          "SpaceScale=2.5cm\nZRot=1e300\nXRot= -90\n");
    Load();
    for (int32_t ExportOptions::*cleared : {&ExportOptions::TextureFiles, &ExportOptions::PowerOf2, &ExportOptions::OverwriteFX,
                                            &ExportOptions::DxFx, &ExportOptions::EffectParam, &ExportOptions::InlineMtl,
                                            &ExportOptions::BoneMesh})
        EXPECT_EQ(options_.*cleared, 0);
    // Out-of-range values load as they are; the dialog and the driver correct them.
    EXPECT_EQ(options_.XFileType, 7);
    EXPECT_EQ(options_.Precision, 50);
    EXPECT_EQ(options_.SampleRate, -3);
    EXPECT_EQ(options_.Normal, 0);
    EXPECT_EQ(options_.Tangent, 1);
    EXPECT_EQ(options_.SpaceScale, 2.5f);
    EXPECT_EQ(options_.ZRot, 0.0f);  // not a usable number: 0, like other non-numbers
    EXPECT_EQ(options_.XRot, -90.0f);

    // The locale of the process does not change how numbers are read or written.
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) {
        Write("[Option]\nSpaceScale=0.25\n");
        Load();
        EXPECT_EQ(options_.SpaceScale, 0.25f);
        ASSERT_TRUE(SaveOptions(path_, options_, "", {}));
        EXPECT_NE(Read().find("SpaceScale=0.25\r\n"), std::string::npos);
        std::setlocale(LC_NUMERIC, saved.c_str());
    }
}

TEST_F(OptionsFileTest, ClipsAreClampedCountedAndSkipped) {
    Write("[Option]\nAnimationCount=5\n"
          "Animation0_Name=Inverted\nAnimation0_StartKey=50\nAnimation0_EndKey=20\n"
          "Animation1_Name=Wide\nAnimation1_StartKey=-5\nAnimation1_EndKey=500\n"
          "Animation2_Name=\n"
          "Animation3_StartKey=junk\n"
          "Animation4_Name=Above\nAnimation4_StartKey=150\nAnimation4_EndKey=200\n");
    Load();
    EXPECT_EQ(clips_, (AnimClipList{{"Inverted", 20, 20}, {"Wide", 0, 100}, {"Anim1", 0, 100}, {"Above", 100, 100}}));

    Write("[Option]\nAnimationCount=0\nAnimation0_Name=Ignored\n");
    Load();
    EXPECT_TRUE(clips_.empty());
    Write("[Option]\nAnimationCount=-4\n");
    Load();
    EXPECT_TRUE(clips_.empty());

    // A huge count would otherwise make millions of default clips.
    Write("[Option]\nAnimationCount=2000000000\n");
    Load();
    EXPECT_EQ(clips_.size(), static_cast<size_t>(kMaxClipCount));

    // Negative ticks truncate toward zero: -170 ticks is frame -1.
    time_ = OptionsTime{-170, 330, 160, 30};
    Write("[Option]\nAnimation0_StartKey=-9\n");
    Load();
    EXPECT_EQ(clips_, (AnimClipList{{"Anim1", -1, 2}}));
}

TEST_F(OptionsFileTest, SaveWritesTheLayoutAndEmptiesTheFileFirst) {
    Write("[Option]\nAnimationCount=3\nAnimation2_Name=Old\n[Other]\nKeep=1\n");
    Load();
    options_.SpaceScale = 0.5f;
    options_.ZRot = 1.0f;
    options_.XRot = 0.00001f;
    ASSERT_TRUE(SaveOptions(path_, options_, "", {{"Walk", 0, 10}}));
    const std::string text = Read();

    std::string expected = "[Option]\r\n";
    for (const OptionKey& key : OptionKeyTable()) {
        expected += std::string(key.name) + "=" + FormatOptionValue(options_, key) + "\r\n";
    }
    expected += "AnimationCount=1\r\nAnimation0_Name=Walk\r\nAnimation0_StartKey=0\r\nAnimation0_EndKey=10\r\n";
    EXPECT_EQ(text, expected);  // no root name, nothing of the old clips or sections
    EXPECT_NE(text.find("SpaceScale=0.5\r\nZRot=1\r\nXRot=1e-05\r\n"), std::string::npos);
    EXPECT_EQ(text.rfind("[Option]\r\nSceneRoot=0\r\nMeshs=1\r\nMtl=1\r\nOTHER=0\r\n", 0), 0u);

    // An empty clip list writes the count 0 and no clip keys; an empty root name loads as empty.
    ASSERT_TRUE(SaveOptions(path_, options_, "", {}));
    EXPECT_NE(Read().find("AnimationCount=0\r\n"), std::string::npos);
    EXPECT_EQ(Read().find("Animation0"), std::string::npos);
    Load();
    EXPECT_TRUE(clips_.empty());
    EXPECT_EQ(rootName_, "");

    EXPECT_FALSE(SaveOptions("", options_, "", {}));
}

// A saved file loads back the same; every prefix of it loads without harm: no clip starts
// after its end.
TEST_F(OptionsFileTest, SaveThenLoadGivesTheSameValuesAndCutFilesLoad) {
    ExportOptions options;
    std::mt19937 rng(7);
    for (const OptionKey& key : OptionKeyTable()) {
        if (key.type == OptionType::Int) {
            options.*key.intField = static_cast<int32_t>(rng());
        } else {
            options.*key.floatField = 123.25f;
        }
    }
    options.Mtl = options.Bones = 1;  // keep the dependency rules from changing anything
    const AnimClipList clips{{"Walk", 0, 10}, {"Run", 5, 100}, {"with blank", 3, 3}};
    ASSERT_TRUE(SaveOptions(path_, options, "Root_1", clips));
    Load();
    EXPECT_EQ(FormatOptions(options_, rootName_, clips_), FormatOptions(options, "Root_1", clips));

    const std::string valid = Read();
    for (size_t n = 0; n <= valid.size(); ++n) {
        Write(valid.substr(0, n));
        Load();
        EXPECT_LE(clips_.size(), 3u);
        for (const AnimClip& clip : clips_) {
            EXPECT_FALSE(clip.name.empty());
            EXPECT_LE(clip.start, clip.end);
        }
    }
}
