#include "host/document/scene_document_deformers.h"

#include <cmath>
#include <map>
#include <set>

#include "host/document/json_document.h"
#include "host/document/scene_document.h"

namespace {

using json_document::Element;
using json_document::Json;
using json_document::MatrixJson;
using json_document::Number;
using json_document::OrderedJson;

// Every node of the subtree by name; nodes sharing a name map to null (ambiguous).
void CollectNames(HostNode& node, std::map<std::string, HostNode*>& names) {
    for (const auto& child : node.children()) {
        auto [it, added] = names.emplace(child->name(), child.get());
        if (!added) it->second = nullptr;
        CollectNames(*child, names);
    }
}

// Sets the owner of every deformer on the stacks of the subtree's nodes.
void SetOwners(HostNode& node, const std::set<HostModifier*>& deformers, std::set<HostModifier*>& owned) {
    for (Object* o = node.object(); o;) {
        auto* level = dynamic_cast<HostDerivedObject*>(o);
        if (!level) break;
        for (const auto& modifier : level->modifiers()) {
            if (!deformers.count(modifier.get())) continue;
            if (auto* skin = dynamic_cast<HostSkinDeformer*>(modifier.get())) skin->owner = &node;
            if (auto* link = dynamic_cast<HostLinkDeformer*>(modifier.get())) link->owner = &node;
            owned.insert(modifier.get());
        }
        o = level->GetObjRef();
    }
    for (const auto& child : node.children()) SetOwners(*child, deformers, owned);
}

OrderedJson BonesJson(const std::vector<HostDeformerBone>& bones) {
    OrderedJson list = OrderedJson::array();
    for (const HostDeformerBone& bone : bones) {
        OrderedJson b;
        b["node"] = bone.node ? OrderedJson(bone.node->name()) : OrderedJson(nullptr);
        if (bone.initTM) b["initTransform"] = MatrixJson(*bone.initTM);
        list.push_back(std::move(b));
    }
    return list;
}

}  // namespace

// Walks one deformer object; the first problem found is kept by the owner.
class DeformerJsonReader : public json_document::FirstProblem {
public:
    DeformerJsonReader(SceneDeformerReader& owner, std::string& errorPath, std::string& problem)
        : FirstProblem(errorPath, problem, json_document::TopLevelMember::Dotted), owner_(owner) {}

    bool Matrix(const Json& v, const std::string& path, Matrix3& out) {
        std::vector<float> f;
        if (!ReadFloats(v, path, 12, 1, f)) return false;
        out = Matrix3(Point3(f[0], f[1], f[2]), Point3(f[3], f[4], f[5]), Point3(f[6], f[7], f[8]),
                      Point3(f[9], f[10], f[11]));
        out.ClearFlags();
        return true;
    }

    bool InitTM(const Json& v, const std::string& path, std::optional<Matrix3>& out) {
        if (!v.contains("initTransform")) return true;
        Matrix3 m;
        if (!Matrix(v["initTransform"], Member(path, "initTransform"), m)) return false;
        out = m;
        return true;
    }

    bool Bones(const Json& v, const std::string& path, HostModifier& deformer, std::vector<HostDeformerBone>& bones) {
        if (!v.contains("bones")) return true;
        const std::string at = Member(path, "bones");
        const Json& list = v["bones"];
        if (!ReadArray(list, at, "an array of bones", kMaxSceneArrayElements)) return false;
        bones.resize(list.size());
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string b = Element(at, i);
            const Json& bone = list[i];
            if (!bone.is_object()) return Fail(b, "expected a bone object");
            if (!OnlyKnownKeys(bone, b, {"node", "initTransform"})) return false;
            if (!bone.contains("node")) return Fail(Member(b, "node"), "missing field (a node name, or null)");
            const Json& node = bone["node"];
            if (node.is_string()) {
                const std::string name = node.get<std::string>();
                owner_.references_.push_back({&deformer, i, name, Member(b, "node")});
            } else if (!node.is_null()) {
                return Fail(Member(b, "node"), "expected a node name or null");
            }
            if (!InitTM(bone, b, bones[i].initTM)) return false;
        }
        return true;
    }

    bool Skin(const Json& v, const std::string& path, HostSkinDeformer& skin) {
        if (!OnlyKnownKeys(v, path, {"type", "enabled", "initTransform", "bones", "points"})) return false;
        if (!InitTM(v, path, skin.initTM) || !Bones(v, path, skin, skin.bones)) return false;
        if (!v.contains("points")) return true;
        const std::string at = Member(path, "points");
        const Json& points = v["points"];
        if (!ReadArray(points, at, "an array of points, each [bone, weight, ...]", kMaxSceneArrayElements)) return false;
        const int64_t boneLimit = static_cast<int64_t>(skin.bones.size()) - 1;
        std::vector<HostSkinAssignment> list;
        for (size_t p = 0; p < points.size(); ++p) {
            const std::string pp = Element(at, p);
            const Json& point = points[p];
            if (!ReadArray(point, pp, "an array of bone indices and weights", kMaxSceneArrayElements)) return false;
            if (point.size() % 2 != 0) return Fail(pp, "expected pairs of bone index and weight");
            if (skin.assignments.size() + point.size() / 2 > kMaxSceneArrayElements)
                return Fail(pp, "too many assignments (limit " + std::to_string(kMaxSceneArrayElements) + ")");
            list.resize(point.size() / 2);
            for (size_t k = 0; k < list.size(); ++k) {
                int64_t bone = 0;
                if (!ReadInt(point[2 * k], Element(pp, 2 * k), -1, boneLimit, bone)) return false;
                list[k].bone = static_cast<int32_t>(bone);
                if (!ReadFloat(point[2 * k + 1], Element(pp, 2 * k + 1), list[k].weight)) return false;
            }
            skin.AddPoint(list.data(), list.size());
        }
        return true;
    }

    bool Link(const Json& v, const std::string& path, HostLinkDeformer& link) {
        if (!OnlyKnownKeys(v, path, {"type", "enabled", "initTransform", "bones", "vertices"})) return false;
        if (!InitTM(v, path, link.initTM) || !Bones(v, path, link, link.bones)) return false;
        if (!v.contains("vertices")) return true;
        const std::string at = Member(path, "vertices");
        const Json& vertices = v["vertices"];
        if (!ReadArray(vertices, at, "an array of vertices", kMaxSceneArrayElements)) return false;
        const int64_t boneLimit = static_cast<int64_t>(link.bones.size()) - 1;
        link.vertices.resize(vertices.size());
        for (size_t i = 0; i < vertices.size(); ++i) {
            const std::string vp = Element(at, i);
            const Json& vertex = vertices[i];
            HostLinkVertex& out = link.vertices[i];
            if (vertex.is_null()) {
                out.present = false;
                continue;
            }
            if (!vertex.is_object()) return Fail(vp, "expected a vertex object or null");
            if (!OnlyKnownKeys(vertex, vp, {"type", "bone", "bones", "weights"})) return false;
            int64_t value = 0;
            if (vertex.contains("bone")) {
                if (vertex.contains("type") || vertex.contains("bones") || vertex.contains("weights"))
                    return Fail(vp, "a rigid vertex has \"bone\" only");
                if (!ReadInt(vertex["bone"], Member(vp, "bone"), 0, boneLimit, value)) return false;
                out.type = kHostLinkRigid;
                out.bones = {static_cast<int32_t>(value)};
            } else if (vertex.contains("bones")) {
                if (vertex.contains("type")) return Fail(Member(vp, "type"), "a blended vertex has no \"type\"");
                const Json& bones = vertex["bones"];
                if (!ReadArray(bones, Member(vp, "bones"), "an array of bone indices", kMaxSceneArrayElements)) return false;
                if (!vertex.contains("weights")) return Fail(Member(vp, "weights"), "missing field");
                const Json& weights = vertex["weights"];
                if (!ReadArray(weights, Member(vp, "weights"), "an array of weights", kMaxSceneArrayElements)) return false;
                if (weights.size() != bones.size())
                    return Fail(Member(vp, "weights"), "expected one weight per bone (" + std::to_string(bones.size()) +
                                                           "), found " + std::to_string(weights.size()));
                out.type = kHostLinkBlended;
                out.bones.resize(bones.size());
                out.weights.resize(bones.size());
                for (size_t k = 0; k < bones.size(); ++k) {
                    if (!ReadInt(bones[k], Element(Member(vp, "bones"), k), 0, boneLimit, value)) return false;
                    out.bones[k] = static_cast<int32_t>(value);
                    if (!ReadFloat(weights[k], Element(Member(vp, "weights"), k), out.weights[k])) return false;
                }
            } else if (vertex.contains("type")) {
                if (vertex.contains("weights")) return Fail(Member(vp, "weights"), "only a blended vertex has weights");
                if (!ReadInt(vertex["type"], Member(vp, "type"), 0, 0x7FFFFFFF, value)) return false;
                if (value == kHostLinkRigid || value == kHostLinkBlended)
                    return Fail(Member(vp, "type"), "give a rigid vertex as {\"bone\": i} and a blended one as "
                                                    "{\"bones\": [...], \"weights\": [...]}");
                out.type = static_cast<int>(value);
            } else {
                return Fail(vp, "expected \"bone\", \"bones\" and \"weights\", or \"type\"");
            }
        }
        return true;
    }

private:
    SceneDeformerReader& owner_;
};

bool SceneDeformerReader::Fail(const std::string& path, const std::string& problem) {
    return json_document::FirstProblem(errorPath_, errorProblem_).Fail(path, problem);
}

std::unique_ptr<HostModifier> SceneDeformerReader::Read(const nlohmann::json& v, const std::string& path,
                                                        const std::string& type) {
    DeformerJsonReader reader(*this, errorPath_, errorProblem_);
    if (type == "skin") {
        auto skin = std::make_unique<HostSkinDeformer>();
        if (!reader.Skin(v, path, *skin)) return nullptr;
        deformers_.emplace_back(skin.get(), path);
        return skin;
    }
    auto link = std::make_unique<HostLinkDeformer>();
    if (!reader.Link(v, path, *link)) return nullptr;
    deformers_.emplace_back(link.get(), path);
    return link;
}

bool SceneDeformerReader::Resolve(HostScene& scene) {
    if (deformers_.empty()) return true;
    std::set<HostModifier*> all, owned;
    for (const auto& [deformer, path] : deformers_) all.insert(deformer);
    SetOwners(scene.root(), all, owned);
    for (const auto& [deformer, path] : deformers_)
        if (!owned.count(deformer)) return Fail(path, "the deformer is on no node's stack");

    std::map<std::string, HostNode*> names;
    CollectNames(scene.root(), names);
    for (const BoneReference& ref : references_) {
        auto found = names.find(ref.name);
        if (found == names.end()) return Fail(ref.path, "unknown node \"" + ref.name + "\"");
        if (!found->second) return Fail(ref.path, "more than one node is named \"" + ref.name + "\"");
        if (auto* skin = dynamic_cast<HostSkinDeformer*>(ref.deformer)) skin->bones[ref.bone].node = found->second;
        if (auto* link = dynamic_cast<HostLinkDeformer*>(ref.deformer)) link->bones[ref.bone].node = found->second;
    }
    return true;
}

void AddDeformerJson(const HostModifier& modifier, nlohmann::ordered_json& m) {
    if (const auto* skin = dynamic_cast<const HostSkinDeformer*>(&modifier)) {
        if (skin->initTM) m["initTransform"] = MatrixJson(*skin->initTM);
        if (!skin->bones.empty()) m["bones"] = BonesJson(skin->bones);
        if (skin->PointCount() > 0) {
            OrderedJson points = OrderedJson::array();
            for (size_t p = 0; p < skin->PointCount(); ++p) {
                OrderedJson point = OrderedJson::array();
                const auto [list, count] = skin->Point(p);
                for (size_t k = 0; k < count; ++k) {
                    point.push_back(list[k].bone);
                    point.push_back(Number(list[k].weight));
                }
                points.push_back(std::move(point));
            }
            m["points"] = std::move(points);
        }
    } else if (const auto* link = dynamic_cast<const HostLinkDeformer*>(&modifier)) {
        if (link->initTM) m["initTransform"] = MatrixJson(*link->initTM);
        if (!link->bones.empty()) m["bones"] = BonesJson(link->bones);
        if (!link->vertices.empty()) {
            OrderedJson vertices = OrderedJson::array();
            for (const HostLinkVertex& vertex : link->vertices) {
                OrderedJson out;
                if (!vertex.present) {
                    out = nullptr;
                } else if (vertex.type == kHostLinkRigid) {
                    out["bone"] = vertex.bones.empty() ? 0 : vertex.bones[0];
                } else if (vertex.type == kHostLinkBlended) {
                    out["bones"] = vertex.bones;
                    OrderedJson weights = OrderedJson::array();
                    for (float w : vertex.weights) weights.push_back(Number(w));
                    out["weights"] = std::move(weights);
                } else {
                    out["type"] = vertex.type;
                }
                vertices.push_back(std::move(out));
            }
            m["vertices"] = std::move(vertices);
        }
    }
}
