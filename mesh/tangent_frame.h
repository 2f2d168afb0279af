// Tangent frames for normal mapping.
//
// While the faces are walked, each face corner's tangent and bitangent (CornerTangentFrame) is
// added to its export vertex's sums, weighted by the corner's interior angle
// (TriangleCornerAngles). After the last face OrthonormalizeFrame turns each vertex's sums into
// a unit, right-handed frame around its normal. All vectors are in export coordinates; texture
// coordinates are the (u, v) of the corner records at the tangent slot.
//
// No value that is not finite ever leaves these functions for finite input: a tangent that
// would overflow is taken along the same direction without the scale, and what still is not
// finite becomes (0, 0, 0).
#pragma once

#include <array>

#include "sdk/math.h"

struct XTangentFrame {
    Point3 tangent{};    // direction in which u grows; unit or (0, 0, 0)
    Point3 bitangent{};  // direction in which v grows; unit or (0, 0, 0)
};

// Tangent and bitangent of the triangle p0 p1 p2 at p0 from the texture coordinates of its
// corners. A mapping without area (det 0) gives no bitangent and a tangent along the first edge
// with a change in u, or none.
XTangentFrame CornerTangentFrame(const Point3& p0, const Point3& p1, const Point3& p2, const Point2& uv0,
                                 const Point2& uv1, const Point2& uv2);

// The interior angles (radians) at a, b and c, the weights of the corners' frames. A triangle
// with a side of length zero, or with a side whose length is not finite, has no defined angles
// and gives (0, 0, 0): such a face adds nothing to the sums.
std::array<float, 3> TriangleCornerAngles(const Point3& a, const Point3& b, const Point3& c);

// Rewrites t, b and n into an orthonormal frame with (t x b) . n >= 0, rebuilding missing
// vectors from the others; with only n known, t is seeded from a fixed axis. A zero normal is
// rebuilt as t x b when both sums exist, and otherwise left zero (t and b are then only
// normalised).
void OrthonormalizeFrame(Point3& t, Point3& b, Point3& n);
