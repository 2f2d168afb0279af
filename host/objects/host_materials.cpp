#include "host/objects/host_materials.h"

#include <algorithm>
#include <cmath>
#include <numbers>

// ---------------------------------------------------------------------------------------------
// HostParamBlock

namespace {

template <class T>
const T* Get(const HostParamBlock::Param* param) {
    return param ? std::get_if<T>(&param->value) : nullptr;
}

}  // namespace

int HostParamBlock::Add(std::string internalName, ParamType type, HostParamValue value) {
    int id = 0;
    for (const Param& p : params_) id = std::max(id, p.id + 1);
    params_.push_back({id, ParamDef{std::move(internalName), type}, std::move(value)});
    return id;
}

void HostParamBlock::Set(int id, std::string internalName, ParamType type, HostParamValue value) {
    for (Param& p : params_) {
        if (p.id == id) {
            p = {id, ParamDef{std::move(internalName), type}, std::move(value)};
            return;
        }
    }
    params_.push_back({id, ParamDef{std::move(internalName), type}, std::move(value)});
}

const HostParamBlock::Param* HostParamBlock::Find(int id) const {
    for (const Param& p : params_)
        if (p.id == id) return &p;
    return nullptr;
}

int HostParamBlock::IndextoID(int index) {
    if (index < 0 || index >= NumParams()) return -1;
    return params_[static_cast<size_t>(index)].id;
}

const ParamDef& HostParamBlock::GetParamDef(int id) {
    const Param* p = Find(id);
    return p ? p->def : missing_;
}

// Typed reads of a parameter of another type give the nearest sensible value: numbers convert,
// anything else reads as zero.
float HostParamBlock::GetFloat(int id, TimeValue) {
    const Param* p = Find(id);
    if (const float* f = Get<float>(p)) return *f;
    if (const int* i = Get<int>(p)) return static_cast<float>(*i);
    return 0;
}

int HostParamBlock::GetInt(int id, TimeValue) {
    const Param* p = Find(id);
    if (const int* i = Get<int>(p)) return *i;
    if (const float* f = Get<float>(p)) return static_cast<int>(*f);
    return 0;
}

Point3 HostParamBlock::GetPoint3(int id, TimeValue) {
    const Param* p = Find(id);
    if (const Point3* v = Get<Point3>(p)) return *v;
    if (const AColor* c = Get<AColor>(p)) return {c->r, c->g, c->b};
    if (const Point4* v = Get<Point4>(p)) return {v->x, v->y, v->z};
    return {};
}

Point4 HostParamBlock::GetPoint4(int id, TimeValue) {
    const Param* p = Find(id);
    if (const Point4* v = Get<Point4>(p)) return *v;
    if (const AColor* c = Get<AColor>(p)) return {c->r, c->g, c->b, c->a};
    if (const Point3* v = Get<Point3>(p)) return {v->x, v->y, v->z, 0};
    return {};
}

AColor HostParamBlock::GetAColor(int id, TimeValue) {
    const Param* p = Find(id);
    if (const AColor* c = Get<AColor>(p)) return *c;
    if (const Point4* v = Get<Point4>(p)) return {v->x, v->y, v->z, v->w};
    if (const Point3* v = Get<Point3>(p)) return {v->x, v->y, v->z, 1};
    return {};
}

const char* HostParamBlock::GetStr(int id, TimeValue) {
    const std::string* s = Get<std::string>(Find(id));
    return s ? s->c_str() : nullptr;
}

Texmap* HostParamBlock::GetTexmap(int id, TimeValue) {
    Texmap* const* map = Get<Texmap*>(Find(id));
    return map ? *map : nullptr;
}

const char* HostParamBlock::GetBitmapFileName(int id, TimeValue) {
    const Param* p = Find(id);
    if (p == nullptr || p->def.type != ParamType::Bitmap) return "";
    const std::string* s = Get<std::string>(p);
    return s ? s->c_str() : "";
}

// ---------------------------------------------------------------------------------------------
// Maps

Matrix3 MakeHostUvTransform(Point2 offset, Point2 tiling, float angleDegrees) {
    // In double, rounded once: float sin and cos differ in their last bit between C libraries.
    const double angle = double(angleDegrees) * std::numbers::pi / 180.0;
    const float c = float(std::cos(angle)), s = float(std::sin(angle));
    // Row vectors: p' = ((p - centre) * R * S) + centre + offset.
    Matrix3 m;
    m.SetRow(0, Point3(c * tiling.x, s * tiling.y, 0));
    m.SetRow(1, Point3(-s * tiling.x, c * tiling.y, 0));
    m.SetRow(2, Point3(0, 0, 1));
    const Point3 centre(0.5f, 0.5f, 0);
    const Point3 moved = centre - m.VectorTransform(centre);
    m.SetTrans(Point3(moved.x + offset.x, moved.y + offset.y, 0));
    return m;
}

HostBitmapTex::HostBitmapTex() {
    classId = kBitmapTexClassId;
    SetCrop(0, 0, 1, 1, false, false);
}

void HostBitmapTex::SetCrop(float u, float v, float width, float height, bool apply, bool place) {
    cropBlock.Set(0, "clipu", ParamType::Float, u);
    cropBlock.Set(1, "clipv", ParamType::Float, v);
    cropBlock.Set(2, "clipw", ParamType::Float, width);
    cropBlock.Set(3, "cliph", ParamType::Float, height);
    cropBlock.Set(6, "apply", ParamType::Bool, apply ? 1 : 0);
    cropBlock.Set(7, "cropPlace", ParamType::Int, place ? 1 : 0);
}

bool HostBitmapTex::GetApplyCrop() { return cropBlock.GetInt(6) != 0; }
float HostBitmapTex::GetClipU() { return cropBlock.GetFloat(0); }
float HostBitmapTex::GetClipV() { return cropBlock.GetFloat(1); }
float HostBitmapTex::GetClipW() { return cropBlock.GetFloat(2); }
float HostBitmapTex::GetClipH() { return cropBlock.GetFloat(3); }

AColor HostNormalBump::EvalColor(ShadeContext& sc) {
    if (normalMap) return normalMap->EvalColor(sc);
    return {0.5f, 0.5f, 1, 1};  // the flat normal
}

// ---------------------------------------------------------------------------------------------
// Materials

HostStdMaterial::HostStdMaterial(bool secondVariant) {
    classId = secondVariant ? kStandardMaterial2ClassId : kStandardMaterialClassId;
    mapEnabled.fill(true);
}

Texmap* HostStdMaterial::GetSubTexmap(int i) {
    return i >= 0 && i < kStdMapSlotCount ? maps[static_cast<size_t>(i)] : nullptr;
}

bool HostStdMaterial::MapEnabled(int slot) {
    return slot >= 0 && slot < kStdMapSlotCount && mapEnabled[static_cast<size_t>(slot)];
}

Mtl* HostMultiMaterial::GetSubMtl(int i) {
    return i >= 0 && i < NumSubMtls() ? subMaterials[static_cast<size_t>(i)] : nullptr;
}

Mtl* HostGenericMaterial::GetSubMtl(int i) {
    return i >= 0 && i < NumSubMtls() ? subMaterials[static_cast<size_t>(i)] : nullptr;
}

Texmap* HostGenericMaterial::GetSubTexmap(int i) {
    return i >= 0 && i < NumSubTexmaps() ? maps[static_cast<size_t>(i)] : nullptr;
}

IParamBlock2* HostDxMaterial::GetParamBlock(int i) {
    return i >= 0 && i < NumParamBlocks() ? blocks[static_cast<size_t>(i)].get() : nullptr;
}

void* HostDxMaterial::GetInterface(Interface_ID id) {
    if (id == kDxMaterialInterfaceId) return static_cast<Mtl*>(this);
    if (id == kDxEffectBitmapInterfaceId) return static_cast<IDxMaterial*>(this);
    return nullptr;
}

const char* HostDxMaterial::GetEffectBitmapFile(int i) {
    if (i < 0 || i >= GetNumberOfEffectBitmaps()) return nullptr;
    const auto& file = effectBitmaps[static_cast<size_t>(i)].file;
    return file ? file->c_str() : nullptr;
}

int HostDxMaterial::GetBitmapMappingChannel(int i) {
    if (i < 0 || i >= GetNumberOfEffectBitmaps()) return 0;
    return effectBitmaps[static_cast<size_t>(i)].mapChannel;
}
