// plover convert as a user meets it: exit codes and messages for a wrong output, a missing
// input or folder, an interrupt, and a conversion that writes every file or none.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "common/test_files.h"
#include "tools/plover/commands.h"

namespace fs = std::filesystem;

namespace {

const std::string kFox = std::string(PLOVER_TEST_DATA_DIR) + "/assets/gltf/Fox/Fox.glb";
const std::string kBoxTexcoords = std::string(PLOVER_TEST_DATA_DIR) + "/assets/gltf/BoxTexcoords/boxTexcoords.gltf";

fs::path Folder() {
    const fs::path dir = fs::temp_directory_path() / "plover-cli-convert";
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

size_t Entries(const fs::path& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

}  // namespace

TEST(CliConvert, ChecksBeforeReadingAndWritesAllOrNothing) {
    const fs::path dir = Folder();
    ConvertCommand command;
    command.quiet = true;
    command.inputPath = kFox;

    command.outputPath = (dir / "fox.obj").string();
    EXPECT_EQ(RunConvertCommand(command), kExitUsage);
    command.outputPath = (dir / "missing" / "fox.glb").string();
    EXPECT_EQ(RunConvertCommand(command), kExitUsage);
    command.inputPath = (dir / "nothing.glb").string();
    command.outputPath = (dir / "fox.glb").string();
    EXPECT_EQ(RunConvertCommand(command), kExitUsage);
    EXPECT_EQ(Entries(dir), 0u);

    // Interrupted before it writes: nothing is left.
    command.inputPath = kBoxTexcoords;
    command.outputPath = (dir / "box.gltf").string();
    EXPECT_EQ(RunConvertCommand(command, [] { return SIGINT; }), 130);
    EXPECT_EQ(Entries(dir), 0u);

    // A .gltf comes with its buffer and its image; a .glb is one file.
    EXPECT_EQ(RunConvertCommand(command, [] { return 0; }), kExitOk);
    EXPECT_TRUE(fs::exists(dir / "box.bin"));
    EXPECT_TRUE(fs::exists(dir / "texture.png"));
    EXPECT_EQ(Entries(dir), 3u);
    command.inputPath = kFox;
    command.outputPath = (dir / "fox.glb").string();
    EXPECT_EQ(RunConvertCommand(command, [] { return 0; }), kExitOk);
    EXPECT_EQ(ReadText(dir / "fox.glb").substr(0, 4), "glTF");
    EXPECT_EQ(Entries(dir), 4u);
    fs::remove_all(dir);
}
