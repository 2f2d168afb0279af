// The collect and data-pass steps of the driver.
//
// CollectStage builds the export tree from the host scene (scene/), has the bones of skin and
// vertex-link deformers marked (skin/), settles the export flags (scene/) and estimates the
// data pass's work for the progress meter.
//
// RunDataPass visits every exported node and, unless WorldSpace, all of its ancestors
// (PassNodeChain), generates transforms, materials, mesh data and skin for geometry nodes
// (GenerateRenderable), animates every visited node once, and finally brings in the bones that
// the skins refer to (PassSkinBones), and converts the frame matrices (ConvertFrameMatrices). Every node it handles is marked processed: the writer's
// test of whether a node is exported at all. When it ends, every record is in export
// coordinates.
#pragma once

#include <cstdint>

#include "anim/anim_track.h"

class ExportContext;
class INode;
class XNode;
class XRenderableNode;

void CollectStage(ExportContext& exporter, INode* rootNode);

// The key settings of the export: its clips, conversion, time settings and key options.
KeySettings KeySettingsOf(const ExportContext& exporter);

// Adds the units of work of node and, unless WorldSpace, its uncounted ancestors to the
// data pass's work count (plugin/estimate_work.cpp).
void EstimateWork(ExportContext& exporter, XNode* node);

void RunDataPass(ExportContext& exporter);

// Handles node when it is exported, then recurses into its children. A null node does nothing.
void PassSubtree(ExportContext& exporter, XNode* node);

// Handles node and then, unless WorldSpace, each of its ancestors. Each node is generated and
// animated at most once.
void PassNodeChain(ExportContext& exporter, XNode* node);

// Sets every node's frameMatrix (relative to its parent's frame with WorldSpace off and a
// parent, else its world transform) and the scene root's, in export coordinates.
void ConvertFrameMatrices(ExportContext& exporter);

// Walks the mesh-node list (including nodes appended on the way) and brings in the bones of
// each meshSkin record with their ancestors. Only with Skin and Bones on.
void PassSkinBones(ExportContext& exporter);

// Transforms, materials, mesh data and (for mesh nodes) skin of one geometry node. False when
// the node has no mesh or its mesh data cannot be generated.
bool GenerateRenderable(ExportContext& exporter, XRenderableNode& node);
