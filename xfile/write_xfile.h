// The X file writer: lays the export tree into data objects and hands them to the save layer.
//
// WriteXFile takes the records the data pass left (XFileRecords: the export tree, the material
// table, the clips, the scene root's name and matrix, the ticks per second, all in export
// coordinates) and the options; it opens the file at the path it is given (the driver's staged
// temporary), registers the published template sets, writes the content (WriteXFileContent)
// and saves. It shows no message and leaves putting the file in place to the commit. Top level, in order: the shared
// materials (Mtl), the scene-root Frame (SceneRoot) or the root nodes' frames, then, with
// Animation, AnimTicksPerSecond and one AnimationSet per clip. With Animation and
// OnlyAnimationSet only the animation part is written.
//
// Every serialiser takes the XWriteContext of the file being written and a parent data object:
// null means the top level of the file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/progress.h"
#include "material/xmaterial.h"
#include "options/export_options.h"
#include "sdk/math.h"
#include "xfile/format/xpayload.h"
#include "xfile/format/xsave.h"

class XNode;
class XRenderableNode;

// What the writer lays out: the records of one export once the data pass has ended, every one
// in export coordinates, and the options that decide what is written.
struct XFileRecords {
    const ExportOptions& options;
    const std::vector<std::unique_ptr<XNode>>& topLevelNodes;  // the export tree
    const XMaterialTable& materials;   // the shared material records (top-level Materials)
    const AnimClipList& clips;         // one AnimationSet each
    std::string rootFrameName;         // the scene-root Frame (SceneRoot)
    Matrix3 rootFrameMatrix;
    uint32_t ticksPerSecond = 0;       // AnimTicksPerSecond
};

// What the serialisers share while one file is written.
struct XWriteContext {
    const XFileRecords& records;
    ProgressMeter& meter;  // stepped as the driver's estimate of the writer's work expects
    xfile::XSaveObject& save;
    // The scene-root Frame that the root nodes' frames go into; invalid when SceneRoot is off
    // (or before it is written).
    xfile::XSaveData sceneRootFrame;
};

// The 16 floats of a Matrix4x4, row by row, with 0, 0, 0, 1 as the fourth column.
std::array<float, 16> MatrixToFrameMatrix(const Matrix3& m);

// Adds a data object under parent, or at the top level when parent is null.
xfile::XSaveData AddObject(XWriteContext& context, const xfile::XSaveData* parent, const xfile::XGuid& templateId,
                           std::string_view name, std::span<const uint8_t> payload);
// Adds a FrameTransformMatrix holding the 16 floats to frame.
void AddFrameTransform(XWriteContext& context, const xfile::XSaveData& frame, const std::array<float, 16>& matrix);

// Everything of the file below the templates, in the order above. Steps the progress meter
// once after the materials (unless only animation sets are written).
void WriteXFileContent(XWriteContext& context);

// A node without geometry: its Frame and FrameTransformMatrix, then its children. An
// unprocessed node is left out with its subtree (WorldSpace off) or only its children are
// written (WorldSpace on).
void WriteFrame(XWriteContext& context, const xfile::XSaveData* parent, XNode* node);
// A geometry node: its frame (not in every world-space case), its Mesh with the skin objects,
// then its children. A node without mesh data gets its frame without a Mesh.
void WriteMeshFrame(XWriteContext& context, const xfile::XSaveData* parent, XRenderableNode* node);

// The Mesh of a geometry node with its children and skin objects, under parent (null: top
// level). Does nothing while the node has no mesh data (xfile/write_mesh.cpp).
void WriteMesh(XWriteContext& context, const xfile::XSaveData* parent, XRenderableNode& node);

// The top-level materials of the export's material table, in table order (Mtl on).
void WriteSharedMaterials(XWriteContext& context);

// One AnimationSet named clipName with the Animation objects of every node's track clipIndex.
void WriteAnimationSet(XWriteContext& context, const std::string& clipName, size_t clipIndex);
// The Animation objects of node and its subtree for one clip (xfile/write_animation.cpp).
void WriteAnimation(XWriteContext& context, const xfile::XSaveData& animationSet, XNode* node, size_t clipIndex);

// The geometry nodes whose Mesh the writer writes with a material list (Mtl on, not only
// animation sets), in the order it writes them: the nodes whose material files the material
// output step makes.
std::vector<XRenderableNode*> WrittenMaterialNodes(const XFileRecords& records);

// Writes the records to path; false with *cause (plain words, empty for a stop request) when
// the file could not be written or the tree is empty ("No node will be export.").
bool WriteXFile(const XFileRecords& records, ProgressMeter& meter, const std::string& path,
                std::string* cause = nullptr);

// The whole file in memory, through the same path as WriteXFile; false when nothing could be
// written (message in *error when given).
bool WriteXFileBytes(const XFileRecords& records, ProgressMeter& meter, std::vector<uint8_t>& bytes,
                     std::string* error = nullptr);
