// Class and interface identifiers of the host's materials and texture maps, and the interface
// of DirectX shader materials.
#pragma once

#include "sdk/types.h"

// Materials.
inline constexpr Class_ID kStandardMaterialClassId{0x00000002, 0};
inline constexpr Class_ID kStandardMaterial2ClassId{0x00000003, 0};  // the second variant
inline constexpr Class_ID kMultiMaterialClassId{0x00000200, 0};
// Any other material class the stand-in host offers through the generic material interface.
inline constexpr Class_ID kGenericMaterialClassId{0x5A3C1E01, 0x1C7B2D40};
inline constexpr Class_ID kDxMaterialClassId{0x0ED995E4, 0x6133DAF2};

// Texture maps.
inline constexpr Class_ID kBitmapTexClassId{0x00000240, 0};
inline constexpr Class_ID kNormalBumpClassId{0x243E22C6, 0x63F6A014};
inline constexpr Class_ID kVertexColorMapClassId{0x00934851, 0};
inline constexpr Class_ID kCheckerClassId{0x00000200, 0};
inline constexpr Class_ID kGradientClassId{0x00000270, 0};
inline constexpr Class_ID kNoiseClassId{0x00000234, 0};

// Answered by DirectX shader materials (the test for the material family).
inline constexpr Interface_ID kDxMaterialInterfaceId{0x55B3201D, 0x29AB7FC3};
// The effect-bitmap interface of a DirectX shader material: GetInterface returns an
// IDxMaterial* for it.
inline constexpr Interface_ID kDxEffectBitmapInterfaceId{0x54E4202F, 0x30AB6BC4};

// The effect bitmaps of a DirectX shader material: the bitmaps its effect samples, each with
// the mapping channel that feeds it.
class IDxMaterial {
public:
    virtual ~IDxMaterial() = default;
    virtual int GetNumberOfEffectBitmaps() = 0;
    // The file path of effect bitmap i; null when the slot holds no bitmap.
    virtual const char* GetEffectBitmapFile(int i) = 0;
    virtual int GetBitmapMappingChannel(int i) = 0;
};
