// Node collection: builds the export tree from the host scene and decides, once per export,
// which nodes are exported and in what role.
//
// CollectNodes walks the host scene depth first with CollectNode, children in the host's
// order, so the tree and the context's node list are in host order. Targets and biped
// footsteps are dropped with their subtrees. SettleExportFlags then settles the export flags
// of every node (after skin/ has marked the bones of deformers).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "sdk/types.h"

class INode;
class ExportContext;
class XNode;

// The state of one collection: the exporter and the export names given so far, which mirror
// the names of the nodes in the node map (so that a unique name is found without rescanning
// the map).
struct NodeCollection {
    explicit NodeCollection(ExportContext& exporter);
    ExportContext& exporter;
    std::unordered_set<std::string> names;
};

void CollectNodes(ExportContext& exporter, INode* rootNode);
void SettleExportFlags(ExportContext& exporter);

// Classifies one host node, creates its export node under parent (null: top level) and
// recurses into its children.
void CollectNode(NodeCollection& collection, XNode* parent, INode* hostNode);

// Creates the export node of hostNode with its kind; with geometry an XRenderableNode whose
// geometry is extracted at once, falling back to a plain node of kind 0 when that fails.
// Links the node into parent's children (or the top-level list) and the node map. Never null.
XNode* CreateExportNode(NodeCollection& collection, XNode* parent, INode* hostNode, int32_t kind, bool geometry);

// The legal export name of a host name: SanitizeXName ("Unnamed" for an empty result), then, unless DuplicateNodeName, "_"
// appended until no export node has it.
std::string MakeUniqueName(NodeCollection& collection, std::string_view hostName);

// 1 when the node is selected (selected-only export) or visible, and not excluded by the
// option filters; else 0.
int32_t ComputeExportFlag(const ExportContext& exporter, const XNode& node);
// Excluded by Meshs, Dummy, Bones or, unless OTHER, as an other node.
bool IsExcluded(const ExportContext& exporter, const XNode& node);
// A node that is neither a mesh, nor a bone, nor a dummy: other helpers, kind 0, and geometry
// nodes without geometry.
bool IsOtherNode(const XNode& node);
// Settles exported and renderable of node and, unless WorldSpace, of its ancestors.
void PropagateExportFlag(ExportContext& exporter, XNode* node, int32_t inherited);
