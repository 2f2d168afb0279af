// The stand-in host's materials and texture maps.
//
// Standard materials (colours, shininess and its strength, transparency, self-illumination as
// a colour or an amount, twelve map slots with enable switches), multi-materials with empty
// slots, generic materials (anything else answering the generic material queries), DirectX
// shader materials (typed parameter blocks, effect bitmaps, the effect file in a later block),
// bitmap textures (file, mapping channel, tiling, UV transform, crop), normal-bump maps and the
// vertex-colour map. Procedural maps with evaluators are in procedural_maps.h.
//
// Materials and maps refer to each other by plain pointers; a HostMaterialLibrary owns them
// all and lives as long as the scene that uses them.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "sdk/material.h"
#include "sdk/material_classes.h"

// ---------------------------------------------------------------------------------------------
// Parameter blocks

// One typed parameter value. Texmap parameters hold a map of the library (or null); bitmap
// parameters hold a file name.
using HostParamValue = std::variant<float, int, Point3, Point4, AColor, std::string, Texmap*>;

class HostParamBlock final : public IParamBlock2 {
public:
    // Adds a parameter with the next id (ids count from 0 in order of addition) and returns the id.
    int Add(std::string internalName, ParamType type, HostParamValue value);
    // Adds a parameter with a given id; a parameter with that id is replaced.
    void Set(int id, std::string internalName, ParamType type, HostParamValue value);

    int NumParams() override { return static_cast<int>(params_.size()); }
    int IndextoID(int index) override;
    const ParamDef& GetParamDef(int id) override;
    float GetFloat(int id, TimeValue t = 0) override;
    int GetInt(int id, TimeValue t = 0) override;
    Point3 GetPoint3(int id, TimeValue t = 0) override;
    Point4 GetPoint4(int id, TimeValue t = 0) override;
    AColor GetAColor(int id, TimeValue t = 0) override;
    const char* GetStr(int id, TimeValue t = 0) override;
    Texmap* GetTexmap(int id, TimeValue t = 0) override;
    const char* GetBitmapFileName(int id, TimeValue t = 0) override;

    struct Param {
        int id = 0;
        ParamDef def;
        HostParamValue value;
    };
    const std::vector<Param>& params() const { return params_; }

private:
    const Param* Find(int id) const;
    std::vector<Param> params_;
    ParamDef missing_;
};

// ---------------------------------------------------------------------------------------------
// Texture maps

// The mapping settings every host map has: name, class, channel, tiling flags, UV transform.
template <class Base>
class HostTexmapBase : public Base {
public:
    const char* GetName() override { return name.c_str(); }
    Class_ID ClassID() const override { return classId; }
    SClass_ID SuperClassID() const override { return kTexmapClassId; }
    int GetMapChannel() override { return mapChannel; }
    int GetTextureTiling() override { return tiling; }
    void GetUVTransform(Matrix3& uvtrans) override { uvtrans = uvTransform; }

    std::string name;
    Class_ID classId;
    int mapChannel = 1;
    int tiling = kUTile | kVTile;  // kUTile, kVTile, kUMirror, kVMirror
    Matrix3 uvTransform;           // rows 0, 1 and 3 act on (u, v)
};

// The UV transform of the map's coordinates settings: (u, v) is turned by angle (degrees,
// counter-clockwise) and scaled by tiling about the centre (0.5, 0.5), then moved by offset.
Matrix3 MakeHostUvTransform(Point2 offset, Point2 tiling, float angleDegrees);

class HostBitmapTex final : public HostTexmapBase<BitmapTex> {
public:
    HostBitmapTex();
    const char* GetMapName() override { return fileName.c_str(); }
    // Crop lives in the first parameter block: u, v, width, height (ids 0-3), apply (6), mode
    // (7: 0 crop, 1 place), as the host keeps it.
    int NumParamBlocks() override { return 1; }
    IParamBlock2* GetParamBlock(int i) override { return i == 0 ? &cropBlock : nullptr; }
    bool GetApplyCrop() override;
    float GetClipU() override;
    float GetClipV() override;
    float GetClipW() override;
    float GetClipH() override;
    // The stand-in host does not load images: a bitmap evaluates to mid grey.
    AColor EvalColor(ShadeContext&) override { return {0.5f, 0.5f, 0.5f, 1}; }

    void SetCrop(float u, float v, float width, float height, bool apply, bool place);

    std::string fileName;
    HostParamBlock cropBlock;
};

// A normal-bump map: the normal map in sub-map 0, an optional additional bump in sub-map 1.
class HostNormalBump final : public HostTexmapBase<Texmap> {
public:
    HostNormalBump() { classId = kNormalBumpClassId; }
    int NumSubTexmaps() override { return 2; }
    Texmap* GetSubTexmap(int i) override { return i == 0 ? normalMap : i == 1 ? bumpMap : nullptr; }
    AColor EvalColor(ShadeContext& sc) override;

    Texmap* normalMap = nullptr;
    Texmap* bumpMap = nullptr;
};

// The vertex-colour map: shows the mesh's colour channel; evaluated alone it is white.
class HostVertexColorMap final : public HostTexmapBase<Texmap> {
public:
    HostVertexColorMap() { classId = kVertexColorMapClassId; mapChannel = 0; }
    AColor EvalColor(ShadeContext&) override { return {1, 1, 1, 1}; }
};

// ---------------------------------------------------------------------------------------------
// Materials

inline constexpr int kStdMapSlotCount = 12;
// The standard material's map slots.
enum StdMapSlot : int {
    kMapAmbient = 0, kMapDiffuse, kMapSpecular, kMapSpecularLevel, kMapGlossiness, kMapSelfIllum,
    kMapOpacity, kMapFilterColor, kMapBump, kMapReflection, kMapRefraction, kMapDisplacement,
};

// The colour and shading values every host material reports.
template <class Base>
class HostMtlBase : public Base {
public:
    const char* GetName() override { return name.c_str(); }
    Class_ID ClassID() const override { return classId; }
    SClass_ID SuperClassID() const override { return kMaterialClassId; }
    float GetShininess() override { return shininess; }
    float GetShinStr() override { return shininessStrength; }
    Color GetAmbient() override { return ambient; }
    Color GetDiffuse() override { return diffuse; }
    Color GetSpecular() override { return specular; }
    float GetXParency() override { return transparency; }
    bool GetSelfIllumColorOn() override { return selfIllumColorOn; }
    Color GetSelfIllumColor() override { return selfIllumColor; }
    float GetSelfIllum() override { return selfIllumAmount; }

    std::string name;
    Class_ID classId;
    Color ambient{0.588f, 0.588f, 0.588f};
    Color diffuse{0.588f, 0.588f, 0.588f};
    Color specular{0.9f, 0.9f, 0.9f};
    float shininess = 0.1f;          // 0 to 1; the X file power is 100 times this
    float shininessStrength = 0;     // specular level, 0 to 9.99
    float transparency = 0;          // 0 opaque to 1 clear
    bool selfIllumColorOn = false;   // self-illumination given as a colour
    Color selfIllumColor{0, 0, 0};
    float selfIllumAmount = 0;       // self-illumination given as an amount, 0 to 1
};

class HostStdMaterial final : public HostMtlBase<StdMat2> {
public:
    // secondVariant chooses the standard material's second class id.
    explicit HostStdMaterial(bool secondVariant = false);
    int NumSubTexmaps() override { return kStdMapSlotCount; }
    Texmap* GetSubTexmap(int i) override;
    bool MapEnabled(int slot) override;

    std::array<Texmap*, kStdMapSlotCount> maps{};
    std::array<bool, kStdMapSlotCount> mapEnabled{};
};

// A material of sub-material slots; an empty slot is null.
class HostMultiMaterial final : public HostMtlBase<Mtl> {
public:
    HostMultiMaterial() { classId = kMultiMaterialClassId; }
    int NumSubMtls() override { return static_cast<int>(subMaterials.size()); }
    Mtl* GetSubMtl(int i) override;

    std::vector<Mtl*> subMaterials;
};

// Any other material: colours, a list of maps and optional sub-materials, under a class id of
// its own.
class HostGenericMaterial final : public HostMtlBase<Mtl> {
public:
    HostGenericMaterial() { classId = kGenericMaterialClassId; }
    int NumSubMtls() override { return static_cast<int>(subMaterials.size()); }
    Mtl* GetSubMtl(int i) override;
    int NumSubTexmaps() override { return static_cast<int>(maps.size()); }
    Texmap* GetSubTexmap(int i) override;

    std::vector<Texmap*> maps;
    std::vector<Mtl*> subMaterials;
};

// A DirectX shader material: the effect's parameters in block 0, the effect file as the
// "effectfile" parameter of a later block, and the bitmaps the effect samples.
class HostDxMaterial final : public HostMtlBase<Mtl>, public IDxMaterial {
public:
    HostDxMaterial() { classId = kDxMaterialClassId; }
    int NumParamBlocks() override { return static_cast<int>(blocks.size()); }
    IParamBlock2* GetParamBlock(int i) override;
    void* GetInterface(Interface_ID id) override;

    int GetNumberOfEffectBitmaps() override { return static_cast<int>(effectBitmaps.size()); }
    const char* GetEffectBitmapFile(int i) override;
    int GetBitmapMappingChannel(int i) override;

    struct EffectBitmap {
        std::optional<std::string> file;  // no value: the slot holds no bitmap
        int mapChannel = 1;
    };
    // Block 0 holds the effect parameters. A null entry is a block the material lacks.
    std::vector<std::unique_ptr<HostParamBlock>> blocks;
    std::vector<EffectBitmap> effectBitmaps;
};

// Owns the materials and maps of a scene.
class HostMaterialLibrary {
public:
    template <class T>
    T& AddMaterial(std::unique_ptr<T> material) {
        T& ref = *material;
        materials_.push_back(std::move(material));
        return ref;
    }
    template <class T>
    T& AddTexmap(std::unique_ptr<T> map) {
        T& ref = *map;
        texmaps_.push_back(std::move(map));
        return ref;
    }
    const std::vector<std::unique_ptr<Mtl>>& materials() const { return materials_; }
    const std::vector<std::unique_ptr<Texmap>>& texmaps() const { return texmaps_; }

private:
    std::vector<std::unique_ptr<Mtl>> materials_;
    std::vector<std::unique_ptr<Texmap>> texmaps_;
};
