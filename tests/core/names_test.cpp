#include <gtest/gtest.h>

#include <string>

#include "core/names.h"

using namespace std::string_literals;

TEST(SanitizeXName, MapsEveryCharacterClassAndPrefixesLeadingDigits) {
    EXPECT_EQ(SanitizeXName(""), "");
    EXPECT_EQ(SanitizeXName("Box01"), "Box01");
    EXPECT_EQ(SanitizeXName("Anim-Bone_01"), "Anim-Bone_01");
    EXPECT_EQ(SanitizeXName("Box 02.Mesh"), "Box_02_Mesh");
    EXPECT_EQ(SanitizeXName("say \"hi\""), "say_'hi'");
    EXPECT_EQ(SanitizeXName("caf\xc3\xa9\x80\xff"), "caf____");  // every byte >= 128 on its own
    EXPECT_EQ(SanitizeXName("a\tb{c}"), "a_b_c_");
    // Host names end at a NUL.
    EXPECT_EQ(SanitizeXName("ab\0cd"s), "ab");
    // A leading digit gets a prefix, inside the length limit.
    EXPECT_EQ(SanitizeXName("2Box"), "_2Box");
    EXPECT_EQ(SanitizeXName("123"), "_123");
    EXPECT_EQ(SanitizeXName("_2"), "_2");
    EXPECT_EQ(SanitizeXName(" 2"), "_2");  // the blank is mapped, no prefix added

    const std::string letters(300, 'a');
    EXPECT_EQ(SanitizeXName(letters), std::string(255, 'a'));
    const std::string digitFirst = "7" + std::string(299, 'b');
    const std::string cut = SanitizeXName(digitFirst);
    EXPECT_EQ(cut, "_7" + std::string(253, 'b'));
    EXPECT_EQ(SanitizeXName(std::string(255, '9')).size(), 255u);
}

TEST(RemoveSpaces, DropsBlanksAfterTheCut) {
    EXPECT_EQ(RemoveSpaces(""), "");
    EXPECT_EQ(RemoveSpaces("  Scene Root  "), "SceneRoot");
    EXPECT_EQ(RemoveSpaces("a\tb"), "a\tb");  // only blanks go
    // The first 255 characters are taken, then their blanks removed.
    const std::string text = std::string(250, 'x') + "     " + "tail";
    EXPECT_EQ(RemoveSpaces(text), std::string(250, 'x'));
    EXPECT_EQ(RemoveSpaces(std::string(400, 'y')).size(), 255u);
    EXPECT_EQ(RemoveSpaces("a b\0c d"s), "ab");
}
