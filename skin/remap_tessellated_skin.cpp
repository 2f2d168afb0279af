#include <memory>
#include <optional>
#include <vector>

#include "core/progress.h"
#include "mesh/mesh_data.h"
#include "scene/xnode.h"
#include "skin/point_search.h"
#include "skin/skin_info.h"

namespace {

float HalfCrossLength(const Point3& x, const Point3& y) { return 0.5f * CrossProd(x, y).Length(); }

// Up to kSkinCandidateCount matched vertices nearest to a position, nearest first. A newcomer
// displaces a kept candidate only when strictly nearer.
struct Candidates {
    uint32_t vertex[kSkinCandidateCount] = {};
    float distance[kSkinCandidateCount] = {};
    uint32_t count = 0;

    void Offer(uint32_t v, float d) {
        uint32_t at = count;
        while (at > 0 && d < distance[at - 1]) --at;
        if (at >= kSkinCandidateCount) return;
        const uint32_t last = count < kSkinCandidateCount ? count : kSkinCandidateCount - 1;
        for (uint32_t k = last; k > at; --k) {
            vertex[k] = vertex[k - 1];
            distance[k] = distance[k - 1];
        }
        vertex[at] = v;
        distance[at] = d;
        if (count < kSkinCandidateCount) ++count;
    }
};

}  // namespace

bool RemapTessellatedSkin(XRenderableNode& node, ProgressMeter& meter) {
    if (!node.mesh || !node.meshData) return false;
    const Mesh& mesh = *node.mesh;
    const std::vector<Point3>& points = node.objectPoints;
    const uint32_t positionCount =
        static_cast<uint32_t>(std::min<size_t>(node.meshData->positions.size(), mesh.verts.size()));
    if (points.empty() || positionCount == 0) return false;
    if (!node.meshSkin) node.meshSkin = std::make_shared<XSkinInfo>();
    const std::span<const Point3> positions(mesh.verts.data(), positionCount);

    // The object point each position takes its weights from; -1: none.
    std::vector<int32_t> match(positionCount, -1);
    std::optional<PointSearch> pointSearch;
    if (node.kind == NurbsObject) {
        // Each control point goes to its nearest position; a position claimed twice keeps the
        // nearer point (the earlier one on a tie).
        const PointSearch positionSearch(positions);
        for (uint32_t j = 0; j < points.size(); ++j) {
            float d = 0;
            const int32_t i = positionSearch.Nearest(points[j], PointMetric::Distance, kTessellatedSearchStart, &d);
            if (i < 0) continue;
            int32_t& m = match[static_cast<size_t>(i)];
            if (m < 0 || PointDistance(positions[static_cast<size_t>(i)], points[static_cast<size_t>(m)],
                                       PointMetric::Distance) > d)
                m = static_cast<int32_t>(j);
        }
        for (uint32_t i = 0; i < positionCount; ++i) {
            if (match[i] >= 0) BlendSourceWeights(node, i, static_cast<uint32_t>(match[i]), 1.0f);
            meter.Step();
        }
    } else {
        pointSearch.emplace(points);
        for (uint32_t i = 0; i < positionCount; ++i) {
            const int32_t j = pointSearch->Match(positions[i], kSkinMatchDistance);
            if (j >= 0) {
                BlendSourceWeights(node, i, static_cast<uint32_t>(j), 1.0f);
                match[i] = j;
            }
            meter.Step();
        }
    }

    // Every other position: the nearest matched vertices found breadth first over the edges.
    const AdjEdgeList adjacency(mesh);
    const uint32_t adjacencyCount = static_cast<uint32_t>(adjacency.vertexEdgeFirst.size()) - 1;
    std::vector<uint32_t> visitedStamp(positionCount, 0);
    uint32_t stamp = 0;
    std::vector<uint32_t> frontier, ring, found;
    for (uint32_t i = 0; i < positionCount; ++i) {
        meter.Step();
        if (match[i] >= 0) continue;

        ++stamp;
        frontier.assign(1, i);
        visitedStamp[i] = stamp;
        found.clear();
        while (!frontier.empty()) {
            ring.swap(frontier);
            frontier.clear();
            for (uint32_t v : ring)
                if (match[v] >= 0) found.push_back(v);
            if (found.size() >= kSkinCandidateCount) break;
            for (uint32_t v : ring) {
                if (v >= adjacencyCount) continue;
                for (uint32_t e = adjacency.vertexEdgeFirst[v]; e < adjacency.vertexEdgeFirst[v + 1]; ++e) {
                    for (uint32_t u : adjacency.edges[adjacency.vertexEdges[e]].v) {
                        if (u >= positionCount || visitedStamp[u] == stamp) continue;
                        visitedStamp[u] = stamp;
                        frontier.push_back(u);
                    }
                }
            }
        }

        const Point3 p = positions[i];
        Candidates near;
        for (uint32_t v : found) near.Offer(v, PointDistance(p, positions[v], PointMetric::Distance));
        auto blend = [&](uint32_t k, float factor) {
            BlendSourceWeights(node, i, static_cast<uint32_t>(match[near.vertex[k]]), factor);
        };

        if (near.count == 0) {
            if (!pointSearch) pointSearch.emplace(points);
            BlendSourceWeights(node, i, static_cast<uint32_t>(pointSearch->EqualOrNearest(p)), 1.0f);
        } else if (near.count == 1) {
            blend(0, 1.0f);
        } else if (near.count == 2) {
            // Each candidate's factor is its own distance over the sum of both.
            const float sum = near.distance[0] + near.distance[1];
            if (sum == 0.0f) {
                blend(0, 1.0f);
            } else {
                if (near.distance[0] > 0.0f) blend(0, near.distance[0] / sum);
                if (near.distance[1] > 0.0f) blend(1, near.distance[1] / sum);
            }
        } else {
            const Point3 a = positions[near.vertex[0]], b = positions[near.vertex[1]], c = positions[near.vertex[2]];
            if (HalfCrossLength(b - a, c - a) == 0.0f) {
                blend(0, 1.0f);
            } else {
                float w[3];
                w[0] = HalfCrossLength(b - p, c - p);
                w[1] = HalfCrossLength(c - p, a - p);
                w[2] = PointOutsideTriangle(p, a, b, c) ? 0.0f : HalfCrossLength(a - p, b - p);
                const float total = w[0] + w[1] + w[2];
                if (total == 0.0f) {
                    blend(0, 1.0f);
                } else {
                    for (uint32_t k = 0; k < 3; ++k)
                        if (w[k] > 0.0f) blend(k, w[k] / total);
                }
            }
        }
    }
    SettleBlendedWeights(*node.meshSkin);
    return true;
}
