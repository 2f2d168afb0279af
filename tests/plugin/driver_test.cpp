// The export driver: its messages, the option file round trip, the progress meter and the
// paths and names it derives.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/mesh_invariants.h"
#include "common/test_files.h"
#include "core/paths.h"
#include "host/document/scene_document.h"
#include "host/objects/scene_builder.h"
#include "options/options_file.h"
#include "plugin/do_export.h"
#include "plugin/driver_texts.h"
#include "scene/export_context.h"

namespace fs = std::filesystem;

namespace {

// A scratch folder per test whose X files are checked before it goes.
struct TempDir : ScratchDir {
    ~TempDir() { mesh_invariants::ExpectMeshObjectsValidUnder(path()); }
    std::string str() const { return path().string(); }
    std::string operator/(const std::string& name) const { return (path() / name).string(); }
};

}  // namespace

TEST(Driver, EmptySceneSaysNoNodeAndTouchesNothing) {
    TempDir dir;
    SceneBuilder b;
    auto scene = b.Take();
    scene->SetDir(kDirPlugCfg, dir.str());
    EXPECT_EQ(XDoExport((dir / "out.x").c_str(), nullptr, scene.get(), 0, 0), 1);
    ASSERT_EQ(scene->messages().size(), 1u);
    EXPECT_EQ(scene->messages()[0].text, "No node!");
    EXPECT_EQ(scene->messages()[0].caption, "");
    EXPECT_FALSE(fs::exists(dir / "out.x"));
    EXPECT_FALSE(fs::exists(dir / kConfigFileName));  // options neither loaded nor saved
    EXPECT_TRUE(scene->progress().empty());
}

TEST(Driver, NothingCollectedHintUnlessDummyAndOtherAreOn) {
    TempDir dir;
    SceneBuilder b;
    b.Target("Camera01.Target");  // targets are never collected
    auto scene = b.Take();
    scene->SetDir(kDirPlugCfg, dir.str());
    XDoExport((dir / "out.x").c_str(), nullptr, scene.get(), 1, 0);
    ASSERT_EQ(scene->messages().size(), 1u);
    EXPECT_EQ(scene->messages()[0].text, kNothingCollectedText);
    EXPECT_FALSE(fs::exists(dir / "out.x"));
    // The progress display still starts and ends at its limit.
    ASSERT_FALSE(scene->progress().empty());
    EXPECT_EQ(scene->progress().front().kind, HostProgressEvent::Start);
    EXPECT_EQ(scene->progress().front().title, "Starting the export");  // a stage, not a product
    EXPECT_EQ(scene->progress().back().kind, HostProgressEvent::End);

    std::ofstream(dir / kConfigFileName) << "[Option]\nDummy=1\nOTHER=1\n";
    scene->ClearRecords();
    XDoExport((dir / "out.x").c_str(), nullptr, scene.get(), 1, 0);
    EXPECT_TRUE(scene->messages().empty());
}

// Only an export that showed the dialog saves the options, with their corrections.
TEST(Driver, OnlyPromptedExportsSaveTheCorrectedOptions) {
    for (const int suppressPrompts : {1, 0}) {
        TempDir dir;
        SceneBuilder b;
        b.Dummy("Helper");
        auto scene = b.Take();
        scene->SetFrameRate(25);
        scene->SetDir(kDirPlugCfg, dir.str());
        const std::string stored = "[Option]\nSampleRate=0\nSceneRootName=Top\n";
        std::ofstream(dir / kConfigFileName) << stored;
        XDoExport((dir / "out.x").c_str(), nullptr, scene.get(), suppressPrompts, 0);
        if (suppressPrompts) {
            EXPECT_EQ(ReadText(dir / kConfigFileName), stored);
            continue;
        }
        ExportOptions options;
        std::string rootName;
        AnimClipList clips;
        LoadOptions(dir / kConfigFileName, OptionsTime{0, 100 * 160, 160, 25}, options, rootName, clips);
        EXPECT_EQ(options.SampleRate, 25);
        EXPECT_EQ(rootName, "Top");
    }
}

TEST(Driver, SampleStepFollowsTheRateAndTheTimeline) {
    ExportOptions options;
    options.SampleRate = 7;
    EXPECT_EQ(SampleStep(30, 160, options), 685);  // truncated
    EXPECT_EQ(options.SampleRate, 7);

    for (int bad : {0, -5, 4801}) {
        options.SampleRate = bad;
        EXPECT_EQ(SampleStep(30, 160, options), 160) << bad;
        EXPECT_EQ(options.SampleRate, 30) << bad;
    }
    options.SampleRate = 4800;  // one sample per tick is still allowed
    EXPECT_EQ(SampleStep(30, 160, options), 1);

    options.Timeline = 1;
    options.SampleRate = 60;
    EXPECT_EQ(SampleStep(30, 160, options), 160);  // the custom timeline samples every frame
    EXPECT_EQ(options.SampleRate, 60);
}

TEST(Driver, RootNamesAndPaths) {
    EXPECT_EQ(SceneRootNameFor("My Scene Root"), "MySceneRoot");
    EXPECT_EQ(SceneRootNameFor("3 Boxes"), "SceneRoot");
    EXPECT_EQ(SceneRootNameFor("a-b_c"), "a-b_c");

    EXPECT_EQ(DirectoryOf("out.x"), "./");
    EXPECT_EQ(DirectoryOf("C:\\scenes\\out.x"), "C:\\scenes\\");
    EXPECT_EQ(FileNameOf("C:\\maps/brick.png"), "brick.png");
    // Drive-relative and UNC names as Windows scenes store them.
    EXPECT_EQ(FileNameOf("D:brick.png"), "brick.png");
    EXPECT_EQ(DirectoryOf("D:brick.png"), "D:");
    EXPECT_EQ(FileNameOf("\\\\server\\share\\maps\\brick.png"), "brick.png");
    EXPECT_EQ(FileNameOf("brick:2.png"), "brick:2.png");
    EXPECT_EQ(WithTrailingSeparator("maps"), "maps/");
    EXPECT_EQ(WithTrailingSeparator(""), "");

    EXPECT_EQ(LongPathName("does/not/exist.x"), "does/not/exist.x");
}

// (The report's counts and what was left out are printed by the command: its command line test.)
TEST(Driver, OverridesAreForOneExportAndTheReportIsGivenOnce) {
    TempDir dir;
    SceneBuilder b;
    b.Mesh("Box");
    auto scene = b.Take();
    scene->SetDir(kDirPlugCfg, dir.str());
    std::ofstream(dir / kConfigFileName) << "[Option]\nMeshs=1\nXFileType=0\n";
    int reports = 0;
    scene->SetReportSink([&](const ExportReport&) { ++reports; });
    scene->SetExportOverrides({"XFileType=1"});
    XDoExport((dir / "out.x").c_str(), nullptr, scene.get(), 0, 0);  // prompted: the options are saved
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(ReadText(dir / "out.x").substr(0, 12), "xof 0303bin ");
    EXPECT_EQ(ReadText(dir / kConfigFileName).find("XFileType=1"), std::string::npos);
}

// A texture whose stored path is gone is looked for below the scene file's folder, which is
// everything up to the scene path's last separator of either kind: a path that mixes "/" and
// "\" (as Windows hosts store them) is not cut at its last "\".
TEST(Driver, TexturesAreFoundBelowTheFolderOfASceneFileWithMixedSeparators) {
    TempDir dir;
    // On this system "\" is part of a folder's name; to the path splitting it is a separator.
    const fs::path sceneFolder = dir.path() / "work\\scenes";
    fs::create_directories(sceneFolder / "maps");
    std::ofstream(sceneFolder / "maps" / "wood.png") << "wood pixels";
    const std::string sceneFile = dir.str() + "/work\\scenes/scene.max";
    ASSERT_EQ(DirectoryOf(sceneFile), sceneFolder.string() + "/");

    const std::string document = R"({"plover_scene": 1,
      "objects": [{"name": "quad", "type": "mesh", "mesh": {"vertices": [0,0,0, 1,0,0, 1,1,0],
        "faces": [0,1,2], "mapChannels": [{"channel": 1, "vertices": [0,0,0, 1,0,0, 1,1,0], "faces": [0,1,2]}]}}],
      "maps": [{"name": "Wood Map", "type": "bitmap", "file": "C:\\\\old\\\\wood.png"}],
      "materials": [{"name": "Wood", "type": "standard", "maps": {"diffuse": "Wood Map"}}],
      "nodes": [{"name": "Quad", "object": "quad", "material": "Wood"}]})";
    std::string error;
    std::unique_ptr<HostScene> scene = LoadSceneDocumentFromString(document, "mixed.json", error);
    ASSERT_NE(scene, nullptr) << error;
    scene->SetCurFilePath(sceneFile);
    scene->SetDir(kDirPlugCfg, dir.str());
    fs::create_directories(dir.path() / "out");
    std::ofstream(dir / kConfigFileName) << "[Option]\nMtl=1\nMeshs=1\nTexCoords=1\nTextureFiles=1\nXFileType=0\n";
    XDoExport((dir / "out/quad.x").c_str(), nullptr, scene.get(), 1, 0);
    ASSERT_TRUE(scene->report() && scene->report()->written);
    EXPECT_EQ(ReadText(dir.path() / "out" / "wood.png"), "wood pixels");
}
