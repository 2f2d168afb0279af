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
        for (const SkinWeight& e : bone.weights) {
            if (e.point >= pointCount) break;
            sum[e.point] += e.weight;
            ++used[e.point];
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
        for (SkinWeight& e : bone.weights) {
            if (e.point >= pointCount) break;
            e.weight += share[e.point];
        }
    }
}
