// The glTF writer: a model written out and read back holds the same facts as the model
// (names, triangles, UV sets, colours, joints and weights, clips, positions at rest and skinned
// at three times), and the writer keeps to the rules for untrusted models' textures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/test_files.h"
#include "core/staged_files.h"
#include "host/assimp_import.h"
#include "host/host_deformers.h"
#include "host/host_objects.h"
#include "host/writers/gltf_writer.h"

namespace fs = std::filesystem;

namespace {

const fs::path kAssets = fs::path(PLOVER_TEST_DATA_DIR) / "assets" / "gltf";

fs::path Scratch(const std::string& name) {
    const fs::path dir = fs::path(PLOVER_BINARY_DIR) / "gltf-writer-test" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::unique_ptr<HostScene> Import(const fs::path& file, const fs::path& textures) {
    ImportOptions options;
    options.textureDirectory = textures.string();
    options.gltfReader = ImportOptions::GltfReader::NativeOnly;
    std::string error;
    auto scene = ImportInterchangeFile(file.string(), options, error);
    EXPECT_TRUE(scene) << file << ": " << error;
    return scene;
}

bool Convert(HostScene& scene, const fs::path& out, const GltfWriteOptions& options, GltfWriteReport& report,
             std::string& error) {
    StagedFiles staged;
    if (!WriteGltf(scene, out.string(), options, staged, report, error)) return false;
    std::string failed;
    return staged.Commit(&failed, &error);
}

// What a round trip must keep, read from a host scene.
struct MeshFacts {
    size_t triangles = 0;
    int uvSets = 0;
    bool colours = false;
};

struct Facts {
    std::multiset<std::string> names;
    std::map<std::string, MeshFacts> meshes;  // by node name
    std::vector<HostClip> clips;
    float size = 0;                           // the diagonal of the rest pose's bounds
};

const Mesh* MeshOf(HostNode& node, TimeValue t, std::unique_ptr<Object>& holder) {
    Object* object = node.object();
    if (!object) return nullptr;
    Object* evaluated = object->Eval(t).obj;
    if (!evaluated || evaluated->SuperClassID() != kGeomObjectClassId || !evaluated->CanConvertToType(kTriObjectClassId))
        return nullptr;
    Object* tri = evaluated->ConvertToType(t, kTriObjectClassId);
    if (tri != evaluated) holder.reset(tri);
    return &static_cast<TriObject*>(tri)->GetMesh();
}

void Walk(HostNode& node, const std::function<void(HostNode&)>& visit) {
    visit(node);
    for (const auto& child : node.children()) Walk(*child, visit);
}

Facts FactsOf(HostScene& scene) {
    Facts facts;
    Point3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    for (const auto& top : scene.root().children())
        Walk(*top, [&](HostNode& node) {
            facts.names.insert(node.name());
            std::unique_ptr<Object> holder;
            const Mesh* mesh = MeshOf(node, scene.animRange().Start(), holder);
            if (!mesh || mesh->faces.empty()) return;
            MeshFacts& m = facts.meshes[node.name()];
            m.triangles += mesh->faces.size();
            for (int c = 1; c <= kMapChannelMax; ++c)
                if (mesh->mapSupport(c)) m.uvSets = c;
            m.colours = mesh->mapSupport(kVertexColorChannel);
            const Matrix3 tm = node.GetObjectTM(scene.animRange().Start());
            for (const Point3& p : mesh->verts) {
                const Point3 w = tm.PointTransform(p);
                for (int i = 0; i < 3; ++i) lo[i] = std::min(lo[i], w[i]), hi[i] = std::max(hi[i], w[i]);
            }
        });
    facts.size = (hi - lo).Length();
    if (scene.clips()) facts.clips = *scene.clips();
    return facts;
}

// The world positions of every triangle corner of every mesh at t, with the corner's colour and
// first UV and its strongest skin joint's name, sorted so that two scenes compare regardless of
// vertex order.
struct Corner {
    Point3 position;
    Point3 colour;
    Point3 uv;
    std::string joint;
    float weight = 0;
};

std::vector<Corner> Corners(HostScene& scene, TimeValue t) {
    std::vector<Corner> corners;
    for (const auto& top : scene.root().children())
        Walk(*top, [&](HostNode& node) {
            std::unique_ptr<Object> holder;
            const Mesh* mesh = MeshOf(node, t, holder);
            if (!mesh) return;
            HostSkinDeformer* skin = nullptr;
            for (Object* o = node.object(); auto* level = dynamic_cast<HostDerivedObject*>(o); o = level->GetObjRef())
                for (const auto& m : level->modifiers())
                    if (auto* s = dynamic_cast<HostSkinDeformer*>(m.get())) skin = s;
            const Matrix3 tm = node.GetObjectTM(t);
            const FaceCorners colours = mesh->mapFaces(kVertexColorChannel);
            const FaceCorners uvs = mesh->mapFaces(1);
            for (size_t f = 0; f < mesh->faces.size(); ++f)
                for (int c = 0; c < 3; ++c) {
                    Corner corner;
                    const uint32_t v = mesh->faces[f].v[c];
                    corner.position = tm.PointTransform(mesh->verts[v]);
                    if (!colours.empty()) corner.colour = mesh->mapVerts(kVertexColorChannel)[colours[f][c]];
                    if (!uvs.empty()) corner.uv = mesh->mapVerts(1)[uvs[f][c]];
                    if (skin && v < skin->PointCount()) {
                        const auto [list, count] = skin->Point(v);
                        float total = 0;
                        for (size_t k = 0; k < count; ++k) total += std::max(0.0f, list[k].weight);
                        for (size_t k = 0; k < count; ++k)
                            if (list[k].weight / total > corner.weight + 1e-6f) {
                                corner.weight = list[k].weight / total;
                                corner.joint = skin->bones[list[k].bone].node->name();
                            }
                    }
                    corners.push_back(corner);
                }
        });
    return corners;
}

// Every corner of a has a corner of b at the same place (within tolerance) with the same
// colour, UV and strongest joint and weight; and the other way round, counted.
void ExpectSameCorners(std::vector<Corner> a, std::vector<Corner> b, float tolerance, const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    const auto byX = [](const Corner& l, const Corner& r) { return l.position.x < r.position.x; };
    std::sort(a.begin(), a.end(), byX);
    std::sort(b.begin(), b.end(), byX);
    std::vector<bool> used(b.size(), false);
    size_t misses = 0;
    size_t start = 0;
    for (const Corner& corner : a) {
        while (start < b.size() && b[start].position.x < corner.position.x - tolerance) ++start;
        bool found = false;
        for (size_t j = start; j < b.size() && b[j].position.x <= corner.position.x + tolerance; ++j) {
            if (used[j] || (b[j].position - corner.position).Length() > tolerance) continue;
            if ((b[j].colour - corner.colour).Length() > 1e-5f || (b[j].uv - corner.uv).Length() > 1e-5f) continue;
            if (b[j].joint != corner.joint || std::fabs(b[j].weight - corner.weight) > 1e-5f) continue;
            used[j] = found = true;
            break;
        }
        if (!found && ++misses <= 3)
            ADD_FAILURE() << what << ": no match for the corner at " << corner.position.x << " " << corner.position.y
                          << " " << corner.position.z << " (joint " << corner.joint << ")";
    }
    EXPECT_EQ(misses, 0u) << what;
}

class GltfRoundTrip : public ::testing::TestWithParam<const char*> {};

}  // namespace

// glTF -> host -> glTF -> host: the second scene holds what the first does.
TEST_P(GltfRoundTrip, KeepsTheFacts) {
    const fs::path source = kAssets / GetParam();
    const fs::path dir = Scratch(fs::path(GetParam()).stem().string());
    auto first = Import(source, dir / "unpacked1");
    ASSERT_TRUE(first);
    for (const char* extension : {".glb", ".gltf"}) {
        const fs::path out = dir / (std::string("out") + extension);
        GltfWriteOptions options;
        options.textureFolders = {source.parent_path().string(), (dir / "unpacked1").string()};
        GltfWriteReport report;
        std::string error;
        ASSERT_TRUE(Convert(*first, out, options, report, error)) << error;
        EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
        auto second = Import(out, dir / (std::string("unpacked2") + extension));
        ASSERT_TRUE(second);

        const Facts a = FactsOf(*first), b = FactsOf(*second);
        EXPECT_EQ(a.names, b.names) << extension;
        ASSERT_EQ(a.meshes.size(), b.meshes.size()) << extension;
        for (const auto& [name, mesh] : a.meshes) {
            ASSERT_TRUE(b.meshes.count(name)) << name;
            EXPECT_EQ(mesh.triangles, b.meshes.at(name).triangles) << name;
            EXPECT_EQ(mesh.uvSets, b.meshes.at(name).uvSets) << name;
            EXPECT_EQ(mesh.colours, b.meshes.at(name).colours) << name;
        }
        ASSERT_EQ(a.clips.size(), b.clips.size()) << extension;
        for (size_t i = 0; i < a.clips.size(); ++i) {
            EXPECT_EQ(a.clips[i].name, b.clips[i].name);
            EXPECT_EQ(a.clips[i].endFrame - a.clips[i].startFrame, b.clips[i].endFrame - b.clips[i].startFrame)
                << a.clips[i].name;
        }
        // Rest pose, and three times in the first clip (skinned meshes follow their joints).
        const float tolerance = 1e-4f * std::max(a.size, 1e-3f);
        std::vector<TimeValue> times{first->animRange().Start()};
        if (!a.clips.empty()) {
            const int tpf = first->ticksPerFrame();
            const TimeValue s = a.clips[0].startFrame * tpf, e = a.clips[0].endFrame * tpf;
            times.insert(times.end(), {s + (e - s) / 4, s + (e - s) / 2, e - (e - s) / 5});
        }
        for (TimeValue t : times) {
            const TimeValue t2 = t - first->animRange().Start() + second->animRange().Start();
            ExpectSameCorners(Corners(*first, t), Corners(*second, t2), tolerance,
                              std::string(GetParam()) + extension + " at tick " + std::to_string(t));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Assets, GltfRoundTrip,
                         ::testing::Values("BoxTextured/BoxTextured.gltf", "BoxVertexColors/BoxVertexColors.glb",
                                           "BoxTexcoords/boxTexcoords.gltf",
                                           "TextureCoordinateTest/TextureCoordinateTest.glb",
                                           "ClearCoatTest/ClearCoatTest.gltf", "InterpolationTest/InterpolationTest.gltf",
                                           "SimpleSkin/SimpleSkin.gltf", "RiggedFigure/RiggedFigure.glb",
                                           "CesiumMan/CesiumMan.glb", "Fox/Fox.glb"),
                         [](const auto& param) { return fs::path(param.param).stem().string(); });

// Textures: one outside the model's folder is not read unless allowed; one in a format glTF
// does not take is left out with a warning; a different file already where a copy would go is
// not replaced; a failed write leaves nothing behind.
TEST(GltfWriter, TexturesOfUntrustedModels) {
    const fs::path dir = Scratch("textures");
    fs::create_directories(dir / "model");
    fs::create_directories(dir / "out");
    fs::copy_file(kAssets / "BoxTexcoords" / "texture.png", dir / "outside.png");
    std::ofstream(dir / "model" / "picture.tga", std::ios::binary) << "not a png";
    fs::copy_file(kAssets / "BoxTexcoords" / "texture.png", dir / "model" / "inside.png");

    HostScene scene;
    Mesh mesh = MakeBoxMesh(1, 1, 1);
    HostNode& node = scene.root().AddChild("box");
    node.SetObject(&scene.AddObject(std::make_unique<HostTriObject>(std::move(mesh))));
    auto& multi = scene.materials().AddMaterial(std::make_unique<HostMultiMaterial>());
    for (const char* file : {"outside.png", "model/picture.tga", "model/inside.png"}) {
        auto& material = scene.materials().AddMaterial(std::make_unique<HostStdMaterial>());
        material.name = file;
        auto& map = scene.materials().AddTexmap(std::make_unique<HostBitmapTex>());
        map.fileName = (dir / file).string();
        material.maps[kMapDiffuse] = &map;
        material.mapEnabled[kMapDiffuse] = true;
        multi.subMaterials.push_back(&material);
    }
    node.SetMtl(&multi);
    // Someone else's file where the inside texture's copy would go.
    std::ofstream(dir / "out" / "inside.png") << "keep me";

    GltfWriteOptions options;
    options.textureFolders = {(dir / "model").string()};
    GltfWriteReport report;
    std::string error;
    ASSERT_TRUE(Convert(scene, dir / "out" / "box.gltf", options, report, error)) << error;
    ASSERT_EQ(report.warnings.size(), 2u);
    EXPECT_NE(report.warnings[0].find("outside the model's folder"), std::string::npos) << report.warnings[0];
    EXPECT_NE(report.warnings[1].find("PNG and JPEG"), std::string::npos) << report.warnings[1];
    EXPECT_EQ(ReadText(dir / "out" / "inside.png"), "keep me");
    EXPECT_EQ(ReadText(dir / "out" / "inside_2.png"), ReadText(dir / "model" / "inside.png"));
    EXPECT_FALSE(fs::exists(dir / "out" / "outside.png"));
    const auto doc = nlohmann::json::parse(ReadText(dir / "out" / "box.gltf"));
    ASSERT_EQ(doc["images"].size(), 1u);
    EXPECT_EQ(doc["images"][0]["uri"], "inside_2.png");
    EXPECT_EQ(doc["materials"][0]["extras"]["texturesLeftOut"]["diffuse"], (dir / "outside.png").string());
    // Three materials, one primitive per material (the box's six sides take ids 0 to 5).
    EXPECT_EQ(doc["meshes"][0]["primitives"].size(), 3u);

    // Allowed everywhere, the outside texture is read too.
    options.texturesAnywhere = true;
    ASSERT_TRUE(Convert(scene, dir / "out" / "box.glb", options, report, error)) << error;
    EXPECT_EQ(report.warnings.size(), 1u);
    EXPECT_EQ(report.images, 2u);

    // An output that cannot be put in place: nothing is written, nothing left behind.
    fs::create_directories(dir / "out" / "taken.glb");
    const auto before = std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator());
    EXPECT_FALSE(Convert(scene, dir / "out" / "taken.glb", options, report, error));
    EXPECT_NE(error.find("directory"), std::string::npos) << error;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), before);
}

// The material mapping: the importer's power from roughness undone; X values kept in extras.
TEST(GltfWriter, MaterialMapping) {
    EXPECT_FLOAT_EQ(RoughnessFromPower(0), 1);
    EXPECT_FLOAT_EQ(RoughnessFromPower(1000), 0);
    EXPECT_FLOAT_EQ(RoughnessFromPower(5000), 0);
    const float r = RoughnessFromPower(250);
    EXPECT_NEAR(1000 * (1 - r) * (1 - r), 250, 1e-3);

    const fs::path dir = Scratch("material");
    HostScene scene;
    HostNode& node = scene.root().AddChild("box");
    node.SetObject(&scene.AddObject(std::make_unique<HostTriObject>(MakeBoxMesh(1, 1, 1))));
    auto& material = scene.materials().AddMaterial(std::make_unique<HostStdMaterial>());
    material.name = "red";
    material.diffuse = Color(1, 0, 0);
    material.transparency = 0.25f;
    material.shininess = 0.5f;  // power 50
    material.specular = Color(1, 1, 1);
    material.shininessStrength = 5;  // X specular 0.5
    material.selfIllumColorOn = true;
    material.selfIllumColor = Color(0, 0.5f, 0);
    node.SetMtl(&material);
    GltfWriteReport report;
    std::string error;
    ASSERT_TRUE(Convert(scene, dir / "m.gltf", {}, report, error)) << error;
    const auto m = nlohmann::json::parse(ReadText(dir / "m.gltf"))["materials"][0];
    EXPECT_EQ(m["pbrMetallicRoughness"]["baseColorFactor"], nlohmann::json({1, 0, 0, 0.75}));
    EXPECT_EQ(m["pbrMetallicRoughness"]["metallicFactor"], 0);
    EXPECT_NEAR(m["pbrMetallicRoughness"]["roughnessFactor"].get<double>(), RoughnessFromPower(50), 1e-6);
    EXPECT_EQ(m["alphaMode"], "BLEND");
    EXPECT_EQ(m["emissiveFactor"], nlohmann::json({0, 0.5, 0}));
    EXPECT_EQ(m["extras"]["xMaterial"]["power"], 50);
    EXPECT_EQ(m["extras"]["xMaterial"]["specular"], nlohmann::json({0.5, 0.5, 0.5}));
}
