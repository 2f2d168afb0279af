// Loading and validating scene documents.
//
// The reader walks the parsed JSON once, checking every value before it is used, and builds
// the scene as it goes. The first problem stops the walk; the half-built scene is dropped.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "core/nesting_scan.h"
#include "core/platform.h"
#include "host/document/host_controllers_document.h"
#include "host/document/json_document.h"
#include "host/document/scene_document.h"
#include "host/document/scene_document_deformers.h"
#include "host/document/scene_document_materials.h"
#include "host/document/scene_document_names.h"
#include "host/objects/legal_names.h"
#include "host/objects/tessellation.h"

namespace fs = std::filesystem;

namespace {

using json_document::Element;
using json_document::Json;
using json_document::Member;
using json_document::Quoted;
using json_document::TypeName;

class DocumentReader : public json_document::JsonChecker {
public:
    DocumentReader(std::string displayName, HostScene& scene) : file_(std::move(displayName)), scene_(scene) {}

    bool ReadDocument(const Json& doc);
    const std::string& error() const { return error_; }

private:
    // Records the problem; always returns false so that callers can `return Fail(...)`.
    bool Fail(const std::string& path, const std::string& problem) override {
        if (error_.empty()) error_ = file_ + ": " + (path.empty() ? problem : path + ": " + problem);
        return false;
    }
    bool ExpectObject(const Json& v, const std::string& path) {
        return v.is_object() || WrongType(path, "an object", v);
    }

    bool ReadClips(const Json& v, const std::string& path);
    bool ReadPoints(const Json& v, const std::string& path, std::vector<Point3>& out);
    bool ReadIndices(const Json& v, const std::string& path, size_t stride, uint32_t limit, const char* what,
                     std::vector<uint32_t>& out);
    bool ReadTransform(const Json& v, const std::string& path, Matrix3& out);

    bool ReadTime(const Json& v, const std::string& path);
    bool ReadDirectories(const Json& v, const std::string& path);
    bool ReadNamedObjects(const Json& v, const std::string& path);
    bool ReadNode(const Json& v, const std::string& path, HostNode& parent, int depth);
    bool ReadController(const Json& v, const std::string& path, HostNode& node);
    bool ReadStack(const Json& v, const std::string& path, HostNode& node);
    bool ReadModifier(const Json& v, const std::string& path, std::unique_ptr<HostModifier>& out);

    // Makes the object described at `path`; `named` when it sits in the "objects" list.
    bool ReadObject(const Json& v, const std::string& path, bool named, Object*& out);
    bool ReadMesh(const Json& v, const std::string& path, Mesh& out);
    bool ReadShape(const Json& v, const std::string& path, std::unique_ptr<Object>& out);
    bool ReadPatch(const Json& v, const std::string& path, std::unique_ptr<Object>& out);
    bool ReadNurbs(const Json& v, const std::string& path, Class_ID classId, std::unique_ptr<Object>& out);

    std::string file_;
    HostScene& scene_;
    std::string error_;
    std::map<std::string, Object*> namedObjects_;
    size_t nodeCount_ = 0;
    SceneMaterialReader materials_{scene_.materials()};  // "maps", "materials", a node's "material"
    SceneDeformerReader deformers_;                      // "skin" and "linkDeformer" stack entries
};

bool DocumentReader::ReadPoints(const Json& v, const std::string& path, std::vector<Point3>& out) {
    std::vector<float> flat;
    if (!ReadFloats(v, path, 0, 3, flat)) return false;
    out.resize(flat.size() / 3);
    for (size_t i = 0; i < out.size(); ++i) out[i] = {flat[3 * i], flat[3 * i + 1], flat[3 * i + 2]};
    return true;
}

bool DocumentReader::ReadIndices(const Json& v, const std::string& path, size_t stride, uint32_t limit,
                                 const char* what, std::vector<uint32_t>& out) {
    if (!v.is_array()) return WrongType(path, "an array of indices", v);
    if (v.size() % stride != 0)
        return Fail(path, "length " + std::to_string(v.size()) + " is not a multiple of " + std::to_string(stride));
    if (v.size() > kMaxSceneArrayElements)
        return Fail(path, "too many elements (" + std::to_string(v.size()) + ", limit " +
                              std::to_string(kMaxSceneArrayElements) + ")");
    out.resize(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        const std::string at = Element(path, i);
        const Json& e = v[i];
        if (!e.is_number_integer()) return WrongType(at, "an index (non-negative integer)", e);
        if (e.is_number_unsigned() ? e.get<uint64_t>() >= limit : (e.get<int64_t>() < 0 || e.get<int64_t>() >= limit)) {
            const std::string value = e.is_number_unsigned() ? std::to_string(e.get<uint64_t>())
                                                             : std::to_string(e.get<int64_t>());
            return Fail(at, "index " + value + " is out of range (" + std::to_string(limit) + " " + what + ")");
        }
        out[i] = static_cast<uint32_t>(e.get<uint64_t>());
    }
    return true;
}

bool DocumentReader::ReadTransform(const Json& v, const std::string& path, Matrix3& out) {
    if (v.is_array()) {
        std::vector<float> m;
        if (!ReadFloats(v, path, 12, 1, m)) return false;
        out = Matrix3(Point3(m[0], m[1], m[2]), Point3(m[3], m[4], m[5]), Point3(m[6], m[7], m[8]),
                      Point3(m[9], m[10], m[11]));
        out.ClearFlags();
        return true;
    }
    if (!v.is_object()) return WrongType(path, "an array of 12 numbers or an object", v);
    if (!OnlyKnownKeys(v, path, {"translation", "rotation", "eulerDegrees", "scale"})) return false;
    if (v.contains("rotation") && v.contains("eulerDegrees"))
        return Fail(path, "give either \"rotation\" or \"eulerDegrees\", not both");
    std::vector<float> t{0, 0, 0}, s{1, 1, 1}, r;
    if (v.contains("translation") && !ReadFloats(v["translation"], Member(path, "translation"), 3, 1, t)) return false;
    if (v.contains("scale") && !ReadFloats(v["scale"], Member(path, "scale"), 3, 1, s)) return false;
    Matrix3 rotation;
    if (v.contains("rotation")) {
        const std::string at = Member(path, "rotation");
        if (!ReadFloats(v["rotation"], at, 4, 1, r)) return false;
        const Quat q(r[0], r[1], r[2], r[3]);
        const double length = std::sqrt(double(q.x) * q.x + double(q.y) * q.y + double(q.z) * q.z + double(q.w) * q.w);
        if (!(length > 1e-12)) return Fail(at, "quaternion has zero length");
        q.MakeMatrix(rotation);
    } else if (v.contains("eulerDegrees")) {
        if (!ReadFloats(v["eulerDegrees"], Member(path, "eulerDegrees"), 3, 1, r)) return false;
        constexpr float kRadians = 3.14159265358979323846f / 180.0f;
        rotation = RotateXMatrix(r[0] * kRadians) * RotateYMatrix(r[1] * kRadians) * RotateZMatrix(r[2] * kRadians);
    }
    out = ScaleMatrix({s[0], s[1], s[2]}) * rotation * TransMatrix({t[0], t[1], t[2]});
    return true;
}

bool DocumentReader::ReadTime(const Json& v, const std::string& path) {
    if (!ExpectObject(v, path) || !OnlyKnownKeys(v, path, {"frameRate", "ticksPerFrame", "animationRange"}))
        return false;
    int64_t rate = 30, ticks = 0;
    if (v.contains("frameRate") && !ReadInt(v["frameRate"], Member(path, "frameRate"), 1, kTicksPerSecond, rate))
        return false;
    if (v.contains("ticksPerFrame")) {
        if (!ReadInt(v["ticksPerFrame"], Member(path, "ticksPerFrame"), 1, kTicksPerSecond, ticks)) return false;
        if (ticks * rate != kTicksPerSecond)
            return Fail(Member(path, "ticksPerFrame"), "ticksPerFrame " + std::to_string(ticks) + " times frameRate " +
                                                          std::to_string(rate) + " must be " +
                                                          std::to_string(kTicksPerSecond));
    } else {
        if (kTicksPerSecond % rate != 0)
            return Fail(Member(path, "frameRate"), "frame rate " + std::to_string(rate) + " does not divide " +
                                                      std::to_string(kTicksPerSecond) + " ticks per second");
        ticks = kTicksPerSecond / rate;
    }
    scene_.SetFrameRate(static_cast<int>(rate));
    scene_.SetTicksPerFrame(static_cast<int>(ticks));
    // Frames are kept so that the range in ticks fits a 32-bit time value.
    const int64_t maxFrame = std::numeric_limits<int32_t>::max() / ticks;
    int64_t start = 0, end = 100;
    if (v.contains("animationRange")) {
        const std::string at = Member(path, "animationRange");
        const Json& range = v["animationRange"];
        if (!range.is_array() || range.size() != 2) return Fail(at, "expected [start, end] in frames");
        if (!ReadInt(range[0], Element(at, 0), -maxFrame, maxFrame, start) ||
            !ReadInt(range[1], Element(at, 1), -maxFrame, maxFrame, end))
            return false;
        if (end < start) return Fail(at, "end frame " + std::to_string(end) + " is before start frame " +
                                             std::to_string(start));
    }
    scene_.SetAnimRange(Interval(static_cast<TimeValue>(start * ticks), static_cast<TimeValue>(end * ticks)));
    return true;
}

bool DocumentReader::ReadDirectories(const Json& v, const std::string& path) {
    if (!ExpectObject(v, path)) return false;
    for (auto it = v.begin(); it != v.end(); ++it) {
        const std::string at = Member(path, it.key());
        int kind = -1;
        for (const SceneDirectoryName& d : kSceneDirectoryNames)
            if (it.key() == d.name) kind = d.kind;
        if (kind < 0) {
            const std::string& key = it.key();
            const bool digits = !key.empty() && key.size() <= 4 &&
                                key.find_first_not_of("0123456789") == std::string::npos;
            if (!digits) return Fail(at, "unknown directory (use maps, pluginConfig, data or a kind number)");
            kind = std::stoi(key);
        }
        std::string dir;
        if (!ReadString(it.value(), at, dir)) return false;
        scene_.SetDir(kind, dir);
    }
    return true;
}

bool DocumentReader::ReadMesh(const Json& v, const std::string& path, Mesh& out) {
    if (!ExpectObject(v, path) ||
        !OnlyKnownKeys(v, path, {"vertices", "faces", "smoothingGroups", "materialIds", "mapChannels", "normals"}))
        return false;
    if (!v.contains("vertices")) return Fail(Member(path, "vertices"), "missing field");
    if (!v.contains("faces")) return Fail(Member(path, "faces"), "missing field");
    if (!ReadPoints(v["vertices"], Member(path, "vertices"), out.verts)) return false;
    std::vector<uint32_t> corners;
    if (!ReadIndices(v["faces"], Member(path, "faces"), 3, static_cast<uint32_t>(out.verts.size()), "vertices",
                     corners))
        return false;
    const size_t faceCount = corners.size() / 3;
    out.setNumFaces(static_cast<int>(faceCount));
    for (size_t f = 0; f < faceCount; ++f)
        for (int k = 0; k < 3; ++k) out.faces[f].v[k] = corners[3 * f + static_cast<size_t>(k)];
    auto perFace = [&](const char* key, int64_t hi, auto apply) {
        if (!v.contains(key)) return true;
        const std::string at = Member(path, key);
        const Json& a = v[key];
        if (!a.is_array()) return WrongType(at, "an array of integers", a);
        if (a.size() != faceCount)
            return Fail(at, "expected one value per face (" + std::to_string(faceCount) + "), found " +
                                std::to_string(a.size()));
        for (size_t f = 0; f < faceCount; ++f) {
            int64_t value = 0;
            if (!ReadInt(a[f], Element(at, f), 0, hi, value)) return false;
            apply(out.faces[f], value);
        }
        return true;
    };
    if (!perFace("smoothingGroups", 0xFFFFFFFFll, [](Face& f, int64_t x) { f.smGroup = static_cast<uint32_t>(x); }) ||
        !perFace("materialIds", 0xFFFF, [](Face& f, int64_t x) { f.setMatID(static_cast<MtlID>(x)); }))
        return false;

    // Per-corner data: three indices per mesh face into an array of its own. Corners that
    // repeat the mesh's faces (every attribute indexed by the vertex) share them instead.
    auto cornerFaces = [&](const Json& owner, const std::string& at, size_t limit, const char* what,
                           std::vector<TVFace>& faces, bool& sharesMeshFaces) {
        if (!owner.contains("faces")) return Fail(Member(at, "faces"), "missing field");
        std::vector<uint32_t> indices;
        if (!ReadIndices(owner["faces"], Member(at, "faces"), 3, static_cast<uint32_t>(limit), what, indices))
            return false;
        if (indices.size() != 3 * faceCount)
            return Fail(Member(at, "faces"), "expected three indices per face (" + std::to_string(3 * faceCount) +
                                                 "), found " + std::to_string(indices.size()));
        sharesMeshFaces = true;
        for (size_t f = 0; f < faceCount && sharesMeshFaces; ++f)
            sharesMeshFaces = std::equal(out.faces[f].v, out.faces[f].v + 3, indices.begin() + 3 * std::ptrdiff_t(f));
        if (sharesMeshFaces) return true;
        faces.resize(faceCount);
        for (size_t f = 0; f < faceCount; ++f)
            for (int k = 0; k < 3; ++k) faces[f].t[k] = indices[3 * f + static_cast<size_t>(k)];
        return true;
    };
    if (v.contains("mapChannels")) {
        const std::string at = Member(path, "mapChannels");
        const Json& channels = v["mapChannels"];
        if (!channels.is_array()) return WrongType(at, "an array of map channels", channels);
        for (size_t i = 0; i < channels.size(); ++i) {
            const std::string ch = Element(at, i);
            const Json& c = channels[i];
            if (!ExpectObject(c, ch) || !OnlyKnownKeys(c, ch, {"channel", "vertices", "faces"})) return false;
            if (!c.contains("channel")) return Fail(Member(ch, "channel"), "missing field");
            int64_t channel = 0;
            if (!ReadInt(c["channel"], Member(ch, "channel"), kMapChannelMin, kMapChannelMax, channel)) return false;
            if (out.mapSupport(static_cast<int>(channel)))
                return Fail(Member(ch, "channel"), "channel " + std::to_string(channel) + " is given twice");
            if (!c.contains("vertices")) return Fail(Member(ch, "vertices"), "missing field");
            MeshMap map;
            if (!ReadPoints(c["vertices"], Member(ch, "vertices"), map.tv)) return false;
            if (!cornerFaces(c, ch, map.tv.size(), "map vertices", map.tf, map.sharesMeshFaces)) return false;
            map.supported = true;
            out.Map(static_cast<int>(channel)) = std::move(map);
        }
    }
    if (v.contains("normals")) {
        const std::string at = Member(path, "normals");
        const Json& n = v["normals"];
        if (!ExpectObject(n, at) || !OnlyKnownKeys(n, at, {"normals", "faces"})) return false;
        if (!n.contains("normals")) return Fail(Member(at, "normals"), "missing field");
        MeshNormalSpec spec;
        if (!ReadPoints(n["normals"], Member(at, "normals"), spec.normals)) return false;
        if (!cornerFaces(n, at, spec.normals.size(), "normals", spec.faces, spec.sharesMeshFaces)) return false;
        out.SpecifyNormals() = std::move(spec);
    }
    return true;
}

bool DocumentReader::ReadShape(const Json& v, const std::string& path, std::unique_ptr<Object>& out) {
    std::vector<Point3> points;
    bool closed = true;
    if (!v.contains("points")) return Fail(Member(path, "points"), "missing field");
    if (!ReadPoints(v["points"], Member(path, "points"), points)) return false;
    if (v.contains("closed") && !ReadBool(v["closed"], Member(path, "closed"), closed)) return false;
    out = std::make_unique<HostShapeObject>(std::move(points), closed);
    return true;
}

bool DocumentReader::ReadPatch(const Json& v, const std::string& path, std::unique_ptr<Object>& out) {
    auto patch = std::make_unique<HostPatchObject>();
    std::vector<Point3> corners, vectors;
    if (!v.contains("vertices")) return Fail(Member(path, "vertices"), "missing field");
    if (!ReadPoints(v["vertices"], Member(path, "vertices"), corners)) return false;
    if (v.contains("vectors") && !ReadPoints(v["vectors"], Member(path, "vectors"), vectors)) return false;
    for (const Point3& p : corners) patch->AddVertex(p);
    for (const Point3& p : vectors) patch->AddVector(p);
    if (v.contains("steps")) {
        int64_t steps = 0;
        if (!ReadInt(v["steps"], Member(path, "steps"), kMinPatchSteps, kMaxPatchSteps, steps)) return false;
        patch->SetSteps(static_cast<int>(steps));
    }
    const std::string listPath = Member(path, "patches");
    if (!v.contains("patches")) return Fail(listPath, "missing field");
    const Json& list = v["patches"];
    if (!list.is_array()) return WrongType(listPath, "an array of patches", list);
    if (list.size() > kMaxSceneArrayElements / 64) return Fail(listPath, "too many patches");
    // Tessellation makes up to 2 * steps^2 faces per patch; keep the total sane.
    const size_t facesPerPatch = 2u * static_cast<size_t>(patch->steps()) * static_cast<size_t>(patch->steps());
    if (list.size() * facesPerPatch > kMaxSceneArrayElements)
        return Fail(listPath, "tessellation would make more than " + std::to_string(kMaxSceneArrayElements) +
                                  " faces");
    for (size_t p = 0; p < list.size(); ++p) {
        const std::string at = Element(listPath, p);
        const Json& e = list[p];
        if (!ExpectObject(e, at) || !OnlyKnownKeys(e, at, {"corners", "vectors", "interior"})) return false;
        if (!e.contains("corners")) return Fail(Member(at, "corners"), "missing field");
        std::vector<uint32_t> c, vec, interior;
        if (!ReadIndices(e["corners"], Member(at, "corners"), 1, static_cast<uint32_t>(corners.size()), "vertices", c))
            return false;
        if (c.size() != 3 && c.size() != 4)
            return Fail(Member(at, "corners"), "a patch has 3 or 4 corners, found " + std::to_string(c.size()));
        const size_t n = c.size();
        uint32_t cornerArray[4] = {c[0], c[1], c[2], n == 4 ? c[3] : 0};
        const bool hasVec = e.contains("vectors"), hasInterior = e.contains("interior");
        if (hasVec != hasInterior)
            return Fail(at, "give both \"vectors\" and \"interior\", or neither for a flat patch");
        if (!hasVec) {
            patch->AddFlatPatch(static_cast<int>(n), cornerArray);
            continue;
        }
        // Flat patches added before append vectors of their own; indices refer to the document's list.
        const uint32_t vecLimit = static_cast<uint32_t>(vectors.size());
        if (!ReadIndices(e["vectors"], Member(at, "vectors"), 1, vecLimit, "vectors", vec) ||
            !ReadIndices(e["interior"], Member(at, "interior"), 1, vecLimit, "vectors", interior))
            return false;
        if (vec.size() != 2 * n)
            return Fail(Member(at, "vectors"), "expected " + std::to_string(2 * n) + " handle indices, found " +
                                                   std::to_string(vec.size()));
        if (interior.size() != (n == 3 ? 1u : 4u))
            return Fail(Member(at, "interior"), "expected " + std::to_string(n == 3 ? 1 : 4) +
                                                    " interior indices, found " + std::to_string(interior.size()));
        PatchHandles handles;
        std::copy(vec.begin(), vec.end(), handles.vec);
        std::copy(interior.begin(), interior.end(), handles.interior);
        patch->AddPatch(static_cast<int>(n), cornerArray, handles);
    }
    out = std::move(patch);
    return true;
}

bool DocumentReader::ReadNurbs(const Json& v, const std::string& path, Class_ID classId, std::unique_ptr<Object>& out) {
    NurbsSurface s;
    int64_t value = 0;
    for (const char* key : {"uCount", "vCount"})
        if (!v.contains(key)) return Fail(Member(path, key), "missing field");
    if (!ReadInt(v["uCount"], Member(path, "uCount"), 2, kMaxNurbsCount, value)) return false;
    s.uCount = static_cast<int>(value);
    if (!ReadInt(v["vCount"], Member(path, "vCount"), 2, kMaxNurbsCount, value)) return false;
    s.vCount = static_cast<int>(value);
    s.uDegree = std::min(3, s.uCount - 1);
    s.vDegree = std::min(3, s.vCount - 1);
    if (v.contains("uDegree")) {
        if (!ReadInt(v["uDegree"], Member(path, "uDegree"), 1, std::min(kMaxNurbsDegree, s.uCount - 1), value))
            return false;
        s.uDegree = static_cast<int>(value);
    }
    if (v.contains("vDegree")) {
        if (!ReadInt(v["vDegree"], Member(path, "vDegree"), 1, std::min(kMaxNurbsDegree, s.vCount - 1), value))
            return false;
        s.vDegree = static_cast<int>(value);
    }
    const size_t pointCount = static_cast<size_t>(s.uCount) * static_cast<size_t>(s.vCount);
    if (!v.contains("points")) return Fail(Member(path, "points"), "missing field");
    if (!ReadFloats(v["points"], Member(path, "points"), 3 * pointCount, 3, s.weights)) return false;
    s.points.resize(pointCount);
    for (size_t i = 0; i < pointCount; ++i) s.points[i] = {s.weights[3 * i], s.weights[3 * i + 1], s.weights[3 * i + 2]};
    s.weights.clear();
    if (v.contains("weights")) {
        const std::string at = Member(path, "weights");
        if (!ReadFloats(v["weights"], at, pointCount, 1, s.weights)) return false;
        for (size_t i = 0; i < pointCount; ++i)
            if (!(s.weights[i] > 0)) return Fail(Element(at, i), "weight must be greater than 0");
    }
    if (v.contains("uSegments")) {
        if (!ReadInt(v["uSegments"], Member(path, "uSegments"), 1, kMaxNurbsSegments, value)) return false;
        s.uSegments = static_cast<int>(value);
    }
    if (v.contains("vSegments")) {
        if (!ReadInt(v["vSegments"], Member(path, "vSegments"), 1, kMaxNurbsSegments, value)) return false;
        s.vSegments = static_cast<int>(value);
    }
    if (!IsValidNurbsSurface(s)) return Fail(path, "inconsistent NURBS surface");
    auto nurbs = std::make_unique<HostNurbsObject>(std::move(s));
    nurbs->SetClassId(classId);
    out = std::move(nurbs);
    return true;
}

bool DocumentReader::ReadObject(const Json& v, const std::string& path, bool named, Object*& out) {
    if (!ExpectObject(v, path)) return false;
    if (!v.contains("type")) return Fail(Member(path, "type"), "missing field");
    std::string type;
    if (!ReadString(v["type"], Member(path, "type"), type)) return false;
    const SceneObjectType* info = nullptr;
    for (const SceneObjectType& t : kSceneObjectTypes)
        if (t.name == type) info = &t;
    if (!info) return Fail(Member(path, "type"), "unknown object type " + Quoted(type));

    std::vector<std::string_view> known{"type", "classId"};
    if (named) known.push_back("name");
    if (info->mayHaveMesh) known.push_back("mesh");
    if (type == "geometry") known.push_back("superClassId");
    if (type == "shape") known.insert(known.end(), {"points", "closed"});
    if (type == "patch") known.insert(known.end(), {"vertices", "vectors", "patches", "steps"});
    if (type == "nurbs")
        known.insert(known.end(), {"uCount", "vCount", "uDegree", "vDegree", "points", "weights", "uSegments", "vSegments"});
    for (auto it = v.begin(); it != v.end(); ++it) {
        bool found = false;
        for (std::string_view k : known) found = found || it.key() == k;
        if (!found) return Fail(Member(path, it.key()), "unknown field for an object of type " + Quoted(type));
    }

    Class_ID classId = info->classId;
    SClass_ID superClassId = info->superClassId;
    if (v.contains("classId")) {
        if (type == "mesh" || type == "patch")
            return Fail(Member(path, "classId"), "the class of a " + type + " object is fixed");
        if (!ReadClassId(v["classId"], Member(path, "classId"), classId)) return false;
    } else if (info->classIdRequired) {
        return Fail(Member(path, "classId"), "missing field");
    }
    if (v.contains("superClassId")) {
        int64_t value = 0;
        if (!ReadInt(v["superClassId"], Member(path, "superClassId"), 0, 0xFFFFFFFFll, value)) return false;
        superClassId = static_cast<SClass_ID>(value);
        if (superClassId == kGenDerivObjClassId || superClassId == kDerivObjClassId)
            return Fail(Member(path, "superClassId"), "a base object cannot be a stack level");
    }

    std::unique_ptr<Object> object;
    if (type == "mesh") {
        Mesh mesh;
        if (!v.contains("mesh")) return Fail(Member(path, "mesh"), "missing field");
        if (!ReadMesh(v["mesh"], Member(path, "mesh"), mesh)) return false;
        object = std::make_unique<HostTriObject>(std::move(mesh));
    } else if (type == "shape") {
        if (!ReadShape(v, path, object)) return false;
        static_cast<HostShapeObject&>(*object).SetClassId(classId);
    } else if (type == "patch") {
        if (!ReadPatch(v, path, object)) return false;
    } else if (type == "nurbs") {
        if (!ReadNurbs(v, path, classId, object)) return false;
    } else {
        auto classed = std::make_unique<HostClassedObject>(classId, superClassId);
        if (v.contains("mesh")) {
            Mesh mesh;
            if (!ReadMesh(v["mesh"], Member(path, "mesh"), mesh)) return false;
            classed->SetMesh(mesh);
        }
        object = std::move(classed);
    }
    out = &scene_.AddObject(std::move(object));
    return true;
}

bool DocumentReader::ReadNamedObjects(const Json& v, const std::string& path) {
    if (!v.is_array()) return WrongType(path, "an array of objects", v);
    for (size_t i = 0; i < v.size(); ++i) {
        const std::string at = Element(path, i);
        if (!ExpectObject(v[i], at)) return false;
        std::string name;
        if (!v[i].contains("name")) return Fail(Member(at, "name"), "missing field");
        if (!ReadString(v[i]["name"], Member(at, "name"), name)) return false;
        if (namedObjects_.count(name)) return Fail(Member(at, "name"), "duplicate object name " + Quoted(name));
        Object* object = nullptr;
        if (!ReadObject(v[i], at, true, object)) return false;
        namedObjects_[name] = object;
    }
    return true;
}

bool DocumentReader::ReadModifier(const Json& v, const std::string& path, std::unique_ptr<HostModifier>& out) {
    if (!ExpectObject(v, path)) return false;
    if (!v.contains("type")) return Fail(Member(path, "type"), "missing field");
    std::string type;
    if (!ReadString(v["type"], Member(path, "type"), type)) return false;
    bool enabled = true;
    if (type == "edit") {
        if (!OnlyKnownKeys(v, path, {"type", "enabled", "translate", "points", "deleteFaces"})) return false;
        auto edit = std::make_unique<HostEditModifier>();
        std::vector<float> t;
        if (v.contains("translate")) {
            if (!ReadFloats(v["translate"], Member(path, "translate"), 3, 1, t)) return false;
            edit->translation = {t[0], t[1], t[2]};
        }
        // Point and face indices refer to the object beneath, known only at evaluation; the
        // modifier ignores those out of range then.
        constexpr uint32_t kAnyIndex = 0xFFFFFFFFu;
        if (v.contains("points") && !ReadIndices(v["points"], Member(path, "points"), 1, kAnyIndex, "points", edit->points))
            return false;
        if (v.contains("deleteFaces") &&
            !ReadIndices(v["deleteFaces"], Member(path, "deleteFaces"), 1, kAnyIndex, "faces", edit->deleteFaces))
            return false;
        out = std::move(edit);
    } else if (type == "skin" || type == "linkDeformer") {
        out = deformers_.Read(v, path, type);
        if (!out) return Fail(deformers_.errorPath(), deformers_.errorProblem());
    } else if (type == "generic") {
        if (!OnlyKnownKeys(v, path, {"type", "enabled", "classId"})) return false;
        Class_ID classId;
        if (!v.contains("classId")) return Fail(Member(path, "classId"), "missing field");
        if (!ReadClassId(v["classId"], Member(path, "classId"), classId)) return false;
        out = std::make_unique<HostModifier>(HostModifierKind::Generic, classId);
    } else {
        return Fail(Member(path, "type"), "unknown modifier type " + Quoted(type));
    }
    if (v.contains("enabled") && !ReadBool(v["enabled"], Member(path, "enabled"), enabled)) return false;
    out->SetEnabled(enabled);
    return true;
}

bool DocumentReader::ReadStack(const Json& v, const std::string& path, HostNode& node) {
    if (!v.is_array()) return WrongType(path, "an array of stack levels", v);
    if (v.size() > static_cast<size_t>(kMaxSceneStackLevels))
        return Fail(path, "too many stack levels (limit " + std::to_string(kMaxSceneStackLevels) + ")");
    if (!v.empty() && !node.object()) return Fail(path, "a modifier stack needs an object");
    for (size_t level = 0; level < v.size(); ++level) {
        const std::string at = Element(path, level);
        const Json& list = v[level];
        if (!list.is_array()) return WrongType(at, "an array of modifiers", list);
        if (list.size() > kMaxSceneArrayElements) return Fail(at, "too many modifiers");
        HostDerivedObject& derived = scene_.AddStackLevel(node);
        for (size_t m = 0; m < list.size(); ++m) {
            std::unique_ptr<HostModifier> modifier;
            if (!ReadModifier(list[m], Element(at, m), modifier)) return false;
            derived.AddModifier(std::move(modifier));
        }
    }
    return true;
}

bool DocumentReader::ReadController(const Json& v, const std::string& path, HostNode& node) {
    if (!ExpectObject(v, path)) return false;
    if (!v.contains("type")) return Fail(Member(path, "type"), "missing field");
    std::string type;
    if (!ReadString(v["type"], Member(path, "type"), type)) return false;
    if (type == "footstep") {
        if (!OnlyKnownKeys(v, path, {"type"})) return false;
        node.SetController(std::make_unique<HostControl>(kFootstepControlClassId));
    } else if (type == "classed") {
        if (!OnlyKnownKeys(v, path, {"type", "classId"})) return false;
        Class_ID classId;
        if (!v.contains("classId")) return Fail(Member(path, "classId"), "missing field");
        if (!ReadClassId(v["classId"], Member(path, "classId"), classId)) return false;
        node.SetController(std::make_unique<HostControl>(classId));
    } else if (type == "transform") {
        std::string at, problem;
        std::unique_ptr<HostTransformControl> keyed = ReadTransformControlJson(v, path, at, problem);
        if (!keyed) return Fail(at, problem);
        node.SetController(std::move(keyed));
    } else {
        return Fail(Member(path, "type"), "unknown controller type " + Quoted(type));
    }
    return true;
}

bool DocumentReader::ReadNode(const Json& v, const std::string& path, HostNode& parent, int depth) {
    if (!ExpectObject(v, path)) return false;
    if (depth > kMaxSceneNodeDepth)
        return Fail(path, "nodes nested deeper than " + std::to_string(kMaxSceneNodeDepth) + " levels");
    if (++nodeCount_ > kMaxSceneNodes) return Fail(path, "too many nodes (limit " + std::to_string(kMaxSceneNodes) + ")");
    if (!OnlyKnownKeys(v, path, {"name", "transform", "objectOffset", "renderable", "hidden", "selected", "wireColor",
                                 "object", "stack", "tmController", "material", "children"}))
        return false;
    std::string name;
    if (!v.contains("name")) return Fail(Member(path, "name"), "missing field");
    if (!ReadString(v["name"], Member(path, "name"), name)) return false;
    HostNode& node = parent.AddChild(name);

    Matrix3 m;
    if (v.contains("transform")) {
        if (!ReadTransform(v["transform"], Member(path, "transform"), m)) return false;
        node.Transform(m);
    }
    if (v.contains("objectOffset")) {
        if (!ReadTransform(v["objectOffset"], Member(path, "objectOffset"), m)) return false;
        node.ObjectOffset(m);
    }
    bool flag = false;
    if (v.contains("renderable")) {
        if (!ReadBool(v["renderable"], Member(path, "renderable"), flag)) return false;
        node.SetRenderable(flag);
    }
    if (v.contains("hidden")) {
        if (!ReadBool(v["hidden"], Member(path, "hidden"), flag)) return false;
        node.SetHidden(flag);
    }
    if (v.contains("selected")) {
        if (!ReadBool(v["selected"], Member(path, "selected"), flag)) return false;
        node.SetSelected(flag);
    }
    if (v.contains("wireColor")) {
        const std::string at = Member(path, "wireColor");
        const Json& c = v["wireColor"];
        if (!c.is_array() || c.size() != 3) return Fail(at, "expected [red, green, blue], each 0 to 255");
        int64_t rgb[3];
        for (size_t i = 0; i < 3; ++i)
            if (!ReadInt(c[i], Element(at, i), 0, 255, rgb[i])) return false;
        node.WireColor(static_cast<uint32_t>(rgb[0] | (rgb[1] << 8) | (rgb[2] << 16)));
    }
    if (v.contains("object")) {
        const std::string at = Member(path, "object");
        const Json& o = v["object"];
        if (o.is_string()) {
            auto found = namedObjects_.find(o.get<std::string>());
            if (found == namedObjects_.end())
                return Fail(at, "unknown object " + Quoted(o.get<std::string>()) + " (not in \"objects\")");
            node.SetObject(found->second);
        } else if (o.is_object()) {
            Object* object = nullptr;
            if (!ReadObject(o, at, false, object)) return false;
            node.SetObject(object);
        } else {
            return WrongType(at, "an object or the name of one in \"objects\"", o);
        }
    }
    if (v.contains("stack") && !ReadStack(v["stack"], Member(path, "stack"), node)) return false;
    if (v.contains("material") && !materials_.ReadNodeMaterial(v["material"], Member(path, "material"), node))
        return Fail(materials_.errorPath(), materials_.errorProblem());
    if (v.contains("tmController") && !ReadController(v["tmController"], Member(path, "tmController"), node))
        return false;
    if (v.contains("children")) {
        const std::string at = Member(path, "children");
        const Json& children = v["children"];
        if (!children.is_array()) return WrongType(at, "an array of nodes", children);
        for (size_t i = 0; i < children.size(); ++i)
            if (!ReadNode(children[i], Element(at, i), node, depth + 1)) return false;
    }
    return true;
}

// "clips": [{"name": "Walk", "start": 0, "end": 30}, ...], frames.
bool DocumentReader::ReadClips(const Json& v, const std::string& path) {
    if (!v.is_array()) return WrongType(path, "an array of clips", v);
    if (v.size() > kMaxSceneClips) return Fail(path, "more than " + std::to_string(kMaxSceneClips) + " clips");
    const int64_t maxFrame = std::numeric_limits<int32_t>::max();
    std::vector<HostClip> clips;
    clips.reserve(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        const std::string at = Element(path, i);
        const Json& c = v[i];
        if (!c.is_object()) return WrongType(at, "a clip object", c);
        if (!OnlyKnownKeys(c, at, {"name", "start", "end"})) return false;
        for (const char* key : {"name", "start", "end"})
            if (!c.contains(key)) return Fail(Member(at, key), "missing field");
        HostClip clip;
        int64_t start = 0, end = 0;
        if (!ReadString(c["name"], Member(at, "name"), clip.name)) return false;
        if (clip.name.empty()) return Fail(Member(at, "name"), "a clip needs a name");
        // Cleaned up as an imported model's animation names are (a line break, a blank or a
        // quote could not be stored in the options file nor written as a name).
        clip.name = LegalClipName(clip.name, i);
        if (!ReadInt(c["start"], Member(at, "start"), -maxFrame, maxFrame, start)) return false;
        if (!ReadInt(c["end"], Member(at, "end"), -maxFrame, maxFrame, end)) return false;
        clip.startFrame = static_cast<int32_t>(start);
        clip.endFrame = static_cast<int32_t>(end);
        clips.push_back(std::move(clip));
    }
    scene_.SetClips(std::move(clips));
    return true;
}

bool DocumentReader::ReadDocument(const Json& doc) {
    if (!doc.is_object()) return WrongType("", "a JSON object at the top level", doc);
    if (!doc.contains("plover_scene")) return Fail("plover_scene", "missing field (the document version)");
    int64_t version = 0;
    if (!ReadInt(doc["plover_scene"], "plover_scene", 0, std::numeric_limits<int32_t>::max(), version)) return false;
    if (version != kSceneDocumentVersion)
        return Fail("plover_scene", "unsupported version " + std::to_string(version) + " (this host reads version " +
                                        std::to_string(kSceneDocumentVersion) + ")");
    if (!OnlyKnownKeys(doc, "", {"plover_scene", "time", "sceneFile", "directories", "rootName", "objects", "maps",
                                 "materials", "nodes", "clips"}))
        return false;
    if (doc.contains("time") && !ReadTime(doc["time"], "time")) return false;
    if (doc.contains("sceneFile")) {
        std::string file;
        if (!ReadString(doc["sceneFile"], "sceneFile", file)) return false;
        scene_.SetCurFilePath(file);
    }
    if (doc.contains("directories") && !ReadDirectories(doc["directories"], "directories")) return false;
    if (doc.contains("clips") && !ReadClips(doc["clips"], "clips")) return false;
    if (doc.contains("objects") && !ReadNamedObjects(doc["objects"], "objects")) return false;
    if (!materials_.ReadLists(doc)) return Fail(materials_.errorPath(), materials_.errorProblem());
    if (doc.contains("nodes")) {
        const Json& nodes = doc["nodes"];
        if (!nodes.is_array()) return WrongType("nodes", "an array of nodes", nodes);
        for (size_t i = 0; i < nodes.size(); ++i)
            if (!ReadNode(nodes[i], Element("nodes", i), scene_.root(), 1)) return false;
    }
    // Deformers name their bones by node name: resolved once every node exists.
    if (!deformers_.Resolve(scene_)) return Fail(deformers_.errorPath(), deformers_.errorProblem());
    return true;
}

}  // namespace

std::unique_ptr<HostScene> LoadSceneDocumentFromString(const std::string& json, const std::string& displayName,
                                                       std::string& error) {
    error.clear();
    if (json.size() > kMaxSceneDocumentBytes) {
        error = displayName + ": document is larger than " + std::to_string(kMaxSceneDocumentBytes) + " bytes";
        return nullptr;
    }
    size_t line = 0, column = 0;
    if (FindDeepJsonNesting(json, kMaxSceneJsonDepth, line, column)) {
        error = displayName + ": line " + std::to_string(line) + ", column " + std::to_string(column) +
                ": arrays and objects nested more than " + std::to_string(kMaxSceneJsonDepth) + " levels deep";
        return nullptr;
    }
    Json doc;
    // The parser reports malformed text by exception; it is caught here and becomes the message.
    try {
        doc = Json::parse(json);
    } catch (const Json::exception& e) {
        error = displayName + ": " + json_document::ParseErrorText(e.what());
        return nullptr;
    }
    std::string rootName = "Scene Root";
    if (doc.is_object() && doc.contains("rootName")) {
        if (!doc["rootName"].is_string()) {
            error = displayName + ": rootName: expected a string, found " + TypeName(doc["rootName"]);
            return nullptr;
        }
        rootName = doc["rootName"].get<std::string>();
    }
    auto scene = std::make_unique<HostScene>(rootName);
    DocumentReader reader(displayName, *scene);
    if (!reader.ReadDocument(doc)) {
        error = reader.error();
        return nullptr;
    }
    return scene;
}

static bool ReadSceneDocumentText(const std::string& path, std::string& text, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(platform::PathOf(path), ec)) {
        error = path + ": is a folder, not a scene document";
        return false;
    }
    std::ifstream in(platform::PathOf(path), std::ios::binary);
    if (!in) {
        error = path + ": cannot open the file";
        return false;
    }
    // Read in pieces and stop at the limit: the path may name a device or an endless stream.
    const auto tooLarge = [&] {
        error = path + ": document is larger than " + std::to_string(kMaxSceneDocumentBytes) + " bytes";
        return false;
    };
    text.clear();
    if (fs::is_regular_file(platform::PathOf(path), ec)) {
        const uintmax_t size = fs::file_size(platform::PathOf(path), ec);
        if (!ec && size > kMaxSceneDocumentBytes) return tooLarge();
        if (!ec) text.reserve(static_cast<size_t>(size));
    }
    std::vector<char> buffer(size_t(1) << 20);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const size_t got = static_cast<size_t>(in.gcount());
        if (text.size() + got > kMaxSceneDocumentBytes) return tooLarge();
        text.append(buffer.data(), got);
    }
    if (in.bad()) {
        error = path + ": cannot read the file";
        return false;
    }
    return true;
}

std::unique_ptr<HostScene> LoadSceneDocument(const std::string& path, std::string& error) {
    std::string text;
    if (!ReadSceneDocumentText(path, text, error)) return nullptr;
    std::unique_ptr<HostScene> scene = LoadSceneDocumentFromString(text, path, error);
    if (!scene) return nullptr;
    // A document that names no scene file stands for itself: the exporter then looks for
    // textures beside it, never in whatever folder the command runs from.
    std::error_code ec;
    const fs::path absolute = fs::absolute(platform::PathOf(path), ec);
    if (scene->filePath().empty() && !ec) scene->SetCurFilePath(platform::Utf8Of(absolute.lexically_normal()));
    return scene;
}
