// The command as a user meets it: exit codes and messages, out-of-range settings, clip lists,
// interrupts, and the options file's read-modify-write.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/mesh_invariants.h"
#include "common/test_files.h"
#include "core/staged_files.h"
#include "tools/plover/commands.h"
#include "tools/plover/console.h"

namespace fs = std::filesystem;

namespace {

class Cli : public ::testing::Test {
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
    void TearDown() override {
        mesh_invariants::ExpectMeshObjectsValidUnder(dir_);
        fs::remove_all(dir_);
    }

    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        return (dir_ / name).string();
    }
    std::string Config() const { return ReadText(fs::path(command_.configDir) / "plover_max_config.ini"); }
    // Runs the built command in the test's folder; returns its exit status, output in `output`.
    int Plover(const std::string& arguments, std::string& output) const {
        return Run("'" + std::string(PLOVER_BINARY_DIR) + "/plover' " + arguments, output);
    }
    // Runs a shell command line in the test's folder.
    int Run(const std::string& command, std::string& output) const {
        const std::string line = "cd '" + dir_.string() + "' && " + command + " 2>&1";
        FILE* pipe = ::popen(line.c_str(), "r");
        output.clear();
        char buffer[4096];
        size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
        const int status = ::pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path dir_;
    ExportCommand command_;
};

const char* kTwoNodes = R"({"plover_scene": 1, "nodes": [
  {"name": "Box", "object": {"type": "mesh",
     "mesh": {"vertices": [0,0,0, 1,0,0, 0,1,0], "faces": [0,1,2]}},
   "children": [{"name": "Handle", "object": {"type": "dummy"}}]}]})";

// A moving triangle whose document offers two clips of its own.
const char* kClipScene = R"({"plover_scene": 1,
  "time": {"frameRate": 30, "animationRange": [0, 20]},
  "clips": [{"name": "Rise", "start": 0, "end": 10}, {"name": "Fall", "start": 10, "end": 20}],
  "nodes": [{"name": "Box", "object": {"type": "mesh",
     "mesh": {"vertices": [0,0,0, 1,0,0, 0,1,0], "faces": [0,1,2]}},
     "tmController": {"type": "transform",
        "position": {"times": [0, 1600, 3200], "values": [0,0,0, 0,0,5, 0,0,0]}}}]})";

}  // namespace

TEST_F(Cli, OutOfRangeSettingsAndAModelsClipsUnlessTheUserGivesSome) {
    command_.scenePath = Write("clips.json", kClipScene);
    // Setting an unrelated option must not store a clip list that would replace every model's.
    // (That a setting applies for one run only is the driver tests'.)
    ASSERT_EQ(RunConfigSet(command_.configDir, {"Mtl=1"}), 0);
    EXPECT_EQ(Config().find("AnimationCount"), std::string::npos) << Config();
    EXPECT_EQ(Config().find("Animation0_"), std::string::npos) << Config();
    command_.settings = {"XFileType=0"};
    ASSERT_EQ(RunExportCommand(command_), 0);
    std::string x = ReadText(command_.outputPath);
    EXPECT_EQ(x.substr(0, 16), "xof 0303txt 0032");
    EXPECT_NE(x.find("AnimationSet Rise"), std::string::npos);
    EXPECT_NE(x.find("AnimationSet Fall"), std::string::npos);

    // Clips given on the command line replace the document's, and that is said once.
    command_.settings = {"XFileType=0", "AnimationCount=1", "Animation0_Name=Whole", "Animation0_StartKey=0",
                         "Animation0_EndKey=15"};
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(RunExportCommand(command_), 0);
    const std::string said = ::testing::internal::GetCapturedStderr();
    x = ReadText(command_.outputPath);
    EXPECT_NE(x.find("AnimationSet Whole"), std::string::npos);
    EXPECT_EQ(x.find("AnimationSet Rise"), std::string::npos);
    EXPECT_NE(said.find("the configured clip list replaces the 2 clips that"), std::string::npos) << said;

    // A clip beyond the animation, or ending before it starts, is reported.
    command_.settings = {"AnimationCount=1", "Animation0_Name=Late", "Animation0_StartKey=30",
                         "Animation0_EndKey=25"};
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(RunExportCommand(command_), 0);
    const std::string warned = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(warned.find("ends at frame 25, before it starts at frame 30; the export starts it at its end"),
              std::string::npos)
        << warned;
    EXPECT_NE(warned.find("clip Late (frames 30 to 25) lies outside the animation (frames 0 to 20)"),
              std::string::npos)
        << warned;
}

// A silent export uses the options file's values and one-run settings as they are stored, whatever
// the input; only `config set`, standing for the dialog, corrects them. Each setting the dialog
// would not hold gets one line saying what the export does with it.
TEST_F(Cli, StoredAndOneRunValuesMeanWhatTheySay) {
    const std::string clips = Write("clips.json", kClipScene);
    const std::string plain = Write("plain.json", kTwoNodes);
    const std::string model = std::string(PLOVER_TEST_DATA_DIR) + "/assets/gltf/BoxTextured/BoxTextured.gltf";
    const auto exportWith = [&](const std::string& config, const std::string& scene,
                                std::vector<std::string> settings, std::string* said = nullptr) {
        std::ofstream(fs::path(command_.configDir) / "plover_max_config.ini") << "[Option]\n" << config;
        command_.scenePath = scene;
        command_.settings = std::move(settings);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(RunExportCommand(command_), 0) << config;
        const std::string text = ::testing::internal::GetCapturedStderr();
        if (said) *said = text;
        return ReadText(command_.outputPath);
    };
    // Any XFileType other than 0 and 1 writes a compressed file, for every input and with
    // unrelated settings.
    for (const std::string& scene : {clips, plain, model}) {
        for (const std::vector<std::string>& settings : {std::vector<std::string>{}, {"Mtl=1"}}) {
            EXPECT_EQ(exportWith("XFileType=7\n", scene, settings).substr(0, 16), "xof 0303bzip0032") << scene;
        }
    }
    std::string said;
    EXPECT_EQ(exportWith("XFileType=0\n", plain, {"XFileType=7", "KeyOptimizeLevel=2"}, &said).substr(0, 16),
              "xof 0303bzip0032");
    EXPECT_EQ(said,
              "plover: --set XFileType=7 is outside the dialog's range (0 text, 1 binary, 2 compressed); the export "
              "writes a compressed binary file (the value is kept)\n");

    // KeyOptimizeLevel 0 keeps every sampled key: 11 frames in each of two clips, for scale and
    // position; level 3 drops the keys of the still scale.
    const auto vectorKeys = [](const std::string& text) {
        size_t keys = 0;
        for (size_t at = text.find(";3;"); at != std::string::npos; at = text.find(";3;", at + 1)) ++keys;
        return keys;
    };
    const std::string kept = exportWith("XFileType=0\nKeyOptimizeLevel=0\n", clips, {});
    EXPECT_EQ(vectorKeys(kept), 44u);
    EXPECT_LT(vectorKeys(exportWith("XFileType=0\nKeyOptimizeLevel=3\n", clips, {})), 44u);
    EXPECT_EQ(exportWith("XFileType=0\n", clips, {"KeyOptimizeLevel=0"}, &said), kept);
    EXPECT_NE(said.find("KeyOptimizeLevel=0 is outside the dialog's range (1 to 3); the export keeps every key"),
              std::string::npos)
        << said;

    // A scale of 0 or less leaves the scene unscaled, from the file and from a setting.
    const std::string unscaled = exportWith("XFileType=0\n", clips, {});
    EXPECT_EQ(exportWith("XFileType=0\nSpaceScaleEnable=1\nSpaceScale=-2\n", clips, {}), unscaled);
    EXPECT_EQ(exportWith("XFileType=0\nSpaceScaleEnable=1\n", clips, {"SpaceScale=-2"}, &said), unscaled);
    EXPECT_NE(said.find("SpaceScale=-2 is outside the dialog's range (above 0, at most 999999); the export leaves "
                        "the scene unscaled"),
              std::string::npos)
        << said;

    // A custom timeline beyond the dialog's 999999 units a frame, and a sampling rate beyond its
    // three digits, are used as they are.
    std::string x = exportWith("XFileType=0\nKeyOptimizeLevel=0\nTimeline=1\nTimelineCustom=2000000\n", clips, {});
    EXPECT_NE(x.find("2000000;3;"), std::string::npos);
    x = exportWith("XFileType=0\nKeyOptimizeLevel=0\n", clips, {"SampleRate=1200"}, &said);
    EXPECT_NE(x.find("\n   4;3;"), std::string::npos);  // 4800 ticks a second / 1200
    EXPECT_NE(said.find("SampleRate=1200 is outside the dialog's range (1 to 999); the export samples 1200 times a "
                        "second"),
              std::string::npos)
        << said;
}

TEST_F(Cli, EachMistakeGetsOneMessageAndLeavesOutputsAlone) {
    Write("out.x", "previous");
    command_.scenePath = Write("scene.json", kTwoNodes);
    struct Case {
        const char* what;
        std::function<void(ExportCommand&)> change;
        int code;
        int signal = 0;  // an interrupt pending at the first check
    };
    const fs::path config = fs::path(command_.configDir) / "plover_max_config.ini";
    const std::vector<Case> cases = {
        {"broken document", [&](ExportCommand& c) { c.scenePath = Write("broken.json", R"({"plover_scene": 1, "nodes": [{"name": 5}]})"); }, 2},
        {"unknown option", [](ExportCommand& c) { c.settings = {"NoSuchOption=1"}; }, 2},
        {"bad value", [](ExportCommand& c) { c.settings = {"XFileType=abc"}; }, 2},
        {"missing input", [&](ExportCommand& c) { c.scenePath = (dir_ / "none.glb").string(); }, 2},
        {"missing output folder", [&](ExportCommand& c) { c.outputPath = (dir_ / "no" / "out.x").string(); }, 2},
        {"missing module", [&](ExportCommand& c) { c.pluginPath = (dir_ / "missing.dle").string(); }, 2},
        {"nothing collected", [&](ExportCommand& c) {
             c.scenePath = Write("targets.json", R"({"plover_scene": 1, "nodes": [
                 {"name": "Camera01.Target", "object": {"type": "target"}}]})");
         }, 1},
        {"interrupt", [](ExportCommand&) {}, 128 + SIGINT, SIGINT},
        {"termination", [](ExportCommand&) {}, 128 + SIGTERM, SIGTERM},
    };
    for (const Case& test : cases) {
        ExportCommand command = command_;
        test.change(command);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(RunExportCommand(command, [&test] { return test.signal; }), test.code) << test.what;
        const std::string said = ::testing::internal::GetCapturedStderr();
        // The exporter's own message, when it gave one, comes first and is not repeated.
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), test.code == 1 ? 2 : 1) << test.what << ": " << said;
        if (test.signal) {
            EXPECT_EQ(said, "plover: interrupted; nothing was written\n");
        }
        EXPECT_EQ(ReadText(command_.outputPath), "previous") << test.what;
    }
    // Nothing of the runs is left behind in the output folder.
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_FALSE(IsStagedTemporaryName(entry.path().filename().string())) << entry.path();

    // An options file that is a folder or an endless device is refused at once, by every command.
    for (const bool device : {false, true}) {
        fs::remove_all(config);
        if (device) {
            fs::create_symlink("/dev/zero", config);
        } else {
            fs::create_directories(config);
        }
        const char* expected = device ? "is not a regular file" : "is a directory";
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(RunExportCommand(command_), 2);
        EXPECT_EQ(RunConfigSet(command_.configDir, {"Mtl=0"}), 2);
        EXPECT_EQ(RunConfigShow(command_.configDir), 2);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("plover: the options file " + config.string() + " " + expected), std::string::npos)
            << said;
        EXPECT_EQ(ReadText(command_.outputPath), "previous");
    }
}

TEST_F(Cli, ConcurrentConfigSetsKeepEveryChange) {
    const char* keys[] = {"Tangent", "BiTangent", "VertexColor", "Dummy", "FX", "DeclData", "SkinFix", "KeyFrames"};
    std::vector<std::thread> threads;
    for (const char* key : keys) {
        threads.emplace_back([this, key] {
            RunConfigSet(command_.configDir, {std::string(key) + "=1"});
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (const char* key : keys) EXPECT_NE(Config().find(std::string(key) + "=1\r\n"), std::string::npos) << key;
    for (const auto& entry : fs::directory_iterator(command_.configDir))
        EXPECT_EQ(entry.path().filename(), "plover_max_config.ini");  // no temporary left
}

TEST_F(Cli, ConfigSetRefusesWholeAndUnsetAndResetUndo) {
    std::string out;
    // A value the clip list refuses stores nothing at all, not even the rows it would have added.
    EXPECT_EQ(Plover("config set --config-dir config Mtl=0 Animation0_Name=1bad", out), 2);
    EXPECT_EQ(out, "plover: Animation0_Name=1bad is refused: a clip name is 1 to 31 letters, digits and _ and does "
                   "not start with a digit; nothing was changed\n");
    EXPECT_FALSE(fs::exists(fs::path(command_.configDir) / "plover_max_config.ini"));

    // Unset takes keys back to their defaults; AnimationCount takes the whole clip list.
    ASSERT_EQ(RunConfigSet(command_.configDir, {"XFileType=0", "Dummy=1", "AnimationCount=2", "Animation1_Name=Run"}),
              0);
    EXPECT_EQ(Plover("config unset --config-dir config dummy AnimationCount", out), 0) << out;
    EXPECT_EQ(Config().find("Dummy="), std::string::npos) << Config();
    EXPECT_EQ(Config().find("AnimationCount"), std::string::npos) << Config();
    EXPECT_EQ(Config().find("_Name="), std::string::npos) << Config();
    EXPECT_NE(Config().find("XFileType=0"), std::string::npos) << Config();
    EXPECT_EQ(Plover("config unset --config-dir config NoSuchKey XFileType", out), 2);
    EXPECT_EQ(out, "plover: unknown option key 'NoSuchKey'\n");
    EXPECT_NE(Config().find("XFileType=0"), std::string::npos) << Config();

    // Reset removes the file: every default, no clip list; a second reset has nothing to do.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Plover("config reset --config-dir config", out), 0) << out;
        EXPECT_FALSE(fs::exists(fs::path(command_.configDir) / "plover_max_config.ini"));
    }

    // Turning materials off says what went with them; turning them on again, what stays off.
    EXPECT_EQ(Plover("config set --config-dir config Mtl=0", out), 0);
    EXPECT_NE(out.find("Mtl=0 also turned off EffectParam, DxFx and TextureFiles; Mtl=1 does not turn them back on"),
              std::string::npos)
        << out;
    EXPECT_EQ(Plover("config set --config-dir config Mtl=1 DxFx=1", out), 0);
    EXPECT_NE(out.find("Mtl=1 leaves EffectParam and TextureFiles off; set them to 1 as well"), std::string::npos)
        << out;
}

TEST_F(Cli, TheCommandLine) {
    std::string out;
    EXPECT_EQ(Plover("--version", out), 0);
    EXPECT_EQ(out.rfind("plover ", 0), 0u) << out;
    // Parser errors use the documented usage code and say one thing.
    for (const char* wrong : {"export a.json -o", "--bogus"}) {
        EXPECT_EQ(Plover(wrong, out), 2) << wrong;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << wrong << ": " << out;
    }
    // A module named relative to the current folder.
    fs::copy_file(std::string(PLOVER_BINARY_DIR) + "/plover.dle", dir_ / "copy.dle");
    EXPECT_EQ(Plover("plugins --plugin copy.dle", out), 0) << out;
    EXPECT_NE(out.find("extensions:   X"), std::string::npos) << out;
    // The documented one-line form of an export.
    Write("scene.json", kTwoNodes);
    // It reports what it wrote and what the options left out.
    EXPECT_EQ(Plover("export scene.json -o out.x --config-dir config --set XFileType=0 --set Tangent=1 --set DeclData=0", out), 0);
    const size_t end = out.find(" s\n") + 2, start = out.rfind(", ", end);
    ASSERT_LT(start, end) << out;
    EXPECT_EQ(out.erase(start, end - start),  // without the time taken
              "plover: wrote out.x: 1 frame, 1 mesh, 1 triangle, 0 bones, 1 clip at 30 fps, 1 material; 1 file "
              "written, 3.1 KiB\n"
              "plover: tangents left out: set DeclData=1\n");
    EXPECT_EQ(Plover("export scene.json -o ''", out), 2);
    EXPECT_EQ(out, "plover: the output path is empty\n");

    // --set takes one KEY=VALUE: the input after it stays the input. A scale without its switch,
    // an --fps that a document does not use and an output name without .x are said.
    EXPECT_EQ(Plover("export --config-dir config --set SpaceScale=2 --fps 24 scene.json -o out.bin -q", out), 0)
        << out;
    EXPECT_EQ(out,
              "plover: note: out.bin does not end in .x; the X file is written under that name as given\n"
              "plover: note: --fps 24 is not used: scene.json keeps its own frame rate, 30 fps\n");
    EXPECT_EQ(Plover("export --config-dir config --set SpaceScale=2 scene.json -o out.x", out), 0) << out;
    EXPECT_NE(out.find("plover: SpaceScale=2 not applied: set SpaceScaleEnable=1\n"), std::string::npos) << out;

    // inspect words a path that names no file as export does, with the same code.
    EXPECT_EQ(Plover("inspect none.x", out), 2);
    EXPECT_EQ(out, "plover: none.x: no such file\n");
    EXPECT_EQ(Plover("inspect --summary config", out), 2);
    EXPECT_EQ(out, "plover: config is a folder; give an X file\n");

    // A Blender file is sent to the add-on, not to Assimp's words.
    Write("scene.blend", std::string("BLENDER-v300REND") + std::string(64, '\0'));
    EXPECT_EQ(Plover("export scene.blend -o out.x", out), 2);
    EXPECT_EQ(out, "plover: scene.blend: a Blender file, which plover does not read: export the scene from Blender "
                   "with the Plover add-on (docs/blender.md), or save it from Blender as glTF and export that\n");

    // The version the plug-in reports to the host is not the command's.
    EXPECT_EQ(Plover("plugins", out), 0);
    EXPECT_NE(out.find("exporter version: 1.00 (what the plug-in reports to the host; plover --version is the "
                       "command's)"),
              std::string::npos)
        << out;
}

// `cmake --install` with a prefix gives a command on PATH that finds its modules: the plug-in and,
// for a model Assimp reads, Assimp's import module.
TEST_F(Cli, InstalledUnderAPrefix) {
    std::string out;
    ASSERT_EQ(Run("cmake --install '" + std::string(PLOVER_BINARY_DIR) + "' --prefix prefix", out), 0) << out;
    Write("scene.json", kTwoNodes);
    Write("tri.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    EXPECT_EQ(Run("PATH=\"$PWD/prefix/bin:$PATH\" plover export scene.json -o a.x --config-dir config -q", out), 0)
        << out;
    EXPECT_EQ(Run("prefix/bin/plover export tri.obj -o b.x --config-dir config -q", out), 0) << out;
}

// Without --fps an imported model's timeline runs at the rate its key times fall on, so that
// its clips keep their lengths; the summary names it. (Fox's keys are 24ths of a second, but
// the run's last one falls between them: 120 frames per second hold every key.)
TEST_F(Cli, AModelsKeysChooseItsFrameRate) {
    fs::create_directory_symlink(fs::path(PLOVER_SOURCE_DIR) / "examples", dir_ / "examples");
    std::string out;
    ASSERT_EQ(Plover("export --config-dir config examples/Fox/Fox.glb -o fox.x", out), 0) << out;
    EXPECT_NE(out.find("3 clips at 120 fps"), std::string::npos) << out;
    ASSERT_EQ(Plover("inspect --summary fox.x", out), 0);
    EXPECT_NE(out.find("clip Walk: 0.708 s"), std::string::npos) << out;
    // A rate given still counts: the walk then takes whole frames of 30 per second.
    ASSERT_EQ(Plover("export --config-dir config examples/Fox/Fox.glb -o fox.x --fps 30 -q", out), 0) << out;
    ASSERT_EQ(Plover("inspect --summary fox.x", out), 0);
    EXPECT_NE(out.find("clip Walk: 0.733 s"), std::string::npos) << out;
}

// Every command of the usage guide's worked examples runs as written, and does what the text
// around it says.
TEST_F(Cli, TheWorkedExamplesOfTheUsageGuide) {
    std::ifstream in(fs::path(PLOVER_SOURCE_DIR) / "docs" / "usage.md");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const size_t begin = text.find("## Worked examples");
    ASSERT_NE(begin, std::string::npos);
    text = text.substr(begin, text.find("\n## ", begin + 1) - begin);
    std::vector<std::string> commands;
    bool inBlock = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("```", 0) == 0) {
            inBlock = !inBlock;
        } else if (inBlock && !commands.empty() && commands.back().back() == '\\') {
            commands.back().pop_back();
            commands.back() += line;
        } else if (inBlock && line.rfind("plover ", 0) == 0) {
            commands.push_back(line);
        }
    }
    ASSERT_GE(commands.size(), 6u);
    fs::create_directory_symlink(fs::path(PLOVER_SOURCE_DIR) / "examples", dir_ / "examples");
    fs::create_directories(dir_ / "out");
    for (const std::string& command : commands) {
        std::ofstream(dir_ / "example.sh") << "export XDG_CONFIG_HOME='" << (dir_ / "xdg").string()
                                           << "' PATH='" << PLOVER_BINARY_DIR << "':\"$PATH\"\n" << command << "\n";
        std::string output;
        EXPECT_EQ(Run("bash example.sh", output), 0) << command << "\n" << output;
        EXPECT_EQ(output.find("warning"), std::string::npos) << command << "\n" << output;
    }
    // (The whole Fox export, its clips and texture, is checked with the other models.)
    std::string out;
    ASSERT_EQ(Plover("inspect out/FoxWalk.x", out), 0);
    EXPECT_NE(out.find("compressed"), std::string::npos);
    EXPECT_NE(out.find("DeclData"), std::string::npos);  // where the tangents are
    const size_t set = out.find("AnimationSet");  // the walk, and no other
    EXPECT_EQ(set, out.find("AnimationSet Walk")) << out;
    EXPECT_EQ(out.find("AnimationSet", set + 1), std::string::npos) << out;
    // At 24 frames per second the walk's 17 frames last 0.708 s.
    ASSERT_EQ(Plover("inspect --summary out/FoxWalk.x", out), 0);
    EXPECT_NE(out.find("clip Walk: 0.708 s"), std::string::npos) << out;
}

// What the usage guide says --selected-only exports. (Which materials get effect files is the
// material export test's.)
TEST_F(Cli, SelectedOnlyAsDocumented) {
    const std::string triangle = R"({"type": "mesh", "mesh": {"vertices": [0,0,0, 1,0,0, 0,1,0], "faces": [0,1,2]}})";
    command_.scenePath = Write("scene.json", R"({"plover_scene": 1,
      "nodes": [{"name": "Parent", "object": {"type": "dummy"}, "children": [
          {"name": "Chosen", "selected": true, "object": )" + triangle + R"(,
           "children": [{"name": "Child", "object": )" + triangle + R"(}]},
          {"name": "HiddenChosen", "selected": true, "hidden": true, "object": )" + triangle + R"(},
          {"name": "Other", "object": )" + triangle + R"(}]}]})");
    command_.settings = {"XFileType=0"};
    command_.selectedOnly = true;
    ASSERT_EQ(RunExportCommand(command_), 0);
    const std::string x = ReadText(command_.outputPath);
    for (const char* frame : {"Frame Parent", "Frame Chosen", "Frame HiddenChosen"})
        EXPECT_NE(x.find(frame), std::string::npos) << frame;
    for (const char* frame : {"Frame Child", "Frame Other"}) EXPECT_EQ(x.find(frame), std::string::npos) << frame;
}

// The progress bar names the stage the exporter is in and redraws only when something changes;
// a quiet one writes nothing.
TEST(ConsoleProgressBar, ShowsTheStageAndSkipsRepeats) {
    std::FILE* out = std::tmpfile();
    ConsoleProgress quiet(out, false);
    quiet.Start("Exporting", true);
    quiet.Update(50, true, "Writing the X file");
    quiet.End();
    EXPECT_EQ(std::ftell(out), 0);
    ConsoleProgress bar(out, true);
    bar.Start("Exporting", true);
    bar.Update(40, true, "Writing the X file");
    bar.Update(40, true, "");
    bar.Update(40, true, "Writing the X file");
    bar.Update(97, true, "Compressing");
    bar.End();
    std::rewind(out);
    std::string text(4096, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    EXPECT_EQ(text,
              "\rExporting [..............................] 0%\033[K"
              "\rWriting the X file [############..................] 40%\033[K"
              "\rCompressing [#############################.] 97%\033[K\n");
}
