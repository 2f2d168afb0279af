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
    // hierarchy, and nodes that hold still for a while, are worked out once per run. The other
    // transforms are decomposed a block at a time, which lets DecomposeMatrices pair them.
    constexpr size_t kBlock = 64;
    Matrix3 k[kBlock];             // the block's key transforms
    Matrix3 distinct[kBlock];      // those that differ from the one before
    DecomposedMatrix parts[kBlock];  // of distinct
    uint8_t partsOf[kBlock];       // which parts each key takes
    const KeyPose* lastPose = nullptr;
    Matrix3 lastK;
    DecomposedMatrix lastParts;
    for (size_t start = 0; start < keys.size(); start += kBlock) {
        const size_t n = std::min(kBlock, keys.size() - start);
        size_t distinctCount = 0;
        for (size_t i = 0; i < n; ++i) {
            const KeyPose& pose = keys[start + i].pose;
            const bool samePose = lastPose && std::memcmp(lastPose, &pose, sizeof pose) == 0;
            k[i] = samePose ? lastK : KeyTransform(basis, pose);
            lastPose = &pose;
            const bool sameK = (i > 0 || start > 0) && std::memcmp(&lastK, &k[i], sizeof lastK) == 0;
            lastK = k[i];
            if (!sameK) distinct[distinctCount++] = k[i];
            // 0 names the parts before the block's first distinct transform.
            partsOf[i] = static_cast<uint8_t>(distinctCount);
        }
        if (!track.separateKeys) {
            for (size_t i = 0; i < n; ++i)
                AddMatrixKey(track.matrixKeys, MatrixKey{kMatrixKey, keys[start + i].time, k[i]}, r.reduce, r.tolerance);
            continue;
        }
        DecomposeMatrices(std::span(distinct, distinctCount), std::span(parts, distinctCount));
        for (size_t i = 0; i < n; ++i) {
            const DecomposedMatrix& d = partsOf[i] == 0 ? lastParts : parts[partsOf[i] - 1];
            const int32_t time = keys[start + i].time;
            AddQuatKey(track.rotationKeys, QuatKey{kRotationKey, time, d.rotation}, r.reduce, r.tolerance);
            AddVectorKey(track.scaleKeys, VectorKey{kScaleKey, time, d.scale}, r.reduce, r.tolerance);
            AddVectorKey(track.positionKeys, VectorKey{kPositionKey, time, d.position}, r.reduce, r.tolerance);
        }
        if (distinctCount > 0) lastParts = parts[distinctCount - 1];
    }
}
