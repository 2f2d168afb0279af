#include "material/xmaterial.h"

#include <utility>

std::unique_ptr<XMaterial> XMaterial::PlainCopy(const XMaterial& other) {
    auto copy = std::make_unique<XMaterial>(other.name);
    copy->diffuse = other.diffuse;
    copy->power = other.power;
    copy->specular = other.specular;
    copy->emissive = other.emissive;
    copy->slots = other.slots;
    return copy;
}

int XMaterial::MainSlot() const {
    for (int i = 0; i < kTextureSlotCount; ++i)
        if (slots[i].usage == kTextureMain && slots[i].used()) return i;
    return -1;
}

int XMaterial::UsedSlotCount() const {
    int count = 0;
    for (const XTextureSlot& slot : slots) count += slot.used() ? 1 : 0;
    return count;
}

const XMaterial* ResolveMaterialEntry(const XMaterialEntry* entry, const XMaterialTable& table) {
    if (entry == nullptr) return nullptr;
    if (entry->kind == kMaterialRef) {
        const auto index = static_cast<const XMaterialRef*>(entry)->index;
        return index < table.size() ? table[index].get() : nullptr;
    }
    return static_cast<const XMaterial*>(entry);
}

XMaterial* ResolveMaterialEntry(XMaterialEntry* entry, XMaterialTable& table) {
    return const_cast<XMaterial*>(
        ResolveMaterialEntry(static_cast<const XMaterialEntry*>(entry), std::as_const(table)));
}
