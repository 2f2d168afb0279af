// Deformers: the weighted skin deformer and the vertex-link deformer.
//
// Both are modifiers on a node's stack. The exporter asks the modifier for the interface with
// GetInterface(kSkinInterfaceId) or GetInterface(kLinkDeformerInterfaceId).
#pragma once

#include "sdk/math.h"
#include "sdk/types.h"

class INode;

inline constexpr Interface_ID kSkinInterfaceId{0x00010000, 0x00000001};
inline constexpr Interface_ID kLinkDeformerInterfaceId{0x00010000, 0x00000002};

// Per-mesh-node data of the skin deformer: assignments of points to bones.
class ISkinContextData {
public:
    virtual ~ISkinContextData() = default;
    virtual int GetNumPoints() = 0;
    virtual int GetNumAssignedBones(int point) = 0;
    // Bone index of assignment j of the point; negative when none.
    virtual int GetAssignedBone(int point, int j) = 0;
    virtual float GetBoneWeight(int point, int j) = 0;
};

class ISkin {
public:
    virtual ~ISkin() = default;
    // Initial pose transform of the mesh node, with or without the object offset.
    // Returns non-zero on success.
    virtual int GetSkinInitTM(INode* node, Matrix3& tm, bool withObjectOffset) = 0;
    virtual int GetNumBones() = 0;
    // The bone host node of a bone index; may be null.
    virtual INode* GetBone(int index) = 0;
    // Initial transform of a bone host node (without object offset). Non-zero on success.
    virtual int GetBoneInitTM(INode* bone, Matrix3& tm, bool withObjectOffset) = 0;
    // Context data of the mesh node; null when the node is not deformed by this skin.
    virtual ISkinContextData* GetContextInterface(INode* node) = 0;
};

inline constexpr int kLinkRigidType = 1;
inline constexpr int kLinkBlendedRigidType = 5;

// One vertex of a vertex-link deformer.
class ILinkVertex {
public:
    virtual ~ILinkVertex() = default;
    // kLinkRigidType, kLinkBlendedRigidType, or another type that the exporter ignores.
    virtual int GetVertexType() = 0;
    // Rigid vertex: its bone.
    virtual INode* GetNode() = 0;
    // Blended vertex: its bones and weights.
    virtual int GetNumberNodes() = 0;
    virtual INode* GetNode(int k) = 0;
    virtual float GetWeight(int k) = 0;
};

// Per-mesh-node data of the vertex-link deformer.
class ILinkContext {
public:
    virtual ~ILinkContext() = default;
    virtual void ConvertToRigid(bool on) = 0;
    virtual void AllowBlending(bool on) = 0;
    virtual int GetNumberVertices() = 0;
    // Vertex interface i (may be null); hand it back with ReleaseVertexInterface.
    virtual ILinkVertex* GetVertexInterface(int i) = 0;
    virtual void ReleaseVertexInterface(ILinkVertex* vertex) = 0;
};

class ILinkDeformer {
public:
    virtual ~ILinkDeformer() = default;
    // Initial transform of a host node (mesh node or bone); returns 0 when a matrix was returned.
    virtual int GetInitNodeTM(INode* node, Matrix3& tm) = 0;
    // Context of the mesh node; may be null.
    virtual ILinkContext* GetContextInterface(INode* node) = 0;
    virtual void ReleaseContextInterface(ILinkContext* context) = 0;
};
