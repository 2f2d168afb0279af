#include <cmath>

#include "mesh/mesh_data.h"

namespace {

// True when channel positions k and j carry the same (u, v), within 1e-6, at every export
// vertex.
bool SameChannel(const XMeshData& data, uint32_t k, uint32_t j) {
    const uint32_t vertexCount = static_cast<uint32_t>(data.vertices.size());
    for (uint32_t v = 0; v < vertexCount; ++v) {
        const float* uv = data.Uv(data.VertexSlot(v));
        if (!(std::abs(uv[2 * k] - uv[2 * j]) <= 1e-6f) || !(std::abs(uv[2 * k + 1] - uv[2 * j + 1]) <= 1e-6f))
            return false;
    }
    return true;
}

}  // namespace

void MergeIdenticalChannels(XMeshData& data) {
    const uint32_t channelCount = data.UvwCount();
    if (channelCount == 0 || data.channelMap.size() < channelCount) return;
    for (uint32_t k = 1; k < channelCount; ++k) {
        for (uint32_t j = 0; j < k; ++j) {
            if (SameChannel(data, k, j)) {
                data.channelMap[k] = static_cast<int32_t>(j);
                break;
            }
        }
    }
}
