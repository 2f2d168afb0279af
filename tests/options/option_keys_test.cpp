// Setting and showing options by their file keys.
#include <gtest/gtest.h>

#include "options/number_text.h"
#include "options/option_keys.h"

TEST(NumberText, GFormatMatchesPrintf) {
    EXPECT_EQ(FormatG(0.5f), "0.5");
    EXPECT_EQ(FormatG(1.0f), "1");
    EXPECT_EQ(FormatG(0.00001f), "1e-05");
    EXPECT_EQ(FormatG(1234567.0), "1.23457e+06");
    EXPECT_EQ(FormatG(999999.0), "999999");
    EXPECT_EQ(FormatG(-0.25), "-0.25");
    EXPECT_EQ(FormatG(0.0001), "0.0001");
    EXPECT_EQ(FormatG(static_cast<double>(0.1f)), "0.1");
}

TEST(NumberText, LeadingNumbersReadLikeTheCLibrary) {
    EXPECT_EQ(ParseLeadingDouble("  -1.5e2xyz"), -150.0);
    EXPECT_EQ(ParseLeadingDouble(".5"), 0.5);
    EXPECT_EQ(ParseLeadingDouble("5."), 5.0);
    EXPECT_EQ(ParseLeadingDouble("1e"), 1.0);
    EXPECT_EQ(ParseLeadingDouble("+2"), 2.0);
    EXPECT_EQ(ParseLeadingDouble("."), 0.0);
    EXPECT_EQ(ParseLeadingDouble("-"), 0.0);
    EXPECT_EQ(ParseLeadingDouble("1,5"), 1.0);
    EXPECT_EQ(ParseLeadingDouble("infinity"), 0.0);
    EXPECT_EQ(ParseLeadingDouble("1e999"), 0.0);
    EXPECT_EQ(ParseLeadingFloat("1e300"), 0.0f);
    EXPECT_EQ(ParseLeadingInt(" 12ab"), 12);
    EXPECT_EQ(ParseLeadingInt("-99999999999"), -2147483647 - 1);
    EXPECT_EQ(ParseLeadingInt("99999999999"), 2147483647);
    EXPECT_EQ(ParseLeadingInt("x1"), 0);

    int32_t i = 0;
    EXPECT_TRUE(ParseWholeInt(" +7 ", i));
    EXPECT_EQ(i, 7);
    EXPECT_TRUE(ParseWholeInt("-2147483648", i));
    EXPECT_FALSE(ParseWholeInt("2147483648", i));
    EXPECT_FALSE(ParseWholeInt("+-1", i));
    EXPECT_FALSE(ParseWholeInt("1.0", i));
    EXPECT_FALSE(ParseWholeInt("", i));
    float f = 0;
    EXPECT_TRUE(ParseWholeFloat("-0.5", f));
    EXPECT_EQ(f, -0.5f);
    EXPECT_FALSE(ParseWholeFloat("1e39", f));
    EXPECT_FALSE(ParseWholeFloat("nan", f));
    EXPECT_FALSE(ParseWholeFloat("1.5x", f));
}

TEST(OptionKeys, SetOptionByKeyChecksKeyAndValue) {
    ExportOptions options;
    std::string error;
    EXPECT_TRUE(SetOptionByKey(options, "multi-TEXTURES", "1", error));
    EXPECT_EQ(options.MultiTextures, 1);
    EXPECT_TRUE(SetOptionByKey(options, "XFileType", "7", error));  // stored as given
    EXPECT_EQ(options.XFileType, 7);
    EXPECT_TRUE(SetOptionByKey(options, "spacescale", "0.25", error));
    EXPECT_EQ(options.SpaceScale, 0.25f);

    EXPECT_FALSE(SetOptionByKey(options, "Materials", "1", error));
    EXPECT_EQ(error, "unknown option key 'Materials'");
    EXPECT_FALSE(SetOptionByKey(options, "Mtl", "yes", error));
    EXPECT_EQ(error, "option 'Mtl': 'yes' is not a 32-bit integer");
    EXPECT_FALSE(SetOptionByKey(options, "ZRot", "ninety", error));
    EXPECT_EQ(error, "option 'ZRot': 'ninety' is not a finite number");
    EXPECT_FALSE(SetOptionByKey(options, "SceneRootName", "x", error));  // not a field of the record
}

TEST(OptionKeys, SetConfigValueHandlesRootNameAndClips) {
    ExportOptions options;
    std::string root;
    AnimClipList clips{{"Walk", 0, 10}};
    std::string error;
    EXPECT_TRUE(SetConfigValue(options, root, clips, "scenerootname", "Top", error));
    EXPECT_EQ(root, "Top");
    EXPECT_TRUE(SetConfigValue(options, root, clips, "Animation2_Name", "Jump", error));
    EXPECT_TRUE(SetConfigValue(options, root, clips, "animation2_endkey", "-4", error));
    EXPECT_EQ(clips, (AnimClipList{{"Walk", 0, 10}, {"Anim1", 0, 999999}, {"Jump", 0, -4}}));
    EXPECT_TRUE(SetConfigValue(options, root, clips, "AnimationCount", "1", error));
    EXPECT_EQ(clips, (AnimClipList{{"Walk", 0, 10}}));
    EXPECT_TRUE(SetConfigValue(options, root, clips, "Bones", "0", error));
    EXPECT_EQ(options.Bones, 0);

    EXPECT_FALSE(SetConfigValue(options, root, clips, "AnimationCount", "-1", error));
    EXPECT_FALSE(SetConfigValue(options, root, clips, "AnimationCount", "10001", error));
    EXPECT_FALSE(SetConfigValue(options, root, clips, "Animation10000_Name", "x", error));
    EXPECT_FALSE(SetConfigValue(options, root, clips, "Animation0_StartKey", "soon", error));
    EXPECT_EQ(error, "option 'Animation0_StartKey': 'soon' is not a 32-bit integer");
    EXPECT_FALSE(SetConfigValue(options, root, clips, "Animation0_Length", "3", error));
    EXPECT_EQ(error, "unknown option key 'Animation0_Length'");
    EXPECT_FALSE(SetConfigValue(options, root, clips, "SceneRootName", "a\nMtl=0", error));
    EXPECT_EQ(root, "Top");
    EXPECT_EQ(clips, (AnimClipList{{"Walk", 0, 10}}));
}

TEST(OptionKeys, FormatOptionsListsEveryKeyThenRootAndClips) {
    ExportOptions options;
    options.SpaceScale = 1.0f;
    options.MultiTextures = 1;
    const std::string text = FormatOptions(options, "", {{"Walk", 1, 9}});
    EXPECT_EQ(text.rfind("SceneRoot=0\nMeshs=0\nMtl=0\n", 0), 0u);
    EXPECT_NE(text.find("\nMulti-Textures=1\nZRotEnable=0\nXRotEnable=0\nSpaceScale=1\nZRot=0\nXRot=0\n"
                        "SceneRootName=\nAnimationCount=1\n"
                        "Animation0_Name=Walk\nAnimation0_StartKey=1\nAnimation0_EndKey=9\n"),
              std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 54 + 2 + 3);
}
