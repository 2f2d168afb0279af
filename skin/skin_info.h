// Skin records and the skin entry points the export tree and the data pass call.
//
// XSkinInfo and the extraction arrive with the skin issue; until then these are stubs
// (skin/extract_skin.cpp, skin/mark_bones.cpp, skin/skin_bones.cpp): no node is skinned and
// collection marks no bones.
#pragma once

#include <cstdint>
#include <functional>

class INode;
class Modifier;
class XExporter;
class XNode;
class XRenderableNode;

// The skin record of a mesh node: counts and a bone map ordered by bone host node.
struct XSkinInfo;

// Reads the skin of a mesh node after its mesh data exists: sets skinned, pointSkin, meshSkin.
void ExtractSkin(XExporter& exporter, XRenderableNode& node);

// Bone marking during collection: recomputes node.exported and, on every bone node found in
// the node map, sets isBone, lowers renderable to BoneMesh, and exports it when the mesh node
// is exported and Skin and Bones are on. deformer is the skin (respectively vertex-link)
// modifier found on node's host node.
void MarkSkinBones(XExporter& exporter, XNode& node, Modifier* deformer);
void MarkLinkBones(XExporter& exporter, XNode& node, Modifier* deformer);

// Number of bones of a finalised record.
uint32_t SkinBoneCount(const XSkinInfo& skin);
// Calls visit with each bone's host node, in the record's key order.
void VisitSkinBones(const XSkinInfo& skin, const std::function<void(INode* boneHostNode)>& visit);
