// Helpers shared by the material readers.
#pragma once

#include <memory>
#include <string>

#include "material/collect_materials.h"

class BitmapTex;
class Texmap;

namespace material_detail {

// Host strings may be null.
inline std::string HostString(const char* text) { return text ? std::string(text) : std::string(); }

// Address modes from the tiling flags: wrap wins over mirror, else clamp.
void SetAddressModes(XTextureSlot& slot, int tiling);

// Fills slot from a bitmap texture: unique texture name, transform, address modes, file name,
// resolved source path and mapping channel. usage is left to the caller.
void FillBitmapSlot(const MaterialReadContext& context, XMaterial& material, XTextureSlot& slot, BitmapTex* bitmap);

// A normal-bump map stands for its first sub-map; usage becomes kTextureNormal when that is a
// bitmap texture. Returns the map to read (null to skip the slot).
Texmap* UnwrapNormalBump(Texmap* map, XTextureSlot& slot);

// The record kept for export: a plain copy of effect when the FX option is off, the mesh has no
// mapping channel, or it has one channel and effect uses exactly one slot, the main one.
std::unique_ptr<XMaterial> DemoteIfPlain(const MaterialReadContext& context, std::unique_ptr<XEffectMaterial> effect);

}  // namespace material_detail
