// The POSIX side of the platform layer; the Windows side runs in scripts/test-windows.sh, where
// the same behaviour is checked through the command under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/test_files.h"
#include "core/platform.h"

namespace fs = std::filesystem;

TEST(Platform, MappedFilesAndTheirFailures) {
    ScratchDir scratch;
    const std::string name = scratch.Touch("modèle 模型.bin", std::string("a\0b", 3));
    platform::MappedFile file;
    std::string problem;
    ASSERT_TRUE(file.Open(name, problem)) << problem;
    ASSERT_EQ(file.size(), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()), 3), std::string("a\0b", 3));

    platform::MappedFile empty;
    ASSERT_TRUE(empty.Open(scratch.Touch("empty", ""), problem));
    EXPECT_EQ(empty.size(), 0u);

    platform::MappedFile folder;
    EXPECT_FALSE(folder.Open(scratch.path().string(), problem));
    EXPECT_EQ(problem, "cannot read " + scratch.path().string());
    platform::MappedFile missing;
    EXPECT_FALSE(missing.Open(scratch.dir() + "none", problem));
    EXPECT_EQ(problem, "cannot open " + scratch.dir() + "none");
}

TEST(Platform, MoveIntoPlaceReplacesAndSaysWhyNot) {
    ScratchDir scratch;
    const std::string from = scratch.Touch("new", "new");
    const std::string to = scratch.Touch("old", "old");
    EXPECT_FALSE(platform::MoveIntoPlace(from, to));
    EXPECT_EQ(ReadText(to), "new");
    EXPECT_FALSE(fs::exists(from));
    EXPECT_EQ(platform::MoveIntoPlace(from, to), std::errc::no_such_file_or_directory);
    EXPECT_EQ(ReadText(to), "new");
}

TEST(Platform, ProgramFilesBesideTheExecutableOrInItsLibraryFolder) {
    const fs::path self = platform::ExecutablePath();
    ASSERT_TRUE(fs::exists(self));
    EXPECT_EQ(platform::FindProgramFile("no-such-module.dle"), (self.parent_path() / "no-such-module.dle").string());
    // An installed layout: bin/ and lib/plover/ beside each other.
    const fs::path lib = self.parent_path() / ".." / "lib" / "plover";
    const bool made = !fs::exists(lib);
    fs::create_directories(lib);
    { std::ofstream(lib / "platform-test.dle") << "x"; }
    EXPECT_EQ(platform::FindProgramFile("platform-test.dle"), (lib / "platform-test.dle").lexically_normal().string());
    fs::remove(lib / "platform-test.dle");
    if (made) fs::remove_all(self.parent_path() / ".." / "lib");
}

TEST(Platform, ProcessesAndFolders) {
    EXPECT_TRUE(platform::ProcessIsRunning(platform::ProcessId()));
    EXPECT_FALSE(platform::ProcessIsRunning(0));
    EXPECT_FALSE(platform::ProcessIsRunning(-1));
    ScratchDir scratch;
    std::error_code cause;
    EXPECT_TRUE(platform::FolderTakesNewFiles(scratch.path().string(), cause));
    EXPECT_FALSE(platform::FolderTakesNewFiles(scratch.dir() + "missing", cause));
    EXPECT_EQ(cause, std::errc::no_such_file_or_directory);
    EXPECT_EQ(platform::Utf8Of(platform::PathOf("a/b ü/模型.x")), "a/b ü/模型.x");
}
