#include "material/material_classify.h"

#include "sdk/material.h"
#include "sdk/material_classes.h"

// The class identifier decides; the cast only guards against a host object that claims a class
// without implementing its interface.
StdMat2* AsStandardMaterial(Mtl* material) {
    if (material == nullptr) return nullptr;
    const Class_ID id = material->ClassID();
    if (id != kStandardMaterialClassId && id != kStandardMaterial2ClassId) return nullptr;
    return dynamic_cast<StdMat2*>(material);
}

BitmapTex* AsBitmapTex(Texmap* texmap) {
    if (texmap == nullptr || texmap->ClassID() != kBitmapTexClassId) return nullptr;
    return dynamic_cast<BitmapTex*>(texmap);
}

bool IsNormalBump(Texmap* texmap) { return texmap != nullptr && texmap->ClassID() == kNormalBumpClassId; }

bool IsVertexColorMap(Texmap* texmap) {
    return texmap != nullptr && texmap->ClassID() == kVertexColorMapClassId;
}

bool IsDxMaterial(Mtl* material) {
    return material != nullptr && material->GetInterface(kDxMaterialInterfaceId) != nullptr;
}

IDxMaterial* GetDxEffectBitmaps(Mtl* material) {
    if (material == nullptr) return nullptr;
    return static_cast<IDxMaterial*>(material->GetInterface(kDxEffectBitmapInterfaceId));
}
