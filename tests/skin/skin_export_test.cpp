// Whole exports of a skinned mesh on an animated three-bone chain, read back by Assimp's X
// importer: the same bones, offsets and weights, and skinned vertices (bind pose x offset x
// animated bone world transform, blended by weight) where the host's skin deformer puts them.
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "common/assimp_keys.h"
#include "common/mesh_invariants.h"
#include "common/test_files.h"
#include "host/document/scene_document.h"
#include "options/options_file.h"
#include "plugin/do_export.h"
#include "scene/node_transforms.h"
#include "skin/skin_fixture.h"
#include "xfile/write_xfile.h"

namespace fs = std::filesystem;
using namespace skin_test;

namespace {

const char* kChainScene = "tests/skin/scenes/skinned_chain.json";
constexpr int kFrameRate = 30;

// Exports the scene through XDoExport with the option lines, as the command does.
std::vector<uint8_t> ExportScene(HostScene& scene, const std::string& name, const std::string& settings) {
    const ScratchDir scratch(ScratchDir::TestName() + "/" + name);
    const fs::path& dir = scratch.path();
    scene.SetDir(kDirPlugCfg, dir.string());
    std::ofstream(dir / kConfigFileName) << "[Option]\n" << settings;
    const fs::path out = dir / "out.x";
    XDoExport(out.string().c_str(), nullptr, &scene, /*suppressPrompts=*/1, 0);
    EXPECT_TRUE(scene.messages().empty()) << scene.messages().front().text;
    EXPECT_TRUE(fs::exists(out)) << "no file written";
    mesh_invariants::ExpectMeshObjectsValidUnder(dir);
    const std::string bytes = ReadText(out);
    return {bytes.begin(), bytes.end()};
}

HostNode* FindNode(HostNode& node, const std::string& name) {
    if (node.name() == name) return &node;
    for (const auto& child : node.children())
        if (HostNode* found = FindNode(*child, name)) return found;
    return nullptr;
}

HostSkinDeformer* SkinOf(HostNode& node) {
    for (Object* o = node.object(); auto* level = dynamic_cast<HostDerivedObject*>(o); o = level->GetObjRef())
        for (const auto& modifier : level->modifiers())
            if (auto* skin = dynamic_cast<HostSkinDeformer*>(modifier.get())) return skin;
    return nullptr;
}

// A point in Assimp's frame: Assimp turns the left-handed file right-handed by negating z.
aiVector3D ToAssimp(const Point3& p) { return {p.x, p.y, -p.z}; }

// The host's weight of a bone on a point: the sum of its assignments.
float HostWeight(HostSkinDeformer& skin, size_t point, int32_t bone) {
    float sum = 0;
    const auto [list, count] = skin.Point(point);
    for (size_t k = 0; k < count; ++k)
        if (list[k].bone == bone) sum += list[k].weight;
    return sum;
}

}  // namespace

TEST(SkinExport, AssimpSeesTheHostsBonesWeightsAndDeformation) {
    const std::string settings =
        "Mtl=0\nMeshs=1\nBones=1\nSkin=1\nSceneRoot=1\nNormal=1\nAnimation=1\nKeyFrames=0\nKeyType=1\n"
        "KeyOptimizeLevel=0\nSampleRate=30\nAnimationCount=1\nAnimation0_Name=Bend\nAnimation0_StartKey=0\n"
        "Animation0_EndKey=30\n";
    const Conversion conversion = BuildConversionMatrix(false, 1.0f, 0.0f, 0.0f);
    for (int type : {0, 1, 2}) {
        SCOPED_TRACE("XFileType " + std::to_string(type));
        std::unique_ptr<HostScene> scene = LoadSourceScene(kChainScene);
        ASSERT_NE(scene, nullptr);
        const std::vector<uint8_t> bytes =
            ExportScene(*scene, "chain" + std::to_string(type), settings + "XFileType=" + std::to_string(type) + "\n");
        Assimp::Importer importer;
        const aiScene* imported = importer.ReadFileFromMemory(bytes.data(), bytes.size(), 0, "x");
        ASSERT_NE(imported, nullptr) << importer.GetErrorString();
        ASSERT_EQ(imported->mNumAnimations, 1u);
        const aiAnimation& animation = *imported->mAnimations[0];
        const aiMesh* mesh = nullptr;
        for (unsigned m = 0; m < imported->mNumMeshes; ++m)
            if (imported->mMeshes[m]->mNumBones > 0) mesh = imported->mMeshes[m];
        ASSERT_NE(mesh, nullptr);

        HostNode* body = FindNode(scene->root(), "Body");
        ASSERT_NE(body, nullptr);
        HostSkinDeformer* skin = SkinOf(*body);
        ASSERT_NE(skin, nullptr);
        Matrix3 pose, poseWithOffset;
        ASSERT_TRUE(skin->GetSkinInitTM(body, pose, false));
        ASSERT_TRUE(skin->GetSkinInitTM(body, poseWithOffset, true));

        // Each Assimp vertex is the bind position of one host point, in the mesh's frame.
        Object* base = dynamic_cast<HostDerivedObject*>(body->object())->GetObjRef();
        const int pointCount = base->NumPoints();
        const Matrix3 place = poseWithOffset * Inverse(RemoveMirroring(pose));
        std::vector<int> pointOf(mesh->mNumVertices, -1);
        for (unsigned v = 0; v < mesh->mNumVertices; ++v)
            for (int p = 0; p < pointCount; ++p) {
                const aiVector3D expected = ToAssimp(ConvertPoint(conversion, base->GetPoint(p) * place));
                if ((expected - mesh->mVertices[v]).Length() < 1e-4f) pointOf[v] = p;
            }
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) ASSERT_GE(pointOf[v], 0) << "vertex " << v;

        // The same bones with the same offsets and weights.
        ASSERT_EQ(mesh->mNumBones, skin->bones.size());
        std::map<std::string, int32_t> boneIndex;
        for (size_t b = 0; b < skin->bones.size(); ++b) boneIndex[skin->bones[b].node->name()] = static_cast<int32_t>(b);
        std::vector<float> weightSum(mesh->mNumVertices, 0.0f);
        for (unsigned b = 0; b < mesh->mNumBones; ++b) {
            const aiBone& bone = *mesh->mBones[b];
            SCOPED_TRACE(bone.mName.C_Str());
            ASSERT_EQ(boneIndex.count(bone.mName.C_Str()), 1u);
            const int32_t index = boneIndex[bone.mName.C_Str()];
            Matrix3 boneTM;
            ASSERT_TRUE(skin->GetBoneInitTM(skin->bones[index].node, boneTM, false));
            const Matrix3 offset = RemoveMirroring(pose) * Inverse(RemoveMirroring(boneTM));
            const std::array<float, 16> m = MatrixToFrameMatrix(ConvertTransform(conversion, offset));
            EXPECT_LT(assimp_keys::MaxDifference(bone.mOffsetMatrix, assimp_keys::FromXFrameMatrix(m.data())), 1e-5f);
            for (unsigned w = 0; w < bone.mNumWeights; ++w) {
                const aiVertexWeight& vw = bone.mWeights[w];
                EXPECT_EQ(vw.mWeight, HostWeight(*skin, static_cast<size_t>(pointOf[vw.mVertexId]), index));
                weightSum[vw.mVertexId] += vw.mWeight;
            }
        }
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) EXPECT_NEAR(weightSum[v], 1.0f, 1e-6f) << v;

        // Skinned positions against the host's deformed points at several times.
        const aiNode* root = imported->mRootNode;
        for (int frame : {0, 7, 15, 22, 30}) {
            SCOPED_TRACE("frame " + std::to_string(frame));
            const TimeValue t = frame * scene->GetTicksPerFrame();
            const double time = double(frame) * animation.mTicksPerSecond / kFrameRate;
            Object* deformed = body->GetObjectRef()->Eval(t).obj;
            const Matrix3 objectTM = body->GetObjectTM(t);
            // The chain really bends: the tip moves away from its bind position.
            const Point3 tipBind = base->GetPoint(pointCount - 1) * poseWithOffset;
            if (frame == 30) {
                EXPECT_GT((deformed->GetPoint(pointCount - 1) * objectTM - tipBind).Length(), 2.0f);
            }
            std::vector<aiVector3D> skinned(mesh->mNumVertices, aiVector3D(0, 0, 0));
            for (unsigned b = 0; b < mesh->mNumBones; ++b) {
                const aiBone& bone = *mesh->mBones[b];
                const aiNode* node = root->FindNode(bone.mName);
                ASSERT_NE(node, nullptr);
                const aiMatrix4x4 move = assimp_keys::WorldAt(animation, *node, time) * bone.mOffsetMatrix;
                for (unsigned w = 0; w < bone.mNumWeights; ++w)
                    skinned[bone.mWeights[w].mVertexId] += (move * mesh->mVertices[bone.mWeights[w].mVertexId]) *
                                                           bone.mWeights[w].mWeight;
            }
            for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
                const Point3 world = deformed->GetPoint(pointOf[v]) * objectTM;
                const aiVector3D expected = ToAssimp(ConvertPoint(conversion, world));
                EXPECT_LT((skinned[v] - expected).Length(), 1e-3f)
                    << "vertex " << v << ": (" << skinned[v].x << ", " << skinned[v].y << ", " << skinned[v].z
                    << ") expected (" << expected.x << ", " << expected.y << ", " << expected.z << ")";
            }
        }
    }
}
