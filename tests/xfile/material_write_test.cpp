// Material serialisation: Material objects and their children, copied and baked texture
// files, effect file copies and generated effect files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "effect/effect_file.h"
#include "host/bitmap_writer.h"
#include "host/procedural_maps.h"
#include "plugin/exporter.h"
#include "xfile/format/xreader.h"
#include "xfile/write_material.h"

namespace {

namespace fs = std::filesystem;

// The host services the writer uses: the bitmap manager, nothing else.
class WriterHost final : public Interface {
public:
    HostWindow GetMAXHWnd() override { return nullptr; }
    Interval GetAnimRange() override { return {}; }
    INode* GetRootNode() override { return nullptr; }
    std::string GetDir(int) override { return {}; }
    std::string GetCurFilePath() override { return {}; }
    int GetTicksPerFrame() override { return 160; }
    int GetFrameRate() override { return 30; }
    void ProgressStart(const char*, bool, ProgressFunction, void*) override {}
    void ProgressUpdate(int, bool, const char*) override {}
    void ProgressEnd() override {}
    int MessageBox(HostWindow, const char*, const char*, unsigned) override { return kIdOk; }
    BitmapManager* GetBitmapManager() override { return &bitmaps; }
    HostBitmapManager bitmaps;
};

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string CString(std::span<const uint8_t> payload, size_t& at) {
    std::string s;
    while (at < payload.size() && payload[at] != 0) s.push_back(static_cast<char>(payload[at++]));
    ++at;
    return s;
}

uint32_t Dword(std::span<const uint8_t> payload, size_t& at) {
    uint32_t v = 0;
    std::memcpy(&v, payload.data() + at, 4);
    at += 4;
    return v;
}

float Float(std::span<const uint8_t> payload, size_t& at) {
    float v = 0;
    std::memcpy(&v, payload.data() + at, 4);
    at += 4;
    return v;
}

// One line per object, indented by depth: template, name and the decoded payload of the
// material objects; references as "{Name}".
std::string Describe(const xfile::XDocument& doc) {
    std::ostringstream out;
    for (const xfile::XNode& node : doc.nodes) {
        out << std::string(node.depth, ' ');
        if (node.isReference) {
            out << "{" << doc.Name(node) << "}\n";
            continue;
        }
        const std::string& type = doc.TemplateOf(node).name;
        const auto payload = doc.Payload(node);
        size_t at = 0;
        out << type;
        if (!doc.Name(node).empty()) out << " " << doc.Name(node);
        if (type == "TextureFilename" || type == "EffectInstance") {
            out << " \"" << CString(payload, at) << "\"";
        } else if (type == "EffectParamString") {
            const std::string name = CString(payload, at);
            out << " " << name << "=\"" << CString(payload, at) << "\"";
        } else if (type == "EffectParamDWord") {
            const std::string name = CString(payload, at);
            out << " " << name << "=" << Dword(payload, at);
        } else if (type == "EffectParamFloats") {
            const std::string name = CString(payload, at);
            const uint32_t count = Dword(payload, at);
            out << " " << name << "=";
            for (uint32_t i = 0; i < count; ++i) out << (i ? "," : "") << Float(payload, at);
        }
        out << "\n";
    }
    return out.str();
}

class MaterialWriteTest : public ::testing::Test {
protected:
    MaterialWriteTest() : exporter(state) {
        root = fs::path(PLOVER_BINARY_DIR) / "material_write_scratch" /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(root);
        fs::create_directories(root / "out");
        fs::create_directories(root / "src");
        exporter.ip = &host;
        exporter.outputDirectory = (root / "out").string() + "/";
        options().TextureFiles = 1;
        options().ProcMapX = 8;
        options().ProcMapY = 4;
        file.RegisterPublishedTemplates();
        file.CreateMemorySaveObject(&bytes, xfile::XFileFormat::Text, &save);
        context = std::make_unique<XWriteContext>(XWriteContext{exporter, *save, {}});
    }
    ~MaterialWriteTest() override { fs::remove_all(root); }

    ExportOptions& options() { return exporter.options(); }
    std::string Source(const std::string& name, const std::string& content) {
        const fs::path path = root / "src" / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    fs::path Out(const std::string& name) const { return root / "out" / name; }

    // Saves and describes the objects written so far.
    std::string Written() {
        EXPECT_TRUE(save->Save().ok()) << save->FirstError().message;
        xfile::XDocument doc;
        const xfile::XResult read = xfile::ReadXFile(bytes, &doc);
        EXPECT_TRUE(read.ok()) << read.message;
        return Describe(doc);
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

    ModuleState state;
    XExporter exporter;
    WriterHost host;
    fs::path root;
    xfile::XFile file;
    std::vector<uint8_t> bytes;
    std::unique_ptr<xfile::XSaveObject> save;
    std::unique_ptr<XWriteContext> context;
};

}  // namespace

TEST(MaterialWrite, TexCoordSetOfChannel) {
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

TEST_F(MaterialWriteTest, ReferencesAndPayload) {
    auto& red = *exporter.materialTable.emplace_back(std::make_unique<XMaterial>("Red"));
    red.diffuse = AColor(1, 0, 0, 0.5f);
    red.power = 25;
    red.specular = Color(0.1f, 0.2f, 0.3f);
    red.emissive = Color(0.4f, 0.5f, 0.6f);
    XMaterialRef ref(0), outside(7);

    WriteMaterial(*context, nullptr, exporter.materialTable[0].get(), nullptr);
    WriteMaterial(*context, nullptr, &ref, nullptr);  // no parent: nothing
    xfile::XPayload list;
    list.Dword(1).Dword(1).Dword(0);
    const xfile::XSaveData meshList = AddObject(*context, nullptr, xfile::kTidMeshMaterialList, "", list.bytes());
    WriteMaterial(*context, &meshList, &ref, nullptr);
    WriteMaterial(*context, &meshList, &outside, nullptr);  // outside the table: nothing
    WriteMaterial(*context, &meshList, nullptr, nullptr);
    EXPECT_EQ(Written(), "Material Red\nMeshMaterialList\n {Red}\n");

    xfile::XDocument doc;
    ASSERT_TRUE(xfile::ReadXFile(bytes, &doc).ok());
    const auto payload = doc.Payload(doc.nodes[0]);
    ASSERT_EQ(payload.size(), 44u);
    float values[11];
    std::memcpy(values, payload.data(), 44);
    const float expected[11] = {1, 0, 0, 0.5f, 25, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f};
    for (int i = 0; i < 11; ++i) EXPECT_EQ(values[i], expected[i]) << i;
}

TEST_F(MaterialWriteTest, PlainTexturesMainSlotAndMultiTextures) {
    XMaterial material("Wood");
    material.slots[0] = BitmapSlot("Diffuse", Source("wood.png", "wood"), 1, kTextureMain);
    material.slots[7] = BitmapSlot("Bump", Source("bump.png", "bump"));
    material.slots[9] = BitmapSlot("Unused", Source("unused.png", "u"), 0);

    WriteMaterial(*context, nullptr, &material, nullptr);
    options().MultiTextures = 1;
    WriteMaterial(*context, nullptr, &material, nullptr);
    // Without a main slot and Multi-Textures off, no TextureFilename at all.
    options().MultiTextures = 0;
    material.slots[0].usage = kTextureOrdinary;
    WriteMaterial(*context, nullptr, &material, nullptr);
    EXPECT_EQ(Written(),
              "Material Wood\n TextureFilename \"wood.png\"\n"
              "Material Wood\n TextureFilename \"wood.png\"\n TextureFilename \"bump.png\"\n"
              "Material Wood\n");
    EXPECT_EQ(ReadText(Out("wood.png")), "wood");
    EXPECT_EQ(ReadText(Out("bump.png")), "bump");
    EXPECT_FALSE(fs::exists(Out("unused.png")));
}

TEST_F(MaterialWriteTest, CopyRulesAndSafety) {
    std::ofstream(Out("wood.png")) << "existing";
    XMaterial material("Wood");
    material.slots[0] = BitmapSlot("Diffuse", Source("wood.png", "new"), 1, kTextureMain);
    // A missing source is skipped quietly; the file is still named.
    material.slots[1] = BitmapSlot("Gone", (root / "src" / "gone.png").string());
    // Names never lead out of the output directory.
    material.slots[2] = BitmapSlot("Up", Source("up.png", "up"));
    material.slots[2].fileName = "..";
    material.slots[3] = BitmapSlot("Deep", Source("deep.png", "deep"));
    material.slots[3].fileName = "..\\..\\deep.png";
    options().MultiTextures = 1;

    WriteMaterial(*context, nullptr, &material, nullptr);
    EXPECT_EQ(ReadText(Out("wood.png")), "existing");  // overwrite off
    EXPECT_FALSE(fs::exists(Out("gone.png")));
    EXPECT_EQ(ReadText(Out("deep.png")), "deep");
    EXPECT_FALSE(fs::exists(root / "deep.png"));
    EXPECT_FALSE(fs::exists(root / "up.png"));

    options().OverwriteTexture = 1;
    WriteMaterial(*context, nullptr, &material, nullptr);
    EXPECT_EQ(ReadText(Out("wood.png")), "new");

    // A texture already in the output directory is its own source.
    material.slots[0].sourcePath = Out("wood.png").string();
    WriteMaterial(*context, nullptr, &material, nullptr);
    EXPECT_EQ(ReadText(Out("wood.png")), "new");

    // With TextureFiles off nothing is copied, but the objects are written.
    options().TextureFiles = 0;
    fs::remove(Out("wood.png"));
    WriteMaterial(*context, nullptr, &material, nullptr);
    EXPECT_FALSE(fs::exists(Out("wood.png")));
    const std::string written = Written();
    EXPECT_NE(written.rfind("Material Wood\n TextureFilename \"wood.png\"\n TextureFilename \"gone.png\"\n"),
              std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(root / "out"), fs::directory_iterator()), 1);  // deep.png
}

TEST_F(MaterialWriteTest, ProceduralSlotsAreBaked) {
    HostCheckerMap checker;
    XMaterial material("Board");
    XTextureSlot& slot = material.slots[0];
    slot.usage = kTextureMain;
    slot.textureName = "Checker";
    slot.fileName = slot.sourcePath = "stale.bmp";
    slot.mapChannel = 1;
    slot.procMap = &checker;

    WriteMaterial(*context, nullptr, &material, nullptr);
    EXPECT_EQ(slot.fileName, "Checker.bmp");
    ASSERT_TRUE(fs::exists(Out("Checker.bmp")));
    EXPECT_EQ(fs::file_size(Out("Checker.bmp")), 14u + 108u + 8u * 4u * 4u);

    // An existing bake stays unless OverwriteTexture; the name is set either way.
    std::ofstream(Out("Checker.bmp"), std::ios::trunc) << "kept";
    slot.fileName = "other.bmp";
    WriteMaterial(*context, nullptr, &material, nullptr);
    EXPECT_EQ(ReadText(Out("Checker.bmp")), "kept");
    EXPECT_EQ(slot.fileName, "Checker.bmp");
    options().OverwriteTexture = 1;
    WriteMaterial(*context, nullptr, &material, nullptr);
    EXPECT_NE(ReadText(Out("Checker.bmp")), "kept");
    EXPECT_EQ(Written(), "Material Board\n TextureFilename \"Checker.bmp\"\n"
              "Material Board\n TextureFilename \"Checker.bmp\"\n"
              "Material Board\n TextureFilename \"Checker.bmp\"\n");
}

TEST_F(MaterialWriteTest, DirectXShaderMaterial) {
    const std::string fx = Source("shiny.fx", "effect source");
    XEffectMaterial dx;
    dx.name = "Shiny";
    dx.effectValid = true;
    dx.effectFile = fx;
    dx.dwordParams = {{"useFog", 1}};
    dx.stringParams = {{"diffuseMap", "d.png"}};
    dx.floatParams = {{"gloss", {0.5f, 0, 0, 0}, 1}, {"tint", {1, 2, 3, 4}, 3}};
    XEffectMaterial bare = dx;
    dx.slots[0].mapChannel = 1;
    dx.slots[0].fileName = "d.png";
    dx.slots[0].sourcePath = Source("d.png", "pixels");

    WriteMaterial(*context, nullptr, &dx, nullptr);  // EffectParam off, DxFx off
    EXPECT_FALSE(fs::exists(Out("shiny.fx")));
    EXPECT_EQ(ReadText(Out("d.png")), "pixels");
    options().EffectParam = 1;
    options().DxFx = 1;
    WriteMaterial(*context, nullptr, &dx, nullptr);
    EXPECT_EQ(ReadText(Out("shiny.fx")), "effect source");
    // Without an effect bitmap no slot is used: the Material alone, no effect file copied.
    fs::remove(Out("shiny.fx"));
    WriteMaterial(*context, nullptr, &bare, nullptr);
    EXPECT_FALSE(fs::exists(Out("shiny.fx")));

    EXPECT_EQ(Written(),
              "Material Shiny\n EffectInstance \"shiny.fx\"\n"
              "Material Shiny\n EffectInstance \"shiny.fx\"\n  EffectParamDWord useFog=1\n"
              "  EffectParamString diffuseMap=\"d.png\"\n  EffectParamFloats gloss=0.5\n"
              "  EffectParamFloats tint=1,2,3\n"
              "Material Shiny\n");
}

TEST_F(MaterialWriteTest, DirectXEffectFileCopyKeepsExistingUnlessOverwriteFx) {
    XEffectMaterial dx;
    dx.name = "Dx";
    dx.effectValid = true;
    dx.effectFile = Source("a.fx", "new");
    dx.slots[0].mapChannel = 1;
    options().DxFx = 1;
    std::ofstream(Out("a.fx")) << "old";
    WriteMaterial(*context, nullptr, &dx, nullptr);
    EXPECT_EQ(ReadText(Out("a.fx")), "old");
    options().OverwriteFX = 1;
    WriteMaterial(*context, nullptr, &dx, nullptr);
    EXPECT_EQ(ReadText(Out("a.fx")), "new");
}

TEST_F(MaterialWriteTest, GeneratedEffectFilesAndTheirTextures) {
    options().Normal = 1;
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
    MaterialNodeView node{"Box", &materials, channels, channelMap};

    // One effect material on the node: Box.fx; parameters whatever EffectParam says.
    WriteMaterial(*context, nullptr, materials[0].get(), &node);
    auto& a = static_cast<XEffectMaterial&>(*materials[0]);
    EXPECT_EQ(a.effectFile, "Box.fx");
    ASSERT_EQ(a.stringParams.size(), 2u);
    EXPECT_EQ(a.stringParams[0].name, "ADiffuse");
    EXPECT_EQ(a.stringParams[0].value, "A.png");

    XEffectFile expected;
    expected.diffuse = a.diffuse;
    expected.emissive = a.emissive;
    expected.specular = a.specular;
    expected.normal = 1;
    expected.AddTexture(kTextureMain, 0, kAddressClamp, kAddressClamp, "ADiffuse");
    expected.AddTexture(kTextureNormal, 1, kAddressClamp, kAddressClamp, "ABump");
    EXPECT_EQ(ReadText(Out("Box.fx")), expected.GenerateText(options()));

    // Two effect materials: Box_A.fx and Box_B.fx.
    materials.push_back(makeEffect("B"));
    WriteMaterial(*context, nullptr, materials[2].get(), &node);
    EXPECT_EQ(static_cast<XEffectMaterial&>(*materials[2]).effectFile, "Box_B.fx");
    EXPECT_TRUE(fs::exists(Out("Box_B.fx")));
    EXPECT_EQ(Written(),
              "Material A\n EffectInstance \"Box.fx\"\n  EffectParamString ADiffuse=\"A.png\"\n"
              "  EffectParamString ABump=\"A_n.png\"\n"
              "Material B\n EffectInstance \"Box_B.fx\"\n  EffectParamString BDiffuse=\"B.png\"\n"
              "  EffectParamString BBump=\"B_n.png\"\n");
}

TEST_F(MaterialWriteTest, GeneratedEffectFileOverwriteAndTextureFilesOff) {
    XMaterialList materials;
    auto effect = std::make_unique<XEffectMaterial>();
    effect->name = "Fx";
    effect->slots[0] = BitmapSlot("T", Source("t.png", "t"), 1, kTextureMain);
    materials.push_back(std::move(effect));
    const std::vector<int32_t> channels{1};
    const std::vector<int32_t> channelMap{0};
    MaterialNodeView node{"Box", &materials, channels, channelMap};

    std::ofstream(Out("Box.fx")) << "user edits";
    WriteMaterial(*context, nullptr, materials[0].get(), &node);
    EXPECT_EQ(ReadText(Out("Box.fx")), "user edits");  // OverwriteTexture off
    options().TextureFiles = 0;
    options().OverwriteTexture = 1;
    fs::remove(Out("Box.fx"));
    WriteMaterial(*context, nullptr, materials[0].get(), &node);
    EXPECT_FALSE(fs::exists(Out("Box.fx")));
    options().TextureFiles = 1;
    WriteMaterial(*context, nullptr, materials[0].get(), &node);
    EXPECT_NE(ReadText(Out("Box.fx")).find("texture T; \n"), std::string::npos);
}
