// The stand-in host's two deformers: the weighted skin deformer and the vertex-link deformer.
//
// Both are modifiers on the stack of the mesh node they deform (their owner) and answer the
// exporter's interface queries (sdk/deformer.h). Bones are host nodes referenced by index into
// the deformer's bone list; a bone entry may name no node (an absent bone). Initial transforms
// (the bind pose) are given explicitly or, when left out, are the node's world transform at the
// start of the scene's animation range.
//
// Evaluating the owner's stack applies the deformation at time t: a point p of the object
// beneath is placed in the world at the bind pose (p * objectOffset * initial transform of the
// owner), moved by each of its bones (* Inverse(bone's initial transform) * bone's world
// transform at t), blended by its weights divided by their sum, and brought back into the
// owner's object space (* Inverse(owner's object transform at t)). Points without a positive
// weight stay where they are.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "host/objects/host_scene.h"
#include "sdk/deformer.h"

// One bone of a deformer.
struct HostDeformerBone {
    HostNode* node = nullptr;         // absent bone when null
    std::optional<Matrix3> initTM;    // bind pose; default: the node's world transform at the start
};

// One assignment of a skin point to a bone.
struct HostSkinAssignment {
    int32_t bone = 0;  // index into bones; negative: no bone
    float weight = 0;
};

class HostSkinDeformer final : public HostModifier, public ISkin, public ISkinContextData {
public:
    HostSkinDeformer() : HostModifier(HostModifierKind::Skin, kSkinClassId) {}

    // Modifier
    void* GetInterface(Interface_ID id) override;
    std::unique_ptr<Object> Apply(Object& input, TimeValue t) const override;
    std::unique_ptr<HostModifier> Clone() const override { return std::make_unique<HostSkinDeformer>(*this); }

    // ISkin. Queries about a node other than the owner (or a node that is not a bone) fail.
    int GetSkinInitTM(INode* node, Matrix3& tm, bool withObjectOffset) override;
    int GetNumBones() override { return static_cast<int>(bones.size()); }
    INode* GetBone(int index) override;
    int GetBoneInitTM(INode* bone, Matrix3& tm, bool withObjectOffset) override;
    ISkinContextData* GetContextInterface(INode* node) override;

    // ISkinContextData
    int GetNumPoints() override { return static_cast<int>(pointFirst.size()) - 1; }
    int GetNumAssignedBones(int point) override;
    int GetAssignedBone(int point, int j) override;
    float GetBoneWeight(int point, int j) override;

    // Appends a point with its assignments.
    void AddPoint(std::initializer_list<HostSkinAssignment> list);
    void AddPoint(const HostSkinAssignment* list, size_t count);
    size_t PointCount() const { return pointFirst.size() - 1; }
    // The assignments of a point: assignments[pointFirst[p] .. pointFirst[p + 1]).
    std::pair<const HostSkinAssignment*, size_t> Point(size_t p) const {
        return {assignments.data() + pointFirst[p], pointFirst[p + 1] - pointFirst[p]};
    }

    HostNode* owner = nullptr;         // the mesh node it deforms
    std::optional<Matrix3> initTM;     // the owner's bind pose (without the object offset)
    std::vector<HostDeformerBone> bones;
    std::vector<uint32_t> pointFirst{0};
    std::vector<HostSkinAssignment> assignments;

private:
    Matrix3 OwnerInitTM() const;
};

// Vertex types of the vertex-link deformer.
inline constexpr int kHostLinkRigid = kLinkRigidType;
inline constexpr int kHostLinkBlended = kLinkBlendedRigidType;

// One vertex of the vertex-link deformer. Rigid: bones holds exactly one bone (weights unused).
// Blended: bones and weights of the same length. Other types carry nothing.
struct HostLinkVertex {
    bool present = true;  // false: the deformer gives no interface for this vertex
    int type = kHostLinkRigid;
    std::vector<int32_t> bones;  // indices into the deformer's bones
    std::vector<float> weights;
};

class HostLinkDeformer final : public HostModifier, public ILinkDeformer, public ILinkContext {
public:
    HostLinkDeformer() : HostModifier(HostModifierKind::LinkDeformer, kLinkDeformerClassId) {}

    // Modifier
    void* GetInterface(Interface_ID id) override;
    std::unique_ptr<Object> Apply(Object& input, TimeValue t) const override;
    std::unique_ptr<HostModifier> Clone() const override { return std::make_unique<HostLinkDeformer>(*this); }

    // ILinkDeformer: the initial transform of the owner or of a bone; 0 when a matrix was given.
    int GetInitNodeTM(INode* node, Matrix3& tm) override;
    ILinkContext* GetContextInterface(INode* node) override;
    void ReleaseContextInterface(ILinkContext* context) override;

    // ILinkContext
    void ConvertToRigid(bool on) override { convertToRigid = on; }
    void AllowBlending(bool on) override { allowBlending = on; }
    int GetNumberVertices() override { return static_cast<int>(vertices.size()); }
    ILinkVertex* GetVertexInterface(int i) override;
    void ReleaseVertexInterface(ILinkVertex* vertex) override;

    HostNode* owner = nullptr;
    std::optional<Matrix3> initTM;  // the owner's bind pose (without the object offset)
    std::vector<HostDeformerBone> bones;
    std::vector<HostLinkVertex> vertices;

    // Recorded for tests: the switches as last set, and interfaces handed out but not released.
    bool convertToRigid = false;
    bool allowBlending = false;
    int openVertexInterfaces = 0;
    int openContexts = 0;

private:
    Matrix3 OwnerInitTM() const;
};

// Adds a deformer to the top stack level of node (a level is made when it has none) with node
// as its owner.
HostSkinDeformer& AddSkinDeformer(HostScene& scene, HostNode& node);
HostLinkDeformer& AddLinkDeformer(HostScene& scene, HostNode& node);
