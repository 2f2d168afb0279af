// Materials, texture maps, parameter blocks and the shading context used for baking.
#pragma once

#include <string>

#include "sdk/anim.h"
#include "sdk/math.h"

class Texmap;
class Bitmap;

// Parameter types of a parameter block.
enum class ParamType {
    Float,
    Int,
    Percent,
    Point3,
    Point4,
    Color,
    FRGBA,     // colour with alpha
    Bool,
    String,
    Filename,
    Texmap,
    Bitmap,
    Other,
};

struct ParamDef {
    std::string internalName;
    ParamType type = ParamType::Other;
};

class IParamBlock2 {
public:
    virtual ~IParamBlock2() = default;
    virtual int NumParams() = 0;
    virtual int IndextoID(int index) = 0;
    virtual const ParamDef& GetParamDef(int id) = 0;
    virtual float GetFloat(int id, TimeValue t = 0) = 0;
    virtual int GetInt(int id, TimeValue t = 0) = 0;
    virtual Point3 GetPoint3(int id, TimeValue t = 0) = 0;
    virtual Point4 GetPoint4(int id, TimeValue t = 0) = 0;
    virtual AColor GetAColor(int id, TimeValue t = 0) = 0;
    virtual const char* GetStr(int id, TimeValue t = 0) = 0;
    virtual Texmap* GetTexmap(int id, TimeValue t = 0) = 0;
    // The file name of a bitmap parameter; empty when unset.
    virtual const char* GetBitmapFileName(int id, TimeValue t = 0) = 0;
};

class Mtl : public Animatable {
public:
    virtual const char* GetName() = 0;
    virtual int NumSubMtls() { return 0; }
    virtual Mtl* GetSubMtl(int /*i*/) { return nullptr; }
    virtual int NumSubTexmaps() { return 0; }
    virtual Texmap* GetSubTexmap(int /*i*/) { return nullptr; }
    virtual float GetShininess() { return 0; }
    virtual float GetShinStr() { return 0; }
    virtual Color GetAmbient() { return {}; }
    virtual Color GetDiffuse() { return {}; }
    virtual Color GetSpecular() { return {}; }
    virtual float GetXParency() { return 0; }
    virtual bool GetSelfIllumColorOn() { return false; }
    virtual Color GetSelfIllumColor() { return {}; }
    virtual float GetSelfIllum() { return 0; }
    virtual int NumParamBlocks() { return 0; }
    virtual IParamBlock2* GetParamBlock(int /*i*/) { return nullptr; }
    // Interface query by identifier; null when absent.
    virtual void* GetInterface(Interface_ID /*id*/) { return nullptr; }
};

// The standard material: twelve map slots (ambient first) with enable switches.
class StdMat2 : public Mtl {
public:
    virtual bool MapEnabled(int slot) = 0;
};

class ShadeContext;

class Texmap : public Animatable {
public:
    virtual const char* GetName() = 0;
    virtual int GetMapChannel() { return 1; }
    // Tiling flags (kUTile, kVTile, kUMirror, kVMirror).
    virtual int GetTextureTiling() { return 0; }
    // The texture coordinate transform of the map's coordinates rollout.
    virtual void GetUVTransform(Matrix3& uvtrans) { uvtrans.IdentityMatrix(); }
    virtual int NumSubTexmaps() { return 0; }
    virtual Texmap* GetSubTexmap(int /*i*/) { return nullptr; }
    virtual int NumParamBlocks() { return 0; }
    virtual IParamBlock2* GetParamBlock(int /*i*/) { return nullptr; }
    // Colour of the map at the shading context's texture coordinates.
    virtual AColor EvalColor(ShadeContext& sc) = 0;
};

inline constexpr int kUTile = 1 << 0;
inline constexpr int kVTile = 1 << 1;
inline constexpr int kUMirror = 1 << 2;
inline constexpr int kVMirror = 1 << 3;

// A bitmap texture: a file with crop parameters.
class BitmapTex : public Texmap {
public:
    virtual const char* GetMapName() = 0;
    // Crop: whether it is applied, and its rectangle in texture space.
    virtual bool GetApplyCrop() { return false; }
    virtual float GetClipU() { return 0; }
    virtual float GetClipV() { return 0; }
    virtual float GetClipW() { return 1; }
    virtual float GetClipH() { return 1; }
};

// What a texture map reads when it is evaluated: texture coordinates and the like.
class ShadeContext {
public:
    virtual ~ShadeContext() = default;
    virtual Point3 UVW(int channel) = 0;
    virtual Point3 DUVW(int channel) = 0;
    virtual Point3 P() { return {}; }
    virtual Point3 Normal() { return {0, 0, 1}; }
    virtual TimeValue CurTime() { return 0; }
};
