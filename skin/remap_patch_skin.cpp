#include <memory>
#include <vector>

#include "core/messages.h"
#include "core/progress.h"
#include "mesh/mesh_data.h"
#include "scene/xnode.h"
#include "sdk/host.h"
#include "skin/point_search.h"
#include "skin/skin_info.h"

namespace {

float HalfCrossLength(const Point3& x, const Point3& y) { return 0.5f * CrossProd(x, y).Length(); }

// The mesh or its patch data cannot be read: the message, and no skin for the node.
bool PatchFault(ExportMessages& messages, XRenderableNode& node) {
    messages.Show(kPatchFaultText, kPatchFaultCaption, kMbOk | kMbIconStop);
    node.meshSkin.reset();
    return false;
}

}  // namespace

bool RemapPatchSkin(XRenderableNode& node, ProgressMeter& meter, ExportMessages& messages) {
    if (!node.patchMesh || !node.mesh || !node.meshData) return false;
    if (!node.meshSkin) node.meshSkin = std::make_shared<XSkinInfo>();
    const Mesh& mesh = *node.mesh;
    const PatchMesh& patches = *node.patchMesh;
    const uint32_t positionCount =
        static_cast<uint32_t>(std::min<size_t>(node.meshData->positions.size(), mesh.verts.size()));
    const PointSearch points(node.objectPoints);

    // Positions that are object points (or lie within the match distance of one) take its
    // weights unchanged.
    std::vector<uint8_t> done(positionCount, 0);
    for (uint32_t i = 0; i < positionCount; ++i) {
        const int32_t j = points.Match(mesh.verts[i], kSkinMatchDistance);
        if (j >= 0) {
            BlendSourceWeights(node, i, static_cast<uint32_t>(j), 1.0f);
            done[i] = 1;
        }
        meter.Step();
    }

    // The object point of every patch corner vertex.
    std::vector<int32_t> cornerPoint(patches.verts.size());
    for (size_t k = 0; k < patches.verts.size(); ++k) cornerPoint[k] = points.EqualOrNearest(patches.verts[k].p);

    // Every other position reached by a face is interpolated over the corners of its patch.
    const uint32_t faceCount = node.meshData->faceCount;
    if (faceCount > 0 && mesh.faces.size() < faceCount) return PatchFault(messages, node);
    for (uint32_t f = 0; f < faceCount; ++f) {
        if (f >= node.patchTable.size() || node.patchTable[f] < 0 ||
            static_cast<size_t>(node.patchTable[f]) >= patches.patches.size())
            return PatchFault(messages, node);
        const Patch& patch = patches.patches[static_cast<size_t>(node.patchTable[f])];
        const int cornerCount = patch.type == 4 ? 4 : 3;
        for (int k = 0; k < cornerCount; ++k)
            if (patch.v[k] >= patches.verts.size()) return PatchFault(messages, node);
        Point3 corner[4];
        int32_t source[4] = {-1, -1, -1, -1};
        for (int k = 0; k < cornerCount; ++k) {
            corner[k] = patches.verts[patch.v[k]].p;
            source[k] = cornerPoint[patch.v[k]];
        }
        auto blend = [&](uint32_t v, int k, float factor) {
            if (source[k] >= 0) BlendSourceWeights(node, v, static_cast<uint32_t>(source[k]), factor);
        };

        for (uint32_t v : mesh.faces[f].v) {
            if (v >= positionCount || done[v]) continue;
            const Point3 p = mesh.verts[v];
            float w[4] = {0, 0, 0, 0};
            if (cornerCount == 3) {
                w[0] = HalfCrossLength(corner[1] - p, corner[2] - p);
                w[1] = HalfCrossLength(corner[2] - p, corner[0] - p);
                w[2] = HalfCrossLength(corner[0] - p, corner[1] - p);
            } else {
                float q[4];
                for (int k = 0; k < 4; ++k) q[k] = HalfCrossLength(corner[k] - p, corner[(k + 1) % 4] - p);
                w[0] = q[1] * q[2];
                w[1] = q[2] * q[3];
                w[2] = q[3] * q[0];
                w[3] = q[0] * q[1];
            }
            float total = 0;
            for (int k = 0; k < cornerCount; ++k) total += w[k];
            if (total == 0.0f) {
                blend(v, 0, 1.0f);
            } else {
                for (int k = 0; k < cornerCount; ++k)
                    if (w[k] > 0.0f) blend(v, k, w[k] / total);
            }
            done[v] = 1;
        }
        meter.Step();
    }
    SettleBlendedWeights(*node.meshSkin);
    return true;
}
