// The per-node data pass: fills the export tree with what the writer needs.
//
// XExporter::RunDataPass (plugin/exporter.h) is the entry. It visits every exported node and,
// unless WorldSpace, all of its ancestors (PassNodeChain), generates transforms, materials,
// mesh data and skin for geometry nodes (GenerateRenderable), animates every visited node once,
// and finally brings in the bones that the skins refer to (PassSkinBones). Every node it
// handles is marked processed: the writer's test of whether a node is exported at all.
#pragma once

class XExporter;
class XNode;
class XRenderableNode;

// Handles node when it is exported, then recurses into its children. A null node does nothing.
void PassSubtree(XExporter& exporter, XNode* node);

// Handles node and then, unless WorldSpace, each of its ancestors. Each node is generated and
// animated at most once.
void PassNodeChain(XExporter& exporter, XNode* node);

// Walks the mesh-node list (including nodes appended on the way) and brings in the bones of
// each meshSkin record with their ancestors. Only with Skin and Bones on.
void PassSkinBones(XExporter& exporter);

// Transforms, materials, mesh data and (for mesh nodes) skin of one geometry node. False when
// the node has no mesh or its mesh data cannot be generated.
bool GenerateRenderable(XExporter& exporter, XRenderableNode& node);
