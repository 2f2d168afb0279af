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
    for (uint32_t i = 0; i < range.count; ++i) {
        const uint32_t slot = range.first + i;
        if (SameCorner(data.cornerPool[slot], data.Uv(slot), corner, uv, stride))
            return data.cornerPool[slot].vertexIndex;
    }

    // Capacities count the face corners of each position, so a slice never fills up while the
    // faces are walked once.
    assert(range.count < range.capacity);
    if (range.count >= range.capacity) return range.count ? data.cornerPool[range.first].vertexIndex : 0;

    const uint32_t slot = range.first + range.count;
    const uint32_t vertexIndex = static_cast<uint32_t>(data.vertices.size());
    XMeshCorner& stored = data.cornerPool[slot];
    stored = corner;
    stored.vertexIndex = vertexIndex;
    for (uint32_t i = 0; i < stride; ++i) data.uvPool[size_t(slot) * stride + i] = uv[i];
    XMeshVertex& vertex = data.vertices.emplace_back();
    vertex.positionIndex = positionIndex;
    vertex.cornerIndex = range.count;
    ++range.count;
    return vertexIndex;
}

void CompactCornerPool(XMeshData& data) {
    const size_t used = data.vertices.size();
    if (used == data.cornerPool.size()) return;
    const uint32_t stride = data.uvStride;
    std::vector<XMeshCorner> pool(used);
    std::vector<float> uvPool(used * stride);
    uint32_t first = 0;
    for (XMeshPosition& position : data.positions) {
        CornerRange& range = position.corners;
        std::copy_n(data.cornerPool.begin() + range.first, range.count, pool.begin() + first);
        std::copy_n(data.uvPool.begin() + size_t(range.first) * stride, size_t(range.count) * stride,
                    uvPool.begin() + size_t(first) * stride);
        range.first = first;
        range.capacity = range.count;
        first += range.count;
    }
    data.cornerPool = std::move(pool);
    data.uvPool = std::move(uvPool);
    data.vertices.shrink_to_fit();
}
