#include "skin/point_search.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr uint32_t kLeafSize = 8;
constexpr int kMaxDepth = 48;
// Boxes are skipped only when farther than the best by this relative margin, so that rounding
// in the box distance never hides a point at the best distance.
constexpr double kPruneMargin = 1e-4;

// Squared distance from q to the box, in double; 0 inside.
double BoxDistanceSquared(const Point3& q, const Point3& lo, const Point3& hi) {
    double sum = 0;
    for (int a = 0; a < 3; ++a) {
        const double v = q[a];
        const double d = v < lo[a] ? double(lo[a]) - v : v > hi[a] ? v - double(hi[a]) : 0.0;
        sum += d * d;
    }
    return sum;
}

// The best value as a squared distance in double, for comparison with a box distance.
double AsSquared(float value, PointMetric metric) {
    const double v = value;
    return metric == PointMetric::Distance ? v * v : v;
}

}  // namespace

float PointDistance(const Point3& a, const Point3& b, PointMetric metric) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    const float squared = dx * dx + dy * dy + dz * dz;
    return metric == PointMetric::Distance ? std::sqrt(squared) : squared;
}

PointSearch::PointSearch(std::span<const Point3> points) : points_(points) {
    order_.resize(points.size());
    for (uint32_t i = 0; i < order_.size(); ++i) order_[i] = i;
    if (!order_.empty()) {
        nodes_.reserve(2 * (order_.size() / kLeafSize + 1));
        Build(0, static_cast<uint32_t>(order_.size()), 0);
    }
}

uint32_t PointSearch::Build(uint32_t first, uint32_t count, int depth) {
    const uint32_t index = static_cast<uint32_t>(nodes_.size());
    nodes_.push_back({});
    Point3 lo = points_[order_[first]], hi = lo;
    for (uint32_t i = first + 1; i < first + count; ++i) {
        const Point3& p = points_[order_[i]];
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], p[a]);
            hi[a] = std::max(hi[a], p[a]);
        }
    }
    nodes_[index].lo = lo;
    nodes_[index].hi = hi;
    int axis = 0;
    for (int a = 1; a < 3; ++a)
        if (hi[a] - lo[a] > hi[axis] - lo[axis]) axis = a;
    if (count <= kLeafSize || depth >= kMaxDepth || !(hi[axis] > lo[axis])) {
        nodes_[index].first = first;
        nodes_[index].count = count;
        return index;
    }
    const uint32_t half = count / 2;
    auto begin = order_.begin() + first;
    std::nth_element(begin, begin + half, begin + count,
                     [&](uint32_t x, uint32_t y) { return points_[x][axis] < points_[y][axis]; });
    const uint32_t left = Build(first, half, depth + 1);
    const uint32_t right = Build(first + half, count - half, depth + 1);
    nodes_[index].left = left;
    nodes_[index].right = right;
    return index;
}

void PointSearch::FindEqual(uint32_t node, const Point3& q, int32_t& best) const {
    const Node& n = nodes_[node];
    for (int a = 0; a < 3; ++a)
        if (!(q[a] >= n.lo[a] && q[a] <= n.hi[a])) return;
    if (n.count == 0) {
        FindEqual(n.left, q, best);
        FindEqual(n.right, q, best);
        return;
    }
    for (uint32_t i = n.first; i < n.first + n.count; ++i) {
        const uint32_t k = order_[i];
        const Point3& p = points_[k];
        if (p.x == q.x && p.y == q.y && p.z == q.z && (best < 0 || k < static_cast<uint32_t>(best)))
            best = static_cast<int32_t>(k);
    }
}

int32_t PointSearch::FirstEqual(const Point3& q) const {
    int32_t best = -1;
    if (!nodes_.empty()) FindEqual(0, q, best);
    return best;
}

void PointSearch::FindNearest(uint32_t node, const Point3& q, PointMetric metric, float& bestValue,
                              int32_t& best) const {
    const Node& n = nodes_[node];
    if (BoxDistanceSquared(q, n.lo, n.hi) > AsSquared(bestValue, metric) * (1.0 + kPruneMargin)) return;
    if (n.count == 0) {
        // The nearer child first, so that the best shrinks early.
        const Node& l = nodes_[n.left];
        const Node& r = nodes_[n.right];
        if (BoxDistanceSquared(q, l.lo, l.hi) <= BoxDistanceSquared(q, r.lo, r.hi)) {
            FindNearest(n.left, q, metric, bestValue, best);
            FindNearest(n.right, q, metric, bestValue, best);
        } else {
            FindNearest(n.right, q, metric, bestValue, best);
            FindNearest(n.left, q, metric, bestValue, best);
        }
        return;
    }
    for (uint32_t i = n.first; i < n.first + n.count; ++i) {
        const uint32_t k = order_[i];
        const float value = PointDistance(points_[k], q, metric);
        if (value < bestValue || (value == bestValue && best >= 0 && k < static_cast<uint32_t>(best))) {
            bestValue = value;
            best = static_cast<int32_t>(k);
        }
    }
}

int32_t PointSearch::Nearest(const Point3& q, PointMetric metric, float limit, float* distance) const {
    int32_t best = -1;
    float bestValue = limit;
    if (!nodes_.empty()) FindNearest(0, q, metric, bestValue, best);
    if (distance) *distance = bestValue;
    return best;
}

int32_t PointSearch::Match(const Point3& q, float limit) const {
    const int32_t equal = FirstEqual(q);
    return equal >= 0 ? equal : Nearest(q, PointMetric::Distance, limit);
}

int32_t PointSearch::EqualOrNearest(const Point3& q) const {
    if (points_.empty()) return -1;
    const int32_t equal = FirstEqual(q);
    if (equal >= 0) return equal;
    const int32_t nearest = Nearest(q, PointMetric::SquaredDistance, std::numeric_limits<float>::infinity());
    return nearest >= 0 ? nearest : 0;  // every distance overflowed: the walk keeps its first point
}
