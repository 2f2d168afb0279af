#include "skin/skin_info.h"

// The skin record arrives with the skin issue; no record exists before it, so these are never
// reached with one.
uint32_t SkinBoneCount(const XSkinInfo& /*skin*/) { return 0; }
void VisitSkinBones(const XSkinInfo& /*skin*/, const std::function<void(INode*)>& /*visit*/) {}
