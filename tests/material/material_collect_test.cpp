// Material collection: slots, procedural maps, demotion, sub-material search and DirectX shader
// materials, naming and the shared material table. (Common materials are exported and checked
// whole in tests/xfile/material_export_test.cpp.)
#include "material_test_util.h"

#include "host/objects/procedural_maps.h"
#include "material/uv_transform.h"

TEST_F(MaterialTest, StandardMaterialSlotsSkipsAndNames) {
    options.FX = 1;
    auto& m = Standard("Mat");
    auto& a = Bitmap("Tex", "a.png");
    auto& b = Bitmap("Tex", "b.png", 2);
    auto& disabled = Bitmap("Off", "off.png");
    m.maps[kMapAmbient] = &Bitmap("Ambient", "ambient.png");  // never read
    m.maps[kMapSpecular] = &a;
    m.maps[kMapOpacity] = &b;
    m.maps[kMapReflection] = &disabled;
    m.mapEnabled[kMapReflection] = false;

    auto& bump = library.AddTexmap(std::make_unique<HostNormalBump>());
    bump.name = "NB";
    bump.normalMap = &Bitmap("Normals", "normals.png");
    m.maps[kMapBump] = &bump;
    auto& emptyBump = library.AddTexmap(std::make_unique<HostNormalBump>());
    m.maps[kMapDisplacement] = &emptyBump;  // no sub-map: skipped

    auto record = ReadStandardMaterial(Context(2), &m);
    ASSERT_EQ(record->kind, kEffectMaterial);
    EXPECT_EQ(record->UsedSlotCount(), 3);
    EXPECT_EQ(record->slots[1].textureName, "Tex");   // specular: host slot 2
    EXPECT_EQ(record->slots[5].textureName, "Tex_");  // opacity: same map name made unique
    EXPECT_EQ(record->slots[5].mapChannel, 2);
    EXPECT_EQ(record->slots[1].usage, kTextureOrdinary);  // only slot 0 is the main texture
    EXPECT_EQ(record->slots[7].usage, kTextureNormal);    // the normal-bump's bitmap
    EXPECT_EQ(record->slots[7].fileName, "normals.png");
    EXPECT_EQ(record->MainSlot(), -1);
    EXPECT_FALSE(record->slots[8].used());  // disabled
    EXPECT_FALSE(record->slots[10].used());
    // Without a diffuse map the face colour is the material's.
    EXPECT_EQ(record->diffuse, AColor(0.588f, 0.588f, 0.588f, 1));
}

TEST_F(MaterialTest, ProceduralAndVertexColourMaps) {
    options.FX = 1;
    auto& m = Standard("Proc");
    auto& checker = library.AddTexmap(std::make_unique<HostCheckerMap>());
    checker.name = "Checker";
    checker.tiling = kUMirror;
    checker.mapChannel = 3;
    auto& noChannel = library.AddTexmap(std::make_unique<HostNoiseMap>());
    noChannel.name = "Noise";
    noChannel.mapChannel = 0;
    auto& vertexColours = library.AddTexmap(std::make_unique<HostVertexColorMap>());
    vertexColours.name = "VC";
    vertexColours.mapChannel = 1;
    m.maps[kMapDiffuse] = &checker;
    m.maps[kMapSpecular] = &noChannel;
    m.maps[kMapGlossiness] = &vertexColours;

    auto record = ReadStandardMaterial(Context(2), &m);
    const XTextureSlot& slot = record->slots[0];
    EXPECT_EQ(SlotText(slot), "main Checker Checker.bmp from Checker.bmp channel 3 mirror/clamp");
    EXPECT_EQ(slot.procMap, &checker);
    EXPECT_EQ(slot.uvTransform, Rows(2, 0, 0, -1, 0, 1));
    EXPECT_FALSE(record->slots[1].used());  // channel below 1
    EXPECT_TRUE(record->slots[3].used());   // vertex colours kept as a map with VertexColor off

    options.VertexColor = 1;
    record = ReadStandardMaterial(Context(2), &m);
    EXPECT_FALSE(record->slots[3].used());
}

TEST_F(MaterialTest, DemotionFollowsFxAndMeshChannels) {
    auto& m = Standard("Box");
    m.maps[kMapDiffuse] = &Bitmap("Diffuse", "d.png");

    options.FX = 0;
    EXPECT_EQ(ReadStandardMaterial(Context(2), &m)->kind, kPlainMaterial);
    options.FX = 1;
    // One channel (or none) and only the diffuse texture: a plain material does.
    EXPECT_EQ(ReadStandardMaterial(Context(0), &m)->kind, kPlainMaterial);
    EXPECT_EQ(ReadStandardMaterial(Context(2), &m)->kind, kEffectMaterial);

    m.maps[kMapBump] = &Bitmap("Bump", "b.png");
    auto record = ReadStandardMaterial(Context(1), &m);
    ASSERT_EQ(record->kind, kEffectMaterial);
    EXPECT_EQ(record->slots[7].fileName, "b.png");

    // A demoted copy keeps name, colours and slots.
    m.maps[kMapBump] = nullptr;
    m.diffuse = Color(0.5f, 0.5f, 0.5f);
    options.DiffuseMapColor = 1;
    record = ReadStandardMaterial(Context(1), &m);
    EXPECT_EQ(record->kind, kPlainMaterial);
    EXPECT_EQ(record->name, "Box");
    EXPECT_EQ(record->diffuse, AColor(0.5f, 0.5f, 0.5f, 1));
    EXPECT_EQ(record->slots[0].fileName, "d.png");
    EXPECT_EQ(dynamic_cast<XEffectMaterial*>(record.get()), nullptr);
}

TEST_F(MaterialTest, SubMaterialSearch) {
    auto& deep = Standard("Deep");
    auto& generic = library.AddMaterial(std::make_unique<HostGenericMaterial>());
    generic.name = "Generic";

    // Sub-material 0 downwards reaches the standard material.
    auto& chain = Multi("Chain", {&Multi("Inner", {&deep})});
    EXPECT_EQ(ReadStandardMaterial(Context(), &chain)->name, "Deep");

    // The chain ends on another class: breadth first finds the standard material one level down.
    auto& wide = Multi("Wide", {&generic, &Multi("Second", {&deep})});
    EXPECT_EQ(ReadStandardMaterial(Context(), &wide)->name, "Deep");

    // An empty slot met before any standard material.
    auto& holes = Multi("Holes", {nullptr, &deep});
    EXPECT_EQ(ReadStandardMaterial(Context(), &holes)->name, "_ErrorSubMtl");

    // No standard material anywhere: the generic reader takes over.
    auto& none = Multi("None", {&generic});
    EXPECT_EQ(ReadStandardMaterial(Context(), &none), nullptr);
    EXPECT_EQ(ReadOtherMaterial(Context(), &none)->name, "Generic");
    EXPECT_EQ(ReadOtherMaterial(Context(), &holes)->name, "_ErrorOtherSubMtl");

    // A material graph with a cycle ends instead of running forever.
    auto& loopA = Multi("LoopA", {});
    auto& loopB = Multi("LoopB", {&loopA});
    loopA.subMaterials = {&loopB};
    EXPECT_EQ(ReadStandardMaterial(Context(), &loopA), nullptr);
    EXPECT_EQ(ReadOtherMaterial(Context(), &loopA)->name, "_ErrorOtherSubMtl");
}

TEST_F(MaterialTest, DxMaterialParametersBitmapsAndEffectFile) {
    ScratchDir dir;
    state.sceneDirectory = dir.dir();
    const std::string fx = dir.Touch("fx/shiny.fx");

    auto& dx = library.AddMaterial(std::make_unique<HostDxMaterial>());
    dx.name = "Shiny Dx";
    auto block = std::make_unique<HostParamBlock>();
    block->Add("gloss", ParamType::Float, 0.5f);
    block->Add("amount", ParamType::Percent, 0.25f);
    block->Add("lightDir", ParamType::Point3, Point3(1, 2, 3));
    block->Add("tint4", ParamType::Point4, Point4(1, 2, 3, 4));
    block->Add("tint", ParamType::FRGBA, AColor(0.1f, 0.2f, 0.3f, 0.4f));
    block->Add("useFog", ParamType::Bool, 1);
    block->Add("technique", ParamType::String, std::string("Main"));
    block->Add("lut", ParamType::Filename, std::string("c:\\luts\\lut.dds"));
    block->Add("diffuseMap", ParamType::Texmap, static_cast<Texmap*>(&Bitmap("D", "C:\\maps\\d.png")));
    block->Add("emptyMap", ParamType::Texmap, static_cast<Texmap*>(nullptr));
    block->Add("envMap", ParamType::Bitmap, std::string("C:/maps/env.dds"));
    block->Add("count", ParamType::Int, 3);          // not an effect parameter
    block->Add("colour", ParamType::Color, AColor());  // neither
    block->Add("DiffuseMapChannel", ParamType::Int, 2);
    dx.blocks.push_back(std::move(block));
    auto second = std::make_unique<HostParamBlock>();
    second->Add("effectfile", ParamType::Filename, std::string("D:\\shaders\\shiny.fx"));
    dx.blocks.push_back(std::move(second));
    dx.effectBitmaps.push_back({std::string("C:\\maps\\d.png"), 2});
    dx.effectBitmaps.push_back({std::nullopt, 0});
    for (int i = 0; i < 12; ++i) dx.effectBitmaps.push_back({"extra" + std::to_string(i) + ".png", 1});

    ASSERT_TRUE(CollectMaterials(Context(), "Box", &dx, list, table));
    ASSERT_EQ(list.size(), 1u);
    ASSERT_EQ(list[0]->kind, kEffectMaterial);
    EXPECT_TRUE(table.empty());
    const auto& record = static_cast<const XEffectMaterial&>(*list[0]);
    EXPECT_EQ(record.name, "Shiny_Dx");
    EXPECT_TRUE(record.effectValid);
    EXPECT_EQ(record.effectFile, fx);

    EXPECT_EQ(ParamsText(record),
              "gloss=0.5 amount=0.25 lightDir=1,2,3 tint4=1,2,3,4 tint=0.1,0.2,0.3,0.4 useFog=1 technique=\"Main\" "
              "lut=\"c:\\luts\\lut.dds\" diffuseMap=\"d.png\" emptyMap=\"\" envMap=\"env.dds\" ");

    // Effect bitmaps: eleven at most, channel from the bitmap when a mapchannel parameter exists.
    EXPECT_EQ(record.UsedSlotCount(), kTextureSlotCount);
    EXPECT_EQ(record.slots[0].mapChannel, 2);
    EXPECT_EQ(record.slots[0].fileName, "d.png");
    EXPECT_EQ(record.slots[0].uvTransform, FlipUvMatrix());
    EXPECT_EQ(record.slots[0].textureName, "");
    EXPECT_EQ(record.slots[1].mapChannel, 1);  // channel 0 falls back to 1
    EXPECT_EQ(record.slots[1].fileName, "");
    EXPECT_EQ(record.slots[1].sourcePath, "");
    EXPECT_EQ(record.slots[10].fileName, "extra8.png");
}

TEST_F(MaterialTest, DxMaterialWithoutChannelParameterOrFirstBlock) {
    // Without a map channel parameter the bitmaps use channel 1.
    auto& dx = library.AddMaterial(std::make_unique<HostDxMaterial>());
    dx.name = "Dx";
    dx.blocks.push_back(std::make_unique<HostParamBlock>());
    dx.effectBitmaps.push_back({std::string("a.png"), 3});
    auto record = ReadEffectMaterial(Context(), &dx);
    EXPECT_EQ(record->slots[0].mapChannel, 1);
    EXPECT_TRUE(static_cast<XEffectMaterial&>(*record).effectFile.empty());

    // Without its first block the material is not valid: a plain record and a message.
    auto& broken = library.AddMaterial(std::make_unique<HostDxMaterial>());
    broken.name = "Broken \"fx\"";
    broken.blocks.push_back(nullptr);
    ASSERT_TRUE(CollectMaterials(Context(), "Box", &broken, list, table));
    EXPECT_EQ(Record(list, table, 0).name, "_ErrorDxMaterial");
    EXPECT_EQ(Record(list, table, 0).kind, kPlainMaterial);
    ASSERT_EQ(scene.messages().size(), 1u);
    EXPECT_EQ(scene.messages()[0].text, "Broken \"fx\": Not valid directx material!");
    EXPECT_EQ(scene.messages()[0].caption, "Error Material");
    EXPECT_EQ(scene.messages()[0].style, kMbOk);
}

TEST_F(MaterialTest, SharedTableAndNaming) {
    auto& red = Standard("Red");
    auto& redToo = Standard("Red");
    auto& lower = Standard("red");
    ASSERT_TRUE(CollectMaterials(Context(), "A", &red, list, table));
    XMaterialList other;
    ASSERT_TRUE(CollectMaterials(Context(), "B", &redToo, other, table));
    ASSERT_TRUE(CollectMaterials(Context(), "B", &lower, other, table));
    // Same exact name: one shared record; names differing in case are different materials.
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(static_cast<XMaterialRef&>(*list[0]).index, 0u);
    EXPECT_EQ(static_cast<XMaterialRef&>(*other[0]).index, 0u);
    EXPECT_EQ(static_cast<XMaterialRef&>(*other[1]).index, 1u);

    // Named like the node, or "string".
    XMaterialList named;
    AddNodeMaterial(options, "Box", named, table, std::make_unique<XMaterial>("Box"));
    AddNodeMaterial(options, "Box", named, table, std::make_unique<XMaterial>("string"));
    EXPECT_EQ(Record(named, table, 0).name, "Mat_Box");
    EXPECT_EQ(Record(named, table, 1).name, "_string");

    // Without a name a record could not be referred to: each gets a name of its own, shared or
    // inline, that no other record has.
    table.push_back(std::make_unique<XMaterial>("Material_1"));
    AddNodeMaterial(options, "Box", named, table, std::make_unique<XMaterial>(""));
    AddNodeMaterial(options, "Box", named, table, std::make_unique<XMaterial>(""));
    options.InlineMtl = 1;
    AddNodeMaterial(options, "Box", named, table, std::make_unique<XMaterial>(""));
    EXPECT_EQ(Record(named, table, 2).name, "Material_2");
    EXPECT_EQ(Record(named, table, 3).name, "Material_3");
    EXPECT_EQ(Record(named, table, 4).name, "Material_4");
    EXPECT_EQ(table.size(), 7u);

    // A reference outside the table resolves to nothing.
    XMaterialRef outside(9);
    EXPECT_EQ(ResolveMaterialEntry(&outside, table), nullptr);
    EXPECT_EQ(ResolveMaterialEntry(static_cast<const XMaterialEntry*>(nullptr), table), nullptr);
}

TEST_F(MaterialTest, InlineRecordsStayWithTheNode) {
    options.InlineMtl = 1;
    auto& red = Standard("Red");
    auto& multi = Multi("Multi", {&red, &red, nullptr});
    ASSERT_TRUE(CollectMaterials(Context(), "A", &multi, list, table));
    XMaterialList other;
    ASSERT_TRUE(CollectMaterials(Context(), "B", &red, other, table));
    EXPECT_TRUE(table.empty());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]->kind, kPlainMaterial);
    EXPECT_EQ(Record(list, table, 0).name, "Red");
    EXPECT_EQ(Record(list, table, 1).name, "Red_");
    EXPECT_EQ(Record(list, table, 2).name, "Material_NULL");
    EXPECT_EQ(Record(other, table, 0).name, "Red");  // each node its own copy

    // Effect records are inline whatever InlineMtl says, and references do not count as names.
    options.InlineMtl = 0;
    XMaterialList mixed;
    AddNodeMaterial(options, "C", mixed, table, std::make_unique<XMaterial>("Fx"));
    auto effect = std::make_unique<XEffectMaterial>();
    effect->name = "Fx";
    AddNodeMaterial(options, "C", mixed, table, std::move(effect));
    ASSERT_EQ(mixed.size(), 2u);
    EXPECT_EQ(mixed[0]->kind, kMaterialRef);
    EXPECT_EQ(mixed[1]->kind, kEffectMaterial);
    EXPECT_EQ(Record(mixed, table, 1).name, "Fx");
}
