// Skinning: the skin record of a mesh node, its extraction from the host's deformers, the
// weight fix and the remapping of weights onto tessellated topology.
//
// ExtractSkin runs from the data pass for every mesh node once its mesh data exists. It reads
// the node's skin deformer (or, failing that, its vertex-link deformer) into pointSkin, whose
// weights are indexed by the object's points (node.pointCount of them). When the node's triangle
// mesh is its point list one to one, meshSkin is that same record; otherwise (topologyChanged)
// the weights are carried over by position to the mesh vertices in a separate meshSkin. The
// writer (xfile/write_skin.h) serialises meshSkin.
//
// Geometry of the remapping is compared in the object's own coordinates: node.mesh->verts
// against node.objectPoints. Mesh vertex i is mesh-data position i.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/conversion.h"
#include "mesh/mesh_data.h"
#include "sdk/math.h"

class ExportContext;
class ExportMessages;
class INode;
class Modifier;
class ProgressMeter;
class XNode;
class XRenderableNode;

// One bone's influence on one point (pointSkin) or mesh position (meshSkin).
struct SkinWeight {
    uint32_t point = 0;  // the point (pointSkin) or mesh position (meshSkin) influenced
    float weight = 0.0f;
};

struct SkinBone {
    INode* hostNode = nullptr;
    std::string name;  // the bone's export node name when the entry was made; "" without one
    Matrix3 offset;    // mesh space to bone space at the initial pose (host coordinates)
    Matrix3 exportOffset;  // offset in export coordinates, set by FinaliseSkin
    // The points the bone influences, ascending, each once; a point not listed is not influenced.
    // A point takes a few bones, so the lists of all bones together are a few entries per point.
    std::vector<SkinWeight> weights;

    // The entry of point p, or null when the bone does not influence it.
    const SkinWeight* Weight(uint32_t p) const;
    SkinWeight* Weight(uint32_t p);
    // The entry of point p when it is the last one, else null: the deformers are read in point
    // order, so an entry made for the current point is always last.
    SkinWeight* Last(uint32_t p) { return !weights.empty() && weights.back().point == p ? &weights.back() : nullptr; }
};

// The key that orders a record's bones. The skin deformer keys a bone by the index under which
// it first names the bone; the vertex-link deformer by the order in which bones first appear.
// Both are properties of the scene, so the order is the same from one export to the next, and
// a remapped record keeps the keys (and so the order) of the record it came from.
using SkinBoneKey = uint32_t;

struct XSkinInfo {
    // The three counts of the file's skin header; 0 until FinaliseSkin.
    uint16_t maxWeightsPerVertex = 0;
    uint16_t maxWeightsPerFace = 0;
    uint16_t boneCount = 0;

    // Every bone that influences at least one point, in key order. Walk it with range-for.
    std::map<SkinBoneKey, SkinBone> bones;

    // The bone of a host node, or null.
    SkinBone* Find(INode* boneHostNode);
    const SkinBone* Find(INode* boneHostNode) const;
    // Adds a bone under key (which must be new) without weights.
    SkinBone& Add(SkinBoneKey key, INode* boneHostNode, std::string name, const Matrix3& offset);
    // The key of a host node's bone; only valid when Find gives one.
    SkinBoneKey KeyOf(INode* boneHostNode) const { return keyOf_.at(boneHostNode); }

private:
    std::unordered_map<INode*, SkinBoneKey> keyOf_;
};

// --- extraction -----------------------------------------------------------------------------

// What skin weights are read with, fixed before the data pass (the driver fills it from the
// options, the conversion and the export tree).
struct SkinSettings {
    Conversion conversion;       // host to export coordinates
    bool skin = false;           // Skin: weights are read at all
    bool worldSpace = false;     // bone offsets from world space instead of the mesh's initial pose
    bool weightFix = false;      // SkinFix with a Precision other than 0: the weight fix runs
    float weightFixLimit = 0;    // Precision * 0.1: the largest shortfall the fix tops up
    // The name of a bone's export node, "" when the bone has none.
    std::function<std::string(INode* boneHostNode)> boneName;
};

// The entry point. With Skin on reads the skin deformer (or else the vertex-link deformer) of
// the node's host node into pointSkin, remaps it onto the mesh when topologyChanged, finalises
// meshSkin and sets skinned. Leaves the node unskinned when Skin is off, without a deformer or
// its interface, or when the remapping fails. Steps the meter per face and per remapped
// position; a patch fault's message goes to messages.
void ExtractSkin(const SkinSettings& settings, XRenderableNode& node, ProgressMeter& meter, ExportMessages& messages);

// Fill node.pointSkin (which must exist) from the deformer; false when the deformer gives no
// interface or no data for this node. Run the weight fix when settings.weightFix is on.
bool ReadSkinDeformer(const SkinSettings& settings, XRenderableNode& node, Modifier* deformer);
bool ReadLinkDeformer(const SkinSettings& settings, XRenderableNode& node, Modifier* deformer);

// Sets the three counts of node.meshSkin from node.meshData's faces and its bones' offsets in
// export coordinates. Steps the progress meter once per face.
void FinaliseSkin(const Conversion& conversion, XRenderableNode& node, ProgressMeter& meter);

// Bone marking during collection: for every bone the deformer names for node's host node,
// recomputes node.exported; on the bone's export node (when there is one) lowers renderable to
// BoneMesh, sets isBone, and exports it when node is exported and Skin and Bones are on.
// Marks the bones of every geometry node's skin or vertex-link deformer, in host order.
void MarkDeformerBones(ExportContext& exporter);
// Whether a node a skin names as a bone is a skinned mesh itself (a mesh may be one of its own
// joints): it then stays a mesh instead of becoming a bone whose geometry BoneMesh leaves out.
bool IsSkinnedMeshNode(const XNode& node);
void MarkSkinBones(ExportContext& exporter, XNode& node, Modifier* deformer);
void MarkLinkBones(ExportContext& exporter, XNode& node, Modifier* deformer);

// Number of bones of a record (its bone count once finalised).
uint32_t SkinBoneCount(const XSkinInfo& skin);
// Calls visit with each bone's host node, in the record's key order.
void VisitSkinBones(const XSkinInfo& skin, const std::function<void(INode* boneHostNode)>& visit);

// --- weight processing ------------------------------------------------------------------------

// Distances below which a mesh position and an object point are the same point, and the start
// values of the nearest-point searches.
inline constexpr float kSkinMatchDistance = 1e-4f;
inline constexpr float kPatchSearchStart = 99999.0f;
inline constexpr float kTessellatedSearchStart = 268435455.0f;
// The ring search stops once it has found this many matched vertices.
inline constexpr uint32_t kSkinCandidateCount = 3;

// Tops up every point below pointCount whose used weights sum to less than 1 by the same share
// per used entry, when the shortfall is at most min(1, limit). limit <= 0 does nothing.
void WeightFix(XRenderableNode& node, uint32_t pointCount, float limit);

// Adds the weights of pointSkin's point, times factor, to meshSkin's position (capped at 1.0),
// adding bones to meshSkin as they are first needed. The additions are queued in call order;
// SettleBlendedWeights sums them, so a remapping calls it once it is done.
void BlendSourceWeights(XRenderableNode& node, uint32_t position, uint32_t point, float factor);
// Sums the queued additions of every bone of skin into one entry per position, in the order
// they were made, and sorts the entries by position.
void SettleBlendedWeights(XSkinInfo& skin);

// The index of the first object point equal to q, else of the nearest one (first of equal
// squared distances); -1 when the node has no points.
int32_t NearestSourcePoint(const XRenderableNode& node, const Point3& q);

// True when p is one of the corners, or lies outside triangle a, b, c seen along its normal.
bool PointOutsideTriangle(const Point3& p, const Point3& a, const Point3& b, const Point3& c);

// Build node.meshSkin from node.pointSkin for a patch object (direct matches, then area weights
// over the patch corners) or any other changed topology (direct or NURBS matching, then a ring
// search over the mesh edges). False leaves the node unskinned.
// Both step the meter once per position (and the patch remapping once per face); a patch node
// whose faces or patches cannot be read shows kPatchFaultText through messages.
bool RemapPatchSkin(XRenderableNode& node, ProgressMeter& meter, ExportMessages& messages);
bool RemapTessellatedSkin(XRenderableNode& node, ProgressMeter& meter);

// Message of a patch node whose mesh has no usable face list (the node is then not skinned):
// the same host-fault message as mesh generation's.
inline constexpr const char* kPatchFaultText = kMeshFaultText;
inline constexpr const char* kPatchFaultCaption = kMeshFaultCaption;
