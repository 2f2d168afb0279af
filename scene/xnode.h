// The export tree: one XNode per collected host node.
//
// Node collection (scene/collect_nodes.h) builds the tree once per export; the data pass
// (plugin/data_pass.h) fills transforms, materials, mesh data, skin and animation into it; the
// writer (xfile/write_xfile.h) serialises it. No later stage walks the host scene except
// through the hostNode handles kept here.
//
// A node whose object can deliver a triangle mesh is an XRenderableNode, which carries the
// geometry and everything derived from it; every other node is a plain XNode, which only
// contributes a frame, a name, a transform and animation. Nodes are always deleted through
// an XNode pointer; each node owns its children.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "material/xmaterial.h"
#include "scene/anim_keys.h"
#include "sdk/math.h"
#include "sdk/mesh.h"
#include "sdk/node.h"
#include "sdk/types.h"

class Object;
struct XMeshData;  // mesh/mesh_data.h
struct XSkinInfo;  // skin/skin_info.h

// What a node's base object is, decided by node collection.
enum XNodeKind : int32_t {
    OtherObject = 0,      // anything else; also every node whose geometry extraction failed
    MeshObject = 1,       // geometry or shape on a renderable node, convertible to a triangle mesh
    BoneObject = 2,       // the host bone object
    BipedBone = 3,        // a biped skeleton part
    OtherBone = 4,        // the other bone-like object classes
    DummyHelper = 5,      // the dummy helper
    OtherHelper = 6,      // any other helper
    PatchObjectKind = 7,  // the patch object
    NurbsObject = 8,      // the NURBS object classes
};

// Kinds 2, 3 and 4: wherever a rule speaks of a bone kind it means exactly these.
inline bool IsBoneKind(int32_t kind) { return kind == BoneObject || kind == BipedBone || kind == OtherBone; }

class XNode {
public:
    XNode() = default;
    virtual ~XNode();
    XNode(const XNode&) = delete;
    XNode& operator=(const XNode&) = delete;

    int32_t kind = OtherObject;  // XNodeKind
    int32_t renderable = 0;      // 1: carries geometry that is to be written (only on XRenderableNode)
    int32_t isBone = 0;          // 1: a skin or vertex-link deformer uses this node as a bone
    int32_t exported = 0;        // 1: part of the export (or an ancestor of such a node)
    INode* hostNode = nullptr;   // the host node this export node stands for
    std::string name;            // legal (and unless DuplicateNodeName, unique) export name
    bool processed = false;      // visited by the data pass; the writer skips unprocessed nodes
    bool counted = false;        // its units of work were added to the stage-1 estimate
    Matrix3 frameTM;             // world transform at the export time, mirroring removed
    Matrix3 frameMatrix;         // its Frame's matrix in export coordinates, set at the end of the data pass
    XNode* parent = nullptr;     // export node of the host parent; null under the scene root
    std::vector<std::unique_ptr<XNode>> children;  // in the host's child order
    std::vector<AnimTrack> tracks;                  // one per animation clip, in clip order
};

class XRenderableNode : public XNode {
public:
    XRenderableNode();
    ~XRenderableNode() override;

    // Node collection: evaluates the node's object at t and records what the mesh holds (its
    // counts and channels) without keeping the host's mesh, which the host may replace when the
    // object is evaluated at another time. A mesh the node owns (a patch tessellation, a
    // conversion's temporary) is kept. True when the node has a usable mesh; a second call on
    // such a node returns true at once.
    bool ExtractGeometry(TimeValue t);
    // The data pass: points `mesh` at the mesh of the object evaluated at t (evaluating it again),
    // sets pointCount and, with withPoints, fills objectPoints when topologyChanged. The mesh
    // stays valid until the host evaluates the object at another time, so it is read at once and
    // released. False when the object no longer gives a usable mesh.
    bool AcquireMesh(TimeValue t, bool withPoints);
    // Drops the mesh, the node's own geometry and points once the records are made from them.
    void ReleaseMesh();

    // The triangle-mesh object a conversion made for this node (a temporary the node deletes);
    // null when the object was a triangle mesh itself or after ReleaseMesh.
    Object* convertedObject = nullptr;
    bool ownsConvertedObject = false;  // convertedObject is set (a temporary the node owns)
    Mesh meshCopy;                     // the node's own mesh: a patch's tessellation, object space
    const Mesh* mesh = nullptr;        // the mesh being read, between AcquireMesh and ReleaseMesh
    PatchMesh* patchMesh = nullptr;    // PatchObjectKind: the evaluated patch object's patch mesh (same span)
    std::vector<int> patchTable;       // per face of meshCopy: the patch it came from
    bool hasGeometry = false;          // ExtractGeometry found a usable mesh
    uint32_t faceCount = 0;            // the mesh's faces and vertices, and the object's points,
    uint32_t vertCount = 0;            // when last evaluated
    uint32_t pointCount = 0;
    bool hasColorChannel = false;      // map channel 0 has vertices
    bool hasSecondUvChannel = false;   // map channel 2 has vertices

private:
    const Mesh* ConvertedMesh(Object* evaluated, TimeValue t);

public:
    Matrix3 objectTM;                  // mesh coordinates to world (skinned: bind-pose object TM)
    XMaterialList materials;           // indexed by the faces' material index; owned
    std::shared_ptr<XMeshData> meshData;   // empty until mesh data generation succeeds
    std::shared_ptr<XSkinInfo> pointSkin;  // weights by the object's points
    std::shared_ptr<XSkinInfo> meshSkin;   // weights by the mesh's vertices; the writer's record
    std::vector<Point3> objectPoints;      // the evaluated object's points at t, in point order
                                           // (filled by AcquireMesh when asked for and the
                                           // topology changed; else pointCount is all there is)
    bool skinned = false;                  // skin data is present and usable
    bool topologyChanged = false;          // the mesh's vertices are not the object's points one to one
};

// renderable is 1, isBone is 0 and the kind is not a bone kind.
bool IsMeshNode(const XNode& node);
// isBone is 1 or the kind is a bone kind.
bool IsBoneLike(const XNode& node);

// The node as a geometry node, or null for a plain XNode.
inline XRenderableNode* AsRenderable(XNode* node) { return dynamic_cast<XRenderableNode*>(node); }
inline const XRenderableNode* AsRenderable(const XNode* node) { return dynamic_cast<const XRenderableNode*>(node); }
