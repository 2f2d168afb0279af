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
        if (point >= source.weights.size() || !source.weights[point].used) continue;
        const float add = source.weights[point].weight * factor;
        auto existing = target.bones.find(key);
        if (existing != target.bones.end()) {
            SkinWeight& e = existing->second.weights[position];
            e.weight += add;
            if (e.weight > 1.0f) e.weight = 1.0f;
            e.used = 1;
        } else {
            SkinBone& bone = target.Add(key, source.hostNode, source.name, source.offset, positionCount);
            bone.weights[position] = {add, 1};
        }
    }
}
