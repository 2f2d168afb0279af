// X -> plover -> X: an X file read back in and exported again with the same options gives the same
// frames, triangles (with their normals, texture coordinates, colours, materials and skin
// weights) and animation poses, within the precision of the text form. Both files are read by
// Assimp's X importer, which knows nothing of ours, and compared as facts, not bytes.
#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include "common/assimp_keys.h"
#include "common/scene_facts.h"
#include "common/test_files.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/plover/commands.h"

namespace fs = std::filesystem;

namespace {

const std::string kModulePath = std::string(PLOVER_BINARY_DIR) + "/plover.dle";
const fs::path kModels = fs::path(PLOVER_TEST_DATA_DIR) / "assets" / "gltf";

int Export(const fs::path& input, const fs::path& output, const fs::path& configDir, std::vector<std::string> settings) {
    ExportCommand command;
    command.scenePath = input.string();
    command.outputPath = output.string();
    command.configDir = configDir.string();
    command.pluginPath = kModulePath;
    command.settings = std::move(settings);
    command.quiet = true;
    return RunExportCommand(command);
}

// A node's name as an X file can hold it (the exporter writes other characters as '_').
std::string XName(std::string name) {
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') c = '_';
    return name;
}

int Convert(const fs::path& input, const fs::path& output) {
    ConvertCommand command;
    command.inputPath = input.string();
    command.outputPath = output.string();
    command.quiet = true;
    return RunConvertCommand(command);
}

// One face corner as Assimp gives it: position, normal, texture coordinates of every set,
// colour, and the skin weights by bone name.
struct Corner {
    std::vector<float> values;  // position, texture coordinates, colour
    std::vector<float> normal;  // empty when the file gives none
    std::vector<std::pair<std::string, float>> weights;
};
struct Triangle {
    Corner corner[3];
    std::string material;  // the material's colours and texture, as text
};

std::string MaterialText(const aiMaterial& m) {
    aiString name;
    m.Get(AI_MATKEY_NAME, name);
    if (std::string(name.C_Str()) == AI_DEFAULT_MATERIAL_NAME) return AI_DEFAULT_MATERIAL_NAME;
    aiColor4D diffuse, specular, emissive;
    float shininess = 0;
    m.Get(AI_MATKEY_COLOR_DIFFUSE, diffuse);
    m.Get(AI_MATKEY_COLOR_SPECULAR, specular);
    m.Get(AI_MATKEY_COLOR_EMISSIVE, emissive);
    m.Get(AI_MATKEY_SHININESS, shininess);
    aiString texture;
    m.GetTexture(aiTextureType_DIFFUSE, 0, &texture);
    char text[256];
    std::snprintf(text, sizeof text, "%.3f %.3f %.3f %.3f / %.2f / %.3f %.3f %.3f / %.3f %.3f %.3f / ", diffuse.r,
                  diffuse.g, diffuse.b, diffuse.a, shininess, specular.r, specular.g, specular.b, emissive.r,
                  emissive.g, emissive.b);
    return text + fs::path(texture.C_Str()).filename().string();
}

// The triangles of every mesh by the name of the node that holds it, each with its corners in a
// canonical order (the cycle starting at the smallest corner, so the winding is kept), sorted.
std::map<std::string, std::vector<Triangle>> Triangles(const aiScene& scene) {
    std::map<std::string, std::vector<Triangle>> out;
    const auto key = [](const Corner& c) {
        std::vector<long> k;
        for (float v : c.values) k.push_back(std::lround(v * 1000));
        return k;
    };
    std::vector<const aiNode*> stack{scene.mRootNode};
    while (!stack.empty()) {
        const aiNode* node = stack.back();
        stack.pop_back();
        for (unsigned c = 0; c < node->mNumChildren; ++c) stack.push_back(node->mChildren[c]);
        for (unsigned i = 0; i < node->mNumMeshes; ++i) {
            const aiMesh& mesh = *scene.mMeshes[node->mMeshes[i]];
            std::vector<std::vector<std::pair<std::string, float>>> weights(mesh.mNumVertices);
            for (unsigned b = 0; b < mesh.mNumBones; ++b)
                for (unsigned w = 0; w < mesh.mBones[b]->mNumWeights; ++w) {
                    const aiVertexWeight& vw = mesh.mBones[b]->mWeights[w];
                    if (vw.mWeight > 0) weights[vw.mVertexId].push_back({mesh.mBones[b]->mName.C_Str(), vw.mWeight});
                }
            const std::string material = MaterialText(*scene.mMaterials[mesh.mMaterialIndex]);
            for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
                const aiFace& face = mesh.mFaces[f];
                if (face.mNumIndices != 3) continue;
                Triangle t;
                t.material = material;
                for (int k = 0; k < 3; ++k) {
                    const unsigned v = face.mIndices[k];
                    Corner& c = t.corner[k];
                    const aiVector3D& p = mesh.mVertices[v];
                    c.values = {p.x, p.y, p.z};
                    if (mesh.mNormals) c.normal = {mesh.mNormals[v].x, mesh.mNormals[v].y, mesh.mNormals[v].z};
                    for (unsigned s = 0; s < AI_MAX_NUMBER_OF_TEXTURECOORDS && mesh.mTextureCoords[s]; ++s)
                        c.values.insert(c.values.end(), {mesh.mTextureCoords[s][v].x, mesh.mTextureCoords[s][v].y});
                    if (mesh.mColors[0])
                        c.values.insert(c.values.end(), {mesh.mColors[0][v].r, mesh.mColors[0][v].g, mesh.mColors[0][v].b, mesh.mColors[0][v].a});
                    c.weights = weights[v];
                    std::sort(c.weights.begin(), c.weights.end());
                }
                int first = 0;
                for (int k = 1; k < 3; ++k)
                    if (key(t.corner[k]) < key(t.corner[first])) first = k;
                std::rotate(t.corner, t.corner + first, t.corner + 3);
                out[node->mName.C_Str()].push_back(std::move(t));
            }
        }
    }
    for (auto& [name, list] : out)
        std::sort(list.begin(), list.end(), [&](const Triangle& a, const Triangle& b) {
            for (int k = 0; k < 3; ++k) {
                const auto ka = key(a.corner[k]), kb = key(b.corner[k]);
                if (ka != kb) return ka < kb;
            }
            return a.material < b.material;
        });
    return out;
}

// b may have normals where a has none (the exporter writes them when asked).
bool SameCorner(const Corner& a, const Corner& b, float tolerance) {
    if (a.values.size() != b.values.size() || a.weights.size() != b.weights.size()) return false;
    if (!a.normal.empty() && b.normal.size() != a.normal.size()) return false;
    for (size_t i = 0; i < a.normal.size(); ++i)
        if (std::abs(a.normal[i] - b.normal[i]) > 2e-4f) return false;
    for (size_t i = 0; i < a.values.size(); ++i)
        if (std::abs(a.values[i] - b.values[i]) > tolerance) return false;
    for (size_t i = 0; i < a.weights.size(); ++i)
        if (a.weights[i].first != b.weights[i].first || std::abs(a.weights[i].second - b.weights[i].second) > 2e-5f)
            return false;
    return true;
}

bool SameTriangle(const Triangle& a, const Triangle& b, float tolerance, bool materials) {
    if (materials && a.material != b.material) return false;
    for (int k = 0; k < 3; ++k)
        if (!SameCorner(a.corner[k], b.corner[k], tolerance)) return false;
    return true;
}

std::string Describe(const Triangle& t) {
    std::string text = t.material;
    for (const Corner& c : t.corner) {
        text += "\n   ";
        for (float v : c.values) text += " " + std::to_string(v);
        for (float v : c.normal) text += " n" + std::to_string(v);
        for (const auto& [bone, w] : c.weights) text += " " + bone + ":" + std::to_string(w);
    }
    return text;
}

// Each triangle of a has an equal one in b near the same place of the sorted list (values
// that round differently sort a few places apart).
void ExpectSameTriangles(const std::vector<Triangle>& a, const std::vector<Triangle>& b, float tolerance,
                         const std::string& name, bool materials) {
    ASSERT_EQ(a.size(), b.size()) << name;
    std::vector<bool> used(b.size(), false);
    constexpr size_t kWindow = 256;
    for (size_t t = 0; t < a.size(); ++t) {
        const size_t from = t > kWindow ? t - kWindow : 0, to = std::min(b.size(), t + kWindow + 1);
        bool found = false;
        for (size_t u = from; u < to && !found; ++u)
            if (!used[u] && SameTriangle(a[t], b[u], tolerance, materials)) used[u] = found = true;
        ASSERT_TRUE(found) << name << ": triangle " << t << " has no match: " << Describe(a[t])
                           << "\n  at its place instead: " << Describe(b[t]);
    }
}

const aiScene* Read(Assimp::Importer& importer, const fs::path& file) {
    const aiScene* scene = importer.ReadFile(file.string(), 0);
    EXPECT_NE(scene, nullptr) << file << ": " << importer.GetErrorString();
    return scene;
}

// The frames, meshes and animation poses of two X files, as Assimp reads them, agree. Without
// materials, meshes the source gives no material are not compared by material (Assimp shows a
// stand-in of its own, the exporter writes a white one).
// With skinnedAtTop, a frame holding a skinned mesh may have moved to the top without its
// transform (the glTF writer places skinned meshes so, as glTF recommends; the skin alone
// places their vertices).
void ExpectSameFacts(const fs::path& source, const fs::path& again, bool materials = true, bool skinnedAtTop = false) {
    Assimp::Importer a, b;
    const aiScene* x = Read(a, source);
    const aiScene* y = Read(b, again);
    ASSERT_TRUE(x && y);
    // Frames: names, parents and transforms.
    std::map<std::string, const aiNode*> nodesX, nodesY;
    const auto collect = [](const aiNode* root, std::map<std::string, const aiNode*>& out) {
        std::vector<const aiNode*> stack{root};
        while (!stack.empty()) {
            const aiNode* n = stack.back();
            stack.pop_back();
            out[n->mName.C_Str()] = n;
            for (unsigned c = 0; c < n->mNumChildren; ++c) stack.push_back(n->mChildren[c]);
        }
    };
    collect(x->mRootNode, nodesX);
    collect(y->mRootNode, nodesY);
    float size = 1;
    for (unsigned m = 0; m < x->mNumMeshes; ++m)
        for (unsigned v = 0; v < x->mMeshes[m]->mNumVertices; ++v) {
            const aiVector3D& p = x->mMeshes[m]->mVertices[v];
            size = std::max({size, std::abs(p.x), std::abs(p.y), std::abs(p.z)});
        }
    for (const auto& [name, node] : nodesX) {
        if (node == x->mRootNode) continue;
        auto other = nodesY.find(name);
        ASSERT_NE(other, nodesY.end()) << "frame " << name << " is missing";
        if (skinnedAtTop && std::any_of(node->mMeshes, node->mMeshes + node->mNumMeshes,
                                        [&](unsigned m) { return x->mMeshes[m]->mNumBones > 0; }))
            continue;
        const aiNode* parent = node->mParent;
        const aiNode* parentY = other->second->mParent;
        if (parent != x->mRootNode) {
            EXPECT_EQ(std::string(parent->mName.C_Str()), parentY ? std::string(parentY->mName.C_Str()) : "") << name;
        }
        EXPECT_LT(assimp_keys::MaxDifference(node->mTransformation, other->second->mTransformation), 2e-4f * size) << name;
    }
    EXPECT_EQ(nodesX.size(), nodesY.size());

    const auto trianglesX = Triangles(*x), trianglesY = Triangles(*y);
    ASSERT_EQ(trianglesX.size(), trianglesY.size());
    for (const auto& [name, list] : trianglesX) {
        auto other = trianglesY.find(name);
        ASSERT_NE(other, trianglesY.end()) << "the mesh of " << name << " is missing";
        ExpectSameTriangles(list, other->second, 2e-4f * size, name, materials);
    }

    // Animations: names, lengths and every node's pose at each key time.
    ASSERT_EQ(x->mNumAnimations, y->mNumAnimations);
    for (unsigned i = 0; i < x->mNumAnimations; ++i) {
        const aiAnimation& ax = *x->mAnimations[i];
        const aiAnimation& ay = *y->mAnimations[i];
        EXPECT_EQ(std::string(ax.mName.C_Str()), std::string(ay.mName.C_Str()));
        EXPECT_NEAR(ax.mDuration / std::max(1.0, ax.mTicksPerSecond), ay.mDuration / std::max(1.0, ay.mTicksPerSecond), 1.0 / 30);
        std::set<double> times;
        for (unsigned c = 0; c < ax.mNumChannels; ++c)
            for (unsigned k = 0; k < ax.mChannels[c]->mNumPositionKeys; ++k) times.insert(ax.mChannels[c]->mPositionKeys[k].mTime);
        for (unsigned c = 0; c < ax.mNumChannels; ++c) {
            const std::string name = ax.mChannels[c]->mNodeName.C_Str();
            ASSERT_TRUE(nodesY.count(name)) << name;
            for (double t : times) {
                const aiMatrix4x4 px = assimp_keys::LocalAt(ax, *nodesX[name], t);
                const aiMatrix4x4 py = assimp_keys::LocalAt(ay, *nodesY[name], t * ay.mTicksPerSecond / std::max(1.0, ax.mTicksPerSecond));
                EXPECT_LT(assimp_keys::MaxDifference(px, py), 1e-3f * size) << ax.mName.C_Str() << " " << name << " at " << t;
            }
        }
    }
}

const std::vector<std::string> kSettings = {"Normal=1", "TexCoords=1", "VertexColor=1", "Mtl=1", "Meshs=1",
                                            "Bones=1",  "Dummy=1",     "Skin=1",        "Animation=1", "KeyType=1",
                                            "SceneRoot=1", "XFileType=0"};

// A model exported, read back and exported again with the same options.
void RoundTrip(const fs::path& model, std::vector<std::string> settings) {
    SCOPED_TRACE(model.string());
    ScratchDir dir;
    const fs::path config = dir.path() / "config";
    fs::create_directories(config);
    const fs::path first = dir.path() / "first" / "model.x";
    const fs::path second = dir.path() / "second" / "model.x";
    fs::create_directories(first.parent_path());
    fs::create_directories(second.parent_path());
    ASSERT_EQ(Export(model, first, config, settings), kExitOk);
    ASSERT_EQ(Export(first, second, config, settings), kExitOk);
    ExpectSameFacts(first, second);
}

}  // namespace

TEST(XRoundTrip, SharedModelsKeepTheirFacts) {
    for (const char* model : {"BoxTextured/BoxTextured.gltf", "BoxVertexColors/BoxVertexColors.glb",
                              "BoxTexcoords/boxTexcoords.gltf", "SimpleSkin/SimpleSkin.gltf",
                              "InterpolationTest/InterpolationTest.gltf", "RiggedFigure/RiggedFigure.glb"})
        RoundTrip(kModels / model, kSettings);
}

TEST(XRoundTrip, BinaryCompressedAndMatrixKeys) {
    std::vector<std::string> binary = kSettings;
    binary.back() = "XFileType=1";
    RoundTrip(kModels / "CesiumMan/CesiumMan.glb", binary);
    std::vector<std::string> compressed = kSettings;
    compressed.back() = "XFileType=2";
    compressed[9] = "KeyType=0";
    RoundTrip(kModels / "Fox/Fox.glb", compressed);
}

// X files from another writer: Assimp's X export of the shared models (meshes, materials and
// textures; it writes no skins or animations), read in and exported by plover.
TEST(XRoundTrip, AssimpWrittenFiles) {
    for (const auto& [model, materials] : {std::pair{"BoxTextured/BoxTextured.gltf", true},
                                           {"BoxVertexColors/BoxVertexColors.glb", false},
                                           {"SimpleSkin/SimpleSkin.gltf", false}, {"CesiumMan/CesiumMan.glb", true}}) {
        SCOPED_TRACE(model);
        ScratchDir dir;
        fs::create_directories(dir.path() / "config");
        fs::create_directories(dir.path() / "out");
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile((kModels / model).string(), 0);
        ASSERT_NE(scene, nullptr) << importer.GetErrorString();
        Assimp::Exporter exporter;
        const fs::path source = dir.path() / "assimp.x";
        ASSERT_EQ(exporter.Export(scene, "x", source.string()), aiReturn_SUCCESS) << exporter.GetErrorString();
        const fs::path again = dir.path() / "out" / "plover.x";
        ASSERT_EQ(Export(source, again, dir.path() / "config", kSettings), kExitOk);
        ExpectSameFacts(source, again, materials);
    }
}

// glTF -> X -> glTF: the model exported by the plug-in, the X file read back and written as glTF,
// holds the facts of the model (names, triangles, UV sets, colours, joints and weights, clips,
// positions at rest and skinned at three times).
TEST(XRoundTrip, GltfThroughXKeepsTheFacts) {
    for (const char* model : {"BoxTextured/BoxTextured.gltf", "CesiumMan/CesiumMan.glb", "Fox/Fox.glb"}) {
        SCOPED_TRACE(model);
        ScratchDir dir;
        fs::create_directories(dir.path() / "config");
        fs::create_directories(dir.path() / "x");
        const fs::path x = dir.path() / "x" / "model.x", out = dir.path() / "again.glb";
        ASSERT_EQ(Export(kModels / model, x, dir.path() / "config", kSettings), kExitOk);
        ASSERT_EQ(Convert(x, out), kExitOk);
        auto first = scene_facts::ImportModel(kModels / model, dir.path() / "unpacked1");
        auto second = scene_facts::ImportModel(out, dir.path() / "unpacked2");
        ASSERT_TRUE(first && second);
        scene_facts::ExpectSameScenes(*first, *second, model, XName);
    }
}

// X -> glTF -> X: an X file written from a shared model, turned into glTF and exported again,
// gives an X file with the same frames, triangles and poses.
TEST(XRoundTrip, XThroughGltfKeepsTheFacts) {
    for (const char* model : {"BoxTextured/BoxTextured.gltf", "CesiumMan/CesiumMan.glb", "Fox/Fox.glb"}) {
        SCOPED_TRACE(model);
        ScratchDir dir;
        fs::create_directories(dir.path() / "config");
        fs::create_directories(dir.path() / "first");
        fs::create_directories(dir.path() / "second");
        const fs::path first = dir.path() / "first" / "model.x", second = dir.path() / "second" / "model.x";
        const fs::path glb = dir.path() / "model.glb";
        ASSERT_EQ(Export(kModels / model, first, dir.path() / "config", kSettings), kExitOk);
        ASSERT_EQ(Convert(first, glb), kExitOk);
        ASSERT_EQ(Export(glb, second, dir.path() / "config", kSettings), kExitOk);
        ExpectSameFacts(first, second, true, true);
    }
}

// X -> glTF -> X keeps what glTF's materials have no place for: the power without a highlight
// (a black specular colour reads as fully rough), a power above glTF's range, the specular
// colour and an emissive colour above 1. The glTF file keeps them in its extras.
TEST(XRoundTrip, XMaterialsKeepTheirValuesThroughGltf) {
    ScratchDir dir;
    fs::create_directories(dir.path() / "config");
    fs::create_directories(dir.path() / "second");
    const fs::path source = dir.path() / "materials.x", glb = dir.path() / "materials.glb";
    const fs::path again = dir.path() / "second" / "materials.x";
    std::ofstream(source) << R"(xof 0303txt 0032
Frame Root {
 FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;; }
 Mesh Quad {
  4; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 1.0;1.0;0.0;, 0.0;1.0;0.0;;
  2; 3;0,1,2;, 3;0,2,3;;
  MeshMaterialList {
   2; 2; 0, 1;;
   Material Matte { 0.8;0.2;0.1;1.0;; 20.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; }
   Material Shiny { 0.1;0.2;0.8;0.5;; 1500.0; 0.6;0.5;0.4;; 1.5;0.25;0.0;; }
  }
 }
}
)";
    ASSERT_EQ(Convert(source, glb), kExitOk);
    std::vector<std::string> settings = kSettings;
    settings[10] = "SceneRoot=0";  // the file has no scene-root frame
    ASSERT_EQ(Export(glb, again, dir.path() / "config", settings), kExitOk);
    ExpectSameFacts(source, again);
}
