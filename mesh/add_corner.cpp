#include <algorithm>
#include <cmath>

#include "mesh/mesh_data.h"

namespace {

constexpr float kCornerEpsilon = 1e-6f;
constexpr float kWhite[4] = {1.0f, 1.0f, 1.0f, 1.0f};

bool Near(float a, float b) { return std::abs(a - b) <= kCornerEpsilon; }

bool SameColor(const Color& a, const Color& b) { return Near(a.r, b.r) && Near(a.g, b.g) && Near(a.b, b.b); }

// The record at slot against corner; the cheapest tests come first. Without a colour pool
// every stored record is white and opaque.
bool SameCorner(const XMeshData& data, uint32_t slot, const XMeshCorner& corner, const float* uv) {
    const XMeshCornerRecord& stored = data.cornerPool[slot];
    if (!stored.normal.Equals(corner.normal, kCornerEpsilon)) return false;
    if (stored.mtlIndex != corner.mtlIndex) return false;
    const float* c = data.colorPool.empty() ? kWhite : data.colorPool.data() + size_t(slot) * 4;
    if (!SameColor(Color(c[0], c[1], c[2]), corner.color)) return false;
    if (!(c[3] == corner.alpha)) return false;  // a NaN never equals
    const float* storedUv = data.Uv(slot);
    for (uint32_t i = 0; i < data.uvStride; ++i)
        if (!Near(storedUv[i], uv[i])) return false;
    return true;
}

}  // namespace

uint32_t AddCorner(XMeshData& data, uint32_t positionIndex, const XMeshCorner& corner, const float* uv) {
    // A record's slot is its export vertex.
    CornerRange& range = data.positions[positionIndex].corners;
    if (data.compacted) {
        for (uint32_t i = 0; i < range.count; ++i) {
            const uint32_t slot = data.slotVertex[range.first + i];
            if (SameCorner(data, slot, corner, uv)) return slot;
        }
        return range.count ? data.slotVertex[range.first] : 0;
    }

    // The chain visits the records in creation order, so the first equal one wins.
    uint32_t last = kNoVertex;
    for (uint32_t slot = range.count ? range.first : kNoVertex; slot != kNoVertex; slot = data.slotVertex[slot]) {
        if (SameCorner(data, slot, corner, uv)) return slot;
        last = slot;
    }

    const uint32_t vertexIndex = static_cast<uint32_t>(data.vertices.size());
    if (last == kNoVertex)
        range.first = vertexIndex;
    else
        data.slotVertex[last] = vertexIndex;
    data.slotVertex.push_back(kNoVertex);
    data.cornerPool.push_back({corner.normal, corner.mtlIndex});
    if (data.hasVertexColors || data.hasVertexAlpha) {
        const float color[4] = {corner.color.r, corner.color.g, corner.color.b, corner.alpha};
        data.colorPool.insert(data.colorPool.end(), color, color + 4);
    }
    data.uvPool.insert(data.uvPool.end(), uv, uv + data.uvStride);
    XMeshVertex& vertex = data.vertices.emplace_back();
    vertex.positionIndex = positionIndex;
    vertex.cornerIndex = range.count;
    ++range.count;
    return vertexIndex;
}

namespace {

// Gives a list its exact size when its spare capacity is small enough to sit in the allocator's
// heap, where it would be memory in use; a large block is mapped on its own, and the pages of
// its untouched capacity are never made resident, so copying it would only cost time.
template <class T>
void ShrinkSmall(std::vector<T>& list) {
    constexpr size_t kMappedBytes = size_t(64) << 10;
    if (list.capacity() * sizeof(T) < kMappedBytes) list.shrink_to_fit();
}

}  // namespace

void CompactCornerPool(XMeshData& data) {
    if (data.compacted) return;
    // Slices in position order; a record's place in its slice is its cornerIndex.
    uint32_t first = 0;
    for (XMeshPosition& position : data.positions) {
        position.corners.first = first;
        first += position.corners.count;
    }
    std::vector<uint32_t> packed(data.vertices.size());
    for (uint32_t k = 0; k < data.vertices.size(); ++k) {
        const XMeshVertex& vertex = data.vertices[k];
        packed[data.positions[vertex.positionIndex].corners.first + vertex.cornerIndex] = k;
    }
    data.slotVertex = std::move(packed);
    data.compacted = true;
    ShrinkSmall(data.cornerPool);
    ShrinkSmall(data.colorPool);
    ShrinkSmall(data.uvPool);
    ShrinkSmall(data.vertices);
}
