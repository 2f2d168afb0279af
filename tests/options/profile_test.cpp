// The initialisation file reader and writer.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/test_files.h"
#include "options/profile.h"

TEST(ProfileFile, NamesIgnoreCaseAndFirstOccurrenceWins) {
    ProfileFile file;
    file.LoadFromText(
        "; comment line\r\n"
        "Orphan=1\r\n"
        "[option]\r\n"
        "  mtl  =  7  \r\n"
        "MTL=8\r\n"
        "no equals sign\r\n"
        "=value without key\r\n"
        "[Other]\r\n"
        "Mtl=9\r\n"
        "[OPTION]\r\n"
        "Bones=3\r\n"
        "Mtl=10\r\n");
    EXPECT_EQ(file.GetInt("Option", "Mtl", -1), 7);
    EXPECT_EQ(file.GetInt("OPTION", "mTl", -1), 7);
    EXPECT_EQ(file.GetInt("Other", "Mtl", -1), 9);
    // A repeated section is searched as a continuation of the first.
    EXPECT_EQ(file.GetInt("Option", "Bones", -1), 3);
    // Keys before any section belong to none.
    EXPECT_EQ(file.GetInt("Option", "Orphan", -1), -1);
    EXPECT_FALSE(file.HasKey("Option", "no equals sign"));
}

TEST(ProfileFile, IntegersParseLikeTheSystem) {
    ProfileFile file;
    file.LoadFromText(
        "[Option]\n"
        "Plain=42\n"
        "Negative=-17\n"
        "Plus=+5\n"
        "Trailing=12abc\n"
        "Junk=abc\n"
        "Sign=-\n"
        "Empty=\n"
        "Float=2.9\n"
        "Hex=0x10\n"
        "Wrap=4294967297\n"
        "Max=2147483647\n"
        "Min=-2147483648\n"
        "Long=000000000000000000000000000001\n");
    EXPECT_EQ(file.GetInt("Option", "Plain", 0), 42);
    EXPECT_EQ(file.GetInt("Option", "Negative", 0), -17);
    EXPECT_EQ(file.GetInt("Option", "Plus", 0), 5);
    EXPECT_EQ(file.GetInt("Option", "Trailing", 0), 12);
    EXPECT_EQ(file.GetInt("Option", "Junk", 99), 0);
    EXPECT_EQ(file.GetInt("Option", "Sign", 99), 0);
    EXPECT_EQ(file.GetInt("Option", "Empty", 99), 99);  // present but empty: the default, as the system does
    EXPECT_EQ(file.GetInt("Option", "Missing", 99), 99);
    EXPECT_EQ(file.GetInt("Option", "Float", 0), 2);
    EXPECT_EQ(file.GetInt("Option", "Hex", 7), 0);
    EXPECT_EQ(file.GetInt("Option", "Wrap", 0), 1);
    EXPECT_EQ(file.GetInt("Option", "Max", 0), 2147483647);
    EXPECT_EQ(file.GetInt("Option", "Min", 0), -2147483647 - 1);
    EXPECT_EQ(file.GetInt("Option", "Long", 5), 0);  // the digit 1 lies past the 29th character
}

TEST(ProfileFile, StringsAreCutAt259Characters) {
    ProfileFile file;
    const std::string longValue(300, 'x');
    file.LoadFromText("[Option]\nLong=" + longValue + "\nQuoted=\"a b\"\nEmpty=\n");
    EXPECT_EQ(file.GetString("Option", "Long", ""), std::string(259, 'x'));
    EXPECT_EQ(file.GetString("Option", "Missing", longValue), std::string(259, 'x'));
    EXPECT_EQ(file.GetString("Option", "Quoted", ""), "\"a b\"");
    EXPECT_EQ(file.GetString("Option", "Empty", "default"), "");
}

TEST(ProfileFile, WritesReplaceFirstOccurrenceAndCannotInjectLines) {
    ProfileFile file;
    file.LoadFromText("[Option]\nA=1\na=2\n");
    file.WriteInt("OPTION", "A", 5);
    file.WriteString("Option", "Name", "line one\r\n[Evil]\r\nMtl=0");
    file.WriteString("New", "Key", "  padded  ");
    file.WriteString("Option", "Bad=Key", "x");
    file.WriteString("Option", "[Section", "x");
    file.WriteString("Option", "", "x");
    EXPECT_EQ(file.ToText(), "[Option]\r\nA=5\r\na=2\r\nName=line one\r\n[New]\r\nKey=padded\r\n");

    ProfileFile reread;
    reread.LoadFromText(file.ToText());
    EXPECT_EQ(reread.GetInt("Option", "a", 0), 5);
    EXPECT_EQ(reread.GetString("Option", "Name", ""), "line one");
    EXPECT_EQ(reread.GetString("New", "Key", ""), "padded");
}

// (Saving goes through the atomic write, whose tests are in tests/core; a folder or an endless
// device in the file's place is the command tests'.)
TEST(ProfileFile, MissingFileLoadsEmptyAndAnOversizedOneIsRefused) {
    const ScratchDir scratch;
    const auto path = scratch.path() / "config.ini";
    ProfileFile loaded;
    std::string error;
    EXPECT_TRUE(loaded.Load(path.string(), error));
    EXPECT_EQ(error, "");
    EXPECT_TRUE(loaded.Sections().empty());
    std::ofstream(path) << "[Option]\r\nMtl=1\r\n";
    std::filesystem::resize_file(path, ProfileFile::kMaxFileSize + 1);
    EXPECT_FALSE(loaded.Load(path.string(), error));
    EXPECT_EQ(error, "is larger than 8 MiB");
    EXPECT_TRUE(loaded.Sections().empty());
}
