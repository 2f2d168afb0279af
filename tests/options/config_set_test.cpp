// `plover config set`: values typed into the dialog model, corrected, reported and saved.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "options/config_set.h"
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

TEST(ConfigAssignment, SplitsAtTheFirstEquals) {
    ConfigSetting setting;
    std::string error;
    ASSERT_TRUE(ParseConfigAssignment(" Mtl =a=b", setting, error));
    EXPECT_EQ(setting.key, "Mtl");
    EXPECT_EQ(setting.value, "a=b");
    EXPECT_FALSE(ParseConfigAssignment("Mtl", setting, error));
    EXPECT_EQ(error, "'Mtl' is not of the form KEY=VALUE");
    EXPECT_FALSE(ParseConfigAssignment("=1", setting, error));
}

TEST_F(ConfigSetTest, CorrectionsAndRulesAreReported) {
    ASSERT_TRUE(Apply({{"spacescale", "0"}, {"ZRot", "1000000"}, {"Mtl", "0"}, {"XRot", "-5"}}));
    EXPECT_EQ(options.SpaceScale, 0.00001f);
    EXPECT_EQ(options.ZRot, 999999.0f);
    EXPECT_EQ(options.XRot, -5.0f);
    EXPECT_EQ(options.Mtl, 0);
    EXPECT_EQ(options.TextureFiles, 0);
    EXPECT_EQ(corrections, (std::vector<std::string>{
                               "EffectParam changed from 1 to 0",
                               "DxFx changed from 1 to 0",
                               "TextureFiles changed from 1 to 0",
                               "SpaceScale=0 was corrected to 1e-05",
                               "ZRot=1000000 was corrected to 999999",
                           }));
}

TEST_F(ConfigSetTest, DialogCorrectionsOfLoadedValuesAreReportedToo) {
    options.XFileType = 7;
    options.Precision = 50;
    options.AnimationOptions = 1;
    ASSERT_TRUE(Apply({{"XFileType", "5"}, {"Precision", "4"}}));
    EXPECT_EQ(options.XFileType, 0);
    EXPECT_EQ(options.Precision, 4);
    EXPECT_EQ(corrections, (std::vector<std::string>{"XFileType=5 was corrected to 0",
                                                     "AnimationOptions changed from 1 to 0"}));

    ASSERT_TRUE(Apply({{"Timeline", "1"}, {"SampleRate", "60"}, {"Multi-Textures", "7"}}));
    EXPECT_EQ(options.SampleRate, 30);
    EXPECT_EQ(corrections, (std::vector<std::string>{"SampleRate=60 was corrected to 30",
                                                     "Multi-Textures=7 was corrected to 1"}));
}

TEST_F(ConfigSetTest, RootNameAndClipsGoThroughTheirChecks) {
    context.sceneRootName = "";
    ASSERT_TRUE(Apply({{"SceneRootName", "My Root"}}));
    EXPECT_EQ(root, "MyRoot");
    ASSERT_TRUE(Apply({{"SceneRootName", "1st"}}));
    EXPECT_EQ(root, "");
    EXPECT_EQ(corrections, (std::vector<std::string>{"SceneRootName=1st was corrected to "}));

    ASSERT_TRUE(Apply({{"Animation0_Name", "bad name"}, {"Animation1_Name", "Run"}, {"Animation1_StartKey", "40"},
                       {"Animation1_EndKey", "500"}}));
    EXPECT_EQ(clips, (AnimClipList{{"Anim1", 0, 100}, {"Run", 40, 100}}));
    EXPECT_EQ(corrections,
              (std::vector<std::string>{"Animation0_Name=bad name was refused by the clip list; it stays Anim1",
                                        "Animation1_EndKey=500 was corrected to 100"}));

    ASSERT_TRUE(Apply({{"AnimationCount", "0"}}));
    EXPECT_TRUE(clips.empty());
    EXPECT_TRUE(corrections.empty());
}

TEST_F(ConfigSetTest, RefusedSettingsChangeNothing) {
    const std::string before = FormatOptions(options, root, clips);
    EXPECT_FALSE(Apply({{"Mtl", "0"}, {"NoSuchKey", "1"}}));
    EXPECT_EQ(error, "unknown option key 'NoSuchKey'");
    EXPECT_FALSE(Apply({{"Mtl", "0"}, {"SpaceScale", "big"}}));
    EXPECT_FALSE(Apply({{"AnimationCount", "20000"}}));
    EXPECT_EQ(FormatOptions(options, root, clips), before);
}

TEST(ConfigSetFile, KeepsClipsOutsideAnyRangeAndSavesAtomically) {
    const auto dir = std::filesystem::temp_directory_path() / "plover_config_set_test";
    std::filesystem::remove_all(dir);
    const std::string path = ConfigFilePath(dir.string());
    ASSERT_TRUE(SaveOptions(path, ExportOptions{}, "", {{"Long", -50, 5000}}));

    std::vector<std::string> corrections;
    std::string error;
    ASSERT_TRUE(ConfigSet(path, {{"Bones", "1"}, {"BoneMesh", "1"}, {"SpaceScale", "2"}}, 30, 160, corrections, error));
    ExportOptions options;
    std::string root;
    AnimClipList clips;
    LoadOptions(path, OptionsTime{-1000000, 1000000, 1, 30}, options, root, clips);
    EXPECT_EQ(clips, (AnimClipList{{"Long", -50, 5000}}));
    EXPECT_EQ(options.BoneMesh, 1);
    EXPECT_EQ(options.SpaceScale, 2.0f);

    // A refused setting leaves the file untouched.
    std::ifstream in(path, std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(ConfigSet(path, {{"Bones", "many"}}, 30, 160, corrections, error));
    std::ifstream again(path, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>()), saved);
    std::filesystem::remove_all(dir);
}
