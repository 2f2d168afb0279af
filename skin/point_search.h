// Nearest-point questions of the skin remapping, answered without comparing every position
// with every point.
//
// The remapping is described as walks over all points in index order: the first point equal to
// a query, else the one with the smallest distance, a later point winning only when strictly
// closer. PointSearch gives exactly those answers from a k-d tree: a candidate beats the best
// so far when its distance is smaller, or equal with a lower index, and a subtree is skipped
// only when its box is clearly farther than the best (with a margin for rounding), so no point
// that the walk could pick is ever skipped. Distances are computed as the walk computes them,
// in float.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sdk/math.h"

enum class PointMetric {
    Distance,         // sqrt of the float sum of squared differences
    SquaredDistance,  // the float sum of squared differences
};

// The distance of the walk between two points.
float PointDistance(const Point3& a, const Point3& b, PointMetric metric);

class PointSearch {
public:
    // Keeps a view of points: they must outlive the search and not change.
    explicit PointSearch(std::span<const Point3> points);

    // The lowest index of a point equal to q in all three coordinates; -1 when there is none.
    int32_t FirstEqual(const Point3& q) const;
    // The point with the smallest distance to q (the lowest index among equal distances),
    // provided that distance is strictly below limit; -1 otherwise. *distance receives it.
    int32_t Nearest(const Point3& q, PointMetric metric, float limit, float* distance = nullptr) const;
    // FirstEqual, else Nearest by Distance below limit.
    int32_t Match(const Point3& q, float limit) const;
    // FirstEqual, else the nearest by SquaredDistance without a limit; -1 only without points.
    int32_t EqualOrNearest(const Point3& q) const;

private:
    struct Node {
        Point3 lo, hi;           // tight box of the node's points
        uint32_t first = 0;      // leaf: its points are order[first .. first + count)
        uint32_t count = 0;      // 0 for an inner node
        uint32_t left = 0, right = 0;  // inner node: children
    };
    uint32_t Build(uint32_t first, uint32_t count, int depth);
    void FindEqual(uint32_t node, const Point3& q, int32_t& best) const;
    void FindNearest(uint32_t node, const Point3& q, PointMetric metric, float& bestValue, int32_t& best) const;

    std::span<const Point3> points_;
    std::vector<uint32_t> order_;
    std::vector<Node> nodes_;
};
