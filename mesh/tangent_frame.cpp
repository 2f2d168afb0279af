#include "mesh/tangent_frame.h"

#include <cmath>

namespace {

bool IsZero(const Point3& p) { return p.x == 0.0f && p.y == 0.0f && p.z == 0.0f; }
bool IsFinite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// The unit vector along p even where its squared length would overflow or underflow a float
// (p is first scaled by its largest component); (0, 0, 0) for a zero or non-finite p.
Point3 RobustUnit(const Point3& p) {
    const float largest = std::fmax(std::fabs(p.x), std::fmax(std::fabs(p.y), std::fabs(p.z)));
    if (!(largest > 0) || !std::isfinite(largest) || !IsFinite(p)) return {};
    return Normalize(p / largest);
}

// Normalize(scaled), where scaled is v times a scalar whose sign is given. Only that sign
// matters for the direction; when the scaled vector or its squared length left the float range
// (a tiny det or du, tiny edges), the direction is taken from v itself.
Point3 Direction(const Point3& scaled, const Point3& v, bool negative) {
    const Point3 unit = Normalize(scaled);
    if (IsZero(scaled) || (IsFinite(unit) && std::fabs(unit.LengthSquared() - 1.0f) <= 1e-4f)) return unit;
    return RobustUnit(negative ? -v : v);
}

// The part of x along axis. An axis too short to divide by has none.
Point3 PartAlong(const Point3& x, const Point3& axis) {
    const float axisSq = axis % axis;
    if (!(axisSq > 0) || !std::isfinite(axisSq)) return {};
    return axis * ((axis % x) / axisSq);
}

Point3 RemovePart(const Point3& x, const Point3& axis) { return x - PartAlong(x, axis); }

float TripleProduct(const Point3& t, const Point3& b, const Point3& n) { return (t ^ b) % n; }

}  // namespace

XTangentFrame CornerTangentFrame(const Point3& p0, const Point3& p1, const Point3& p2, const Point2& uv0,
                                 const Point2& uv1, const Point2& uv2) {
    const Point3 e1 = p1 - p0;
    const Point3 e2 = p2 - p0;
    const float du1 = uv1.x - uv0.x, dv1 = uv1.y - uv0.y;
    const float du2 = uv2.x - uv0.x, dv2 = uv2.y - uv0.y;
    const float det = du1 * dv2 - du2 * dv1;

    XTangentFrame frame;
    if (det == 0.0f) {
        if (du1 != 0.0f)
            frame.tangent = Direction(e1 / du1, e1, du1 < 0);
        else if (du2 != 0.0f)
            frame.tangent = Direction(e2 / du2, e2, du2 < 0);
        return frame;
    }
    const float r = 1.0f / det;
    const Point3 t = e1 * dv2 - e2 * dv1;
    const Point3 b = e2 * du1 - e1 * du2;
    frame.tangent = Direction(t * r, t, r < 0);
    frame.bitangent = Direction(b * r, b, r < 0);
    return frame;
}

std::array<float, 3> TriangleCornerAngles(const Point3& a, const Point3& b, const Point3& c) {
    const auto length = [](const Point3& d) {
        return static_cast<float>(std::sqrt(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z));
    };
    const double sideA = length(c - b);  // opposite a
    const double sideB = length(a - c);  // opposite b
    const double sideC = length(a - b);  // opposite c
    const bool usable = sideA > 0 && sideB > 0 && sideC > 0 && std::isfinite(sideA) && std::isfinite(sideB) &&
                        std::isfinite(sideC);
    if (!usable) return {0.0f, 0.0f, 0.0f};
    // The cosine can leave [-1, 1] by rounding on needle-thin faces; acos would give NaN.
    const auto angle = [](double x, double y, double opposite) {
        double cosine = (x * x + y * y - opposite * opposite) / (2.0 * x * y);
        cosine = cosine < -1.0 ? -1.0 : (cosine > 1.0 ? 1.0 : cosine);
        return static_cast<float>(std::acos(cosine));
    };
    return {angle(sideC, sideB, sideA), angle(sideA, sideC, sideB), angle(sideB, sideA, sideC)};
}

void OrthonormalizeFrame(Point3& t, Point3& b, Point3& n) {
    if (!IsZero(t)) t = Normalize(t);
    if (!IsZero(b)) b = Normalize(b);
    if (TripleProduct(t, b, n) < 0) b = -b;

    if (IsZero(n)) {
        if (IsZero(t) || IsZero(b)) return;
        b = RemovePart(b, t);
        n = t ^ b;
    } else if (IsZero(t) && IsZero(b)) {
        t = (n.x == 0.0f && n.y == 0.0f) ? Point3(1, 0, 0) : Point3(0, 0, 1);
        t = RemovePart(t, n);
        b = n ^ t;
    } else if (IsZero(t)) {
        b = RemovePart(b, n);
        t = b ^ n;
    } else if (IsZero(b)) {
        t = RemovePart(t, n);
        b = n ^ t;
    } else {
        t = RemovePart(t, n);
        if (TripleProduct(t, b, n) < 0) t = -t;
        if (IsZero(t)) {
            b = RemovePart(b, n);
            t = b ^ n;
        } else {
            // Both projections are taken from b as it was before this step.
            b = b - PartAlong(b, n) - PartAlong(b, t);
            if (TripleProduct(t, b, n) < 0) b = -b;
        }
    }
    if (!IsZero(t)) t = Normalize(t);
    if (!IsZero(b)) b = Normalize(b);
    if (!IsZero(n)) n = Normalize(n);
}
