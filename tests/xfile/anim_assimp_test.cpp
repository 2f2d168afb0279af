// End to end: a three-level hierarchy animated over two clips, exported and loaded in Assimp's
// X importer. The poses Assimp computes from the keys must match the source scene's transforms
// at the key times, for both handedness settings, SRT and matrix keys, sampled and keyed.
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include "common/assimp_keys.h"

#include <set>
#include <string>

#include "anim/anim_track.h"
#include "host/document/scene_document.h"
#include "scene/node_transforms.h"
#include "xfile/write_test_util.h"

namespace {

const char* const kNodes[] = {"Hips", "Spine", "Head"};

// A host matrix in output coordinates as Assimp gives it.
aiMatrix4x4 AsAssimp(const Matrix3& m) {
    float x[16] = {};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) x[r * 4 + c] = m[r][c];
    x[15] = 1;
    return assimp_keys::FromXFrameMatrix(x);
}

using assimp_keys::ChannelOf;
using assimp_keys::LocalAt;
using assimp_keys::MaxDifference;
using assimp_keys::WorldAt;

struct Variant {
    int rightHand;
    int keyType;
    int keyFrames;
    int xFileType;
};

std::string Describe(const Variant& v) {
    return std::string(v.rightHand ? "right-handed" : "left-handed") + (v.keyType ? ", SRT" : ", matrix") +
           (v.keyFrames ? ", key frames" : ", sampled") + ", XFileType " + std::to_string(v.xFileType);
}

}  // namespace

TEST(AnimAssimp, PosesMatchTheSourceSceneAtEveryKeyTime) {
    const Variant variants[] = {{0, 1, 0, 0}, {1, 1, 0, 1}, {0, 0, 0, 1}, {1, 0, 0, 0},
                                {0, 1, 1, 0}, {1, 0, 1, 2}};
    for (const Variant& v : variants) {
        SCOPED_TRACE(Describe(v));
        ExportOptions options = AnimTestOptions(3);
        options.RightHand = v.rightHand;
        options.KeyType = v.keyType;
        options.KeyFrames = v.keyFrames;
        options.XFileType = v.xFileType;
        ExportFixture f(LoadSourceScene("tests/anim/scenes/three_level_two_clips.json"), options);
        f.state.clips = {{"Walk", 0, 30}, {"Run", 30, 60}};
        f.Reconvert();
        const std::vector<uint8_t> bytes = write_test::ExportBytes(f);

        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFileFromMemory(bytes.data(), bytes.size(), 0, "x");
        ASSERT_NE(scene, nullptr) << importer.GetErrorString();
        ASSERT_EQ(scene->mNumAnimations, 2u);
        for (unsigned clip = 0; clip < 2; ++clip) {
            const aiAnimation* anim = scene->mAnimations[clip];
            const AnimClip& source = f.state.clips[clip];
            SCOPED_TRACE(source.name);
            EXPECT_EQ(source.name, anim->mName.C_Str());
            EXPECT_EQ(anim->mTicksPerSecond, 4800.0);
            ASSERT_EQ(anim->mNumChannels, 3u);
            for (const char* name : kNodes) {
                SCOPED_TRACE(name);
                const aiNodeAnim* ch = ChannelOf(*anim, name);
                ASSERT_NE(ch, nullptr);
                const XNode* node = f.Node(name);
                const AnimTrack& track = node->tracks[clip];
                if (v.keyType) {
                    EXPECT_EQ(ch->mNumScalingKeys, track.scaleKeys.size());
                    EXPECT_EQ(ch->mNumRotationKeys, track.rotationKeys.size());
                    EXPECT_EQ(ch->mNumPositionKeys, track.positionKeys.size());
                } else {
                    // Matrix keys come back split into three channels with one key each.
                    EXPECT_EQ(ch->mNumPositionKeys, track.matrixKeys.size());
                    EXPECT_EQ(ch->mNumRotationKeys, track.matrixKeys.size());
                }

                // Every key time of every channel of the node.
                std::set<double> times;
                for (unsigned i = 0; i < ch->mNumPositionKeys; ++i) times.insert(ch->mPositionKeys[i].mTime);
                for (unsigned i = 0; i < ch->mNumRotationKeys; ++i) times.insert(ch->mRotationKeys[i].mTime);
                for (unsigned i = 0; i < ch->mNumScalingKeys; ++i) times.insert(ch->mScalingKeys[i].mTime);
                if (!v.keyFrames) {
                    // Sampled at every frame; reduction drops keys, not poses.
                    for (int frame = 0; frame <= 30; ++frame) times.insert(frame * 160.0);
                }
                const aiNode* target = scene->mRootNode->FindNode(name);
                ASSERT_NE(target, nullptr);
                for (double t : times) {
                    const TimeValue tick = ClipTick(KeySettingsOf(*f.exporter), source.start) + TimeValue(t);
                    const std::string at = "tick " + std::to_string(tick);
                    if (!v.keyFrames) {
                        // Every node is sampled at the same times: whole poses compare.
                        EXPECT_LT(MaxDifference(WorldAt(*anim, *target, t),
                                                AsAssimp(ConvertTransform(f.state.conversion, NodeWorldTransform(node->hostNode, tick)))),
                                  2e-3f) << at;
                    } else {
                        // Keyed nodes have keys at their own times: compare against the parent.
                        Matrix3 local = NodeWorldTransform(node->hostNode, tick);
                        if (node->parent) local = local * Inverse(NodeWorldTransform(node->parent->hostNode, tick));
                        EXPECT_LT(MaxDifference(LocalAt(*anim, *target, t), AsAssimp(ConvertTransform(f.state.conversion, local))),
                                  2e-3f) << at;
                    }
                }
            }
        }

        // Key counts the scene is built for, so that the poses above cover reduced tracks: the
        // head's stepped height holds for whole stretches (three values in the first clip, one
        // in the second), the spine never moves against the hips, and the head has no scale
        // animation. (Which keys are kept and when a node is sampled: the track tests.)
        const AnimTrack& walk = f.Node("Head")->tracks[0];
        const AnimTrack& run = f.Node("Head")->tracks[1];
        if (v.keyType) {
            EXPECT_EQ(walk.positionKeys.size(), 5u);
            EXPECT_EQ(run.positionKeys.size(), 2u);
            EXPECT_EQ(walk.scaleKeys.size(), 2u);
            EXPECT_EQ(walk.rotationKeys.size(), 31u);
            EXPECT_EQ(f.Node("Spine")->tracks[1].positionKeys.size(), 2u);
        }
    }
}
