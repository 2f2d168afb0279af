#include "material/uv_transform.h"

#include "material/material_classify.h"
#include "sdk/material.h"

Matrix2 FlipUvMatrix() {
    Matrix2 flip;
    flip.m[1][1] = -1;
    flip.m[2][1] = 1;
    return flip;
}

Matrix2 MakeUvTransform(Texmap* texmap) {
    const Matrix2 flip = FlipUvMatrix();
    if (texmap == nullptr) return flip;

    Matrix2 crop;
    bool cropApplies = false;
    if (IsBitmapTex(texmap) && texmap->NumParamBlocks() > 0) {
        if (IParamBlock2* block = texmap->GetParamBlock(0)) {
            const float u = block->GetFloat(kCropUParam, 0);
            const float v = block->GetFloat(kCropVParam, 0);
            const float width = block->GetFloat(kCropWidthParam, 0);
            const float height = block->GetFloat(kCropHeightParam, 0);
            const int apply = block->GetInt(kCropApplyParam, 0);
            const int mode = block->GetInt(kCropModeParam, 0);
            if (apply != 0 && mode == 0) {
                cropApplies = true;
                crop.m[0][0] = width;
                crop.m[1][1] = height;
                crop.m[2][0] = u;
                crop.m[2][1] = 1 - height - v;
            }
        }
    }

    Matrix3 uv;
    texmap->GetUVTransform(uv);
    Matrix2 map;
    map.m[0][0] = uv[0][0];
    map.m[0][1] = uv[0][1];
    map.m[1][0] = uv[1][0];
    map.m[1][1] = uv[1][1];
    map.m[2][0] = uv[3][0];
    map.m[2][1] = uv[3][1];

    Matrix2 mirror;
    const int tiling = texmap->GetTextureTiling();
    if (tiling & kUMirror) mirror.m[0][0] = 2;
    if (tiling & kVMirror) {
        mirror.m[1][1] = 2;
        mirror.m[2][0] = 0;
        mirror.m[2][1] = 0;
    }

    Matrix2 product = map * mirror;
    if (product.IsIdentity() && cropApplies) product = crop;
    return product * flip;
}
