// Key lists grow through these three functions only, so every track is reduced as it is built.
#include "anim/anim_track.h"

namespace {

bool SameValue(const Point3& a, const Point3& b, float tolerance) { return a.Equals(b, tolerance); }
bool SameValue(const Quat& a, const Quat& b, float tolerance) { return a.Equals(b, tolerance); }
bool SameValue(const Matrix3& a, const Matrix3& b, float tolerance) { return a.Equals(b, tolerance); }

// The reduction rule: when the last two stored keys hold equal values and the new value equals
// them too, the middle one of the three would be redundant; instead of storing the new key the
// last one moves to its time. The stored values stay as they were appended, so a slow drift is
// compared against the value at the start of the run. Returns true when the key was appended.
template <class Key>
bool AddKey(std::vector<Key>& list, const Key& key, bool reduce, float tolerance) {
    const size_t n = list.size();
    if (reduce && n >= 2 && SameValue(key.value, list[n - 1].value, tolerance) &&
        SameValue(list[n - 2].value, list[n - 1].value, tolerance)) {
        list[n - 1].time = key.time;
        return false;
    }
    list.push_back(key);
    return true;
}

}  // namespace

KeyReduction KeyReductionFor(int32_t keyOptimizeLevel) {
    switch (static_cast<uint32_t>(keyOptimizeLevel)) {
        case 0: return {false, 0.0f};
        case 1: return {true, 1e-6f};
        case 2: return {true, 1e-5f};
        default: return {true, 1e-4f};
    }
}

void AddVectorKey(std::vector<VectorKey>& list, const VectorKey& key, bool reduce, float tolerance) {
    AddKey(list, key, reduce, tolerance);
}

void AddMatrixKey(std::vector<MatrixKey>& list, const MatrixKey& key, bool reduce, float tolerance) {
    AddKey(list, key, reduce, tolerance);
}

void AddQuatKey(std::vector<QuatKey>& list, const QuatKey& key, bool reduce, float tolerance) {
    // q and -q are the same rotation; interpolating readers take the arc between consecutive
    // stored values, so keep each new one on the side of its predecessor.
    if (!AddKey(list, key, reduce, tolerance)) return;
    const size_t n = list.size();
    if (n >= 2 && list[n - 1].value % list[n - 2].value < 0) list[n - 1].value *= -1.0f;
}

uint32_t TrackKeyCount(const AnimTrack& track) {
    if (!track.separateKeys) return static_cast<uint32_t>(track.matrixKeys.size());
    return static_cast<uint32_t>(track.rotationKeys.size() + track.scaleKeys.size() + track.positionKeys.size());
}
