// Material serialisation: Material objects with their TextureFilename and EffectInstance
// children, written from records that the material output step completed.
#include <gtest/gtest.h>

#include "common/xfile_samples.h"
#include "plugin/export_files.h"
#include "scene/export_context.h"
#include "xfile/write_material.h"

namespace {

class MaterialWriteTest : public ::testing::Test {
protected:
    MaterialWriteTest() : exporter(state), records(WriterRecords(exporter)) {
        file.RegisterPublishedTemplates();
        file.CreateMemorySaveObject(&bytes, xfile::XFileFormat::Text, &save);
        context = std::make_unique<XWriteContext>(XWriteContext{records, exporter.meter, *save, {}});
    }

    ExportOptions& options() { return exporter.options(); }

    // Saves and outlines the objects written so far, with the fields of the material's children.
    std::string Written() {
        EXPECT_TRUE(save->Save().ok()) << save->FirstError().message;
        return xfile_test::Outline(bytes, {"TextureFilename", "EffectInstance", "EffectParamString", "EffectParamDWord",
                                           "EffectParamFloats"});
    }

    static XTextureSlot Slot(const std::string& file, int channel = 1, int32_t usage = kTextureOrdinary) {
        XTextureSlot slot;
        slot.usage = usage;
        slot.textureName = "T" + file;
        slot.fileName = file;
        slot.mapChannel = channel;
        return slot;
    }

    ExportSettings state;
    ExportContext exporter;
    XFileRecords records;
    xfile::XFile file;
    std::vector<uint8_t> bytes;
    std::unique_ptr<xfile::XSaveObject> save;
    std::unique_ptr<XWriteContext> context;
};

}  // namespace

TEST_F(MaterialWriteTest, ReferencesAndPlainTextures) {
    // References outside the table or without a list write nothing.
    exporter.materialTable.emplace_back(std::make_unique<XMaterial>("Red"));
    XMaterialRef ref(0), outside(7);

    WriteMaterial(*context, nullptr, exporter.materialTable[0].get());
    WriteMaterial(*context, nullptr, &ref);  // no parent: nothing
    xfile::XPayload list;
    list.Dword(1).Dword(1).Dword(0);
    const xfile::XSaveData meshList = AddObject(*context, nullptr, xfile::kTidMeshMaterialList, "", list.bytes());
    WriteMaterial(*context, &meshList, &ref);
    WriteMaterial(*context, &meshList, &outside);  // outside the table: nothing
    WriteMaterial(*context, &meshList, nullptr);

    // Plain textures: the main slot, and with Multi-Textures every used slot that names a file.
    XMaterial material("Wood");
    material.slots[0] = Slot("wood.png", 1, kTextureMain);
    material.slots[7] = Slot("bump.png");
    material.slots[9] = Slot("unused.png", 0);
    material.slots[10] = Slot("");  // used, but no file to name

    WriteMaterial(*context, nullptr, &material);
    options().MultiTextures = 1;
    WriteMaterial(*context, nullptr, &material);
    // Without a main slot and Multi-Textures off, no TextureFilename at all.
    options().MultiTextures = 0;
    material.slots[0].usage = kTextureOrdinary;
    WriteMaterial(*context, nullptr, &material);
    EXPECT_EQ(Written(),
              "Material Red\nMeshMaterialList\n  { Red }\n"
              "Material Wood\n  TextureFilename filename=\"wood.png\"\n"
              "Material Wood\n  TextureFilename filename=\"wood.png\"\n  TextureFilename filename=\"bump.png\"\n"
              "Material Wood\n");
}

TEST_F(MaterialWriteTest, EffectInstancesAndTheirParameters) {
    XEffectMaterial dx;
    dx.name = "Shiny";
    dx.effectValid = true;
    dx.effectFile = "C:\\fx\\shiny.fx";
    dx.dwordParams = {{"useFog", 1}};
    dx.stringParams = {{"diffuseMap", "d.png"}};
    dx.floatParams = {{"gloss", {0.5f, 0, 0, 0}, 1}, {"tint", {1, 2, 3, 4}, 3}};
    XEffectMaterial bare = dx;  // no used slot: the Material alone
    dx.slots[0] = Slot("d.png");
    XEffectMaterial generated = dx;
    generated.effectValid = false;
    generated.effectFile = "Box.fx";

    WriteMaterial(*context, nullptr, &dx);  // EffectParam off
    options().EffectParam = 1;
    WriteMaterial(*context, nullptr, &dx);
    WriteMaterial(*context, nullptr, &bare);
    options().EffectParam = 0;
    WriteMaterial(*context, nullptr, &generated);  // a generated effect always has its parameters
    const std::string parameters =
        "    EffectParamDWord ParamName=\"useFog\" Value=1\n"
        "    EffectParamString ParamName=\"diffuseMap\" Value=\"d.png\"\n"
        "    EffectParamFloats ParamName=\"gloss\" nFloats=1 Floats=[0.5]\n"
        "    EffectParamFloats ParamName=\"tint\" nFloats=3 Floats=[1, 2, 3]\n";
    EXPECT_EQ(Written(), "Material Shiny\n  EffectInstance EffectFilename=\"shiny.fx\"\n"
                         "Material Shiny\n  EffectInstance EffectFilename=\"shiny.fx\"\n" + parameters +
                         "Material Shiny\n"
                         "Material Shiny\n  EffectInstance EffectFilename=\"Box.fx\"\n" + parameters);
}
