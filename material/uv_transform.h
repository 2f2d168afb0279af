// The texture coordinate transform of a texture slot.
#pragma once

#include "sdk/math.h"

class Texmap;

// Turns the host's upward v into the X file's downward v: (u, v) -> (u, 1 - v).
Matrix2 FlipUvMatrix();

// The slot transform of texmap: its map transform (rows 0, 1 and 3 of the UV transform) times
// the mirror scaling of its tiling flags, or, when both are the identity and the map is a
// bitmap texture with crop applied, the crop rectangle; then the flip. A null map gives the
// flip alone.
Matrix2 MakeUvTransform(Texmap* texmap);

// Crop parameters of a bitmap texture's first parameter block, by parameter id.
inline constexpr int kCropUParam = 0;       // u offset
inline constexpr int kCropVParam = 1;       // v offset
inline constexpr int kCropWidthParam = 2;   // width, default 1
inline constexpr int kCropHeightParam = 3;  // height, default 1
inline constexpr int kCropApplyParam = 6;   // non-zero: the crop is applied
inline constexpr int kCropModeParam = 7;    // 0 crop, 1 place
