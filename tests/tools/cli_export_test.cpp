// The export command as a user runs it: exit codes, one-run settings, broken documents.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tools/plover/commands.h"

namespace fs = std::filesystem;

namespace {

class CliExport : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("plover-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "config");
        command_.configDir = (dir_ / "config").string();
        command_.pluginPath = std::string(PLOVER_BINARY_DIR) + "/plover.dle";
        command_.quiet = true;
        command_.outputPath = (dir_ / "out.x").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        return (dir_ / name).string();
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir_;
    ExportCommand command_;
};

const char* kTwoNodes = R"({"plover_scene": 1, "nodes": [
  {"name": "Box", "object": {"type": "mesh",
     "mesh": {"vertices": [0,0,0, 1,0,0, 0,1,0], "faces": [0,1,2]}},
   "children": [{"name": "Handle", "object": {"type": "dummy"}}]}]})";

}  // namespace

TEST_F(CliExport, WritesTheFileAndLeavesTheUsersOptionsAlone) {
    command_.scenePath = Write("scene.json", kTwoNodes);
    const std::string config = Write("config/plover_max_config.ini", "[Option]\r\nXFileType=1\r\n");
    command_.settings = {"XFileType=0", "Mtl=0"};
    EXPECT_EQ(RunExportCommand(command_), 0);
    EXPECT_EQ(Read(command_.outputPath).substr(0, 16), "xof 0303txt 0032");  // the override won
    EXPECT_EQ(Read(config), "[Option]\r\nXFileType=1\r\n");                    // the file did not change

    // Without overrides the user's file decides.
    command_.settings.clear();
    EXPECT_EQ(RunExportCommand(command_), 0);
    EXPECT_EQ(Read(command_.outputPath).substr(0, 16), "xof 0303bin 0032");
}

TEST_F(CliExport, FailsWithoutWritingOnBadInput) {
    // A document that does not load: nothing is exported, and the old output survives.
    Write("out.x", "previous");
    command_.scenePath = Write("broken.json", R"({"plover_scene": 1, "nodes": [{"name": 5}]})");
    EXPECT_EQ(RunExportCommand(command_), 2);
    EXPECT_EQ(Read(command_.outputPath), "previous");

    // A setting that is not an option.
    command_.scenePath = Write("scene.json", kTwoNodes);
    command_.settings = {"NoSuchOption=1"};
    EXPECT_EQ(RunExportCommand(command_), 2);
    command_.settings = {"XFileType=abc"};
    EXPECT_EQ(RunExportCommand(command_), 2);
    command_.settings = {"Mtl"};
    EXPECT_EQ(RunExportCommand(command_), 2);
    EXPECT_EQ(Read(command_.outputPath), "previous");

    // A scene whose only nodes are never collected: the exporter writes nothing.
    command_.settings.clear();
    command_.scenePath = Write("targets.json", R"({"plover_scene": 1, "nodes": [
        {"name": "Camera01.Target", "object": {"type": "target"}}]})");
    EXPECT_EQ(RunExportCommand(command_), 1);
    EXPECT_EQ(Read(command_.outputPath), "previous");

    // A module that is not there.
    command_.scenePath = Write("scene.json", kTwoNodes);
    command_.pluginPath = (dir_ / "missing.dle").string();
    EXPECT_EQ(RunExportCommand(command_), 2);
}

TEST_F(CliExport, ConfigSetCorrectsLikeTheDialog) {
    ASSERT_EQ(RunConfigSet(command_.configDir, {"SpaceScale=0", "Mtl=0"}), 0);
    const std::string text = Read(fs::path(command_.configDir) / "plover_max_config.ini");
    EXPECT_NE(text.find("SpaceScale=1e-05"), std::string::npos) << text;
    EXPECT_NE(text.find("TextureFiles=0"), std::string::npos) << text;
    EXPECT_EQ(RunConfigSet(command_.configDir, {"Bogus=1"}), 2);
}
