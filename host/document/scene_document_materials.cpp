#include "host/document/scene_document_materials.h"

#include <cmath>
#include <initializer_list>
#include <limits>
#include <string_view>

#include <nlohmann/json.hpp>

#include "host/document/json_document.h"
#include "host/document/scene_document.h"
#include "host/objects/host_materials.h"
#include "host/objects/host_scene.h"
#include "host/objects/procedural_maps.h"

namespace {

using json_document::Element;
using json_document::Json;
using json_document::Member;
using json_document::Quoted;

constexpr size_t kMaxListEntries = 1000000;   // maps or materials in one document
constexpr size_t kMaxMaterialSlots = 65536;   // sub-materials, maps of a generic material
constexpr size_t kMaxParameters = 65536;      // parameters and effect bitmaps of a DirectX material

// The standard material's map slots by document name, in slot order.
constexpr std::string_view kStdSlotNames[kStdMapSlotCount] = {
    "ambient", "diffuse", "specular", "specularLevel", "glossiness", "selfIllumination",
    "opacity", "filterColor", "bump", "reflection", "refraction", "displacement",
};

struct ParamTypeName {
    std::string_view name;
    ParamType type;
};
constexpr ParamTypeName kParamTypes[] = {
    {"float", ParamType::Float},   {"int", ParamType::Int},         {"percent", ParamType::Percent},
    {"point3", ParamType::Point3}, {"point4", ParamType::Point4},   {"color", ParamType::Color},
    {"frgba", ParamType::FRGBA},   {"bool", ParamType::Bool},       {"string", ParamType::String},
    {"filename", ParamType::Filename}, {"texmap", ParamType::Texmap}, {"bitmap", ParamType::Bitmap},
};

}  // namespace

class MaterialJsonReader : public json_document::FirstProblem {
public:
    explicit MaterialJsonReader(SceneMaterialReader& owner)
        : FirstProblem(owner.errorPath_, owner.errorProblem_), owner_(owner) {}

    // count numbers; with allowAlpha also count + 1.
    bool ReadNumbers(const Json& v, const std::string& path, size_t count, bool allowFourth, float* out) {
        if (!v.is_array() || (v.size() != count && !(allowFourth && v.size() == count + 1)))
            return Fail(path, "expected " + std::to_string(count) + (allowFourth ? " or " + std::to_string(count + 1) : "") +
                                  " numbers");
        for (size_t i = 0; i < v.size(); ++i)
            if (!ReadFloat(v[i], Element(path, i), out[i])) return false;
        return true;
    }
    bool ReadColor(const Json& v, const std::string& path, Color& out) {
        float c[3];
        if (!ReadNumbers(v, path, 3, false, c)) return false;
        out = Color(c[0], c[1], c[2]);
        return true;
    }
    bool ReadAColor(const Json& v, const std::string& path, AColor& out) {
        float c[4] = {0, 0, 0, 1};
        if (!ReadNumbers(v, path, 3, true, c)) return false;
        out = AColor(c[0], c[1], c[2], c[3]);
        return true;
    }
    // A name given as a list entry's "name": required and unique in its list.
    template <class T>
    bool ReadListName(const Json& v, const std::string& path, const std::map<std::string, T*>& known, std::string& name) {
        if (!v.contains("name")) return Fail(Member(path, "name"), "missing field");
        if (!ReadString(v["name"], Member(path, "name"), name)) return false;
        if (known.count(name)) return Fail(Member(path, "name"), "a second entry named " + Quoted(name));
        return true;
    }

    // A map or material written inside another one: the nesting is limited like the node tree's,
    // so that a document cannot exhaust the stack.
    template <class Read>
    bool Inline(const std::string& path, Read read) {
        if (inlineDepth_ >= kMaxSceneInlineDepth)
            return Fail(path, "maps and materials nested more than " + std::to_string(kMaxSceneInlineDepth) +
                                  " levels deep");
        ++inlineDepth_;
        const bool ok = read();
        --inlineDepth_;
        return ok;
    }

    // ----------------------------------------------------------------------------- maps

    // A map: the name of an entry of "maps", or an inline map object.
    bool ReadMapRef(const Json& v, const std::string& path, Texmap*& out) {
        if (v.is_string()) {
            auto found = owner_.maps_.find(v.get<std::string>());
            if (found == owner_.maps_.end())
                return Fail(path, "unknown map " + Quoted(v.get<std::string>()) + " (not earlier in \"maps\")");
            out = found->second;
            return true;
        }
        if (v.is_object()) return Inline(path, [&] { return ReadMap(v, path, false, out); });
        return WrongType(path, "a map or the name of one in \"maps\"", v);
    }

    bool ReadTiling(const Json& v, const std::string& path, int& out) {
        if (!ReadArray(v, path, "an array of tiling flags", 4)) return false;
        out = 0;
        for (size_t i = 0; i < v.size(); ++i) {
            std::string flag;
            if (!ReadString(v[i], Element(path, i), flag)) return false;
            if (flag == "uWrap") out |= kUTile;
            else if (flag == "vWrap") out |= kVTile;
            else if (flag == "uMirror") out |= kUMirror;
            else if (flag == "vMirror") out |= kVMirror;
            else return Fail(Element(path, i), "unknown tiling flag " + Quoted(flag) + " (uWrap, vWrap, uMirror, vMirror)");
        }
        return true;
    }

    bool ReadUvTransform(const Json& v, const std::string& path, Matrix3& out) {
        if (v.is_array()) {
            float m[12];
            if (!ReadNumbers(v, path, 12, false, m)) return false;
            out = Matrix3(Point3(m[0], m[1], m[2]), Point3(m[3], m[4], m[5]), Point3(m[6], m[7], m[8]),
                          Point3(m[9], m[10], m[11]));
            out.ClearFlags();
            return true;
        }
        if (!v.is_object()) return WrongType(path, "an array of 12 numbers or an object", v);
        if (!OnlyKnownKeys(v, path, {"offset", "repeat", "angleDegrees"})) return false;
        float offset[2] = {0, 0}, repeat[2] = {1, 1}, angle = 0;
        if (v.contains("offset") && !ReadNumbers(v["offset"], Member(path, "offset"), 2, false, offset)) return false;
        if (v.contains("repeat") && !ReadNumbers(v["repeat"], Member(path, "repeat"), 2, false, repeat)) return false;
        if (v.contains("angleDegrees") && !ReadFloat(v["angleDegrees"], Member(path, "angleDegrees"), angle)) return false;
        out = MakeHostUvTransform(Point2(offset[0], offset[1]), Point2(repeat[0], repeat[1]), angle);
        return true;
    }

    template <class Base>
    bool ReadMapCommon(const Json& v, const std::string& path, HostTexmapBase<Base>& map) {
        if (v.contains("name") && !ReadString(v["name"], Member(path, "name"), map.name)) return false;
        int64_t channel = map.mapChannel;
        if (v.contains("mapChannel") && !ReadInt(v["mapChannel"], Member(path, "mapChannel"), 0, 99, channel))
            return false;
        map.mapChannel = static_cast<int>(channel);
        if (v.contains("tiling") && !ReadTiling(v["tiling"], Member(path, "tiling"), map.tiling)) return false;
        if (v.contains("uvTransform") && !ReadUvTransform(v["uvTransform"], Member(path, "uvTransform"), map.uvTransform))
            return false;
        return true;
    }

    bool ReadCrop(const Json& v, const std::string& path, HostBitmapTex& map) {
        if (!v.is_object()) return WrongType(path, "an object", v);
        if (!OnlyKnownKeys(v, path, {"u", "v", "width", "height", "apply", "mode"})) return false;
        float u = 0, vv = 0, w = 1, h = 1;
        bool apply = true;
        std::string mode = "crop";
        if (v.contains("u") && !ReadFloat(v["u"], Member(path, "u"), u)) return false;
        if (v.contains("v") && !ReadFloat(v["v"], Member(path, "v"), vv)) return false;
        if (v.contains("width") && !ReadFloat(v["width"], Member(path, "width"), w)) return false;
        if (v.contains("height") && !ReadFloat(v["height"], Member(path, "height"), h)) return false;
        if (v.contains("apply") && !ReadBool(v["apply"], Member(path, "apply"), apply)) return false;
        if (v.contains("mode")) {
            if (!ReadString(v["mode"], Member(path, "mode"), mode)) return false;
            if (mode != "crop" && mode != "place")
                return Fail(Member(path, "mode"), "unknown crop mode " + Quoted(mode) + " (crop or place)");
        }
        map.SetCrop(u, vv, w, h, apply, mode == "place");
        return true;
    }

    bool ReadMap(const Json& v, const std::string& path, bool listed, Texmap*& out) {
        if (!v.is_object()) return WrongType(path, "a map object", v);
        if (!v.contains("type")) return Fail(Member(path, "type"), "missing field");
        std::string type;
        if (!ReadString(v["type"], Member(path, "type"), type)) return false;
        std::string listName;
        if (listed && !ReadListName(v, path, owner_.maps_, listName)) return false;
        static constexpr std::string_view kCommon[] = {"name", "type", "mapChannel", "tiling", "uvTransform"};
        const auto known = [&](std::initializer_list<std::string_view> extra) {
            for (auto it = v.begin(); it != v.end(); ++it) {
                bool found = false;
                for (std::string_view k : kCommon) found = found || it.key() == k;
                for (std::string_view k : extra) found = found || it.key() == k;
                if (!found) return Fail(Member(path, it.key()), "unknown field");
            }
            return true;
        };

        HostMaterialLibrary& library = owner_.library_;
        if (type == "bitmap") {
            if (!known({"file", "crop"})) return false;
            auto& map = library.AddTexmap(std::make_unique<HostBitmapTex>());
            if (!ReadMapCommon(v, path, map)) return false;
            if (!v.contains("file")) return Fail(Member(path, "file"), "missing field");
            if (!ReadString(v["file"], Member(path, "file"), map.fileName)) return false;
            if (v.contains("crop") && !ReadCrop(v["crop"], Member(path, "crop"), map)) return false;
            out = &map;
        } else if (type == "normalBump") {
            if (!known({"normal", "bump"})) return false;
            auto& map = library.AddTexmap(std::make_unique<HostNormalBump>());
            if (!ReadMapCommon(v, path, map)) return false;
            if (v.contains("normal") && !ReadMapRef(v["normal"], Member(path, "normal"), map.normalMap)) return false;
            if (v.contains("bump") && !ReadMapRef(v["bump"], Member(path, "bump"), map.bumpMap)) return false;
            out = &map;
        } else if (type == "vertexColor") {
            if (!known({})) return false;
            auto& map = library.AddTexmap(std::make_unique<HostVertexColorMap>());
            if (!ReadMapCommon(v, path, map)) return false;
            out = &map;
        } else if (type == "checker") {
            if (!known({"color1", "color2"})) return false;
            auto& map = library.AddTexmap(std::make_unique<HostCheckerMap>());
            if (!ReadMapCommon(v, path, map)) return false;
            if (v.contains("color1") && !ReadAColor(v["color1"], Member(path, "color1"), map.color1)) return false;
            if (v.contains("color2") && !ReadAColor(v["color2"], Member(path, "color2"), map.color2)) return false;
            out = &map;
        } else if (type == "gradient") {
            if (!known({"color1", "color2", "color3", "middle", "gradientType"})) return false;
            auto& map = library.AddTexmap(std::make_unique<HostGradientMap>());
            if (!ReadMapCommon(v, path, map)) return false;
            if (v.contains("color1") && !ReadAColor(v["color1"], Member(path, "color1"), map.color1)) return false;
            if (v.contains("color2") && !ReadAColor(v["color2"], Member(path, "color2"), map.color2)) return false;
            if (v.contains("color3") && !ReadAColor(v["color3"], Member(path, "color3"), map.color3)) return false;
            if (v.contains("middle") && !ReadFloatIn(v["middle"], Member(path, "middle"), 0, 1, map.middle)) return false;
            if (v.contains("gradientType")) {
                std::string kind;
                if (!ReadString(v["gradientType"], Member(path, "gradientType"), kind)) return false;
                if (kind == "linear") map.type = HostGradientMap::Type::Linear;
                else if (kind == "radial") map.type = HostGradientMap::Type::Radial;
                else return Fail(Member(path, "gradientType"), "unknown gradient type " + Quoted(kind) + " (linear or radial)");
            }
            out = &map;
        } else if (type == "noise") {
            if (!known({"color1", "color2", "noiseType", "size", "levels", "phase"})) return false;
            auto& map = library.AddTexmap(std::make_unique<HostNoiseMap>());
            if (!ReadMapCommon(v, path, map)) return false;
            if (v.contains("color1") && !ReadAColor(v["color1"], Member(path, "color1"), map.color1)) return false;
            if (v.contains("color2") && !ReadAColor(v["color2"], Member(path, "color2"), map.color2)) return false;
            if (v.contains("size")) {
                if (!ReadFloat(v["size"], Member(path, "size"), map.size)) return false;
                if (!(map.size > 0)) return Fail(Member(path, "size"), "size must be greater than 0");
            }
            int64_t levels = map.levels;
            if (v.contains("levels") && !ReadInt(v["levels"], Member(path, "levels"), 1, 10, levels)) return false;
            map.levels = static_cast<int>(levels);
            if (v.contains("phase") && !ReadFloat(v["phase"], Member(path, "phase"), map.phase)) return false;
            if (v.contains("noiseType")) {
                std::string kind;
                if (!ReadString(v["noiseType"], Member(path, "noiseType"), kind)) return false;
                if (kind == "regular") map.type = HostNoiseMap::Type::Regular;
                else if (kind == "fractal") map.type = HostNoiseMap::Type::Fractal;
                else if (kind == "turbulence") map.type = HostNoiseMap::Type::Turbulence;
                else return Fail(Member(path, "noiseType"), "unknown noise type " + Quoted(kind) +
                                                                 " (regular, fractal or turbulence)");
            }
            out = &map;
        } else {
            return Fail(Member(path, "type"), "unknown map type " + Quoted(type) +
                                                  " (bitmap, normalBump, vertexColor, checker, gradient, noise)");
        }
        if (listed) owner_.maps_[listName] = out;
        return true;
    }

    // ----------------------------------------------------------------------------- materials

    bool ReadMaterialRef(const Json& v, const std::string& path, Mtl*& out) {
        if (v.is_string()) {
            auto found = owner_.materials_.find(v.get<std::string>());
            if (found == owner_.materials_.end())
                return Fail(path, "unknown material " + Quoted(v.get<std::string>()) + " (not earlier in \"materials\")");
            out = found->second;
            return true;
        }
        if (v.is_object()) return Inline(path, [&] { return ReadMaterial(v, path, false, out); });
        return WrongType(path, "a material or the name of one in \"materials\"", v);
    }

    template <class Base>
    bool ReadShading(const Json& v, const std::string& path, HostMtlBase<Base>& m) {
        if (v.contains("name") && !ReadString(v["name"], Member(path, "name"), m.name)) return false;
        if (v.contains("ambient") && !ReadColor(v["ambient"], Member(path, "ambient"), m.ambient)) return false;
        if (v.contains("diffuse") && !ReadColor(v["diffuse"], Member(path, "diffuse"), m.diffuse)) return false;
        if (v.contains("specular") && !ReadColor(v["specular"], Member(path, "specular"), m.specular)) return false;
        if (v.contains("shininess") && !ReadFloat(v["shininess"], Member(path, "shininess"), m.shininess)) return false;
        if (v.contains("shininessStrength") &&
            !ReadFloat(v["shininessStrength"], Member(path, "shininessStrength"), m.shininessStrength))
            return false;
        if (v.contains("transparency") &&
            !ReadFloatIn(v["transparency"], Member(path, "transparency"), 0, 1, m.transparency))
            return false;
        if (v.contains("selfIllumination")) {
            const std::string at = Member(path, "selfIllumination");
            const Json& s = v["selfIllumination"];
            if (s.is_array()) {
                m.selfIllumColorOn = true;
                if (!ReadColor(s, at, m.selfIllumColor)) return false;
            } else if (s.is_number()) {
                m.selfIllumColorOn = false;
                if (!ReadFloatIn(s, at, 0, 1, m.selfIllumAmount)) return false;
            } else {
                return WrongType(at, "a colour [r, g, b] or an amount from 0 to 1", s);
            }
        }
        return true;
    }

    bool ReadSubMaterials(const Json& v, const std::string& path, std::vector<Mtl*>& out) {
        if (!ReadArray(v, path, "an array of materials", kMaxMaterialSlots)) return false;
        out.assign(v.size(), nullptr);
        for (size_t i = 0; i < v.size(); ++i)
            if (!v[i].is_null() && !ReadMaterialRef(v[i], Element(path, i), out[i])) return false;
        return true;
    }

    bool ReadStandardMaps(const Json& v, const std::string& path, HostStdMaterial& m) {
        if (!v.is_object()) return WrongType(path, "an object of map slots", v);
        for (auto it = v.begin(); it != v.end(); ++it) {
            int slot = -1;
            for (int i = 0; i < kStdMapSlotCount; ++i)
                if (it.key() == kStdSlotNames[i]) slot = i;
            if (slot < 0) return Fail(Member(path, it.key()), "unknown map slot");
            if (it.value().is_null()) continue;
            if (!ReadMapRef(it.value(), Member(path, it.key()), m.maps[static_cast<size_t>(slot)])) return false;
        }
        return true;
    }

    bool ReadDisabledMaps(const Json& v, const std::string& path, HostStdMaterial& m) {
        if (!ReadArray(v, path, "an array of map slot names", kStdMapSlotCount)) return false;
        for (size_t i = 0; i < v.size(); ++i) {
            std::string name;
            if (!ReadString(v[i], Element(path, i), name)) return false;
            int slot = -1;
            for (int s = 0; s < kStdMapSlotCount; ++s)
                if (name == kStdSlotNames[s]) slot = s;
            if (slot < 0) return Fail(Element(path, i), "unknown map slot " + Quoted(name));
            m.mapEnabled[static_cast<size_t>(slot)] = false;
        }
        return true;
    }

    bool ReadParameter(const Json& v, const std::string& path, HostParamBlock& block) {
        if (!v.is_object()) return WrongType(path, "a parameter object", v);
        if (!OnlyKnownKeys(v, path, {"name", "type", "value"})) return false;
        std::string name, typeName;
        if (!v.contains("name")) return Fail(Member(path, "name"), "missing field");
        if (!ReadString(v["name"], Member(path, "name"), name)) return false;
        if (!v.contains("type")) return Fail(Member(path, "type"), "missing field");
        if (!ReadString(v["type"], Member(path, "type"), typeName)) return false;
        const ParamTypeName* type = nullptr;
        for (const ParamTypeName& t : kParamTypes)
            if (t.name == typeName) type = &t;
        if (!type)
            return Fail(Member(path, "type"), "unknown parameter type " + Quoted(typeName) +
                                                  " (float, int, percent, point3, point4, color, frgba, bool, string, "
                                                  "filename, texmap, bitmap)");
        const std::string at = Member(path, "value");
        const bool has = v.contains("value");
        const Json& value = has ? v["value"] : v;  // only read when has
        HostParamValue result;
        switch (type->type) {
            case ParamType::Float:
            case ParamType::Percent: {
                float f = 0;
                if (has && !ReadFloat(value, at, f)) return false;
                result = f;
                break;
            }
            case ParamType::Int: {
                int64_t i = 0;
                if (has && !ReadInt(value, at, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), i))
                    return false;
                result = static_cast<int>(i);
                break;
            }
            case ParamType::Bool: {
                // true/false, or the whole number of an effect's DWORD parameter.
                if (has && value.is_number()) {
                    int64_t i = 0;
                    if (!ReadInt(value, at, 0, std::numeric_limits<uint32_t>::max(), i)) return false;
                    result = static_cast<int>(static_cast<uint32_t>(i));
                    break;
                }
                bool b = false;
                if (has && !ReadBool(value, at, b)) return false;
                result = b ? 1 : 0;
                break;
            }
            case ParamType::Point3: {
                float p[3] = {0, 0, 0};
                if (has && !ReadNumbers(value, at, 3, false, p)) return false;
                result = Point3(p[0], p[1], p[2]);
                break;
            }
            case ParamType::Point4: {
                float p[4] = {0, 0, 0, 0};
                if (has && !ReadNumbers(value, at, 4, false, p)) return false;
                result = Point4(p[0], p[1], p[2], p[3]);
                break;
            }
            case ParamType::Color:
            case ParamType::FRGBA: {
                AColor c;
                if (has && !ReadAColor(value, at, c)) return false;
                result = c;
                break;
            }
            case ParamType::String:
            case ParamType::Filename:
            case ParamType::Bitmap: {
                std::string s;
                if (has && !ReadString(value, at, s)) return false;
                result = s;
                break;
            }
            case ParamType::Texmap: {
                Texmap* map = nullptr;
                if (has && !value.is_null() && !ReadMapRef(value, at, map)) return false;
                result = map;
                break;
            }
            default: break;
        }
        block.Add(name, type->type, result);
        return true;
    }

    bool ReadDxMaterial(const Json& v, const std::string& path, HostDxMaterial& m) {
        bool loaded = true;
        if (v.contains("loaded") && !ReadBool(v["loaded"], Member(path, "loaded"), loaded)) return false;
        auto parameters = std::make_unique<HostParamBlock>();
        if (v.contains("parameters")) {
            const std::string at = Member(path, "parameters");
            if (!ReadArray(v["parameters"], at, "an array of parameters", kMaxParameters)) return false;
            for (size_t i = 0; i < v["parameters"].size(); ++i)
                if (!ReadParameter(v["parameters"][i], Element(at, i), *parameters)) return false;
        }
        auto fileBlock = std::make_unique<HostParamBlock>();
        if (v.contains("effectFile")) {
            std::string file;
            if (!ReadString(v["effectFile"], Member(path, "effectFile"), file)) return false;
            fileBlock->Add("effectfile", ParamType::Filename, file);
        }
        if (v.contains("effectBitmaps")) {
            const std::string at = Member(path, "effectBitmaps");
            const Json& list = v["effectBitmaps"];
            if (!ReadArray(list, at, "an array of effect bitmaps", kMaxParameters)) return false;
            for (size_t i = 0; i < list.size(); ++i) {
                const std::string e = Element(at, i);
                if (!list[i].is_object()) return WrongType(e, "an effect bitmap object", list[i]);
                if (!OnlyKnownKeys(list[i], e, {"file", "mapChannel"})) return false;
                HostDxMaterial::EffectBitmap bitmap;
                if (list[i].contains("file") && !list[i]["file"].is_null()) {
                    std::string file;
                    if (!ReadString(list[i]["file"], Member(e, "file"), file)) return false;
                    bitmap.file = file;
                }
                int64_t channel = 1;
                if (list[i].contains("mapChannel") &&
                    !ReadInt(list[i]["mapChannel"], Member(e, "mapChannel"), 0, 99, channel))
                    return false;
                bitmap.mapChannel = static_cast<int>(channel);
                m.effectBitmaps.push_back(std::move(bitmap));
            }
        }
        // An effect that did not load leaves the material without parameter blocks.
        if (loaded) {
            m.blocks.push_back(std::move(parameters));
            m.blocks.push_back(std::move(fileBlock));
        }
        return true;
    }

    bool ReadMaterial(const Json& v, const std::string& path, bool listed, Mtl*& out) {
        if (!v.is_object()) return WrongType(path, "a material object", v);
        if (!v.contains("type")) return Fail(Member(path, "type"), "missing field");
        std::string type;
        if (!ReadString(v["type"], Member(path, "type"), type)) return false;
        std::string listName;
        if (listed && !ReadListName(v, path, owner_.materials_, listName)) return false;
        static constexpr std::string_view kShading[] = {"name", "type", "ambient", "diffuse", "specular", "shininess",
                                                        "shininessStrength", "transparency", "selfIllumination"};
        const auto known = [&](bool shading, std::initializer_list<std::string_view> extra) {
            for (auto it = v.begin(); it != v.end(); ++it) {
                bool found = it.key() == "name" || it.key() == "type";
                if (shading)
                    for (std::string_view k : kShading) found = found || it.key() == k;
                for (std::string_view k : extra) found = found || it.key() == k;
                if (!found) return Fail(Member(path, it.key()), "unknown field");
            }
            return true;
        };

        HostMaterialLibrary& library = owner_.library_;
        if (type == "standard") {
            if (!known(true, {"variant", "maps", "disabledMaps"})) return false;
            int64_t variant = 1;
            if (v.contains("variant") && !ReadInt(v["variant"], Member(path, "variant"), 1, 2, variant)) return false;
            auto& m = library.AddMaterial(std::make_unique<HostStdMaterial>(variant == 2));
            if (!ReadShading(v, path, m)) return false;
            if (v.contains("maps") && !ReadStandardMaps(v["maps"], Member(path, "maps"), m)) return false;
            if (v.contains("disabledMaps") && !ReadDisabledMaps(v["disabledMaps"], Member(path, "disabledMaps"), m))
                return false;
            out = &m;
        } else if (type == "multi") {
            if (!known(false, {"materials"})) return false;
            auto& m = library.AddMaterial(std::make_unique<HostMultiMaterial>());
            if (v.contains("name") && !ReadString(v["name"], Member(path, "name"), m.name)) return false;
            if (v.contains("materials") && !ReadSubMaterials(v["materials"], Member(path, "materials"), m.subMaterials))
                return false;
            out = &m;
        } else if (type == "generic") {
            if (!known(true, {"classId", "maps", "materials"})) return false;
            auto& m = library.AddMaterial(std::make_unique<HostGenericMaterial>());
            if (!ReadShading(v, path, m)) return false;
            if (v.contains("classId") && !ReadClassId(v["classId"], Member(path, "classId"), m.classId)) return false;
            if (v.contains("maps")) {
                const std::string at = Member(path, "maps");
                if (!ReadArray(v["maps"], at, "an array of maps", kMaxMaterialSlots)) return false;
                m.maps.assign(v["maps"].size(), nullptr);
                for (size_t i = 0; i < v["maps"].size(); ++i)
                    if (!v["maps"][i].is_null() && !ReadMapRef(v["maps"][i], Element(at, i), m.maps[i])) return false;
            }
            if (v.contains("materials") && !ReadSubMaterials(v["materials"], Member(path, "materials"), m.subMaterials))
                return false;
            out = &m;
        } else if (type == "dxShader") {
            if (!known(false, {"effectFile", "parameters", "effectBitmaps", "loaded"})) return false;
            auto& m = library.AddMaterial(std::make_unique<HostDxMaterial>());
            if (v.contains("name") && !ReadString(v["name"], Member(path, "name"), m.name)) return false;
            if (!ReadDxMaterial(v, path, m)) return false;
            out = &m;
        } else {
            return Fail(Member(path, "type"), "unknown material type " + Quoted(type) +
                                                  " (standard, multi, generic, dxShader)");
        }
        if (listed) owner_.materials_[listName] = out;
        return true;
    }

private:
    SceneMaterialReader& owner_;
    int inlineDepth_ = 0;
};

bool SceneMaterialReader::ReadLists(const nlohmann::json& doc) {
    MaterialJsonReader reader(*this);
    if (doc.contains("maps")) {
        const Json& maps = doc["maps"];
        if (!reader.ReadArray(maps, "maps", "an array of maps", kMaxListEntries)) return false;
        for (size_t i = 0; i < maps.size(); ++i) {
            Texmap* map = nullptr;
            if (!reader.ReadMap(maps[i], Element("maps", i), true, map)) return false;
        }
    }
    if (doc.contains("materials")) {
        const Json& materials = doc["materials"];
        if (!reader.ReadArray(materials, "materials", "an array of materials", kMaxListEntries)) return false;
        for (size_t i = 0; i < materials.size(); ++i) {
            Mtl* material = nullptr;
            if (!reader.ReadMaterial(materials[i], Element("materials", i), true, material)) return false;
        }
    }
    return true;
}

bool SceneMaterialReader::ReadNodeMaterial(const nlohmann::json& v, const std::string& path, HostNode& node) {
    MaterialJsonReader reader(*this);
    if (v.is_null()) return true;
    Mtl* material = nullptr;
    if (!reader.ReadMaterialRef(v, path, material)) return false;
    node.SetMtl(material);
    return true;
}
