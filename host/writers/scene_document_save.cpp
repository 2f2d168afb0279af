// Writing a scene as a scene document.
//
// Transforms are written as 12-number matrices, floats in their shortest form that reads back
// to the same 32-bit value. Objects used by more than one node go to "objects" and are named
// there; all others are written inline in their node.
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "host/document/host_controllers_document.h"
#include "host/document/json_document.h"
#include "host/document/scene_document.h"
#include "host/document/scene_document_deformers.h"
#include "host/document/scene_document_materials.h"
#include "host/document/scene_document_names.h"

namespace {

using Json = json_document::OrderedJson;
using json_document::Hex;
using json_document::MatrixJson;
using json_document::Number;

Json Floats(const std::vector<Point3>& points) {
    Json a = Json::array();
    for (const Point3& p : points) {
        a.push_back(Number(p.x));
        a.push_back(Number(p.y));
        a.push_back(Number(p.z));
    }
    return a;
}

bool IsIdentity(const Matrix3& m) { return m == Matrix3(); }

Json ClassIdJson(Class_ID id) { return Json::array({Hex(id.PartA()), Hex(id.PartB())}); }

Json MeshJson(const Mesh& mesh) {
    Json m;
    m["vertices"] = Floats(mesh.verts);
    Json faces = Json::array(), groups = Json::array(), ids = Json::array();
    bool anyGroup = false, anyId = false;
    for (const Face& f : mesh.faces) {
        faces.push_back(f.v[0]);
        faces.push_back(f.v[1]);
        faces.push_back(f.v[2]);
        groups.push_back(f.smGroup);
        ids.push_back(f.getMatID());
        anyGroup = anyGroup || f.smGroup != 0;
        anyId = anyId || f.getMatID() != 0;
    }
    m["faces"] = std::move(faces);
    if (anyGroup) m["smoothingGroups"] = std::move(groups);
    if (anyId) m["materialIds"] = std::move(ids);
    // A channel's or the normals' corners are written out even when they share the mesh's faces.
    const auto cornerIndices = [](const FaceCorners& corners) {
        Json a = Json::array();
        for (size_t f = 0; f < corners.size(); ++f) {
            a.push_back(corners[f][0]);
            a.push_back(corners[f][1]);
            a.push_back(corners[f][2]);
        }
        return a;
    };
    Json channels = Json::array();
    for (int channel = kMapChannelMin; channel <= kMapChannelMax; ++channel) {
        if (!mesh.mapSupport(channel)) continue;
        const MeshMap& map = mesh.Map(channel);
        Json c;
        c["channel"] = channel;
        c["vertices"] = Floats(map.tv);
        c["faces"] = cornerIndices(mesh.mapFaces(channel));
        channels.push_back(std::move(c));
    }
    if (!channels.empty()) m["mapChannels"] = std::move(channels);
    if (const MeshNormalSpec* spec = mesh.GetSpecifiedNormals()) {
        Json n;
        n["normals"] = Floats(spec->normals);
        n["faces"] = cornerIndices(spec->Faces(mesh));
        m["normals"] = std::move(n);
    }
    return m;
}

Json Indices(const uint32_t* first, size_t count) {
    Json a = Json::array();
    for (size_t i = 0; i < count; ++i) a.push_back(first[i]);
    return a;
}

// The "type" (and class fields when they differ from the type's defaults) of a classed object.
// A type without a mesh member is only chosen for an object without a mesh.
void ClassedJson(const HostClassedObject& object, Json& o) {
    const bool hasMesh = object.mesh() != nullptr;
    for (const SceneObjectType& t : kSceneObjectTypes) {
        if (t.classIdRequired || t.name == "mesh" || t.name == "shape" || t.name == "patch" || t.name == "nurbs")
            continue;
        if (hasMesh && !t.mayHaveMesh) continue;
        if (t.superClassId == object.SuperClassID() && t.classId == object.ClassID()) {
            o["type"] = std::string(t.name);
            return;
        }
    }
    for (std::string_view name : {"helper", "camera", "light"}) {
        if (hasMesh) break;
        for (const SceneObjectType& t : kSceneObjectTypes)
            if (t.name == name && t.superClassId == object.SuperClassID()) {
                o["type"] = std::string(name);
                o["classId"] = ClassIdJson(object.ClassID());
                return;
            }
    }
    o["type"] = "geometry";
    o["classId"] = ClassIdJson(object.ClassID());
    if (object.SuperClassID() != kGeomObjectClassId) o["superClassId"] = object.SuperClassID();
}

Json ObjectJson(Object* object) {
    Json o;
    if (auto* tri = dynamic_cast<HostTriObject*>(object)) {
        o["type"] = "mesh";
        o["mesh"] = MeshJson(tri->mesh());
    } else if (auto* shape = dynamic_cast<HostShapeObject*>(object)) {
        o["type"] = "shape";
        if (!(shape->ClassID() == Class_ID(0x0A, 0))) o["classId"] = ClassIdJson(shape->ClassID());
        o["points"] = Floats(shape->points());
        o["closed"] = shape->closed();
    } else if (auto* classed = dynamic_cast<HostClassedObject*>(object)) {
        ClassedJson(*classed, o);
        if (classed->mesh()) o["mesh"] = MeshJson(*classed->mesh());
    } else if (auto* patch = dynamic_cast<HostPatchObject*>(object)) {
        const PatchMesh& pm = patch->patchMesh();
        o["type"] = "patch";
        std::vector<Point3> corners;
        for (const PatchVert& v : pm.verts) corners.push_back(v.p);
        o["vertices"] = Floats(corners);
        o["vectors"] = Floats(pm.vecs);
        o["steps"] = patch->steps();
        Json list = Json::array();
        for (size_t p = 0; p < pm.patches.size(); ++p) {
            const size_t n = pm.patches[p].type == 3 ? 3 : 4;
            const PatchHandles& h = patch->handles()[p];
            Json e;
            e["corners"] = Indices(pm.patches[p].v, n);
            e["vectors"] = Indices(h.vec, 2 * n);
            e["interior"] = Indices(h.interior, n == 3 ? 1 : 4);
            list.push_back(std::move(e));
        }
        o["patches"] = std::move(list);
    } else if (auto* nurbs = dynamic_cast<HostNurbsObject*>(object)) {
        const NurbsSurface& s = nurbs->surface();
        o["type"] = "nurbs";
        if (!(nurbs->ClassID() == kNurbsClassId1)) o["classId"] = ClassIdJson(nurbs->ClassID());
        o["uCount"] = s.uCount;
        o["vCount"] = s.vCount;
        o["uDegree"] = s.uDegree;
        o["vDegree"] = s.vDegree;
        o["points"] = Floats(s.points);
        if (!s.weights.empty()) {
            Json w = Json::array();
            for (float f : s.weights) w.push_back(Number(f));
            o["weights"] = std::move(w);
        }
        if (s.uSegments > 0) o["uSegments"] = s.uSegments;
        if (s.vSegments > 0) o["vSegments"] = s.vSegments;
    } else {
        // Not made by this host: keep what the interface tells.
        o["type"] = "geometry";
        o["classId"] = ClassIdJson(object->ClassID());
        o["superClassId"] = object->SuperClassID();
    }
    return o;
}

Json ModifierJson(const HostModifier& modifier) {
    Json m;
    switch (modifier.Kind()) {
        case HostModifierKind::Edit: {
            const auto& edit = static_cast<const HostEditModifier&>(modifier);
            m["type"] = "edit";
            m["translate"] = Json::array({Number(edit.translation.x), Number(edit.translation.y), Number(edit.translation.z)});
            if (!edit.points.empty()) m["points"] = edit.points;
            if (!edit.deleteFaces.empty()) m["deleteFaces"] = edit.deleteFaces;
            break;
        }
        case HostModifierKind::Skin:
            m["type"] = "skin";
            AddDeformerJson(modifier, m);
            break;
        case HostModifierKind::LinkDeformer:
            m["type"] = "linkDeformer";
            AddDeformerJson(modifier, m);
            break;
        case HostModifierKind::Generic:
            m["type"] = "generic";
            m["classId"] = ClassIdJson(modifier.ClassID());
            break;
    }
    m["enabled"] = modifier.IsEnabled();
    return m;
}

class DocumentWriter {
public:
    explicit DocumentWriter(const HostScene& scene) : scene_(scene) {}

    Json Write() {
        CountUses(scene_.root());
        Json doc;
        doc["plover_scene"] = kSceneDocumentVersion;
        const int ticks = scene_.ticksPerFrame() > 0 ? scene_.ticksPerFrame() : 1;
        doc["time"] = {{"frameRate", scene_.frameRate()},
                       {"ticksPerFrame", scene_.ticksPerFrame()},
                       {"animationRange", {scene_.animRange().Start() / ticks, scene_.animRange().End() / ticks}}};
        if (!scene_.filePath().empty()) doc["sceneFile"] = scene_.filePath();
        if (!scene_.dirs().empty()) {
            Json dirs;
            for (const auto& [kind, dir] : scene_.dirs()) {
                std::string key = std::to_string(kind);
                for (const SceneDirectoryName& d : kSceneDirectoryNames)
                    if (d.kind == kind) key = std::string(d.name);
                dirs[key] = dir;
            }
            doc["directories"] = std::move(dirs);
        }
        doc["rootName"] = scene_.root().name();
        if (const auto& clips = scene_.clips()) {
            Json list = Json::array();
            for (const HostClip& clip : *clips)
                list.push_back({{"name", clip.name}, {"start", clip.startFrame}, {"end", clip.endFrame}});
            doc["clips"] = std::move(list);
        }
        Json objects = Json::array();
        // Shared objects are named in order of first use, so that the output never depends on addresses.
        for (Object* object : firstUse_) {
            if (uses_[object] < 2) continue;
            const std::string name = "object" + std::to_string(names_.size() + 1);
            names_[object] = name;
            Json o;
            o["name"] = name;
            const Json body = ObjectJson(object);
            for (const auto& [key, value] : body.items()) o[key] = value;
            objects.push_back(std::move(o));
        }
        if (!objects.empty()) doc["objects"] = std::move(objects);
        materials_.AddLists(doc);
        Json nodes = Json::array();
        for (const auto& child : scene_.root().children()) nodes.push_back(NodeJson(*child));
        doc["nodes"] = std::move(nodes);
        return doc;
    }

private:
    static Object* BaseOf(Object* object) {
        while (auto* level = dynamic_cast<HostDerivedObject*>(object)) object = level->GetObjRef();
        return object;
    }

    void CountUses(const HostNode& node) {
        if (Object* base = BaseOf(node.object())) {
            if (uses_[base]++ == 0) firstUse_.push_back(base);
        }
        for (const auto& child : node.children()) CountUses(*child);
    }

    Json NodeJson(const HostNode& node) {
        Json n;
        n["name"] = node.name();
        if (!IsIdentity(node.localTransform())) n["transform"] = MatrixJson(node.localTransform());
        if (!IsIdentity(node.objectOffset())) n["objectOffset"] = MatrixJson(node.objectOffset());
        n["renderable"] = node.renderable();
        n["hidden"] = node.hidden();
        n["selected"] = node.selected();
        const uint32_t c = node.wireColor();
        n["wireColor"] = {c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF};
        // The stack, top level first as the node holds it, written bottom level first.
        std::vector<const HostDerivedObject*> levels;
        Object* object = node.object();
        while (auto* level = dynamic_cast<HostDerivedObject*>(object)) {
            levels.insert(levels.begin(), level);
            object = level->GetObjRef();
        }
        if (object) {
            auto named = names_.find(object);
            n["object"] = named != names_.end() ? Json(named->second) : ObjectJson(object);
        }
        if (!levels.empty()) {
            Json stack = Json::array();
            for (const HostDerivedObject* level : levels) {
                Json list = Json::array();
                for (const auto& modifier : level->modifiers()) list.push_back(ModifierJson(*modifier));
                stack.push_back(std::move(list));
            }
            n["stack"] = std::move(stack);
        }
        if (const HostControl* control = node.controller()) {
            if (auto* keyed = dynamic_cast<const HostTransformControl*>(control))
                n["tmController"] = TransformControlJson(*keyed);
            else if (control->ClassID() == kFootstepControlClassId)
                n["tmController"] = {{"type", "footstep"}};
            else
                n["tmController"] = {{"type", "classed"}, {"classId", ClassIdJson(control->ClassID())}};
        }
        materials_.AddNodeMaterial(node, n);
        if (!node.children().empty()) {
            Json children = Json::array();
            for (const auto& child : node.children()) children.push_back(NodeJson(*child));
            n["children"] = std::move(children);
        }
        return n;
    }

    const HostScene& scene_;
    std::map<Object*, int> uses_;
    std::vector<Object*> firstUse_;
    std::map<Object*, std::string> names_;
    SceneMaterialWriter materials_{scene_};
};

}  // namespace

std::string SaveSceneDocument(const HostScene& scene) {
    // Names are written as UTF-8; bytes that are not UTF-8 become U+FFFD instead of failing.
    std::string text = DocumentWriter(scene).Write().dump(2, ' ', false, Json::error_handler_t::replace);
    text.push_back('\n');
    return text;
}
