#include <algorithm>
#include <cassert>
#include <cmath>

#include "mesh/mesh_data.h"

namespace {

constexpr float kCornerEpsilon = 1e-6f;

bool Near(float a, float b) { return std::abs(a - b) <= kCornerEpsilon; }

bool SameColor(const Color& a, const Color& b) { return Near(a.r, b.r) && Near(a.g, b.g) && Near(a.b, b.b); }

// The order of the tests is the order of the record's fields; the cheapest come first.
bool SameCorner(const XMeshCorner& stored, const float* storedUv, const XMeshCorner& corner, const float* uv,
                uint32_t uvStride) {
    if (!stored.normal.Equals(corner.normal, kCornerEpsilon)) return false;
    if (!SameColor(stored.color, corner.color)) return false;
    if (!(stored.alpha == corner.alpha)) return false;  // a NaN never equals
    if (stored.mtlIndex != corner.mtlIndex) return false;
    for (uint32_t i = 0; i < uvStride; ++i)
        if (!Near(storedUv[i], uv[i])) return false;
    return true;
}

}  // namespace

uint32_t AddCorner(XMeshData& data, uint32_t positionIndex, const XMeshCorner& corner, const float* uv) {
    CornerRange& range = data.positions[positionIndex].corners;
    const uint32_t stride = data.uvStride;
    const bool building = !data.slotVertex.empty();
    // The record of the position's i-th entry: listed in its slice while building, laid out
    // by position afterwards.
    const auto record = [&](uint32_t i) { return building ? data.slotVertex[range.first + i] : range.first + i; };
    for (uint32_t i = 0; i < range.count; ++i) {
        const uint32_t r = record(i);
        if (SameCorner(data.cornerPool[r], data.Uv(r), corner, uv, stride)) return data.cornerPool[r].vertexIndex;
    }

    // Capacities count the face corners of each position, so a slice never fills up while the
    // faces are walked once.
    assert(!building || range.count < range.capacity);
    if (!building || range.count >= range.capacity) return range.count ? data.cornerPool[record(0)].vertexIndex : 0;

    const uint32_t vertexIndex = static_cast<uint32_t>(data.vertices.size());
    data.slotVertex[range.first + range.count] = vertexIndex;
    XMeshCorner& stored = data.cornerPool.emplace_back(corner);
    stored.vertexIndex = vertexIndex;
    data.uvPool.insert(data.uvPool.end(), uv, uv + stride);
    XMeshVertex& vertex = data.vertices.emplace_back();
    vertex.positionIndex = positionIndex;
    vertex.cornerIndex = range.count;
    ++range.count;
    return vertexIndex;
}

void CompactCornerPool(XMeshData& data) {
    if (data.slotVertex.empty()) return;
    const uint32_t stride = data.uvStride;
    std::vector<XMeshCorner> pool(data.vertices.size());
    std::vector<float> uvPool(pool.size() * stride);
    uint32_t first = 0;
    for (XMeshPosition& position : data.positions) {
        CornerRange& range = position.corners;
        for (uint32_t i = 0; i < range.count; ++i) {
            const uint32_t v = data.slotVertex[range.first + i];
            pool[first + i] = data.cornerPool[v];
            std::copy_n(data.uvPool.begin() + size_t(v) * stride, stride, uvPool.begin() + size_t(first + i) * stride);
        }
        range.first = first;
        range.capacity = range.count;
        first += range.count;
    }
    data.cornerPool = std::move(pool);
    data.uvPool = std::move(uvPool);
    data.slotVertex = {};
    data.vertices.shrink_to_fit();
}
