// An independent reader: every golden sample, in all three formats the exporter writes,
// loads in Assimp's X importer with the expected frames, meshes, materials and keys.
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <string>

#include "common/xfile_samples.h"

using namespace xfile;
using namespace xfile_test;

namespace {

const aiScene* Load(Assimp::Importer& importer, const std::vector<uint8_t>& bytes) {
    const aiScene* scene = importer.ReadFileFromMemory(bytes.data(), bytes.size(), 0, "x");
    EXPECT_NE(scene, nullptr) << importer.GetErrorString();
    return scene;
}

const aiMaterial* FindMaterial(const aiScene* scene, const std::string& name) {
    for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
        aiString n;
        scene->mMaterials[i]->Get(AI_MATKEY_NAME, n);
        if (name == n.C_Str()) return scene->mMaterials[i];
    }
    return nullptr;
}

const XFileFormat kFormats[] = {XFileFormat::Text, XFileFormat::Binary, XFileFormat::CompressedBinary,
                                XFileFormat::CompressedText};

TEST(Assimp, LoadsBothSamplesInEveryFormat) {
    for (XFileFormat f : kFormats) {
        SCOPED_TRACE(std::string(FormatName(f)));
        Assimp::Importer importer;
        const aiScene* scene = Load(importer, SaveSample(WriteSampleScene, f));
        ASSERT_NE(scene, nullptr);
        for (const char* frame : {"Root", "Bone", "Other"})
            EXPECT_NE(scene->mRootNode->FindNode(frame), nullptr) << frame;
        ASSERT_EQ(scene->mNumMeshes, 2u);
        const aiMesh* tri = scene->mMeshes[0];
        EXPECT_EQ(tri->mNumVertices, 3u);
        EXPECT_EQ(tri->mNumFaces, 1u);
        EXPECT_TRUE(tri->HasNormals());
        EXPECT_TRUE(tri->HasTextureCoords(0));
        EXPECT_TRUE(tri->HasVertexColors(0));
        ASSERT_EQ(tri->mNumBones, 1u);
        EXPECT_STREQ(tri->mBones[0]->mName.C_Str(), "Bone");
        EXPECT_EQ(tri->mBones[0]->mNumWeights, 3u);
        const aiMaterial* red = FindMaterial(scene, "Red");
        ASSERT_NE(red, nullptr);
        aiString texture;
        EXPECT_EQ(red->GetTexture(aiTextureType_DIFFUSE, 0, &texture), AI_SUCCESS);
        EXPECT_STREQ(texture.C_Str(), "red.png");
        EXPECT_EQ(scene->mMaterials[tri->mMaterialIndex], red);

        ASSERT_EQ(scene->mNumAnimations, 1u);
        const aiAnimation* wave = scene->mAnimations[0];
        EXPECT_STREQ(wave->mName.C_Str(), "Wave");
        EXPECT_EQ(wave->mTicksPerSecond, 4800.0);
        ASSERT_EQ(wave->mNumChannels, 2u);
        const aiNodeAnim* bone = wave->mChannels[0];
        EXPECT_STREQ(bone->mNodeName.C_Str(), "Bone");
        EXPECT_EQ(bone->mNumRotationKeys, 2u);
        EXPECT_EQ(bone->mNumScalingKeys, 2u);
        ASSERT_EQ(bone->mNumPositionKeys, 2u);
        EXPECT_EQ(bone->mPositionKeys[1].mTime, 4800.0);
        EXPECT_FLOAT_EQ(bone->mPositionKeys[1].mValue.y, 3.0f);
        const aiNodeAnim* other = wave->mChannels[1];
        EXPECT_STREQ(other->mNodeName.C_Str(), "Other");
        ASSERT_EQ(other->mNumPositionKeys, 1u);
        EXPECT_FLOAT_EQ(other->mPositionKeys[0].mValue.y, 2.5f);

        // The edges sample: mapped names and edge values.
        Assimp::Importer edgesImporter;
        const aiScene* edges = Load(edgesImporter, SaveSample(WriteSampleEdges, f));
        ASSERT_NE(edges, nullptr);
        for (const char* frame : {"_Float", "_2Box-Anim_01", "Anim-Bone01"})
            EXPECT_NE(edges->mRootNode->FindNode(frame), nullptr) << frame;
        ASSERT_EQ(edges->mNumMeshes, 1u);
        const aiMaterial* blue = FindMaterial(edges, "Mat_01_Blue");
        ASSERT_NE(blue, nullptr);
        EXPECT_EQ(edges->mMaterials[edges->mMeshes[0]->mMaterialIndex], blue);
        aiColor4D diffuse;
        ASSERT_EQ(blue->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse), AI_SUCCESS);
        EXPECT_FLOAT_EQ(diffuse.b, 123456.5f);
    }
}

}  // namespace
