#include <algorithm>

#include "skin/skin_info.h"

SkinBone* XSkinInfo::Find(INode* boneHostNode) {
    auto key = keyOf_.find(boneHostNode);
    return key == keyOf_.end() ? nullptr : &bones.at(key->second);
}

const SkinBone* XSkinInfo::Find(INode* boneHostNode) const {
    auto key = keyOf_.find(boneHostNode);
    return key == keyOf_.end() ? nullptr : &bones.at(key->second);
}

SkinBone& XSkinInfo::Add(SkinBoneKey key, INode* boneHostNode, std::string name, const Matrix3& offset) {
    SkinBone& bone = bones[key];
    bone.hostNode = boneHostNode;
    bone.name = std::move(name);
    bone.offset = offset;
    bone.weights.clear();
    keyOf_[boneHostNode] = key;
    return bone;
}

const SkinWeight* SkinBone::Weight(uint32_t p) const {
    if (weights.empty() || p < weights.front().point || p > weights.back().point) return nullptr;
    const auto at = std::lower_bound(weights.begin(), weights.end(), p,
                                     [](const SkinWeight& e, uint32_t point) { return e.point < point; });
    return at != weights.end() && at->point == p ? &*at : nullptr;
}

SkinWeight* SkinBone::Weight(uint32_t p) {
    return const_cast<SkinWeight*>(static_cast<const SkinBone&>(*this).Weight(p));
}

uint32_t SkinBoneCount(const XSkinInfo& skin) { return static_cast<uint32_t>(skin.bones.size()); }

void VisitSkinBones(const XSkinInfo& skin, const std::function<void(INode*)>& visit) {
    for (const auto& [key, bone] : skin.bones) visit(bone.hostNode);
}
