// A whole export of a scene document with materials: the top-level materials as our reader and
// Assimp's importer see them, the texture, baked and effect files beside the X file, and an
// output folder that stays as it was when the export fails or is killed part way.
#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "common/test_files.h"
#include "common/tmpfs_mount.h"
#include "core/staged_files.h"
#include "host/document/scene_document.h"
#include "options/options_file.h"
#include "plugin/do_export.h"
#include "xformat/xreader.h"

namespace fs = std::filesystem;

namespace {

// A quad with one texture channel (Box, three material ids) and one with two (Crate).
std::string Quad(int channels, const char* materialIds) {
    std::string mesh = R"({"vertices": [0,0,0, 1,0,0, 1,1,0, 0,1,0], "faces": [0,1,2, 0,2,3], "materialIds": )" +
                       std::string(materialIds) + R"(, "mapChannels": [)";
    for (int c = 1; c <= channels; ++c)
        mesh += std::string(c > 1 ? ", " : "") + R"({"channel": )" + std::to_string(c) +
                R"(, "vertices": [0,0,0, 1,0,0, 1,1,0, 0,1,0], "faces": [0,1,2, 0,2,3]})";
    return mesh + "]}";
}

class MaterialExport : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir / "out");
        scratch.Touch("scene/textures/wood.png", "wood pixels");
        scratch.Touch("scene/bump.png", "bump pixels");
        scratch.Touch("scene/shiny.fx", "// shiny effect");
    }

    // gridSize > 0 adds a surface of that many quads a side, so the export takes a while.
    std::string Document(int gridSize = 0) const {
        const std::string scene = (dir / "scene").string(), n = std::to_string(gridSize);
        const std::string grid = gridSize > 0 ? R"({"name": "grid", "type": "nurbs", "uCount": 2, "vCount": 2,
            "points": [0,0,0, 1,0,0, 0,1,0, 1,1,0], "uSegments": )" + n + R"(, "vSegments": )" + n + "}," : "";
        return R"({"plover_scene": 1, "sceneFile": ")" + scene + R"(/scene.max",
          "objects": [)" + grid + R"(
            {"name": "box", "type": "mesh", "mesh": )" + Quad(1, "[0, 2]") + R"(},
            {"name": "crate", "type": "mesh", "mesh": )" + Quad(2, "[0, 0]") + R"(}
          ],
          "maps": [
            {"name": "Wood Map", "type": "bitmap", "file": "C:\\old\\place\\wood.png"},
            {"name": "Bump Map", "type": "bitmap", "file": ")" + scene + R"(/bump.png", "mapChannel": 2},
            {"name": "Board", "type": "checker", "color1": [1, 0, 0], "color2": [1, 1, 1]}
          ],
          "materials": [
            {"name": "Wood", "type": "standard", "shininess": 0.25, "maps": {"diffuse": "Wood Map"}},
            {"name": "Parts", "type": "multi", "materials": ["Wood", null,
              {"name": "Checks", "type": "standard", "maps": {"diffuse": "Board"}}]},
            {"name": "Shiny", "type": "dxShader", "effectFile": ")" + scene + R"(/shiny.fx",
             "parameters": [{"name": "gloss", "type": "float", "value": 0.5},
                            {"name": "diffuseMap", "type": "texmap", "value": "Wood Map"}],
             "effectBitmaps": [{"file": ")" + scene + R"(/textures/wood.png"}]},
            {"name": "Layered", "type": "standard", "maps": {"diffuse": "Wood Map", "bump": "Bump Map"}}
          ],
          "nodes": [
            {"name": "Box", "object": "box", "material": "Parts"},
            {"name": "Ball", "object": "box", "material": "Shiny"},
            {"name": "Crate", "object": "crate", "material": "Layered"})" +
               (gridSize > 0 ? std::string(R"(, {"name": "Grid", "object": "grid", "material": "Wood"})") : "") + R"(
          ]})";
    }

    // Exports to out with the options of Export() and extra lines; the messages shown.
    std::vector<HostMessage> ExportTo(const fs::path& out, const std::string& extra = "", int gridSize = 0,
                                      std::function<bool()> cancel = {}) {
        std::string error;
        std::unique_ptr<HostScene> scene = LoadSceneDocumentFromString(Document(gridSize), "materials.json", error);
        EXPECT_NE(scene, nullptr) << error;
        if (!scene) return {};
        scene->SetDir(kDirPlugCfg, dir.string());
        if (cancel) scene->SetCancelCheck(std::move(cancel));
        // The first line of a key counts.
        std::ofstream(dir / kConfigFileName)
            << "[Option]\n"
            << extra
            << "Mtl=1\nMeshs=1\nFX=1\nTexCoords=1\nTextureFiles=1\nDxFx=1\nEffectParam=1\nNormal=1\n"
               "ProcMapX=16\nProcMapY=8\nSceneRoot=0\nAnimation=0\nAnimationCount=0\nXFileType=0\n";
        XDoExport(out.string().c_str(), nullptr, scene.get(), /*suppressPrompts=*/1, 0);
        report = scene->report();
        return scene->messages();
    }

    std::optional<ExportReport> report;  // of the last ExportTo

    ScratchDir scratch;
    const fs::path& dir = scratch.path();
};

}  // namespace

TEST_F(MaterialExport, TopLevelMaterialsAndFilesBesideTheXFile) {
    const fs::path out = dir / "out" / "scene.x";
    const std::vector<HostMessage> messages = ExportTo(out);
    ASSERT_TRUE(messages.empty()) << messages.front().text;

    xfile::XDocument doc;
    ASSERT_TRUE(xfile::ReadXFileFromPath(out.string(), &doc).ok());
    std::vector<std::string> topMaterials;
    std::set<std::string> effectFiles;
    for (uint32_t i : doc.Roots())
        if (doc.TemplateOf(doc.nodes[i]).name == "Material") topMaterials.emplace_back(doc.Name(doc.nodes[i]));
    for (const xfile::XNode& node : doc.nodes)
        if (!node.isReference && doc.TemplateOf(node).name == "EffectInstance")
            effectFiles.insert(reinterpret_cast<const char*>(doc.Payload(node).data()));
    // The shared plain records, in the order the nodes met them; effect records stay in meshes.
    EXPECT_EQ(topMaterials, (std::vector<std::string>{"Wood", "Material_NULL", "Checks"}));
    EXPECT_EQ(effectFiles, (std::set<std::string>{"shiny.fx", "Crate.fx"}));

    // Beside the X file: the found texture, the baked checker, the copied and generated effects.
    EXPECT_EQ(ReadText(out.parent_path() / "wood.png"), "wood pixels");
    EXPECT_EQ(ReadText(out.parent_path() / "bump.png"), "bump pixels");
    EXPECT_EQ(ReadText(out.parent_path() / "shiny.fx"), "// shiny effect");
    EXPECT_EQ(fs::file_size(out.parent_path() / "Board.bmp"), 14u + 108u + 16u * 8u * 4u);
    const std::string generated = ReadText(out.parent_path() / "Crate.fx");
    EXPECT_NE(generated.find("texture Wood_Map; \n"), std::string::npos);
    EXPECT_NE(generated.find("sampler2D Bump_MapSampler = sampler_state  // TexCoord1 \n"), std::string::npos);

    // Assimp's importer sees the materials with their texture files.
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(out.string(), 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    std::set<std::string> names, textures;
    for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
        aiString name, texture;
        scene->mMaterials[i]->Get(AI_MATKEY_NAME, name);
        names.insert(name.C_Str());
        if (scene->mMaterials[i]->GetTexture(aiTextureType_DIFFUSE, 0, &texture) == AI_SUCCESS)
            textures.insert(texture.C_Str());
    }
    for (const char* expected : {"Wood", "Material_NULL", "Checks", "Shiny", "Layered"})
        EXPECT_TRUE(names.count(expected)) << expected;
    EXPECT_TRUE(textures.count("wood.png"));
    EXPECT_TRUE(textures.count("Board.bmp"));
}

// Without Multi-Textures a plain material names only its main texture: the kinds of maps left
// out are said, and the images copied beside the X file that it does not name are counted.
TEST_F(MaterialExport, TexturesTheXFileDoesNotNameAreSaidAndCounted) {
    for (const bool all : {false, true}) {
        ASSERT_TRUE(ExportTo(dir / "out" / "plain.x", all ? "FX=0\nMulti-Textures=1\n" : "FX=0\n").empty());
        ASSERT_TRUE(report && report->written);
        EXPECT_EQ(ReadText(dir / "out" / "bump.png"), "bump pixels");
        EXPECT_EQ(report->unnamedImageCount, all ? 0u : 1u);  // bump.png, of Layered's bump slot
        const bool said = std::find(report->leftOut.begin(), report->leftOut.end(),
                                    "textures of the normal or bump map left out: set Multi-Textures=1") !=
                          report->leftOut.end();
        EXPECT_EQ(said, !all);
    }
}

namespace {

// Options of a second export that replaces every file of the first, in binary.
const std::string kReplaceAll = "OverwriteTexture=1\nOverwriteFX=1\nXFileType=1\n";

// Every entry of a folder with its content ("name/" for folders).
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files[entry.path().filename().string()] = entry.is_directory() ? "/" : ReadText(entry.path());
    return files;
}

uint64_t FreeBytes(const fs::path& folder) {
    struct statvfs s {};
    statvfs(folder.c_str(), &s);
    return uint64_t(s.f_bavail) * s.f_frsize;
}

}  // namespace

TEST_F(MaterialExport, AFailedExportLeavesTheFolderAsItWas) {
    TmpfsMount mount(dir / "small", 256 * 1024);
    if (!mount.mounted()) GTEST_SKIP() << mount.reason();
    const fs::path out = dir / "small" / "scene.x";
    ASSERT_TRUE(ExportTo(out).empty());
    const std::map<std::string, std::string> before = Snapshot(dir / "small");
    ASSERT_EQ(before.size(), 6u);  // scene.x, two textures, the bake, the copied and the generated effect

    // A second export that would replace every file, with less and less room left: it fails at
    // a different file each time, and each time nothing changes.
    int failures = 0;
    for (uint64_t room = 0; room <= 10 * 4096; room += 4096) {
        std::ofstream(dir / "small" / "filler", std::ios::binary);
        const uint64_t free = FreeBytes(dir / "small");
        if (free > room) std::ofstream(dir / "small" / "filler", std::ios::binary) << std::string(free - room, 'f');
        const std::vector<HostMessage> messages = ExportTo(out, kReplaceAll);
        fs::remove(dir / "small" / "filler");
        const std::map<std::string, std::string> after = Snapshot(dir / "small");
        if (messages.empty()) {  // enough room: every file replaced, nothing else left
            EXPECT_EQ(after.size(), before.size()) << room;
            EXPECT_NE(after.at("scene.x"), before.at("scene.x"));
            break;
        }
        ++failures;
        ASSERT_EQ(messages.size(), 1u) << room;
        EXPECT_NE(messages[0].text.find(" could not be written: no space left on the device."), std::string::npos)
            << messages[0].text;
        EXPECT_EQ(messages[0].text.find(".plover-"), std::string::npos) << messages[0].text;
        EXPECT_EQ(after, before) << "with " << room << " bytes of room";
    }
    EXPECT_GT(failures, 1);

    // A read-only folder: one message naming the X file, nothing changed.
    ASSERT_TRUE(mount.SetReadOnly(true));
    const std::vector<HostMessage> messages = ExportTo(out, kReplaceAll);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "The X file " + out.string() + " could not be written: the file system is read-only.");
    mount.SetReadOnly(false);
}

TEST_F(MaterialExport, ACancelledExportLeavesTheFolderAsItWas) {
    const fs::path out = dir / "out" / "scene.x";
    ASSERT_TRUE(ExportTo(out).empty());
    const std::map<std::string, std::string> before = Snapshot(dir / "out");
    // Cancelled at the first, second, ... question: each time without a message or a change.
    for (int answer = 1;; ++answer) {
        int asked = 0;
        const std::vector<HostMessage> messages = ExportTo(out, kReplaceAll, 0, [&] { return ++asked >= answer; });
        if (asked < answer) {  // the export ended before the question: it wrote everything
            EXPECT_NE(ReadText(out), before.at("scene.x"));
            EXPECT_GT(answer, 2);
            break;
        }
        EXPECT_TRUE(messages.empty()) << messages.front().text;
        EXPECT_EQ(Snapshot(dir / "out"), before) << "cancelled at question " << answer;
    }
}

TEST_F(MaterialExport, OutputTargetsThatCannotBeReplacedAreRefused) {
    const auto refused = [&](const fs::path& out, const std::string& cause) {
        const std::vector<HostMessage> messages = ExportTo(out);
        ASSERT_EQ(messages.size(), 1u) << out;
        EXPECT_EQ(messages[0].text, "The X file " + out.string() + " could not be written: " + cause + ".");
    };
    refused(dir / "missing" / "scene.x", "the folder does not exist");
    refused(dir / "scene" / "shiny.fx" / "scene.x", "a part of the path is not a folder");
    refused(dir / "out", "is a directory");
    ASSERT_EQ(mkfifo((dir / "pipe.x").c_str(), 0600), 0);
    refused(dir / "pipe.x", "is not a regular file (a named pipe or a device)");
    refused(dir / "scene" / "bump.png", "it is a texture or effect file that the export reads");
    EXPECT_EQ(ReadText(dir / "scene" / "bump.png"), "bump pixels");
    EXPECT_EQ(Snapshot(dir / "out").size(), 0u);

    // A symbolic link stays a link; the file it leads to is replaced.
    std::ofstream(dir / "out" / "real.x") << "old";
    fs::create_symlink("real.x", dir / "out" / "link.x");
    EXPECT_TRUE(ExportTo(dir / "out" / "link.x").empty());
    EXPECT_TRUE(fs::is_symlink(dir / "out" / "link.x"));
    EXPECT_EQ(ReadText(dir / "out" / "real.x").substr(0, 4), "xof ");
}

TEST_F(MaterialExport, AKilledExportLeavesWholeFilesAndTheNextOneRemovesItsTemporaries) {
    const fs::path out = dir / "out" / "scene.x";
    ASSERT_TRUE(ExportTo(out).empty());
    const std::map<std::string, std::string> before = Snapshot(dir / "out");
    // How long an undisturbed second export takes.
    constexpr int kGrid = 120;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(ExportTo(dir / "reference.x", kReplaceAll, kGrid).empty());
    const auto full = std::chrono::steady_clock::now() - start;
    const std::string complete = ReadText(dir / "reference.x");

    bool sawTemporary = false;
    for (int step = 0; step < 8; ++step) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ExportTo(out, kReplaceAll, kGrid);
            _exit(0);
        }
        std::this_thread::sleep_for(full * step / 8);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        // Each file is either as it was or the new one, whole; temporaries may be left.
        for (const auto& [name, content] : Snapshot(dir / "out")) {
            if (IsStagedTemporaryName(name)) {
                sawTemporary = true;
                continue;
            }
            ASSERT_TRUE(before.count(name)) << name;
            if (name == "scene.x" && content != before.at("scene.x")) {
                EXPECT_EQ(content, complete);
            }
        }
    }
    ASSERT_TRUE(ExportTo(out, kReplaceAll, kGrid).empty());
    for (const auto& [name, content] : Snapshot(dir / "out")) EXPECT_FALSE(IsStagedTemporaryName(name)) << name;
    EXPECT_EQ(ReadText(out), complete);
    (void)sawTemporary;  // depends on the machine's speed; the check above is what matters
}
