// The X file import: what the host scene holds for each template, key type and oddity, in all
// three forms of the file, and the one message a malformed file gets.
#include <gtest/gtest.h>

#include "common/test_files.h"
#include "common/xfile_samples.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/document/scene_document.h"
#include "host/import/x_import.h"
#include "host/objects/host_controllers.h"
#include "host/objects/host_deformers.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kHeader = "xof 0303txt 0032\n";

struct Imported {
    std::unique_ptr<HostScene> scene;
    std::vector<ImportedClip> clips;
    std::vector<std::string> warnings;
    std::string error;
};

Imported Import(const fs::path& file, ImportOptions options = {}) {
    Imported out;
    options.warnings = &out.warnings;
    out.scene = ImportXFile(file.string(), options, out.clips, out.error);
    return out;
}

void Write(const fs::path& file, std::string_view text) {
    std::ofstream(file, std::ios::binary) << text;
}
void Write(const fs::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

HostNode* Find(HostNode& node, const std::string& name) {
    if (node.name() == name) return &node;
    for (const auto& child : node.children())
        if (HostNode* found = Find(*child, name)) return found;
    return nullptr;
}

const Mesh& MeshOf(HostNode* node) {
    static const Mesh empty;
    auto* object = node && node->object() ? dynamic_cast<HostTriObject*>(node->object()->FindBaseObject()) : nullptr;
    EXPECT_NE(object, nullptr) << (node ? node->name() : "no node");
    return object ? object->mesh() : empty;
}

void ExpectNear(const Point3& a, const Point3& b, float tolerance = 1e-5f) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

// The scene, written as a scene document and loaded again, gives the same document: everything
// the import made is expressible in one.
void ExpectDocumentHoldsScene(const HostScene& scene, const fs::path& dir) {
    const std::string text = SaveSceneDocument(scene);
    Write(dir / "scene.json", text);
    std::string error;
    const std::unique_ptr<HostScene> loaded = LoadSceneDocument((dir / "scene.json").string(), error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(SaveSceneDocument(*loaded), text);
}

// The sample scene of the X layer's tests: a textured material with an effect instance, a frame
// hierarchy with a skinned mesh (normals, texture coordinates, colours, a material reference), a
// mesh with DeclData, ticks per second and an animation set of every key type.
void ExpectSampleScene(const Imported& in) {
    ASSERT_TRUE(in.scene) << in.error;
    HostScene& scene = *in.scene;
    EXPECT_EQ(scene.root().name(), "Root");
    ExpectNear(scene.root().localTransform().GetTrans(), Point3(0, 5, 0));  // (0, 0, 5) in the file
    HostNode* bone = Find(scene.root(), "Bone");
    HostNode* other = Find(scene.root(), "Other");
    ASSERT_TRUE(bone && other);
    EXPECT_EQ(MeshOf(bone).getNumFaces(), 1);
    EXPECT_TRUE(MeshOf(bone).mapSupport(1));
    EXPECT_TRUE(MeshOf(bone).mapSupport(kVertexColorChannel));
    // Tri2's normals and texture coordinates come from its DeclData alone.
    const Mesh& declared = MeshOf(other);
    ASSERT_NE(declared.GetSpecifiedNormals(), nullptr);
    EXPECT_TRUE(declared.mapSupport(1));
    auto* red = dynamic_cast<HostDxMaterial*>(bone->GetMtl());
    ASSERT_NE(red, nullptr);
    EXPECT_EQ(red->name, "Red");
    EXPECT_EQ(red->blocks[0]->params().size(), 3u);
    ASSERT_EQ(in.clips.size(), 1u);
    EXPECT_EQ(in.clips[0].name, "Wave");
    EXPECT_TRUE(in.warnings.empty()) << in.warnings[0];
}

}  // namespace

TEST(XImport, SampleSceneInEveryForm) {
    ScratchDir dir;
    std::string first;
    for (auto format : {xfile::XFileFormat::Text, xfile::XFileFormat::Binary, xfile::XFileFormat::CompressedBinary,
                        xfile::XFileFormat::CompressedText}) {
        const fs::path file = dir.path() / "sample.x";
        Write(file, xfile_test::SaveSample(xfile_test::WriteSampleScene, format));
        const Imported in = Import(file);
        SCOPED_TRACE(file.string());
        ExpectSampleScene(in);
        // Every form gives the same scene, as its document shows.
        if (!in.scene) continue;
        const std::string document = SaveSceneDocument(*in.scene);
        if (first.empty()) first = document;
        EXPECT_EQ(document, first);
    }
}

TEST(XImport, FramesMeshesAndChannels) {
    ScratchDir dir;
    // A left-handed, Y-up file: a quad and a pentagon, normals with their own indices, two UV sets
    // (one in DeclData), colours for some vertices, a material list shorter than the faces.
    const std::string text = std::string(kHeader) + R"(
template Mystery { <11111111-2222-3333-4444-555555555555> DWORD n; }
Material Red {
 1.0;0.0;0.0;0.5;;
 20.0;
 0.5;0.5;0.5;;
 0.1;0.2;0.3;;
 TextureFilename { "tex/red.png"; }
 TextureFilename { "red_normal.png"; }
}
Frame Root {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
 Frame Body {
  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 1,2,3,1;; }
  Mesh Shape {
   9;
   0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;,
   2;0;0;, 3;0;0;, 3;1;0;, 2;2;0;, 2;1;0;;
   2;
   4;0,1,2,3;,
   5;4,5,6,7,8;;
   MeshNormals {
    2;
    0;0;-1;, 0;0;1;;
    2;
    4;0,0,0,0;,
    5;1,1,1,1,1;;
   }
   MeshTextureCoords {
    9;
    0;0;, 1;0;, 1;1;, 0;1;, 0;0;, 1;0;, 1;1;, 0;1;, 0.5;0.5;;
   }
   MeshVertexColors {
    2;
    0;1;0;0;1;;,
    5;0;0;1;0.25;;;
   }
   MeshMaterialList {
    2;
    1;
    1;
    { Red }
    Material Blue {
     0;0;1;1;;
     0;
     0;0;0;;
     0;0;0;;
    }
   }
   DeclData {
    1;
    1;0;5;1;;
    18;
    0,0, 0,0, 0,0, 0,0, 0,0, 0,0, 0,0, 0,0, 1065353216,1056964608;
   }
   VertexDuplicationIndices { 9; 9; 0,1,2,3,4,5,6,7,8; }
  }
 }
 Frame Unknowns {
  Mystery { 3; }
 }
}
)";
    fs::create_directories(dir.path() / "tex");
    Write(dir.path() / "shape.x", text);
    const Imported in = Import(dir.path() / "shape.x");
    ASSERT_TRUE(in.scene) << in.error;
    HostScene& scene = *in.scene;
    // The single top-level frame is the scene root.
    EXPECT_EQ(scene.root().name(), "Root");
    HostNode* body = Find(scene.root(), "Body");
    ASSERT_NE(body, nullptr);
    // (1, 2, 3) in the file's left-handed Y-up axes is (1, 3, 2) in the host's.
    ExpectNear(body->localTransform().GetTrans(), Point3(1, 3, 2));
    const Mesh& mesh = MeshOf(body);
    ASSERT_EQ(mesh.getNumVerts(), 9);
    // 2 + 3 triangles, fans from the first corner, reversed by the mirroring axes change.
    ASSERT_EQ(mesh.getNumFaces(), 5);
    EXPECT_EQ(mesh.faces[0].v[0], 0u);
    EXPECT_EQ(mesh.faces[0].v[1], 2u);
    EXPECT_EQ(mesh.faces[0].v[2], 1u);
    EXPECT_EQ(mesh.faces[4].v[0], 4u);
    EXPECT_EQ(mesh.faces[4].v[1], 8u);
    EXPECT_EQ(mesh.faces[4].v[2], 7u);
    ExpectNear(mesh.verts[7], Point3(2, 0, 2));
    // Normals by their own faces: the quad's point away (-Z in the file is -Y in the host).
    const MeshNormalSpec* normals = mesh.GetSpecifiedNormals();
    ASSERT_NE(normals, nullptr);
    ExpectNear(normals->GetNormal(mesh, 0, 1), Point3(0, -1, 0));
    ExpectNear(normals->GetNormal(mesh, 3, 2), Point3(0, 1, 0));
    // UV set 1 from MeshTextureCoords with v turned up; set 2 from DeclData TEXCOORD1.
    ASSERT_TRUE(mesh.mapSupport(1));
    ASSERT_TRUE(mesh.mapSupport(2));
    ExpectNear(mesh.mapVerts(1)[2], Point3(1, 0, 0));
    ExpectNear(mesh.mapVerts(1)[8], Point3(0.5f, 0.5f, 0));
    ExpectNear(mesh.mapVerts(2)[8], Point3(1, 0.5f, 0));
    // Colours of the vertices the file names; white and opaque for the rest.
    ExpectNear(mesh.mapVerts(kVertexColorChannel)[0], Point3(1, 0, 0));
    ExpectNear(mesh.mapVerts(kVertexColorChannel)[1], Point3(1, 1, 1));
    EXPECT_FLOAT_EQ(mesh.mapVerts(kVertexAlphaChannel)[5].x, 0.25f);
    // One index for two faces: every face takes it. Two materials: a multi-material.
    EXPECT_EQ(mesh.faces[0].getMatID(), 1);
    EXPECT_EQ(mesh.faces[4].getMatID(), 1);
    auto* multi = dynamic_cast<HostMultiMaterial*>(body->GetMtl());
    ASSERT_NE(multi, nullptr);
    ASSERT_EQ(multi->subMaterials.size(), 2u);
    auto* red = dynamic_cast<HostStdMaterial*>(multi->subMaterials[0]);
    ASSERT_NE(red, nullptr);
    EXPECT_FLOAT_EQ(red->transparency, 0.5f);
    EXPECT_FLOAT_EQ(red->shininess, 0.2f);
    EXPECT_TRUE(red->selfIllumColorOn);
    auto* diffuse = dynamic_cast<HostBitmapTex*>(red->maps[kMapDiffuse]);
    ASSERT_NE(diffuse, nullptr);
    EXPECT_EQ(diffuse->fileName, (dir.path() / "tex" / "red.png").string());
    EXPECT_NE(dynamic_cast<HostNormalBump*>(red->maps[kMapBump]), nullptr);
    // The frame of unknown data is a dummy; the unknown template is named once.
    ASSERT_NE(Find(scene.root(), "Unknowns"), nullptr);
    ASSERT_EQ(in.warnings.size(), 1u);
    EXPECT_NE(in.warnings[0].find("Mystery"), std::string::npos) << in.warnings[0];
    ExpectDocumentHoldsScene(scene, dir.path());
}

TEST(XImport, SkinsEffectsAndEveryKeyType) {
    ScratchDir dir;
    const std::string text = std::string(kHeader) + R"(
AnimTicksPerSecond { 100; }
Material Fx {
 1;1;1;1;; 0; 0;0;0;; 0;0;0;;
 EffectInstance {
  "shader.fx";
  EffectParamString { "DiffuseMap"; "wood.png"; }
  EffectParamDWord { "Technique"; 7; }
  EffectParamFloats { "Tint"; 3; 1, 0.5, 0.25; }
 }
}
Frame Root {
 Frame Bone { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,2,0,1;; } }
 Frame Skinned {
  Mesh {
   3; 0;0;0;, 1;0;0;, 0;1;0;;
   1; 3;0,1,2;;
   MeshMaterialList { 1; 1; 0; { Fx } }
   XSkinMeshHeader { 1; 1; 1; }
   SkinWeights { "Bone"; 2; 0, 2; 1.0, 0.5; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,-2,0,1;; }
  }
 }
}
AnimationSet Walk {
 Animation { { Bone } AnimationOptions { 1; 1; }
  AnimationKey { 0; 2; 0;4;1,0,0,0;;, 100;4;0.7071068,0,0.7071068,0;;; }
  AnimationKey { 1; 1; 50;3;1,2,3;;; }
  AnimationKey { 2; 1; 100;3;0,4,0;;; }
 }
}
AnimationSet Jump {
 Animation { { Bone }
  AnimationKey { 4; 1; 200;16;1,0,0,0, 0,1,0,0, 0,0,1,0, 5,6,7,1;;; }
 }
}
)";
    Write(dir.path() / "skin.x", text);
    const Imported in = Import(dir.path() / "skin.x");
    ASSERT_TRUE(in.scene) << in.error;
    HostNode* skinned = Find(in.scene->root(), "Skinned");
    HostNode* bone = Find(in.scene->root(), "Bone");
    ASSERT_TRUE(skinned && bone);
    EXPECT_TRUE(MeshOf(skinned).getNumFaces() == 1);
    // The DirectX shader material keeps the effect file and every parameter; the image the
    // effect names is one of its bitmaps.
    auto* fx = dynamic_cast<HostDxMaterial*>(skinned->GetMtl());
    ASSERT_NE(fx, nullptr);
    ASSERT_EQ(fx->blocks.size(), 2u);
    const auto& params = fx->blocks[0]->params();
    ASSERT_EQ(params.size(), 3u);
    EXPECT_EQ(std::get<std::string>(params[0].value), "wood.png");
    EXPECT_EQ(params[1].def.type, ParamType::Bool);
    EXPECT_EQ(std::get<int>(params[1].value), 7);
    ExpectNear(std::get<Point3>(params[2].value), Point3(1, 0.5f, 0.25f));
    ASSERT_EQ(fx->effectBitmaps.size(), 1u);
    EXPECT_EQ(*fx->effectBitmaps[0].file, (dir.path() / "wood.png").string());
    EXPECT_EQ(std::string(fx->blocks[1]->GetStr(0)), (dir.path() / "shader.fx").string());
    // The skin: the named frame is its bone, bind pose from the offset, weights per vertex.
    EXPECT_EQ(bone->object()->SuperClassID(), kGeomObjectClassId);
    // Two clips in file order at 100 ticks per second: Walk lasts 1 s (30 frames).
    ASSERT_EQ(in.clips.size(), 2u);
    EXPECT_EQ(in.clips[0].name, "Walk");
    EXPECT_EQ(in.clips[0].endFrame - in.clips[0].startFrame, 30);
    EXPECT_EQ(in.clips[1].name, "Jump");
    EXPECT_EQ(in.clips[1].endFrame - in.clips[1].startFrame, 60);
    // At the end of Walk the bone is turned by the file's rotation key and moved by its position.
    const TimeValue end = in.clips[0].endFrame * 160;
    const Matrix3 local = bone->GetNodeTM(end) * Inverse(in.scene->root().GetNodeTM(end));
    ExpectNear(local.GetTrans(), Point3(0, 0, 4), 1e-4f);
    ExpectDocumentHoldsScene(*in.scene, dir.path());
}

TEST(XImport, MalformedFilesGetOneMessage) {
    ScratchDir dir;
    const struct {
        const char* body;
        const char* message;
    } cases[] = {
        {"Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,5;; }", "face 0 uses vertex 5 of 3"},
        {"Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 2;0,1;; }", "face 0 has 2 corners"},
        {"Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 3;0,0,0;; } }",
         "has 2 faces for the mesh's 1"},
        {"Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshTextureCoords { 2; 0;0;, 1;1;; } }",
         "2 texture coordinates for 3 vertices"},
        {"Frame B {} Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; SkinWeights { \"B\"; 1; 7; 1.0; "
         "1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } }",
         "weighs vertex 7 of 3"},
        {"AnimationSet A { Animation { { B } AnimationKey { 0; 1; 0;3;1,0,0;;; } } } Frame B {} Frame C {}", "type 0 keys have 4"},
        {"Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; DeclData { 1; 2;0;3;0;; 4; 0,0,0,0; } }",
         "holds 4 data values"},
    };
    for (const auto& c : cases) {
        const fs::path file = dir.path() / "bad.x";
        Write(file, std::string(kHeader) + c.body + "\n");
        const Imported in = Import(file);
        EXPECT_EQ(in.scene, nullptr) << c.body;
        EXPECT_EQ(in.error.rfind(file.string() + ": ", 0), 0u) << in.error;
        EXPECT_NE(in.error.find(c.message), std::string::npos) << in.error;
    }
}

TEST(XImport, FilesOutsideTheModelFolderAreTakenByName) {
    ScratchDir dir;
    fs::create_directories(dir.path() / "model");
    Write(dir.path() / "model" / "m.x", std::string(kHeader) +
                                            "Material M { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"../../secret.png\"; } }\n"
                                            "Mesh Tri { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 0; { M } } }\n");
    Imported in = Import(dir.path() / "model" / "m.x");
    ASSERT_TRUE(in.scene) << in.error;
    auto* material = dynamic_cast<HostStdMaterial*>(Find(in.scene->root(), "Tri")->GetMtl());
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(dynamic_cast<HostBitmapTex*>(material->maps[kMapDiffuse])->fileName,
              (fs::weakly_canonical(dir.path() / "model") / "secret.png").string());
    ASSERT_EQ(in.warnings.size(), 1u);
    ImportOptions allow;
    allow.allowOutsideFiles = true;
    in = Import(dir.path() / "model" / "m.x", allow);
    material = dynamic_cast<HostStdMaterial*>(Find(in.scene->root(), "Tri")->GetMtl());
    EXPECT_EQ(dynamic_cast<HostBitmapTex*>(material->maps[kMapDiffuse])->fileName,
              (fs::weakly_canonical(dir.path() / "model").parent_path().parent_path() / "secret.png").string());
}

TEST(XImport, OtherConventions) {
    ScratchDir dir;
    Write(dir.path() / "m.x", std::string(kHeader) + "Frame A { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 1,2,3,1;; } }\n"
                                                     "Frame B { }\n");
    ImportOptions options;
    options.fromRightHanded = true;
    Imported in = Import(dir.path() / "m.x", options);
    ASSERT_TRUE(in.scene) << in.error;
    ExpectNear(Find(in.scene->root(), "A")->localTransform().GetTrans(), Point3(1, -3, 2));
    options.fromZUp = true;
    in = Import(dir.path() / "m.x", options);
    ExpectNear(Find(in.scene->root(), "A")->localTransform().GetTrans(), Point3(1, 2, 3));
    options.fromRightHanded = false;
    in = Import(dir.path() / "m.x", options);
    ExpectNear(Find(in.scene->root(), "A")->localTransform().GetTrans(), Point3(1, -2, 3));
}

TEST(XImport, FvfDataWithAndWithoutPositions) {
    ScratchDir dir;
    // D3DFVF_NORMAL | one texture set (0x110): normal then (u, v) per vertex; the second mesh's
    // data also carries the position (D3DFVF_XYZ, 0x112), which the data's size tells.
    Write(dir.path() / "fvf.x", std::string(kHeader) + R"(
Frame A { Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;
  FVFData { 272; 15; 0,0,1065353216,0,0, 0,0,1065353216,1065353216,0, 0,0,1065353216,0,1065353216; } } }
Frame B { Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;
  FVFData { 274; 24; 0,0,0,0,0,1065353216,0,0, 0,0,0,0,0,1065353216,1065353216,0, 0,0,0,0,0,1065353216,0,1065353216; } } }
)");
    const Imported in = Import(dir.path() / "fvf.x");
    ASSERT_TRUE(in.scene) << in.error;
    for (const char* name : {"A", "B"}) {
        const Mesh& mesh = MeshOf(Find(in.scene->root(), name));
        ASSERT_NE(mesh.GetSpecifiedNormals(), nullptr) << name;
        ExpectNear(mesh.GetSpecifiedNormals()->GetNormal(mesh, 0, 0), Point3(0, 1, 0));  // file +Z is host +Y
        ASSERT_TRUE(mesh.mapSupport(1)) << name;
        ExpectNear(mesh.mapVerts(1)[1], Point3(1, 1, 0));
        ExpectNear(mesh.mapVerts(1)[2], Point3(0, 0, 0));
    }
}

namespace {

// Binary tokens written by hand, in the styles of other writers.
struct Tokens {
    std::vector<uint8_t> bytes;
    explicit Tokens(std::string_view header) : bytes(header.begin(), header.end()) {}
    Tokens& W(uint16_t v) { return Raw(&v, 2); }
    Tokens& D(uint32_t v) { return Raw(&v, 4); }
    Tokens& Raw(const void* p, size_t n) {
        bytes.insert(bytes.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
        return *this;
    }
    Tokens& Name(std::string_view n) { return W(1).D(static_cast<uint32_t>(n.size())).Raw(n.data(), n.size()); }
    Tokens& Open(std::string_view type, std::string_view name) { return Name(type).Name(name).W(10); }
    Tokens& Close() { return W(11); }
    Tokens& Integers(std::initializer_list<uint32_t> v) {  // an integer list and a ';' after it
        W(6).D(static_cast<uint32_t>(v.size()));
        for (uint32_t x : v) D(x);
        return W(20);
    }
    Tokens& Doubles(std::initializer_list<double> v) {  // a list of 8-byte floats and a ';' after it
        W(7).D(static_cast<uint32_t>(v.size()));
        for (double x : v) Raw(&x, 8);
        return W(20);
    }
    Tokens& Integer(uint32_t v) { return W(3).D(v).W(20); }  // one value per token
};

// The body of `file` in MSZIP blocks as other compressors make them: blocks of `block` bytes,
// each referring back into the one before it and ended by a sync flush instead of a final block;
// the total size leaves out the 16 header bytes.
std::vector<uint8_t> CompressedByHand(const std::vector<uint8_t>& file, const char* format, size_t block) {
    std::vector<uint8_t> out(format, format + 16);
    const uint32_t total = static_cast<uint32_t>(file.size() - 16);
    out.insert(out.end(), reinterpret_cast<const uint8_t*>(&total), reinterpret_cast<const uint8_t*>(&total) + 4);
    for (size_t at = 16; at < file.size(); at += block) {
        const size_t size = std::min(block, file.size() - at);
        z_stream z{};
        EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
        if (at > 16) deflateSetDictionary(&z, file.data() + at - block, static_cast<uInt>(block));
        std::vector<uint8_t> packed(deflateBound(&z, size) + 16);
        z.next_in = const_cast<Bytef*>(file.data() + at);
        z.avail_in = static_cast<uInt>(size);
        z.next_out = packed.data();
        z.avail_out = static_cast<uInt>(packed.size());
        EXPECT_EQ(deflate(&z, Z_SYNC_FLUSH), Z_OK);
        packed.resize(packed.size() - z.avail_out);
        deflateEnd(&z);
        const uint16_t sizes[2] = {static_cast<uint16_t>(size), static_cast<uint16_t>(packed.size() + 2)};
        out.insert(out.end(), reinterpret_cast<const uint8_t*>(sizes), reinterpret_cast<const uint8_t*>(sizes) + 4);
        out.insert(out.end(), {'C', 'K'});
        out.insert(out.end(), packed.begin(), packed.end());
    }
    return out;
}

}  // namespace

// Binary and compressed files made by hand with what our writer never makes but other writers
// do: 8-byte floats, one list per member with a separator token after it, single integer tokens
// each with a ';', an object name of 0 bytes, a string ended by ','; MSZIP blocks smaller than
// 32 KiB that refer into the block before, end with a sync flush and a total without the
// header. Each gives the scene of the same file in plain text.
TEST(XImport, OtherWritersBinaryAndCompressedForms) {
    ScratchDir dir;
    const std::string text = std::string(kHeader) + R"(
Material Mat { 1.0;0.5;0.25;1.0;; 20.0; 0.5;0.5;0.5;; 0.0;0.0;0.0;; TextureFilename { "tex.png"; } }
Frame Root {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,5,1;; }
 Frame Body {
  Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 0;; { Mat } } }
 }
}
AnimTicksPerSecond { 100; }
AnimationSet Walk { Animation { { Body } AnimationKey { 2; 2; 0;3;0,0,0;;, 100;3;1,2,3;;; } } }
)";
    Tokens b("xof 0303bin 0064");
    b.Open("Material", "Mat").Doubles({1, 0.5, 0.25, 1}).Doubles({20}).Doubles({0.5, 0.5, 0.5}).Doubles({0, 0, 0});
    b.Open("TextureFilename", "").W(2).D(7).Raw("tex.png", 7).W(19).Close().Close();
    b.Open("Frame", "Root").Open("FrameTransformMatrix", "").Doubles({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1}).Close();
    b.Open("Frame", "Body").Open("Mesh", "").Integer(3).Doubles({0, 0, 0, 1, 0, 0, 0, 1, 0}).Integer(1);
    b.Integer(3).Integer(0).Integer(1).Integer(2);
    b.Open("MeshMaterialList", "").Integers({1, 1}).Integers({0}).W(10).Name("Mat").W(11).Close();
    b.Close().Close().Close();
    b.Open("AnimTicksPerSecond", "").Integers({100}).Close();
    b.Open("AnimationSet", "Walk").Open("Animation", "").W(10).Name("Body").W(11);
    b.Open("AnimationKey", "").Integers({2, 2, 0, 3}).Doubles({0, 0, 0}).Integers({100, 3}).Doubles({1, 2, 3});
    b.Close().Close().Close();
    // Each form in turn under one name, so that the documents name the same file.
    const fs::path file = dir.path() / "model.x";
    Write(file, text);
    const Imported reference = Import(file);
    ASSERT_TRUE(reference.scene) << reference.error;
    ASSERT_EQ(reference.clips.size(), 1u);
    const std::string document = SaveSceneDocument(*reference.scene);
    for (const auto& [form, bytes] : {std::pair{"binary", b.bytes}, {"compressed", CompressedByHand(b.bytes, "xof 0303bzip0064", 64)}}) {
        Write(file, bytes);
        const Imported in = Import(file);
        ASSERT_TRUE(in.scene) << form << ": " << in.error;
        EXPECT_EQ(SaveSceneDocument(*in.scene), document) << form;
        EXPECT_EQ(in.warnings, reference.warnings) << form;
    }
}
