// End to end: every sample model exported through the plug-in module, as the command does it, in
// text, binary and compressed form, and read back by Assimp's X importer. The X file must show
// the source as Assimp reads it: node names, triangles, materials and textures, bones with their
// offsets, animation names and durations, and node poses during each animation. A dump of the
// model, exported again, must give the same bytes.
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include "common/assimp_keys.h"
#include "common/mesh_invariants.h"
#include "common/test_files.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/names.h"
#include "core/staged_files.h"
#include "host/import/interchange_import.h"
#include "tools/plover/commands.h"

namespace fs = std::filesystem;

namespace {

const std::string kModulePath = std::string(PLOVER_BINARY_DIR) + "/plover.dle";
const fs::path kModels = fs::path(PLOVER_TEST_DATA_DIR) / "assets" / "gltf";
constexpr double kFrameRate = 30;

const char* const kModelFiles[] = {
    "BoxTextured/BoxTextured.gltf",
    "BoxVertexColors/BoxVertexColors.glb",
    "BoxTexcoords/boxTexcoords.gltf",
    "TextureCoordinateTest/TextureCoordinateTest.glb",
    "ClearCoatTest/ClearCoatTest.gltf",
    "InterpolationTest/InterpolationTest.gltf",
    "SimpleSkin/SimpleSkin.gltf",
    "RiggedFigure/RiggedFigure.glb",
    "CesiumMan/CesiumMan.glb",
    "Fox/Fox.glb",
};

// A fresh folder for one test whose X files are checked before it goes.
struct TempDir : ScratchDir {
    TempDir() { fs::create_directories(path() / "config"); }
    ~TempDir() { mesh_invariants::ExpectMeshObjectsValidUnder(path()); }
};

int Export(const fs::path& input, const fs::path& output, const fs::path& configDir, std::vector<std::string> settings) {
    ExportCommand command;
    if (input.extension() != ".json") command.frameRate = static_cast<int>(kFrameRate);  // a document keeps its own
    command.scenePath = input.string();
    command.outputPath = output.string();
    command.configDir = configDir.string();
    command.pluginPath = kModulePath;
    command.settings = std::move(settings);
    command.quiet = true;
    return RunExportCommand(command);
}

// ---------------------------------------------------------------------------------------------
// Poses as Assimp plays them: linear position and scale, spherical rotation, clamped at the ends.

using assimp_keys::LocalAt;

// Largest difference relative to the size of the values.
float MatrixError(const aiMatrix4x4& a, const aiMatrix4x4& b) {
    float worst = 0;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            worst = std::max(worst, std::abs(a[r][c] - b[r][c]) / (1.0f + std::abs(b[r][c])));
    return worst;
}

// ---------------------------------------------------------------------------------------------
// What the source shows per node.

struct NodeFacts {
    unsigned triangles = 0;
    std::set<std::string> materials;  // X names
    aiVector3D low{1e30f, 1e30f, 1e30f}, high{-1e30f, -1e30f, -1e30f};
    void Extend(const aiMesh& mesh) {
        for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
            const aiVector3D& p = mesh.mVertices[v];
            low = aiVector3D(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z));
            high = aiVector3D(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z));
        }
    }
};

unsigned Triangles(const aiMesh& mesh) {
    unsigned n = 0;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) n += mesh.mFaces[f].mNumIndices == 3;
    return n;
}

std::string MaterialName(const aiScene& scene, unsigned index) {
    aiString name;
    scene.mMaterials[index]->Get(AI_MATKEY_NAME, name);
    return name.C_Str();
}

// The name under which the import writes a texture stored inside the model.
std::string EmbeddedTextureName(const aiScene& scene, unsigned index, const fs::path& model) {
    const std::string hint = scene.mTextures[index]->achFormatHint;
    return model.stem().string() + "_texture" + std::to_string(index) + "." + (hint == "jpeg" ? "jpg" : hint);
}

// The file name the X file gives the material's main texture: the source file's name, or the
// name under which the import writes a texture stored inside the model.
std::string DiffuseTextureName(const aiScene& scene, const aiMaterial& material, const fs::path& model) {
    aiString path;
    const aiTextureType type =
        material.GetTextureCount(aiTextureType_BASE_COLOR) ? aiTextureType_BASE_COLOR : aiTextureType_DIFFUSE;
    if (material.GetTexture(type, 0, &path) != AI_SUCCESS) return {};
    if (const aiTexture* embedded = scene.GetEmbeddedTexture(path.C_Str())) {
        unsigned index = 0;
        while (scene.mTextures[index] != embedded) ++index;
        return EmbeddedTextureName(scene, index, model);
    }
    return fs::path(path.C_Str()).filename().string();
}

void CollectNodes(const aiNode& node, std::map<std::string, const aiNode*>& out) {
    out.emplace(SanitizeXName(node.mName.C_Str()), &node);
    for (unsigned i = 0; i < node.mNumChildren; ++i) CollectNodes(*node.mChildren[i], out);
}

// Assimp's name for an unnamed material of an X mesh.
bool IsUnnamedXMaterial(const std::string& name) {
    return name.rfind("material", 0) == 0 && name.find_first_not_of("0123456789", 8) == std::string::npos;
}

// Compares an exported X file, as Assimp reads it, with the source model. Assimp's X importer
// gives every mesh that refers to a shared material the first material of the file, so the
// materials of each node are compared only when the export keeps them with their meshes
// (inlineMaterials); otherwise the file's materials are compared as a whole.
void ExpectMatchesSource(const aiScene& source, const aiScene& x, const fs::path& model, bool inlineMaterials) {
    std::map<std::string, const aiNode*> sourceNodes, xNodes;
    CollectNodes(*source.mRootNode, sourceNodes);
    CollectNodes(*x.mRootNode, xNodes);

    // Bones with influence, and every node the export keeps: meshes, bones and their ancestors.
    std::map<std::string, const aiBone*> bones;
    for (unsigned m = 0; m < source.mNumMeshes; ++m)
        for (unsigned b = 0; b < source.mMeshes[m]->mNumBones; ++b) {
            const aiBone* bone = source.mMeshes[m]->mBones[b];
            bool used = false;
            for (unsigned w = 0; w < bone->mNumWeights; ++w) used |= bone->mWeights[w].mWeight > 0;
            if (used) bones.emplace(SanitizeXName(bone->mName.C_Str()), bone);
        }
    for (const auto& [name, node] : sourceNodes) {
        if (node == source.mRootNode) continue;  // Assimp's own root when the file has several
        if (node->mNumMeshes == 0 && !bones.count(name)) continue;
        for (const aiNode* n = node; n && n != source.mRootNode; n = n->mParent)
            EXPECT_TRUE(xNodes.count(SanitizeXName(n->mName.C_Str()))) << "node " << n->mName.C_Str() << " is missing";
    }

    // Per node: triangles, materials and the mesh's extent in the node's space. Assimp splits an
    // X mesh by material, so a node's meshes are added up.
    for (const auto& [name, node] : sourceNodes) {
        if (node->mNumMeshes == 0 || !xNodes.count(name)) continue;
        SCOPED_TRACE("node " + name);
        NodeFacts expected, actual;
        for (unsigned i = 0; i < node->mNumMeshes; ++i) {
            const aiMesh& mesh = *source.mMeshes[node->mMeshes[i]];
            expected.triangles += Triangles(mesh);
            expected.Extend(mesh);
            const std::string material = MaterialName(source, mesh.mMaterialIndex);
            if (!material.empty() && material != AI_DEFAULT_MATERIAL_NAME)
                expected.materials.insert(SanitizeXName(material));
        }
        const aiNode& xNode = *xNodes.at(name);
        for (unsigned i = 0; i < xNode.mNumMeshes; ++i) {
            const aiMesh& mesh = *x.mMeshes[xNode.mMeshes[i]];
            actual.triangles += Triangles(mesh);
            actual.Extend(mesh);
            if (!inlineMaterials) continue;
            const std::string material = MaterialName(x, mesh.mMaterialIndex);
            if (!IsUnnamedXMaterial(material)) actual.materials.insert(material);

            // Bone offsets: mesh space to bone space at the bind pose.
            for (unsigned b = 0; b < mesh.mNumBones; ++b) {
                const aiBone& bone = *mesh.mBones[b];
                auto it = bones.find(bone.mName.C_Str());
                ASSERT_NE(it, bones.end()) << "bone " << bone.mName.C_Str() << " has no influence in the source";
                EXPECT_LT(MatrixError(bone.mOffsetMatrix, it->second->mOffsetMatrix), 1e-4f) << "bone " << bone.mName.C_Str();
            }
        }
        EXPECT_EQ(actual.triangles, expected.triangles);
        if (inlineMaterials) {
            EXPECT_EQ(actual.materials, expected.materials);
        }
        const float size = (expected.high - expected.low).Length() + 1.0f;
        EXPECT_LT((actual.low - expected.low).Length() / size, 1e-5f);
        EXPECT_LT((actual.high - expected.high).Length() / size, 1e-5f);
    }

    // The file's materials: the source's by name, each with its main texture.
    std::map<std::string, std::string> sourceMaterials, xMaterials;
    for (unsigned m = 0; m < source.mNumMeshes; ++m) {
        const unsigned index = source.mMeshes[m]->mMaterialIndex;
        const std::string name = MaterialName(source, index);
        if (name.empty() || name == AI_DEFAULT_MATERIAL_NAME) continue;
        sourceMaterials[SanitizeXName(name)] = DiffuseTextureName(source, *source.mMaterials[index], model);
    }
    for (unsigned m = 0; m < x.mNumMaterials; ++m) {
        const std::string name = MaterialName(x, m);
        if (IsUnnamedXMaterial(name)) continue;
        aiString texture;
        const std::string file =
            x.mMaterials[m]->GetTexture(aiTextureType_DIFFUSE, 0, &texture) == AI_SUCCESS ? texture.C_Str() : "";
        // Materials kept with each mesh are copies: every copy names the same texture.
        EXPECT_EQ(xMaterials.emplace(name, file).first->second, file) << "copies of material " << name << " differ";
    }
    EXPECT_EQ(xMaterials, sourceMaterials);

    std::set<std::string> xBones;
    for (unsigned m = 0; m < x.mNumMeshes; ++m)
        for (unsigned b = 0; b < x.mMeshes[m]->mNumBones; ++b) xBones.insert(x.mMeshes[m]->mBones[b]->mName.C_Str());
    std::set<std::string> sourceBones;
    for (const auto& entry : bones) sourceBones.insert(entry.first);
    EXPECT_EQ(xBones, sourceBones);

    // Animations: one per source animation with its clip name; it lasts the source's duration
    // rounded up to whole frames; nodes take the source's poses at whole frames.
    ASSERT_EQ(x.mNumAnimations, source.mNumAnimations);
    std::set<std::string> clipNames;
    for (unsigned a = 0; a < source.mNumAnimations; ++a) {
        const aiAnimation& anim = *source.mAnimations[a];
        const double tps = anim.mTicksPerSecond > 0 ? anim.mTicksPerSecond : 25.0;
        const std::string name = LegalClipName(anim.mName.C_Str(), a);
        SCOPED_TRACE("animation " + name);
        const aiAnimation* exported = nullptr;
        for (unsigned i = 0; i < x.mNumAnimations; ++i)
            if (name == x.mAnimations[i]->mName.C_Str()) exported = x.mAnimations[i];
        ASSERT_NE(exported, nullptr);
        double last = 0;
        for (unsigned c = 0; c < anim.mNumChannels; ++c) {
            const aiNodeAnim& ch = *anim.mChannels[c];
            if (ch.mNumPositionKeys) last = std::max(last, ch.mPositionKeys[ch.mNumPositionKeys - 1].mTime);
            if (ch.mNumRotationKeys) last = std::max(last, ch.mRotationKeys[ch.mNumRotationKeys - 1].mTime);
            if (ch.mNumScalingKeys) last = std::max(last, ch.mScalingKeys[ch.mNumScalingKeys - 1].mTime);
        }
        const double seconds = last / tps;
        const double xTps = exported->mTicksPerSecond > 0 ? exported->mTicksPerSecond : 25.0;
        const double xSeconds = exported->mDuration / xTps;
        EXPECT_GE(xSeconds, seconds - 1e-3);
        EXPECT_LT(xSeconds, seconds + 1.0 / kFrameRate + 1e-3);

        const int frames = static_cast<int>(std::lround(xSeconds * kFrameRate));
        for (int step = 0; step <= 4; ++step) {
            const int frame = frames * step / 4;
            const double t = frame / kFrameRate;
            for (const auto& [nodeName, node] : sourceNodes) {
                if (node == source.mRootNode || !xNodes.count(nodeName)) continue;
                const aiMatrix4x4 expected = LocalAt(anim, *node, node->mName.C_Str(), t * tps);
                const aiMatrix4x4 actual = LocalAt(*exported, *xNodes.at(nodeName), nodeName, t * xTps);
                EXPECT_LT(MatrixError(actual, expected), 2e-3f) << nodeName << " at frame " << frame;
            }
        }
    }
}

class ImportExport : public testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(ImportExport, EveryFormatShowsTheSourceInAssimpAndTheDumpExportsAlike) {
    const fs::path model = kModels / GetParam();
    TempDir dir;
    Assimp::Importer sourceReader;
    const aiScene* source = sourceReader.ReadFile(model.string(), aiProcess_Triangulate | aiProcess_ValidateDataStructure);
    ASSERT_NE(source, nullptr) << sourceReader.GetErrorString();

    // Text, binary and compressed; then text with the materials kept in each mesh.
    for (int format = 0; format <= 3; ++format) {
        SCOPED_TRACE("XFileType " + std::to_string(format % 3) + (format == 3 ? ", InlineMtl" : ""));
        const fs::path out = dir.path() / ("out" + std::to_string(format) + ".x");
        std::vector<std::string> settings{"XFileType=" + std::to_string(format % 3)};
        if (format == 0) settings.push_back("VertexColor=1");  // every map channel shows in the text
        if (format == 3) settings.push_back("InlineMtl=1");
        ASSERT_EQ(Export(model, out, dir.path() / "config", settings), 0);
        Assimp::Importer reader;
        const aiScene* x = reader.ReadFile(out.string(), 0);
        ASSERT_NE(x, nullptr) << reader.GetErrorString();
        ExpectMatchesSource(*source, *x, model, format == 3);
    }

    // Textures the model stores inside itself are written beside the X file.
    for (unsigned i = 0; i < source->mNumTextures; ++i) {
        const fs::path written = dir.path() / EmbeddedTextureName(*source, i, model);
        ASSERT_TRUE(fs::exists(written)) << written;
        EXPECT_EQ(fs::file_size(written), source->mTextures[i]->mWidth);
    }

    // The dump, with the clips the import offers, exported again gives the same text file: map
    // channels, normals, skins and clips come through the scene document unchanged.
    DumpCommand dump;
    dump.inputPath = model.string();
    dump.outputPath = (dir.path() / "scene.json").string();
    dump.frameRate = static_cast<int>(kFrameRate);
    dump.quiet = true;
    ASSERT_EQ(RunDumpCommand(dump), 0);
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.path()))
        EXPECT_FALSE(IsStagedTemporaryName(entry.path().filename().string())) << entry.path();
    EXPECT_NE(ReadText(dump.outputPath).find("\"clips\""), std::string::npos);
    ASSERT_EQ(Export(dump.outputPath, dir.path() / "again.x", dir.path() / "config", {"XFileType=0", "VertexColor=1"}), 0);
    EXPECT_TRUE(ReadText(dir.path() / "again.x") == ReadText(dir.path() / "out0.x"))
        << "the export of the dump differs from the export of the model";
}

INSTANTIATE_TEST_SUITE_P(Models, ImportExport, testing::ValuesIn(kModelFiles),
                         [](const testing::TestParamInfo<const char*>& param) {
                             return fs::path(param.param).stem().string();
                         });
