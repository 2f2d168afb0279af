// The export tree: one XNode per collected host node.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sdk/math.h"
#include "sdk/node.h"

// What a node's base object is, decided by node collection.
enum XNodeKind : int32_t {
    OtherObject = 0,
    MeshObject = 1,
    BoneObject = 2,
    BipedBone = 3,
    OtherBone = 4,
    DummyHelper = 5,
    OtherHelper = 6,
    PatchObjectKind = 7,
    NurbsObject = 8,
};

inline bool IsBoneKind(int32_t kind) { return kind == BoneObject || kind == BipedBone || kind == OtherBone; }

class XNode {
public:
    XNode() = default;
    virtual ~XNode();
    XNode(const XNode&) = delete;
    XNode& operator=(const XNode&) = delete;

    int32_t kind = OtherObject;
    int32_t renderable = 0;  // carries geometry that is to be written
    int32_t isBone = 0;      // a deformer uses this node as a bone
    int32_t exported = 0;    // part of the export
    INode* hostNode = nullptr;
    std::string name;        // legal (and unless DuplicateNodeName, unique) export name
    bool processed = false;  // visited by the data pass
    bool counted = false;    // its work was added to the stage-1 estimate
    Matrix3 frameTM;         // world transform, mirroring removed
    XNode* parent = nullptr;
    std::vector<std::unique_ptr<XNode>> children;
};

// A renderable node, a mesh node that is not a bone.
bool IsMeshNode(const XNode& node);
// A node that a deformer uses as a bone, or of a bone kind.
bool IsBoneLike(const XNode& node);
