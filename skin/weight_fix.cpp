#include <algorithm>
#include <vector>

#include "scene/xnode.h"
#include "skin/skin_info.h"

void WeightFix(XRenderableNode& node, uint32_t pointCount, float limit) {
    if (!(limit > 0.0f) || !node.pointSkin) return;
    const float cap = std::min(1.0f, limit);
    XSkinInfo& skin = *node.pointSkin;

    // Sums and counts of the used entries, accumulated bone by bone in key order (the same
    // order of additions per point as walking the bones for each point).
    std::vector<float> sum(pointCount, 0.0f);
    std::vector<uint32_t> used(pointCount, 0);
    for (const auto& [key, bone] : skin.bones) {
        const uint32_t n = std::min<uint32_t>(pointCount, static_cast<uint32_t>(bone.weights.size()));
        for (uint32_t p = 0; p < n; ++p)
            if (bone.weights[p].used) {
                sum[p] += bone.weights[p].weight;
                ++used[p];
            }
    }
    std::vector<float> share(pointCount, 0.0f);
    bool any = false;
    for (uint32_t p = 0; p < pointCount; ++p) {
        const float deficit = 1.0f - sum[p];
        if (used[p] >= 1 && deficit > 0.0f && cap >= deficit) {
            share[p] = deficit / static_cast<float>(used[p]);
            any = true;
        }
    }
    if (!any) return;
    for (auto& [key, bone] : skin.bones) {
        const uint32_t n = std::min<uint32_t>(pointCount, static_cast<uint32_t>(bone.weights.size()));
        for (uint32_t p = 0; p < n; ++p)
            if (bone.weights[p].used) bone.weights[p].weight += share[p];
    }
}
