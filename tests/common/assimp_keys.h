// Animation keys as Assimp plays them: linear position and scale, spherical rotation,
// clamped at the ends. Tests compare these poses with the source scene's.
#pragma once

#include <assimp/anim.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace assimp_keys {

// The 16 floats of an X file matrix (row vectors, translation in row 3, left-handed) as Assimp's
// X importer gives it: transposed into column vectors and mirrored in Z on both sides.
inline aiMatrix4x4 FromXFrameMatrix(const float* m) {
    const float s[4] = {1, 1, -1, 1};
    aiMatrix4x4 out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out[r][c] = s[r] * s[c] * m[c * 4 + r];
    return out;
}

// The largest difference between two components.
inline float MaxDifference(const aiMatrix4x4& a, const aiMatrix4x4& b) {
    float worst = 0;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) worst = std::max(worst, std::abs(a[r][c] - b[r][c]));
    return worst;
}

template <class Key>
unsigned Bracket(const Key* keys, unsigned n, double t, float& u) {
    unsigned i = 0;
    while (i + 1 < n && keys[i + 1].mTime <= t) ++i;
    u = 0;
    if (i + 1 < n && t > keys[i].mTime) u = float((t - keys[i].mTime) / (keys[i + 1].mTime - keys[i].mTime));
    return i;
}

inline aiVector3D VectorAt(const aiVectorKey* keys, unsigned n, double t) {
    float u;
    const unsigned i = Bracket(keys, n, t, u);
    if (u == 0) return keys[i].mValue;
    return keys[i].mValue + (keys[i + 1].mValue - keys[i].mValue) * u;
}

inline aiQuaternion QuatAt(const aiQuatKey* keys, unsigned n, double t) {
    float u;
    const unsigned i = Bracket(keys, n, t, u);
    if (u == 0) return keys[i].mValue;
    aiQuaternion q;
    aiQuaternion::Interpolate(q, keys[i].mValue, keys[i + 1].mValue, u);
    return q;
}

inline const aiNodeAnim* ChannelOf(const aiAnimation& anim, const std::string& name) {
    for (unsigned i = 0; i < anim.mNumChannels; ++i)
        if (name == anim.mChannels[i]->mNodeName.C_Str()) return anim.mChannels[i];
    return nullptr;
}

// The node's transform relative to its parent at t (animation ticks), from the channel called
// channelName; parts without keys keep the node's rest value.
inline aiMatrix4x4 LocalAt(const aiAnimation& anim, const aiNode& node, const std::string& channelName, double t) {
    const aiNodeAnim* ch = ChannelOf(anim, channelName);
    if (!ch) return node.mTransformation;
    aiVector3D scale, position;
    aiQuaternion rotation;
    node.mTransformation.Decompose(scale, rotation, position);
    if (ch->mNumPositionKeys) position = VectorAt(ch->mPositionKeys, ch->mNumPositionKeys, t);
    if (ch->mNumRotationKeys) rotation = QuatAt(ch->mRotationKeys, ch->mNumRotationKeys, t);
    if (ch->mNumScalingKeys) scale = VectorAt(ch->mScalingKeys, ch->mNumScalingKeys, t);
    // T * R * S, built by hand: Assimp's own constructor from the three scales the rows of the
    // rotation instead of its columns, which is wrong for a non-uniform scale.
    aiMatrix4x4 move, stretch;
    aiMatrix4x4::Translation(position, move);
    aiMatrix4x4::Scaling(scale, stretch);
    return move * aiMatrix4x4(rotation.GetMatrix()) * stretch;
}
inline aiMatrix4x4 LocalAt(const aiAnimation& anim, const aiNode& node, double t) {
    return LocalAt(anim, node, node.mName.C_Str(), t);
}

// The node's world transform at t.
inline aiMatrix4x4 WorldAt(const aiAnimation& anim, const aiNode& node, double t) {
    const aiMatrix4x4 local = LocalAt(anim, node, t);
    return node.mParent ? WorldAt(anim, *node.mParent, t) * local : local;
}

}  // namespace assimp_keys
