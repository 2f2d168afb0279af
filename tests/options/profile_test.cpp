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
    const std::pair<const char*, int> cases[] = {
        {"42", 42}, {"-17", -17}, {"+5", 5}, {"12abc", 12}, {"abc", 0}, {"-", 0}, {"2.9", 2}, {"0x10", 0},
        {"4294967297", 1}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
        {"000000000000000000000000000001", 0},  // the digit 1 lies past the 29th character
        {"", 99},  // present but empty: the default, as the system does
    };
    for (const auto& [text, value] : cases) {
        ProfileFile file;
        file.LoadFromText(std::string("[Option]\nKey=") + text + "\n");
        EXPECT_EQ(file.GetInt("Option", "Key", 99), value) << text;
    }
    EXPECT_EQ(ProfileFile().GetInt("Option", "Missing", 99), 99);
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
