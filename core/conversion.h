// The output coordinate system: one conversion matrix K built per export.
//
// The host scene is right-handed and Z-up; the X file is Y-up, left-handed by default or
// right-handed on request, optionally turned about the up axis and the X axis and uniformly
// scaled. Positions and directions convert as p * K, transforms as K^-1 * M * K.
#pragma once

#include "sdk/math.h"

struct Conversion {
    Matrix3 matrix;   // K
    Matrix3 inverse;  // K^-1
};

// Builds K for the given handedness, uniform scale and extra rotations (degrees). A scale of
// 0 or below, or exactly 1, leaves K unscaled.
Conversion BuildConversionMatrix(bool rightHanded, float scale, float xRotDegrees, float zRotDegrees);

// K^-1 * m * K: a host transform in output coordinates.
Matrix3 ConvertTransform(const Conversion& conversion, const Matrix3& m);

// p * K: a position (or an already-placed direction) in output coordinates.
inline Point3 ConvertPoint(const Conversion& conversion, const Point3& p) { return p * conversion.matrix; }
