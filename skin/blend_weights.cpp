#include <algorithm>
#include <memory>

#include "mesh/mesh_data.h"
#include "scene/xnode.h"
#include "skin/skin_info.h"

void BlendSourceWeights(XRenderableNode& node, uint32_t position, uint32_t point, float factor) {
    if (!node.pointSkin) return;
    if (!node.meshSkin) node.meshSkin = std::make_shared<XSkinInfo>();
    XSkinInfo& target = *node.meshSkin;
    const size_t positionCount = node.meshData ? node.meshData->positions.size() : 0;
    if (position >= positionCount) return;
    for (const auto& [key, source] : node.pointSkin->bones) {
        const SkinWeight* from = source.Weight(point);
        if (!from) continue;
        const float add = from->weight * factor;
        auto existing = target.bones.find(key);
        SkinBone& bone = existing != target.bones.end()
                             ? existing->second
                             : target.Add(key, source.hostNode, source.name, source.offset);
        bone.weights.push_back({position, add});
    }
}

void SettleBlendedWeights(XSkinInfo& skin) {
    const auto byPoint = [](const SkinWeight& a, const SkinWeight& b) { return a.point < b.point; };
    for (auto& [key, bone] : skin.bones) {
        std::vector<SkinWeight>& list = bone.weights;
        if (list.empty()) continue;
        // The entry that made the bone is taken as it is; any other first addition to a
        // position is added to zero and capped like the rest.
        const uint32_t made = list.front().point;
        if (!std::is_sorted(list.begin(), list.end(), byPoint)) std::stable_sort(list.begin(), list.end(), byPoint);
        size_t out = 0;
        for (size_t i = 0; i < list.size();) {
            const uint32_t p = list[i].point;
            float w = list[i].weight;
            if (p != made) {
                w = 0.0f + w;
                if (w > 1.0f) w = 1.0f;
            }
            for (++i; i < list.size() && list[i].point == p; ++i) {
                w += list[i].weight;
                if (w > 1.0f) w = 1.0f;
            }
            list[out++] = {p, w};
        }
        list.resize(out);
        list.shrink_to_fit();
    }
}
