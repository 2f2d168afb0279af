// Writing the materials and maps of a scene document: the counterpart of the reader in
// scene_document_materials.cpp, field for field.
#include <algorithm>
#include <set>
#include <string_view>

#include <nlohmann/json.hpp>

#include "host/document/json_document.h"
#include "host/document/scene_document_materials.h"
#include "host/objects/host_materials.h"
#include "host/objects/host_scene.h"
#include "host/objects/procedural_maps.h"

namespace {

using Json = json_document::OrderedJson;
using json_document::Hex;
using json_document::Number;

Json Numbers(std::initializer_list<float> values) {
    Json a = Json::array();
    for (float v : values) a.push_back(Number(v));
    return a;
}

Json ColorJson(const Color& c) { return Numbers({c.r, c.g, c.b}); }

// Alpha only when it is not the reader's default of 1.
Json AColorJson(const AColor& c) { return c.a == 1 ? Numbers({c.r, c.g, c.b}) : Numbers({c.r, c.g, c.b, c.a}); }

constexpr std::string_view kStdSlotNames[kStdMapSlotCount] = {
    "ambient", "diffuse", "specular", "specularLevel", "glossiness", "selfIllumination",
    "opacity", "filterColor", "bump", "reflection", "refraction", "displacement",
};

constexpr std::pair<ParamType, std::string_view> kParamTypeNames[] = {
    {ParamType::Float, "float"},   {ParamType::Int, "int"},         {ParamType::Percent, "percent"},
    {ParamType::Point3, "point3"}, {ParamType::Point4, "point4"},   {ParamType::Color, "color"},
    {ParamType::FRGBA, "frgba"},   {ParamType::Bool, "bool"},       {ParamType::String, "string"},
    {ParamType::Filename, "filename"}, {ParamType::Texmap, "texmap"}, {ParamType::Bitmap, "bitmap"},
};

// The maps a map or material refers to, and the materials a material refers to.
std::vector<Texmap*> MapsOf(Texmap* map) {
    if (auto* bump = dynamic_cast<HostNormalBump*>(map)) return {bump->normalMap, bump->bumpMap};
    return {};
}

std::vector<Texmap*> MapsOf(Mtl* material) {
    if (auto* m = dynamic_cast<HostStdMaterial*>(material)) return {m->maps.begin(), m->maps.end()};
    if (auto* m = dynamic_cast<HostGenericMaterial*>(material)) return m->maps;
    std::vector<Texmap*> maps;
    if (auto* m = dynamic_cast<HostDxMaterial*>(material); m && !m->blocks.empty() && m->blocks[0])
        for (const HostParamBlock::Param& p : m->blocks[0]->params())
            if (p.def.type == ParamType::Texmap) maps.push_back(m->blocks[0]->GetTexmap(p.id));
    return maps;
}

std::vector<Mtl*> MaterialsOf(Mtl* material) {
    if (auto* m = dynamic_cast<HostMultiMaterial*>(material)) return m->subMaterials;
    if (auto* m = dynamic_cast<HostGenericMaterial*>(material)) return m->subMaterials;
    return {};
}

// Counts the references to every material and map reached from the nodes; each entry is placed
// after everything it refers to, in order of first use.
class UseCounter {
public:
    void Node(const HostNode& node) {
        Material(const_cast<HostNode&>(node).GetMtl());
        for (const auto& child : node.children()) Node(*child);
    }
    void Material(Mtl* m) {
        if (!m || uses_[m]++ > 0) return;
        for (Texmap* map : MapsOf(m)) Map(map);
        for (Mtl* sub : MaterialsOf(m)) Material(sub);
        materials_.push_back(m);
    }
    void Map(Texmap* m) {
        if (!m || uses_[m]++ > 0) return;
        for (Texmap* sub : MapsOf(m)) Map(sub);
        maps_.push_back(m);
    }
    bool Shared(const void* p) const { return uses_.at(p) > 1; }

    std::map<const void*, int> uses_;
    std::vector<Texmap*> maps_;
    std::vector<Mtl*> materials_;
};

// Whether the document has a form for the map or material.
bool Writable(Texmap* m) {
    return dynamic_cast<HostBitmapTex*>(m) || dynamic_cast<HostNormalBump*>(m) || dynamic_cast<HostVertexColorMap*>(m) ||
           dynamic_cast<HostCheckerMap*>(m) || dynamic_cast<HostGradientMap*>(m) || dynamic_cast<HostNoiseMap*>(m);
}

bool Writable(Mtl* m) {
    return dynamic_cast<HostStdMaterial*>(m) || dynamic_cast<HostMultiMaterial*>(m) ||
           dynamic_cast<HostGenericMaterial*>(m) || dynamic_cast<HostDxMaterial*>(m);
}

std::string UniqueName(const std::string& base, std::set<std::string>& taken) {
    std::string name = base;
    for (int n = 2; !taken.insert(name).second; ++n) name = base + "_" + std::to_string(n);
    return name;
}

}  // namespace

class MaterialJsonWriter {
public:
    explicit MaterialJsonWriter(const SceneMaterialWriter& owner) : owner_(owner) {}

    // The list name of a shared entry, or the entry inline; null for none.
    Json MapRef(Texmap* map) const {
        if (!map) return nullptr;
        auto named = owner_.names_.find(map);
        return named != owner_.names_.end() ? Json(named->second) : MapJson(map);
    }
    Json MaterialRef(Mtl* material) const {
        if (!material) return nullptr;
        auto named = owner_.names_.find(material);
        return named != owner_.names_.end() ? Json(named->second) : MaterialJson(material);
    }

    template <class Base>
    static Json MapCommon(HostTexmapBase<Base>& map, const char* type) {
        Json o;
        o["name"] = map.name;
        o["type"] = type;
        o["mapChannel"] = std::clamp(map.mapChannel, 0, 99);
        Json tiling = Json::array();
        if (map.tiling & kUTile) tiling.push_back("uWrap");
        if (map.tiling & kVTile) tiling.push_back("vWrap");
        if (map.tiling & kUMirror) tiling.push_back("uMirror");
        if (map.tiling & kVMirror) tiling.push_back("vMirror");
        o["tiling"] = std::move(tiling);
        if (!map.uvTransform.IsIdentity()) {
            Json m = Json::array();
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 3; ++c) m.push_back(Number(map.uvTransform[r][c]));
            o["uvTransform"] = std::move(m);
        }
        return o;
    }

    Json MapJson(Texmap* texmap) const {
        if (auto* map = dynamic_cast<HostBitmapTex*>(texmap)) {
            Json o = MapCommon(*map, "bitmap");
            o["file"] = map->fileName;
            const bool place = map->cropBlock.GetInt(7) != 0;
            const float u = map->GetClipU(), v = map->GetClipV(), w = map->GetClipW(), h = map->GetClipH();
            if (map->GetApplyCrop() || place || u != 0 || v != 0 || w != 1 || h != 1)
                o["crop"] = {{"u", Number(u)}, {"v", Number(v)}, {"width", Number(w)}, {"height", Number(h)},
                             {"apply", map->GetApplyCrop()}, {"mode", place ? "place" : "crop"}};
            return o;
        }
        if (auto* map = dynamic_cast<HostNormalBump*>(texmap)) {
            Json o = MapCommon(*map, "normalBump");
            if (Json normal = MapRef(map->normalMap); !normal.is_null()) o["normal"] = std::move(normal);
            if (Json bump = MapRef(map->bumpMap); !bump.is_null()) o["bump"] = std::move(bump);
            return o;
        }
        if (auto* map = dynamic_cast<HostVertexColorMap*>(texmap)) return MapCommon(*map, "vertexColor");
        if (auto* map = dynamic_cast<HostCheckerMap*>(texmap)) {
            Json o = MapCommon(*map, "checker");
            o["color1"] = AColorJson(map->color1);
            o["color2"] = AColorJson(map->color2);
            return o;
        }
        if (auto* map = dynamic_cast<HostGradientMap*>(texmap)) {
            Json o = MapCommon(*map, "gradient");
            o["gradientType"] = map->type == HostGradientMap::Type::Radial ? "radial" : "linear";
            o["color1"] = AColorJson(map->color1);
            o["color2"] = AColorJson(map->color2);
            o["color3"] = AColorJson(map->color3);
            o["middle"] = Number(std::clamp(map->middle, 0.0f, 1.0f));
            return o;
        }
        if (auto* map = dynamic_cast<HostNoiseMap*>(texmap)) {
            Json o = MapCommon(*map, "noise");
            o["noiseType"] = map->type == HostNoiseMap::Type::Fractal      ? "fractal"
                             : map->type == HostNoiseMap::Type::Turbulence ? "turbulence"
                                                                            : "regular";
            o["color1"] = AColorJson(map->color1);
            o["color2"] = AColorJson(map->color2);
            if (map->size > 0) o["size"] = Number(map->size);
            o["levels"] = std::clamp(map->levels, 1, 10);
            o["phase"] = Number(map->phase);
            return o;
        }
        return nullptr;  // not a map of this host: the document cannot hold it
    }

    template <class Base>
    static void Shading(HostMtlBase<Base>& m, Json& o) {
        o["ambient"] = ColorJson(m.ambient);
        o["diffuse"] = ColorJson(m.diffuse);
        o["specular"] = ColorJson(m.specular);
        o["shininess"] = Number(m.shininess);
        o["shininessStrength"] = Number(m.shininessStrength);
        o["transparency"] = Number(std::clamp(m.transparency, 0.0f, 1.0f));
        o["selfIllumination"] =
            m.selfIllumColorOn ? ColorJson(m.selfIllumColor) : Number(std::clamp(m.selfIllumAmount, 0.0f, 1.0f));
    }

    Json SubMaterials(const std::vector<Mtl*>& list) const {
        Json a = Json::array();
        for (Mtl* sub : list) a.push_back(MaterialRef(sub));
        return a;
    }

    Json Parameter(HostParamBlock& block, const HostParamBlock::Param& p) const {
        const auto* named = std::find_if(std::begin(kParamTypeNames), std::end(kParamTypeNames),
                                         [&](const auto& t) { return t.first == p.def.type; });
        if (named == std::end(kParamTypeNames)) return nullptr;  // a type the document has no name for
        Json o;
        o["name"] = p.def.internalName;
        o["type"] = std::string(named->second);
        switch (p.def.type) {
            case ParamType::Float:
            case ParamType::Percent: o["value"] = Number(block.GetFloat(p.id)); break;
            case ParamType::Int: o["value"] = block.GetInt(p.id); break;
            case ParamType::Bool: {
                // An effect's DWORD parameter (read from an X file) keeps its number.
                const int v = block.GetInt(p.id);
                if (v == 0 || v == 1) o["value"] = v != 0;
                else o["value"] = static_cast<uint32_t>(v);
                break;
            }
            case ParamType::Point3: {
                const Point3 v = block.GetPoint3(p.id);
                o["value"] = Numbers({v.x, v.y, v.z});
                break;
            }
            case ParamType::Point4: {
                const Point4 v = block.GetPoint4(p.id);
                o["value"] = Numbers({v.x, v.y, v.z, v.w});
                break;
            }
            case ParamType::Color:
            case ParamType::FRGBA: o["value"] = AColorJson(block.GetAColor(p.id)); break;
            case ParamType::Texmap: o["value"] = MapRef(block.GetTexmap(p.id)); break;
            default: {
                const char* s = block.GetStr(p.id);
                o["value"] = s ? s : "";
                break;
            }
        }
        return o;
    }

    Json DxJson(HostDxMaterial& m) const {
        Json o;
        o["name"] = m.name;
        o["type"] = "dxShader";
        // A material without parameter blocks is one whose effect did not load.
        if (m.blocks.empty()) o["loaded"] = false;
        if (!m.blocks.empty() && m.blocks[0]) {
            Json parameters = Json::array();
            for (const HostParamBlock::Param& p : m.blocks[0]->params())
                if (Json e = Parameter(*m.blocks[0], p); !e.is_null()) parameters.push_back(std::move(e));
            if (!parameters.empty()) o["parameters"] = std::move(parameters);
        }
        for (size_t b = 1; b < m.blocks.size() && !o.contains("effectFile"); ++b)
            if (m.blocks[b])
                for (const HostParamBlock::Param& p : m.blocks[b]->params())
                    if (p.def.internalName == "effectfile" && !o.contains("effectFile")) {
                        const char* file = m.blocks[b]->GetStr(p.id);
                        o["effectFile"] = file ? file : "";
                    }
        if (!m.effectBitmaps.empty()) {
            Json bitmaps = Json::array();
            for (const HostDxMaterial::EffectBitmap& e : m.effectBitmaps)
                bitmaps.push_back({{"file", e.file ? Json(*e.file) : Json(nullptr)},
                                   {"mapChannel", std::clamp(e.mapChannel, 0, 99)}});
            o["effectBitmaps"] = std::move(bitmaps);
        }
        return o;
    }

    Json MaterialJson(Mtl* material) const {
        if (auto* m = dynamic_cast<HostStdMaterial*>(material)) {
            Json o;
            o["name"] = m->name;
            o["type"] = "standard";
            if (m->classId == kStandardMaterial2ClassId) o["variant"] = 2;
            Shading(*m, o);
            Json maps = Json::object(), disabled = Json::array();
            for (size_t i = 0; i < kStdMapSlotCount; ++i) {
                if (m->maps[i]) maps[std::string(kStdSlotNames[i])] = MapRef(m->maps[i]);
                if (!m->mapEnabled[i]) disabled.push_back(std::string(kStdSlotNames[i]));
            }
            if (!maps.empty()) o["maps"] = std::move(maps);
            if (!disabled.empty()) o["disabledMaps"] = std::move(disabled);
            return o;
        }
        if (auto* m = dynamic_cast<HostMultiMaterial*>(material)) {
            Json o;
            o["name"] = m->name;
            o["type"] = "multi";
            o["materials"] = SubMaterials(m->subMaterials);
            return o;
        }
        if (auto* m = dynamic_cast<HostGenericMaterial*>(material)) {
            Json o;
            o["name"] = m->name;
            o["type"] = "generic";
            o["classId"] = Json::array({Hex(m->classId.PartA()), Hex(m->classId.PartB())});
            Shading(*m, o);
            Json maps = Json::array();
            for (Texmap* map : m->maps) maps.push_back(MapRef(map));
            if (!maps.empty()) o["maps"] = std::move(maps);
            if (!m->subMaterials.empty()) o["materials"] = SubMaterials(m->subMaterials);
            return o;
        }
        if (auto* m = dynamic_cast<HostDxMaterial*>(material)) return DxJson(*m);
        return nullptr;  // not a material of this host: the document cannot hold it
    }

private:
    const SceneMaterialWriter& owner_;
};

SceneMaterialWriter::SceneMaterialWriter(const HostScene& scene) {
    UseCounter counter;
    for (const auto& child : scene.root().children()) counter.Node(*child);
    // List names are the entries' own names, made unique in their list in list order.
    std::set<std::string> mapNames, materialNames;
    for (Texmap* map : counter.maps_)
        if (counter.Shared(map) && Writable(map)) {
            sharedMaps_.push_back(map);
            names_[map] = UniqueName(map->GetName(), mapNames);
        }
    for (Mtl* material : counter.materials_)
        if (counter.Shared(material) && Writable(material)) {
            sharedMaterials_.push_back(material);
            names_[material] = UniqueName(material->GetName(), materialNames);
        }
}

void SceneMaterialWriter::AddLists(nlohmann::ordered_json& doc) const {
    const MaterialJsonWriter writer(*this);
    // An entry's own name is its list name: the reader takes "name" for both.
    Json maps = Json::array(), materials = Json::array();
    for (Texmap* map : sharedMaps_) {
        Json o = writer.MapJson(map);
        o["name"] = names_.at(map);
        maps.push_back(std::move(o));
    }
    for (Mtl* material : sharedMaterials_) {
        Json o = writer.MaterialJson(material);
        o["name"] = names_.at(material);
        materials.push_back(std::move(o));
    }
    if (!maps.empty()) doc["maps"] = std::move(maps);
    if (!materials.empty()) doc["materials"] = std::move(materials);
}

void SceneMaterialWriter::AddNodeMaterial(const HostNode& node, nlohmann::ordered_json& n) const {
    if (Json m = MaterialJsonWriter(*this).MaterialRef(const_cast<HostNode&>(node).GetMtl()); !m.is_null())
        n["material"] = std::move(m);
}
