// The transform a key holds, its time, and how it is split into the track's key lists.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "anim/anim_track.h"
#include "scene/node_transforms.h"
#include "scene/xnode.h"
#include "sdk/node.h"

KeyBasis KeyBasisOf(const KeySettings& settings, const XNode& node) {
    KeyBasis basis;
    basis.conversion = settings.conversion;
    basis.parent = !settings.worldSpace && node.parent ? node.parent->hostNode : nullptr;
    basis.parentRelative = !settings.worldSpace && node.parent;
    if (settings.worldSpace && IsMeshNode(node)) {
        // The mesh was written in world space at its frameTM pose under an identity frame; the
        // keys move it from that pose.
        basis.fromFrame = true;
        basis.inverseFrame = Inverse(node.frameTM);
    }
    return basis;
}

KeyPose SampleKeyPose(const KeyBasis& basis, const XNode& node, TimeValue t) {
    KeyPose pose;
    if (node.hostNode) pose.world = node.hostNode->GetNodeTM(t);
    if (basis.parent) pose.parent = basis.parent->GetNodeTM(t);
    return pose;
}

Matrix3 KeyTransform(const KeyBasis& basis, const KeyPose& pose) {
    const Matrix3 world = RemoveMirroring(pose.world);
    Matrix3 local = world;
    if (basis.parentRelative)
        local = world * Inverse(RemoveMirroring(pose.parent));
    else if (basis.fromFrame)
        local = basis.inverseFrame * world;
    return ConvertTransform(basis.conversion, local);
}

int32_t KeyTimeOf(const KeySettings& settings, const AnimTrack& track, TimeValue t) {
    int64_t time = int64_t(t) - track.startTick;
    if (settings.timeline) {
        const int64_t ticksPerFrame = settings.ticksPerFrame > 0 ? settings.ticksPerFrame : 1;
        time = time / ticksPerFrame * settings.timelineCustom;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(time, INT32_MIN, INT32_MAX));
}

TimeValue ClipTick(const KeySettings& settings, int32_t frame) {
    return static_cast<TimeValue>(std::clamp<int64_t>(int64_t(frame) * settings.ticksPerFrame, INT32_MIN, INT32_MAX));
}

void AddKeys(AnimTrack& track, std::span<const SampledKey> keys, const KeyBasis& basis, const KeyReduction& r) {
    // Equal poses give equal key transforms, and equal transforms equal parts: still parts of a
    // hierarchy, and nodes that hold still for a while, are worked out once per run.
    const KeyPose* previous = nullptr;
    Matrix3 k, decomposed;
    bool haveParts = false;
    Point3 position, scale;
    Quat rotation;
    for (const SampledKey& key : keys) {
        if (!previous || std::memcmp(previous, &key.pose, sizeof key.pose) != 0) {
            k = KeyTransform(basis, key.pose);
            previous = &key.pose;
        }
        if (!track.separateKeys) {
            AddMatrixKey(track.matrixKeys, MatrixKey{kMatrixKey, key.time, k}, r.reduce, r.tolerance);
            continue;
        }
        if (!haveParts || std::memcmp(&decomposed, &k, sizeof k) != 0) {
            DecomposeMatrix(k, position, rotation, scale);
            decomposed = k;
            haveParts = true;
        }
        AddQuatKey(track.rotationKeys, QuatKey{kRotationKey, key.time, rotation}, r.reduce, r.tolerance);
        AddVectorKey(track.scaleKeys, VectorKey{kScaleKey, key.time, scale}, r.reduce, r.tolerance);
        AddVectorKey(track.positionKeys, VectorKey{kPositionKey, key.time, position}, r.reduce, r.tolerance);
    }
}
