// Classification of host materials and texture maps by class and interface identifier.
#pragma once

class Mtl;
class StdMat2;
class Texmap;
class BitmapTex;
class IDxMaterial;

// The standard material (either class variant), or null.
StdMat2* AsStandardMaterial(Mtl* material);
// The bitmap texture, or null.
BitmapTex* AsBitmapTex(Texmap* texmap);
inline bool IsBitmapTex(Texmap* texmap) { return AsBitmapTex(texmap) != nullptr; }
bool IsNormalBump(Texmap* texmap);
bool IsVertexColorMap(Texmap* texmap);
// True when the material answers the DirectX shader material query.
bool IsDxMaterial(Mtl* material);
// The effect-bitmap interface of a DirectX shader material, or null.
IDxMaterial* GetDxEffectBitmaps(Mtl* material);
