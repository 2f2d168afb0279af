// The material output step: copied and baked textures, copied and generated effect files,
// staged and put in place by the commit, and the records completed for the writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "common/test_files.h"
#include "core/staged_files.h"
#include "effect/effect_file.h"
#include "host/objects/bitmap_writer.h"
#include "host/objects/procedural_maps.h"
#include "material/material_output.h"
#include "material_test_util.h"
#include "options/export_options.h"

namespace fs = std::filesystem;

namespace {

class MaterialOutputTest : public ::testing::Test {
protected:
    MaterialOutputTest() {
        fs::create_directories(root / "out");
        options.TextureFiles = 1;
        options.ProcMapX = 8;
        options.ProcMapY = 4;
    }
    std::string Source(const std::string& name, const std::string& content) {
        return scratch.Touch("src/" + name, content);
    }
    fs::path Out(const std::string& name) const { return root / "out" / name; }
    // The output folder's file names, sorted.
    std::string OutFiles() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(root / "out")) names.insert(entry.path().filename().string());
        std::string out;
        for (const std::string& name : names) out += name + " ";
        return out;
    }

    // Runs the step for records of one export (node list entries when node is given) and commits.
    MaterialOutputResult OutputAll(const std::vector<XMaterialEntry*>& entries, const MaterialNodeView* node = nullptr) {
        StagedFiles staged;
        const MaterialOutputContext context{options, &bitmaps, (root / "out").string() + "/", staged, &kept};
        MaterialOutputResult result;
        for (XMaterialEntry* entry : entries)
            if (!OutputMaterialRecord(context, entry, node, &result)) break;
        std::string failed, cause;
        if (result.ok) {
            EXPECT_TRUE(staged.Commit(&failed, &cause)) << failed << ": " << cause;
        }
        return result;
    }
    MaterialOutputResult Output(XMaterialEntry* entry, const MaterialNodeView* node = nullptr) {
        return OutputAll({entry}, node);
    }

    static XTextureSlot BitmapSlot(const std::string& name, const std::string& source, int channel = 1,
                                   int32_t usage = kTextureOrdinary) {
        XTextureSlot slot;
        slot.usage = usage;
        slot.textureName = name;
        slot.fileName = fs::path(source).filename().string();
        slot.sourcePath = source;
        slot.mapChannel = channel;
        return slot;
    }
    static XTextureSlot MapSlot(const std::string& name, Texmap* map) {
        XTextureSlot slot;
        slot.textureName = name;
        slot.fileName = slot.sourcePath = name + ".bmp";
        slot.mapChannel = 1;
        slot.procMap = map;
        return slot;
    }

    ExportOptions options;
    KeptFiles kept;
    HostBitmapManager bitmaps;
    ScratchDir scratch;
    const fs::path& root = scratch.path();
};

}  // namespace

TEST(MaterialOutput, TexCoordSetOfChannel) {
    const std::vector<int32_t> channels{1, 3, 5, 7};
    const std::vector<int32_t> shared{0, 0, 2, 1};  // 3 merged into 1, 7 into 3 (itself merged)
    EXPECT_EQ(TexCoordSetOfChannel(1, channels, shared), 0);
    EXPECT_EQ(TexCoordSetOfChannel(3, channels, shared), 0);
    EXPECT_EQ(TexCoordSetOfChannel(5, channels, shared), 1);
    EXPECT_EQ(TexCoordSetOfChannel(2, channels, shared), -1);
    EXPECT_EQ(TexCoordSetOfChannel(7, channels, shared), 0);
    const std::vector<int32_t> broken{0, 9};
    EXPECT_EQ(TexCoordSetOfChannel(3, std::vector<int32_t>{1, 3}, broken), -1);
}

// The first bytes of a PNG file.
const std::string kPng = "\x89PNG\r\n\x1a\n";

TEST_F(MaterialOutputTest, CopyRulesAndSafety) {
    std::ofstream(Out("wood.png")) << kPng + "existing";
    XMaterial material("Wood");
    material.slots[0] = BitmapSlot("Diffuse", Source("wood.png", kPng + "new"), 1, kTextureMain);
    // A missing source is skipped quietly; the file is still named.
    material.slots[1] = BitmapSlot("Gone", (root / "src" / "gone.png").string());
    // Names never lead out of the output directory.
    material.slots[2] = BitmapSlot("Up", Source("up.png", "up"));
    material.slots[2].fileName = "..";
    material.slots[3] = BitmapSlot("Deep", Source("deep.png", "deep"));
    material.slots[3].fileName = "..\\..\\deep.png";
    material.slots[4] = BitmapSlot("Unused", Source("unused.png", "u"), 0);

    EXPECT_TRUE(Output(&material).ok);
    EXPECT_EQ(ReadText(Out("wood.png")), kPng + "existing");  // overwrite off
    EXPECT_EQ(ReadText(Out("deep.png")), "deep");
    EXPECT_EQ(OutFiles(), "deep.png wood.png ");
    EXPECT_FALSE(fs::exists(root / "deep.png"));
    EXPECT_FALSE(fs::exists(root / "up.png"));

    options.OverwriteTexture = 1;
    Output(&material);
    EXPECT_EQ(ReadText(Out("wood.png")), kPng + "new");

    // A texture already in the output directory is its own source.
    material.slots[0].sourcePath = Out("wood.png").string();
    Output(&material);
    EXPECT_EQ(ReadText(Out("wood.png")), kPng + "new");

    // A folder where a texture would go stays, with a warning; the rest is written.
    fs::create_directory(Out("bump.png"));
    material.slots[5] = BitmapSlot("Bump", Source("bump.png", "bump"));
    const MaterialOutputResult blocked = Output(&material);
    EXPECT_TRUE(blocked.ok);
    EXPECT_EQ(blocked.warnings,
              std::vector<std::string>{"The texture file " + Out("bump.png").string() + " was not written: is a directory."});
    EXPECT_EQ(ReadText(Out("deep.png")), "deep");
    fs::remove(Out("bump.png"));
    material.slots[5] = {};

    // With TextureFiles off nothing is copied.
    options.TextureFiles = 0;
    fs::remove(Out("wood.png"));
    Output(&material);
    EXPECT_EQ(OutFiles(), "deep.png ");
}

TEST_F(MaterialOutputTest, TexturesReplaceOnlyImagesOfTheirNameThatTheExportDoesNotRead) {
    options.OverwriteTexture = 1;
    // What the output folder holds: the scene file, the options file, a file the export reads,
    // files that are no images of their names' kinds, a link out of the folder, an old texture.
    std::ofstream(Out("m.glb")) << "glTF model";
    kept.sceneFile = Out("m.glb").string();
    std::ofstream(Out("plover_max_config.ini")) << "[Option]";
    kept.optionsFile = Out("plover_max_config.ini").string();
    std::ofstream(Out("read.png")) << kPng + "read";
    kept.reads.Add(Out("read.png").string());
    std::ofstream(Out("notes.txt")) << "notes";
    std::ofstream(Out("fake.png")) << "not a png";
    std::ofstream(root / "secret.png") << kPng + "secret";
    fs::create_symlink(root / "secret.png", Out("link.png"));
    fs::create_symlink(root / "nowhere.png", Out("dangling.png"));
    std::ofstream(Out("old.png")) << kPng + "old";
    kept.xFile = Out("out.x").string();  // not written yet

    XMaterial material("M");
    const char* names[] = {"m.glb", "plover_max_config.ini", "read.png", "notes.txt", "fake.png",
                           "link.png", "dangling.png", "out.x", "old.png"};
    for (int i = 0; i < 9; ++i) material.slots[i] = BitmapSlot(names[i], Source(names[i], kPng + names[i]));
    const MaterialOutputResult result = Output(&material);
    ASSERT_TRUE(result.ok) << result.error;

    EXPECT_EQ(ReadText(Out("m.glb")), "glTF model");
    EXPECT_EQ(ReadText(Out("plover_max_config.ini")), "[Option]");
    EXPECT_EQ(ReadText(Out("read.png")), kPng + "read");
    EXPECT_EQ(ReadText(Out("notes.txt")), "notes");
    EXPECT_EQ(ReadText(Out("fake.png")), "not a png");
    EXPECT_EQ(ReadText(root / "secret.png"), kPng + "secret");
    EXPECT_FALSE(fs::exists(root / "nowhere.png"));
    EXPECT_FALSE(fs::exists(Out("out.x")));
    EXPECT_EQ(ReadText(Out("old.png")), kPng + "old.png");  // an image of its name: replaced
    const char* renamed[] = {"m_2.glb", "plover_max_config_2.ini", "read_2.png", "notes_2.txt", "fake_2.png",
                             "link_2.png", "dangling_2.png", "out_2.x", "old.png"};
    const char* causes[] = {"it is the scene file being exported", "it is the options file",
                            "it is a file that the export reads", "it is not an image of the kind its name says",
                            "it is not an image of the kind its name says",
                            "it is a symbolic link that leads out of the folder",
                            "it is a symbolic link that leads out of the folder", "it is the X file's name"};
    ASSERT_EQ(result.warnings.size(), 8u);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(material.slots[i].fileName, renamed[i]);
        EXPECT_EQ(ReadText(Out(renamed[i])), kPng + names[i]);
        if (i < 8) {
            EXPECT_EQ(result.warnings[size_t(i)], "The texture file " + Out(names[i]).string() + " was not replaced (" +
                                                      causes[i] + "): the texture file is written as " +
                                                      Out(renamed[i]).string() + " instead.");
        }
    }
}

TEST_F(MaterialOutputTest, CopiesNeverWidenPermissions) {
    const std::string source = Source("private.png", kPng);
    fs::permissions(source, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    XMaterial material("M");
    material.slots[0] = BitmapSlot("Private", source);
    ASSERT_TRUE(Output(&material).ok);
    const fs::perms copied = fs::status(Out("private.png")).permissions();
    EXPECT_EQ(copied & ~(fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read), fs::perms::none);
}

TEST_F(MaterialOutputTest, DifferentSourcesWithOneNameGetDistinctFiles) {
    XMaterial a("A"), b("B");
    a.slots[0] = BitmapSlot("Diffuse", Source("wood.png", "pine"), 1, kTextureMain);
    b.slots[0] = BitmapSlot("Diffuse", Source("other/wood.png", "oak"), 1, kTextureMain);
    b.slots[1] = BitmapSlot("Again", Source("wood.png", "pine"));  // the same file as A's: shared

    StagedFiles staged;
    const MaterialOutputContext context{options, &bitmaps, (root / "out").string() + "/", staged};
    MaterialOutputResult result;
    ASSERT_TRUE(OutputMaterialRecord(context, &a, nullptr, &result));
    ASSERT_TRUE(OutputMaterialRecord(context, &b, nullptr, &result));
    for (const auto& entry : fs::directory_iterator(root / "out"))  // only temporaries before the commit
        EXPECT_TRUE(IsStagedTemporaryName(entry.path().filename().string())) << entry.path();
    std::string failed, cause;
    ASSERT_TRUE(staged.Commit(&failed, &cause));
    EXPECT_EQ(a.slots[0].fileName, "wood.png");
    EXPECT_EQ(b.slots[0].fileName, "wood_2.png");
    EXPECT_EQ(b.slots[1].fileName, "wood.png");
    EXPECT_EQ(ReadText(Out("wood.png")), "pine");
    EXPECT_EQ(ReadText(Out("wood_2.png")), "oak");
    EXPECT_EQ(OutFiles(), "wood.png wood_2.png ");
}

TEST_F(MaterialOutputTest, ProceduralMapsAreBakedUnderDistinctNames) {
    HostCheckerMap checker, otherChecker;
    XMaterial board("Board"), tiles("Tiles"), again("Again");
    board.slots[0] = MapSlot("Checker", &checker);
    tiles.slots[0] = MapSlot("Checker", &otherChecker);  // another map of the same name
    again.slots[0] = MapSlot("Checker", &checker);       // the same map again: one file
    board.slots[0].fileName = "stale.bmp";

    const MaterialOutputResult result = OutputAll({&board, &tiles, &again});
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.warnings.empty());
    EXPECT_EQ(board.slots[0].fileName, "Checker.bmp");
    EXPECT_EQ(tiles.slots[0].fileName, "Checker_2.bmp");
    EXPECT_EQ(again.slots[0].fileName, "Checker.bmp");
    EXPECT_EQ(OutFiles(), "Checker.bmp Checker_2.bmp ");

    // An existing bake stays unless OverwriteTexture; the name is set either way.
    const std::string keptBake = "BM" + std::string(30, '\0') + "kept";
    std::ofstream(Out("Checker.bmp"), std::ios::trunc) << keptBake;
    board.slots[0].fileName = "other.bmp";
    Output(&board);
    EXPECT_EQ(ReadText(Out("Checker.bmp")), keptBake);
    EXPECT_EQ(board.slots[0].fileName, "Checker.bmp");
    options.OverwriteTexture = 1;
    Output(&board);
    EXPECT_NE(ReadText(Out("Checker.bmp")), keptBake);
}

TEST_F(MaterialOutputTest, MapsThatCannotBeBakedAreWarnedAbout) {
    HostCheckerMap checker;
    XMaterial board("Board");
    board.slots[0] = MapSlot("Checker", &checker);
    const std::pair<int, int> sizes[] = {{0, 4}, {-8, 4}, {8, -1}, {kMaxBakeSide + 1, 1}, {16384, 16384}};
    for (const auto& [width, height] : sizes) {
        options.ProcMapX = width;
        options.ProcMapY = height;
        const MaterialOutputResult result = Output(&board);
        EXPECT_TRUE(result.ok);
        ASSERT_EQ(result.warnings.size(), 1u) << width << " x " << height;
        EXPECT_EQ(result.warnings[0], "The procedural map Checker was not baked into " + Out("Checker.bmp").string() +
                                          ": the size " + std::to_string(width) + " x " + std::to_string(height) +
                                          " is not between 1 and 16384 pixels a side (at most 67108864 pixels). "
                                          "The X file names the file all the same.");
    }
    EXPECT_EQ(OutFiles(), "");
}

TEST_F(MaterialOutputTest, DirectXEffectFilesAreCopiedWithDxFxAndKeptUnlessOverwriteFx) {
    XEffectMaterial dx;
    dx.name = "Shiny";
    dx.effectValid = true;
    dx.effectFile = Source("shiny.fx", "new");
    XEffectMaterial bare = dx;  // no effect bitmap: no used slot, nothing copied
    dx.slots[0] = BitmapSlot("D", Source("d.png", "pixels"));

    Output(&dx);
    EXPECT_EQ(OutFiles(), "d.png ");  // DxFx off
    options.DxFx = 1;
    Output(&bare);
    EXPECT_EQ(OutFiles(), "d.png ");
    std::ofstream(Out("shiny.fx")) << "old";
    Output(&dx);
    EXPECT_EQ(ReadText(Out("shiny.fx")), "old");
    options.OverwriteFX = 1;
    Output(&dx);
    EXPECT_EQ(ReadText(Out("shiny.fx")), "new");
}

TEST_F(MaterialOutputTest, GeneratedEffectFilesTheirTexturesAndUserEdits) {
    options.Normal = 1;
    XMaterialList materials;
    auto makeEffect = [&](const std::string& name) {
        auto effect = std::make_unique<XEffectMaterial>();
        effect->name = name;
        effect->emissive = Color(0, 0, 1);
        effect->slots[0] = BitmapSlot(name + "Diffuse", Source(name + ".png", name), 3, kTextureMain);
        effect->slots[7] = BitmapSlot(name + "Bump", Source(name + "_n.png", "n"), 5, kTextureNormal);
        effect->slots[8] = BitmapSlot(name + "Lost", Source(name + "_l.png", "l"), 2);  // channel not in mesh
        return effect;
    };
    materials.push_back(makeEffect("A"));
    materials.push_back(std::make_unique<XMaterialRef>(0));
    const std::vector<int32_t> channels{1, 3, 5};
    const std::vector<int32_t> channelMap{0, 0, 2};
    const MaterialNodeView node{"Box", &materials, channels, channelMap};

    // One effect material on the node: Box.fx.
    Output(materials[0].get(), &node);
    auto& a = static_cast<XEffectMaterial&>(*materials[0]);
    EXPECT_EQ(a.effectFile, "Box.fx");
    EXPECT_EQ(ParamsText(a), "ADiffuse=\"A.png\" ABump=\"A_n.png\" ");

    // The generated file keeps user edits unless OverwriteTexture, and needs TextureFiles; it is
    // named all the same.
    std::ofstream(Out("Box.fx"), std::ios::trunc) << "user edits";
    Output(materials[0].get(), &node);
    EXPECT_EQ(ReadText(Out("Box.fx")), "user edits");
    options.TextureFiles = 0;
    options.OverwriteTexture = 1;
    fs::remove(Out("Box.fx"));
    a.effectFile.clear();
    Output(materials[0].get(), &node);
    EXPECT_EQ(a.effectFile, "Box.fx");
    EXPECT_FALSE(fs::exists(Out("Box.fx")));
    options.TextureFiles = 1;
    Output(materials[0].get(), &node);
    EXPECT_NE(ReadText(Out("Box.fx")).find("texture ADiffuse; \n"), std::string::npos);

    // Two effect materials: Box_A.fx and Box_B.fx.
    materials.push_back(makeEffect("B"));
    Output(materials[2].get(), &node);
    EXPECT_EQ(static_cast<XEffectMaterial&>(*materials[2]).effectFile, "Box_B.fx");
    EXPECT_TRUE(fs::exists(Out("Box_B.fx")));
}
