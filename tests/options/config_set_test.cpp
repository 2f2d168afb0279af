// Options by their file keys: number text, KEY=VALUE settings, and `config set`'s corrections as
// the dialog makes them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/test_files.h"
#include "options/config_set.h"
#include "options/number_text.h"
#include "options/option_keys.h"
#include "options/options_file.h"

namespace {

class ConfigSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadOptions("", OptionsTime{0, 16000, 160, 30}, options, root, clips);  // defaults, one clip 0-100
        context.range = FrameRange{0, 100};
    }
    bool Apply(std::vector<ConfigSetting> settings) {
        return ApplyConfigSettings(settings, context, options, root, clips, corrections, error);
    }
    ExportOptions options;
    std::string root;
    AnimClipList clips;
    DialogContext context;
    std::vector<std::string> corrections;
    std::string error;
};

}  // namespace

TEST(NumberText, ReadAndWrittenLikeTheCLibraryInAnyLocale) {
    EXPECT_EQ(FormatG(0.5f), "0.5");
    EXPECT_EQ(FormatG(0.00001f), "1e-05");
    EXPECT_EQ(FormatG(1234567.0), "1.23457e+06");
    EXPECT_EQ(FormatG(static_cast<double>(0.1f)), "0.1");
    EXPECT_EQ(ParseLeadingDouble("  -1.5e2xyz"), -150.0);
    EXPECT_EQ(ParseLeadingDouble("1e"), 1.0);
    EXPECT_EQ(ParseLeadingDouble("1,5"), 1.0);
    EXPECT_EQ(ParseLeadingDouble("infinity"), 0.0);
    EXPECT_EQ(ParseLeadingFloat("1e300"), 0.0f);
    EXPECT_EQ(ParseLeadingInt("-99999999999"), -2147483647 - 1);
    int32_t i = 0;
    EXPECT_TRUE(ParseWholeInt(" +7 ", i));
    EXPECT_EQ(i, 7);
    EXPECT_FALSE(ParseWholeInt("2147483648", i));
    EXPECT_FALSE(ParseWholeInt("1.0", i));
    float f = 0;
    EXPECT_FALSE(ParseWholeFloat("1e39", f));
    EXPECT_FALSE(ParseWholeFloat("nan", f));
}

TEST(OptionKeys, SettingsByKeyCheckKeyAndValue) {
    ConfigSetting setting;
    std::string error;
    ASSERT_TRUE(ParseConfigAssignment(" Mtl =a=b", setting, error));
    EXPECT_EQ(setting.key, "Mtl");
    EXPECT_EQ(setting.value, "a=b");
    EXPECT_FALSE(ParseConfigAssignment("Mtl", setting, error));
    EXPECT_EQ(error, "'Mtl' is not of the form KEY=VALUE");
    EXPECT_FALSE(ParseConfigAssignment("=1", setting, error));

    ExportOptions options;
    std::string root;
    AnimClipList clips{{"Walk", 0, 10}};
    EXPECT_TRUE(SetConfigValue(options, root, clips, "multi-TEXTURES", "1", error));
    EXPECT_EQ(options.MultiTextures, 1);
    EXPECT_TRUE(SetConfigValue(options, root, clips, "scenerootname", "Top", error));
    EXPECT_TRUE(SetConfigValue(options, root, clips, "Animation2_Name", "Jump", error));
    EXPECT_TRUE(SetConfigValue(options, root, clips, "animation2_endkey", "-4", error));
    EXPECT_EQ(clips, (AnimClipList{{"Walk", 0, 10}, {"Anim1", 0, 999999}, {"Jump", 0, -4}}));
    EXPECT_TRUE(SetConfigValue(options, root, clips, "AnimationCount", "1", error));
    EXPECT_EQ(clips, (AnimClipList{{"Walk", 0, 10}}));

    const std::pair<const char*, const char*> refused[] = {
        {"Materials", "unknown option key 'Materials'"},
        {"Mtl", "option 'Mtl': 'yes' is not a 32-bit integer"},
        {"ZRot", "option 'ZRot': 'ninety' is not a finite number"},
    };
    const char* values[] = {"1", "yes", "ninety"};
    for (size_t k = 0; k < std::size(refused); ++k) {
        EXPECT_FALSE(SetConfigValue(options, root, clips, refused[k].first, values[k], error));
        EXPECT_EQ(error, refused[k].second);
    }
    EXPECT_FALSE(SetConfigValue(options, root, clips, "AnimationCount", "10001", error));
    EXPECT_FALSE(SetConfigValue(options, root, clips, "Animation10000_Name", "x", error));
    EXPECT_FALSE(SetConfigValue(options, root, clips, "SceneRootName", "a\nMtl=0", error));
    EXPECT_EQ(root, "Top");

    const std::string text = FormatOptions(options, "", {{"Walk", 1, 9}});
    EXPECT_EQ(text.rfind("SceneRoot=0\nMeshs=0\nMtl=0\n", 0), 0u);
    EXPECT_NE(text.find("\nXRot=0\nSceneRootName=\nAnimationCount=1\nAnimation0_Name=Walk\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 54 + 2 + 3);
}

TEST_F(ConfigSetTest, CorrectionsRulesRootNameAndClipsAreReported) {
    ASSERT_TRUE(Apply({{"spacescale", "0"}, {"ZRot", "1000000"}, {"Mtl", "0"}, {"XRot", "-5"}}));
    EXPECT_EQ(options.SpaceScale, 0.00001f);
    EXPECT_EQ(options.XRot, -5.0f);
    EXPECT_EQ(options.TextureFiles, 0);
    EXPECT_EQ(corrections, (std::vector<std::string>{
                               "EffectParam changed from 1 to 0",
                               "DxFx changed from 1 to 0",
                               "TextureFiles changed from 1 to 0",
                               "SpaceScale=0 was corrected to 1e-05",
                               "ZRot=1000000 was corrected to 999999",
                               "Mtl=0 also turned off EffectParam, DxFx and TextureFiles; Mtl=1 does not turn "
                               "them back on",
                           }));

    // Values loaded out of range are corrected by the dialog too, and said.
    options.XFileType = 7;
    options.AnimationOptions = 1;
    ASSERT_TRUE(Apply({{"XFileType", "5"}, {"Timeline", "1"}, {"SampleRate", "60"}}));
    EXPECT_EQ(options.XFileType, 0);
    EXPECT_EQ(corrections, (std::vector<std::string>{"XFileType=5 was corrected to 0",
                                                     "AnimationOptions changed from 1 to 0",
                                                     "SampleRate=60 was corrected to 30"}));

    // The root name and the clips go through their checks.
    context.sceneRootName = "";
    ASSERT_TRUE(Apply({{"SceneRootName", "My Root"}}));
    EXPECT_EQ(root, "MyRoot");
    ASSERT_TRUE(Apply({{"SceneRootName", "1st"}}));
    EXPECT_EQ(root, "");
    EXPECT_EQ(corrections, (std::vector<std::string>{"SceneRootName=1st was corrected to "}));

    ASSERT_TRUE(Apply({{"Animation1_Name", "Run"}, {"Animation1_StartKey", "40"},
                       {"Animation1_EndKey", "500"}, {"Animation2_StartKey", "30"}, {"Animation2_EndKey", "20"}}));
    EXPECT_EQ(clips, (AnimClipList{{"Anim1", 0, 100}, {"Run", 40, 100}, {"Anim1", 20, 20}}));
    EXPECT_EQ(corrections,
              (std::vector<std::string>{"clip 2 (Anim1) ends at frame 20, before it starts at frame 30",
                                        "Animation1_EndKey=500 was corrected to 100",
                                        "Animation2_StartKey=30 was corrected to 20"}));

    // A refused setting changes nothing at all.
    const std::string before = FormatOptions(options, root, clips);
    EXPECT_FALSE(Apply({{"Mtl", "0"}, {"NoSuchKey", "1"}}));
    EXPECT_FALSE(Apply({{"AnimationCount", "20000"}}));
    // So does a value the clip list refuses, with the rows it would have added.
    EXPECT_FALSE(Apply({{"Mtl", "0"}, {"animation5_name", "bad name"}}));
    EXPECT_EQ(error, "Animation5_Name=bad name is refused: a clip name is 1 to 31 letters, digits and _ and does "
                     "not start with a digit; nothing was changed");
    EXPECT_FALSE(Apply({{"Animation0_StartKey", "-5"}}));
    EXPECT_NE(error.find("a clip frame is a whole number of 0 or more"), std::string::npos) << error;
    EXPECT_EQ(FormatOptions(options, root, clips), before);
}

TEST(ConfigSetFile, KeepsStoredClipsAndRefusalsChangeNothing) {
    const ScratchDir dir;
    const std::string path = ConfigFilePath(dir.path().string());
    std::vector<std::string> corrections;
    std::string error;
    // (A file without clips staying without is the command tests'.) Stored clips are not pulled into any range, whatever else is set.
    ASSERT_TRUE(SaveOptions(path, ExportOptions{}, "", {{"Long", -50, 5000}}));
    ASSERT_TRUE(ConfigSet(path, {{"Bones", "1"}, {"BoneMesh", "1"}}, 30, 160, corrections, error));
    ExportOptions options;
    std::string root;
    AnimClipList clips;
    LoadOptions(path, OptionsTime{-1000000, 1000000, 1, 30}, options, root, clips);
    EXPECT_EQ(clips, (AnimClipList{{"Long", -50, 5000}}));
    EXPECT_EQ(options.BoneMesh, 1);

    // A refused setting leaves the file untouched.
    const std::string saved = ReadText(path);
    EXPECT_FALSE(ConfigSet(path, {{"Bones", "many"}}, 30, 160, corrections, error));
    EXPECT_EQ(ReadText(path), saved);
}
