#include "host/objects/host_deformers.h"

#include <cmath>

namespace {

// A bone's world transform at the start of the animation range (its default bind pose).
Matrix3 StartTM(HostNode& node) { return node.GetNodeTM(node.scene().animRange().Start()); }

Matrix3 BoneInitTM(const HostDeformerBone& bone) { return bone.initTM ? *bone.initTM : StartTM(*bone.node); }

const HostDeformerBone* FindBone(const std::vector<HostDeformerBone>& bones, INode* node) {
    if (!node) return nullptr;
    for (const HostDeformerBone& bone : bones)
        if (bone.node == node) return &bone;
    return nullptr;
}

// Each usable bone's move from the bind pose to its pose at t: Inverse(init) * world(t).
std::vector<std::optional<Matrix3>> BoneMoves(const std::vector<HostDeformerBone>& bones, TimeValue t) {
    std::vector<std::optional<Matrix3>> moves(bones.size());
    for (size_t b = 0; b < bones.size(); ++b)
        if (bones[b].node) moves[b] = Inverse(BoneInitTM(bones[b])) * bones[b].node->GetNodeTM(t);
    return moves;
}

// Deforms the points of input: pointBones(i, visit) calls visit(bone, weight) for each influence
// of point i. The result is a copy of input; null when input is not a host object.
template <class Influences>
std::unique_ptr<Object> Deform(Object& input, TimeValue t, HostNode& owner, const Matrix3& bindTM,
                               const std::vector<HostDeformerBone>& bones, size_t pointCount,
                               Influences&& influences) {
    const HostObject* host = AsHostObject(&input);
    if (!host) return nullptr;
    std::unique_ptr<Object> result = host->Clone();
    HostObject* out = AsHostObject(result.get());
    const std::vector<std::optional<Matrix3>> moves = BoneMoves(bones, t);
    const Matrix3 toObject = Inverse(owner.GetObjectTM(t));
    const int count = static_cast<int>(std::min<size_t>(pointCount, static_cast<size_t>(result->NumPoints())));
    for (int i = 0; i < count; ++i) {
        const Point3 bind = result->GetPoint(i) * bindTM;
        Point3 sum;
        float total = 0;
        influences(static_cast<size_t>(i), [&](int32_t bone, float weight) {
            if (bone < 0 || static_cast<size_t>(bone) >= moves.size() || !moves[bone] || !(weight > 0)) return;
            sum += (bind * *moves[bone]) * weight;
            total += weight;
        });
        if (total > 0) out->SetPoint(i, (sum / total) * toObject);
    }
    return result;
}

// The interface of one vertex-link vertex, handed out by GetVertexInterface.
class LinkVertexView final : public ILinkVertex {
public:
    LinkVertexView(const HostLinkVertex& vertex, const std::vector<HostDeformerBone>& bones)
        : vertex_(vertex), bones_(bones) {}
    int GetVertexType() override { return vertex_.type; }
    INode* GetNode() override { return NodeOf(0); }
    int GetNumberNodes() override { return static_cast<int>(vertex_.bones.size()); }
    INode* GetNode(int k) override { return NodeOf(k); }
    float GetWeight(int k) override {
        return k >= 0 && static_cast<size_t>(k) < vertex_.weights.size() ? vertex_.weights[k] : 0.0f;
    }

private:
    INode* NodeOf(int k) const {
        if (k < 0 || static_cast<size_t>(k) >= vertex_.bones.size()) return nullptr;
        const int32_t b = vertex_.bones[k];
        return b >= 0 && static_cast<size_t>(b) < bones_.size() ? bones_[b].node : nullptr;
    }
    const HostLinkVertex& vertex_;
    const std::vector<HostDeformerBone>& bones_;
};

}  // namespace

// --- skin deformer ---

void* HostSkinDeformer::GetInterface(Interface_ID id) {
    return id == kSkinInterfaceId ? static_cast<ISkin*>(this) : nullptr;
}

Matrix3 HostSkinDeformer::OwnerInitTM() const { return initTM ? *initTM : StartTM(*owner); }

int HostSkinDeformer::GetSkinInitTM(INode* node, Matrix3& tm, bool withObjectOffset) {
    if (!owner || node != owner) return 0;
    tm = withObjectOffset ? owner->objectOffset() * OwnerInitTM() : OwnerInitTM();
    return 1;
}

INode* HostSkinDeformer::GetBone(int index) {
    return index >= 0 && static_cast<size_t>(index) < bones.size() ? bones[index].node : nullptr;
}

int HostSkinDeformer::GetBoneInitTM(INode* bone, Matrix3& tm, bool withObjectOffset) {
    const HostDeformerBone* found = FindBone(bones, bone);
    if (!found) return 0;
    tm = withObjectOffset ? found->node->objectOffset() * BoneInitTM(*found) : BoneInitTM(*found);
    return 1;
}

ISkinContextData* HostSkinDeformer::GetContextInterface(INode* node) {
    return owner && node == owner ? static_cast<ISkinContextData*>(this) : nullptr;
}

int HostSkinDeformer::GetNumAssignedBones(int point) {
    if (point < 0 || point >= GetNumPoints()) return 0;
    return static_cast<int>(pointFirst[point + 1] - pointFirst[point]);
}

int HostSkinDeformer::GetAssignedBone(int point, int j) {
    if (j < 0 || j >= GetNumAssignedBones(point)) return -1;
    return assignments[pointFirst[point] + j].bone;
}

float HostSkinDeformer::GetBoneWeight(int point, int j) {
    if (j < 0 || j >= GetNumAssignedBones(point)) return 0.0f;
    return assignments[pointFirst[point] + j].weight;
}

void HostSkinDeformer::AddPoint(std::initializer_list<HostSkinAssignment> list) { AddPoint(list.begin(), list.size()); }

void HostSkinDeformer::AddPoint(const HostSkinAssignment* list, size_t count) {
    assignments.insert(assignments.end(), list, list + count);
    pointFirst.push_back(static_cast<uint32_t>(assignments.size()));
}

std::unique_ptr<Object> HostSkinDeformer::Apply(Object& input, TimeValue t) const {
    if (!owner) return nullptr;
    return Deform(input, t, *owner, owner->objectOffset() * OwnerInitTM(), bones, PointCount(),
                  [&](size_t p, auto&& visit) {
                      const auto [list, count] = Point(p);
                      for (size_t j = 0; j < count; ++j) visit(list[j].bone, list[j].weight);
                  });
}

// --- vertex-link deformer ---

void* HostLinkDeformer::GetInterface(Interface_ID id) {
    return id == kLinkDeformerInterfaceId ? static_cast<ILinkDeformer*>(this) : nullptr;
}

Matrix3 HostLinkDeformer::OwnerInitTM() const { return initTM ? *initTM : StartTM(*owner); }

int HostLinkDeformer::GetInitNodeTM(INode* node, Matrix3& tm) {
    if (owner && node == owner) {
        tm = OwnerInitTM();
        return 0;
    }
    const HostDeformerBone* found = FindBone(bones, node);
    if (!found) return 1;
    tm = BoneInitTM(*found);
    return 0;
}

ILinkContext* HostLinkDeformer::GetContextInterface(INode* node) {
    if (!owner || node != owner) return nullptr;
    ++openContexts;
    return this;
}

void HostLinkDeformer::ReleaseContextInterface(ILinkContext* context) {
    if (context == this) --openContexts;
}

ILinkVertex* HostLinkDeformer::GetVertexInterface(int i) {
    if (i < 0 || static_cast<size_t>(i) >= vertices.size() || !vertices[i].present) return nullptr;
    ++openVertexInterfaces;
    return new LinkVertexView(vertices[i], bones);
}

void HostLinkDeformer::ReleaseVertexInterface(ILinkVertex* vertex) {
    if (!vertex) return;
    --openVertexInterfaces;
    delete vertex;
}

std::unique_ptr<Object> HostLinkDeformer::Apply(Object& input, TimeValue t) const {
    if (!owner) return nullptr;
    return Deform(input, t, *owner, owner->objectOffset() * OwnerInitTM(), bones, vertices.size(),
                  [&](size_t p, auto&& visit) {
                      const HostLinkVertex& v = vertices[p];
                      if (!v.present) return;
                      if (v.type == kHostLinkRigid && !v.bones.empty()) {
                          visit(v.bones[0], 1.0f);
                      } else if (v.type == kHostLinkBlended) {
                          for (size_t k = 0; k < v.bones.size() && k < v.weights.size(); ++k)
                              visit(v.bones[k], v.weights[k]);
                      }
                  });
}

// --- building ---

HostSkinDeformer& AddSkinDeformer(HostScene& scene, HostNode& node) {
    auto& skin = static_cast<HostSkinDeformer&>(scene.AddModifier(node, std::make_unique<HostSkinDeformer>()));
    skin.owner = &node;
    return skin;
}

HostLinkDeformer& AddLinkDeformer(HostScene& scene, HostNode& node) {
    auto& link = static_cast<HostLinkDeformer&>(scene.AddModifier(node, std::make_unique<HostLinkDeformer>()));
    link.owner = &node;
    return link;
}
