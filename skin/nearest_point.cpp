#include <limits>

#include "scene/xnode.h"
#include "skin/point_search.h"
#include "skin/skin_info.h"

int32_t NearestSourcePoint(const XRenderableNode& node, const Point3& q) {
    const std::vector<Point3>& points = node.objectPoints;
    if (points.empty()) return -1;
    for (size_t j = 0; j < points.size(); ++j)
        if (points[j].x == q.x && points[j].y == q.y && points[j].z == q.z) return static_cast<int32_t>(j);
    int32_t best = 0;
    float bestValue = std::numeric_limits<float>::infinity();
    for (size_t j = 0; j < points.size(); ++j) {
        const float value = PointDistance(points[j], q, PointMetric::SquaredDistance);
        if (value < bestValue) {
            bestValue = value;
            best = static_cast<int32_t>(j);
        }
    }
    return best;
}

bool PointOutsideTriangle(const Point3& p, const Point3& a, const Point3& b, const Point3& c) {
    auto same = [](const Point3& x, const Point3& y) { return x.x == y.x && x.y == y.y && x.z == y.z; };
    if (same(p, a) || same(p, b) || same(p, c)) return true;
    const Point3 normal = CrossProd(b - a, c - a);
    const Point3 u = a - p, v = b - p, w = c - p;
    return DotProd(CrossProd(u, v), normal) < 0 || DotProd(CrossProd(v, w), normal) < 0 ||
           DotProd(CrossProd(w, u), normal) < 0;
}
