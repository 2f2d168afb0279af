#include <cmath>

#include "mesh/mesh_data.h"

namespace {

constexpr float kCornerEpsilon = 1e-6f;
constexpr float kWhite[4] = {1.0f, 1.0f, 1.0f, 1.0f};

bool Near(float a, float b) { return std::abs(a - b) <= kCornerEpsilon; }

bool NearPoint(const Point3& a, const Point3& b) { return Near(a.x, b.x) && Near(a.y, b.y) && Near(a.z, b.z); }

// The record of export vertex v against corner; the cheapest tests come first. Without a
// colour pool every stored record is white and opaque.
bool SameCorner(const XMeshData& data, uint32_t v, const XMeshCorner& corner, const float* uv) {
    if (!NearPoint(data.normals[v], corner.normal)) return false;
    const float* c = data.colorPool.empty() ? kWhite : data.colorPool.data() + size_t(v) * 4;
    if (!Near(c[0], corner.color.r) || !Near(c[1], corner.color.g) || !Near(c[2], corner.color.b)) return false;
    if (!(c[3] == corner.alpha)) return false;  // a NaN never equals
    const float* storedUv = data.Uv(v);
    for (uint32_t i = 0; i < data.uvStride; ++i)
        if (!Near(storedUv[i], uv[i])) return false;
    return true;
}

// Gives a list its exact size when its spare capacity is small enough to sit in the allocator's
// heap, where it would be memory in use; a large block is mapped on its own, and the pages of
// its untouched capacity are never made resident, so copying it would only cost time.
template <class T>
void ShrinkSmall(std::vector<T>& list) {
    constexpr size_t kMappedBytes = size_t(64) << 10;
    if (list.capacity() * sizeof(T) < kMappedBytes) list.shrink_to_fit();
}

}  // namespace

CornerSharing::CornerSharing(uint32_t positionCount, size_t vertexBound, bool byMaterial)
    : first_(positionCount, kNoVertex), selfUnequal_(positionCount, false), byMaterial_(byMaterial) {
    if (byMaterial_) material_.reserve(vertexBound);
}

uint32_t CornerSharing::Add(XMeshData& data, uint32_t positionIndex, const XMeshCorner& corner, int32_t mtlIndex,
                            const float* uv) {
    // The chain visits the records in creation order, so the first equal one wins.
    uint32_t last = kNoVertex;
    for (uint32_t v = first_[positionIndex]; v != kNoVertex; v = v < next_.size() ? next_[v] : kNoVertex) {
        if ((!byMaterial_ || material_[v] == mtlIndex) && SameCorner(data, v, corner, uv)) return v;
        last = v;
    }

    const uint32_t vertexIndex = static_cast<uint32_t>(data.vertices.size());
    if (last == kNoVertex) {
        first_[positionIndex] = vertexIndex;
    } else {
        if (last >= next_.size()) next_.resize(size_t(last) + 1, kNoVertex);
        next_[last] = vertexIndex;
    }
    if (byMaterial_) material_.push_back(mtlIndex);
    data.normals.push_back(corner.normal);
    if (data.hasVertexColors || data.hasVertexAlpha) {
        const float color[4] = {corner.color.r, corner.color.g, corner.color.b, corner.alpha};
        data.colorPool.insert(data.colorPool.end(), color, color + 4);
    }
    data.uvPool.insert(data.uvPool.end(), uv, uv + data.uvStride);
    data.vertices.push_back({positionIndex});
    if (last == kNoVertex && !SameCorner(data, vertexIndex, corner, uv)) selfUnequal_[positionIndex] = true;
    return vertexIndex;
}

void TrimMeshData(XMeshData& data) {
    ShrinkSmall(data.normals);
    ShrinkSmall(data.colorPool);
    ShrinkSmall(data.uvPool);
    ShrinkSmall(data.vertices);
}
