// The animation records an export node carries: one track per clip with its keys, filled by
// anim/ and written by xfile/.
#pragma once

#include <cstdint>
#include <vector>

#include "sdk/math.h"

enum AnimKeyKind : int32_t {
    kRotationKey = 0,  // same code as the X file's rotation keys
    kScaleKey = 1,
    kPositionKey = 2,
    kMatrixKey = 3,  // in memory; the file's code for matrix keys is 4
};

// Times are relative to the clip start: ticks, or frames times TimelineCustom with Timeline on.
struct QuatKey {
    int32_t kind = kRotationKey;
    int32_t time = 0;
    Quat value;
};

struct VectorKey {
    int32_t kind = kPositionKey;  // kScaleKey or kPositionKey
    int32_t time = 0;
    Point3 value;
};

struct MatrixKey {
    int32_t kind = kMatrixKey;
    int32_t time = 0;
    Matrix3 value;
};

struct AnimTrack {
    int32_t startTick = 0;      // clip start frame * ticks per frame
    int32_t endTick = 0;        // clip end frame * ticks per frame
    uint8_t separateKeys = 0;   // 1: rotation/scale/position keys are used; 0: matrix keys
    std::vector<int32_t> positionKeyTimes;  // working lists of the key-frame path
    std::vector<int32_t> rotationKeyTimes;
    std::vector<int32_t> scaleKeyTimes;
    std::vector<int32_t> keyTimes;          // sorted union of the three with start and end
    std::vector<MatrixKey> matrixKeys;
    std::vector<VectorKey> positionKeys;
    std::vector<QuatKey> rotationKeys;
    std::vector<VectorKey> scaleKeys;
};
