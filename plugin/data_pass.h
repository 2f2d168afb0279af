// The collect and data-pass steps of the driver.
//
// CollectStage builds the export tree from the host scene (scene/), has the bones of skin and
// vertex-link deformers marked (skin/), settles the export flags (scene/) and estimates the
// data pass's work for the progress meter.
//
// RunDataPass visits every exported node and, unless WorldSpace, all of its ancestors
// (PassNodeChain), generates transforms, materials, mesh data and skin for geometry nodes
// (GenerateRenderable), animates every visited node once, and finally brings in the bones that
// the skins refer to (PassSkinBones), and converts the frame matrices (ConvertFrameMatrices).
// Every node it handles is marked processed: the writer's test of whether a node is exported at
// all. When it ends, every record is in export coordinates.
#pragma once

#include <cstdint>

#include "anim/anim_track.h"
#include "mesh/mesh_data.h"
#include "skin/skin_info.h"

class ExportContext;
class INode;
class KeyBuilder;
class XNode;
class XRenderableNode;

void CollectStage(ExportContext& exporter, INode* rootNode);

// The settings the stages of the data pass read, each taken from the export's options, time
// settings and conversion: the keys' (clips, time and key options), the mesh data's (vertex
// options) and the skins' (weight options, and the export tree's names of bones).
KeySettings KeySettingsOf(const ExportContext& exporter);
MeshSettings MeshSettingsOf(const ExportContext& exporter);
SkinSettings SkinSettingsOf(const ExportContext& exporter);

// Adds the units of work of node and, unless WorldSpace, its uncounted ancestors to the
// data pass's work count (plugin/estimate_work.cpp).
void EstimateWork(ExportContext& exporter, XNode* node);

void RunDataPass(ExportContext& exporter);

// One data pass under way: the export it fills, the key builder that adds the nodes' animation
// keys while the walk goes on with the host, and the stages' settings, made once before the walk.
struct DataPass {
    ExportContext& exporter;
    KeyBuilder& keyBuilder;
    const KeySettings keys;
    const MeshSettings mesh;
    const SkinSettings skin;
};

// Handles node when it is exported, then recurses into its children. A null node does nothing.
void PassSubtree(DataPass& pass, XNode* node);

// Handles node and then, unless WorldSpace, each of its ancestors. Each node is generated and
// animated at most once.
void PassNodeChain(DataPass& pass, XNode* node);

// Sets every node's frameMatrix (relative to its parent's frame with WorldSpace off and a
// parent, else its world transform) and the scene root's, in export coordinates.
void ConvertFrameMatrices(ExportContext& exporter);

// Walks the mesh-node list (including nodes appended on the way) and brings in the bones of
// each meshSkin record with their ancestors. Only with Skin and Bones on.
void PassSkinBones(DataPass& pass);

// Transforms, materials, mesh data and (for mesh nodes) skin of one geometry node. False when
// the node has no mesh or its mesh data cannot be generated.
bool GenerateRenderable(DataPass& pass, XRenderableNode& node);
