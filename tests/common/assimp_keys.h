// Animation keys as Assimp plays them: linear position and scale, spherical rotation,
// clamped at the ends. Tests compare these poses with the source scene's.
#pragma once

#include <assimp/anim.h>

namespace assimp_keys {

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

}  // namespace assimp_keys
