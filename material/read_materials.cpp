#include "material/read_materials.h"

#include <algorithm>
#include <deque>
#include <unordered_set>

#include "material/material_classify.h"
#include "material/texture_paths.h"
#include "material/uv_transform.h"
#include "options/export_options.h"
#include "core/names.h"
#include "core/paths.h"
#include "sdk/material.h"

namespace material_detail {

void SetAddressModes(XTextureSlot& slot, int tiling) {
    slot.addressU = (tiling & kUTile) ? kAddressWrap : (tiling & kUMirror) ? kAddressMirror : kAddressClamp;
    slot.addressV = (tiling & kVTile) ? kAddressWrap : (tiling & kVMirror) ? kAddressMirror : kAddressClamp;
}

void FillBitmapSlot(const MaterialReadContext& context, XMaterial& material, XTextureSlot& slot, BitmapTex* bitmap) {
    slot.textureName = UniqueTextureName(material, bitmap->GetName());
    slot.uvTransform = MakeUvTransform(bitmap);
    SetAddressModes(slot, bitmap->GetTextureTiling());
    const std::string file = HostString(bitmap->GetMapName());
    slot.fileName = FileNameOf(file);
    slot.sourcePath = ResolveTexturePath(file, context.directories, context.texturePaths);
    slot.mapChannel = bitmap->GetMapChannel();
}

Texmap* UnwrapNormalBump(Texmap* map, XTextureSlot& slot) {
    if (!IsNormalBump(map)) return map;
    Texmap* sub = map->NumSubTexmaps() > 0 ? map->GetSubTexmap(0) : nullptr;
    if (sub != nullptr && IsBitmapTex(sub)) slot.usage = kTextureNormal;
    return sub;
}

std::unique_ptr<XMaterial> DemoteIfPlain(const MaterialReadContext& context, std::unique_ptr<XEffectMaterial> effect) {
    const int channels = context.meshChannelCount;
    bool plain = context.options.FX == 0 || channels == 0;
    if (!plain && channels == 1 && effect->UsedSlotCount() == 1) {
        const auto used = std::find_if(effect->slots.begin(), effect->slots.end(),
                                       [](const XTextureSlot& slot) { return slot.used(); });
        plain = used->usage == kTextureMain;
    }
    if (plain) return XMaterial::PlainCopy(*effect);
    return effect;
}

}  // namespace material_detail

using namespace material_detail;

namespace {

// Material graphs from a host are trees, but a shared or cyclic sub-material must not make the
// search run forever.
constexpr int kMaxChainDepth = 1024;

// Follows sub-material 0 while the material has sub-materials. Sets metEmpty when a slot on
// the way is empty (the result is then null).
Mtl* FollowFirstSubMaterial(Mtl* material, bool& metEmpty) {
    metEmpty = false;
    for (int depth = 0; material != nullptr && material->NumSubMtls() > 0; ++depth) {
        if (depth == kMaxChainDepth) return nullptr;
        material = material->GetSubMtl(0);
        if (material == nullptr) metEmpty = true;
    }
    return material;
}

void ReadStandardSlots(const MaterialReadContext& context, StdMat2& standard, XEffectMaterial& record) {
    for (int i = 0; i < kTextureSlotCount; ++i) {
        const int hostSlot = i + 1;  // after the ambient map
        if (!standard.MapEnabled(hostSlot)) continue;
        Texmap* map = standard.GetSubTexmap(hostSlot);
        if (map == nullptr) continue;
        XTextureSlot& slot = record.slots[i];
        map = UnwrapNormalBump(map, slot);
        if (map == nullptr) continue;
        if (BitmapTex* bitmap = AsBitmapTex(map)) {
            if (i == 0) slot.usage = kTextureMain;
            FillBitmapSlot(context, record, slot, bitmap);
            continue;
        }
        const int channel = map->GetMapChannel();
        if (channel < 1) continue;
        if (context.options.VertexColor && IsVertexColorMap(map)) continue;
        slot.textureName = UniqueTextureName(record, map->GetName());
        slot.fileName = slot.textureName + ".bmp";
        slot.sourcePath = slot.fileName;
        slot.uvTransform = MakeUvTransform(map);
        SetAddressModes(slot, map->GetTextureTiling());
        slot.mapChannel = channel;
        slot.procMap = map;
        if (i == 0) slot.usage = kTextureMain;
    }
}

std::unique_ptr<XMaterial> ReadStandard(const MaterialReadContext& context, StdMat2& standard) {
    auto record = std::make_unique<XEffectMaterial>();
    record->name = SanitizeXName(HostString(standard.GetName()));
    ReadStandardSlots(context, standard, *record);

    record->power = standard.GetShininess() * 100;
    record->emissive = standard.GetSelfIllumColorOn() ? standard.GetSelfIllumColor() : Color(0, 0, 0);
    const bool diffuseMapped = record->slots[0].used();
    const Color diffuse = (diffuseMapped && !context.options.DiffuseMapColor) ? Color(1, 1, 1) : standard.GetDiffuse();
    record->diffuse = AColor(diffuse.r, diffuse.g, diffuse.b, 1 - standard.GetXParency());
    const Color specular = standard.GetSpecular();
    const float strength = standard.GetShinStr();
    record->specular = Color(specular.r * strength * 0.1f, specular.g * strength * 0.1f, specular.b * strength * 0.1f);
    return DemoteIfPlain(context, std::move(record));
}

}  // namespace

std::string UniqueTextureName(const XMaterial& material, const char* mapName) {
    std::string name = SanitizeXName(HostString(mapName));
    for (;;) {
        const bool taken = std::any_of(material.slots.begin(), material.slots.end(),
                                       [&](const XTextureSlot& slot) { return slot.textureName == name; });
        if (!taken) return name;
        name += '_';
    }
}

std::unique_ptr<XMaterial> ReadStandardMaterial(const MaterialReadContext& context, Mtl* material) {
    if (material == nullptr) return nullptr;
    bool metEmpty = false;
    StdMat2* standard = AsStandardMaterial(FollowFirstSubMaterial(material, metEmpty));
    if (standard == nullptr) {
        // Breadth first from the top: the first standard material wins, an empty slot ends
        // the search with the error record.
        std::deque<Mtl*> queue{material};
        std::unordered_set<Mtl*> seen{material};
        while (!queue.empty() && standard == nullptr) {
            Mtl* current = queue.front();
            queue.pop_front();
            if (current == nullptr) return std::make_unique<XMaterial>("_ErrorSubMtl");
            standard = AsStandardMaterial(current);
            if (standard != nullptr) break;
            const int count = current->NumSubMtls();
            for (int i = 0; i < count; ++i) {
                Mtl* sub = current->GetSubMtl(i);
                if (sub == nullptr || seen.insert(sub).second) queue.push_back(sub);
            }
        }
        if (standard == nullptr) return nullptr;
    }
    return ReadStandard(context, *standard);
}

std::unique_ptr<XMaterial> ReadOtherMaterial(const MaterialReadContext& context, Mtl* material) {
    bool metEmpty = false;
    material = FollowFirstSubMaterial(material, metEmpty);
    if (material == nullptr) return std::make_unique<XMaterial>("_ErrorOtherSubMtl");

    auto record = std::make_unique<XEffectMaterial>();
    record->name = SanitizeXName(HostString(material->GetName()));
    const int mapCount = std::min(material->NumSubTexmaps(), kTextureSlotCount);
    for (int i = 0; i < mapCount; ++i) {
        XTextureSlot& slot = record->slots[i];
        Texmap* map = UnwrapNormalBump(material->GetSubTexmap(i), slot);
        if (BitmapTex* bitmap = AsBitmapTex(map)) FillBitmapSlot(context, *record, slot, bitmap);
    }

    record->power = material->GetShininess() * 100;
    record->emissive = material->GetSelfIllumColorOn() ? material->GetSelfIllumColor() : Color(0, 0, 0);
    const Color specular = material->GetSpecular();
    const float strength = material->GetShinStr();
    record->specular = Color(specular.r * strength * 0.1f, specular.g * strength * 0.1f, specular.b * strength * 0.1f);

    if (record->UsedSlotCount() > 0) {
        for (XTextureSlot& slot : record->slots) {
            if (slot.usage == kTextureOrdinary && !slot.textureName.empty() && !slot.fileName.empty()) {
                slot.usage = kTextureMain;
                break;
            }
        }
    }
    if (record->MainSlot() >= 0 && !context.options.DiffuseMapColor) {
        record->diffuse = AColor(1, 1, 1, 1);
    } else {
        const Color diffuse = material->GetDiffuse();
        record->diffuse = AColor(diffuse.r, diffuse.g, diffuse.b, 1 - material->GetXParency());
    }
    return DemoteIfPlain(context, std::move(record));
}
