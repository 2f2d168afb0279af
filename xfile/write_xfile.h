// The X file writer: lays the export tree into data objects and hands them to the save layer.
//
// WriteXFile takes the records the data pass left (XFileRecords: the export tree, the material
// table, the clips, the scene root's name and matrix, the ticks per second, all in export
// coordinates) and the options; it opens the file at the path it is given (the driver's staged
// temporary), registers the published template sets, writes the content (WriteXFileContent)
// and saves. It shows no message and leaves putting the file in place to the commit. Top
// level, in order: the shared materials (Mtl, xfile/write_material.h), the scene-root Frame
// (SceneRoot) or the root nodes' frames (xfile/write_frame.h, which writes the meshes through
// xfile/write_mesh.h and their skins through xfile/write_skin.h), then, with Animation,
// AnimTicksPerSecond and one AnimationSet per clip (xfile/write_animation.h). With Animation and
// OnlyAnimationSet only the animation part is written.
#pragma once

#include <string>
#include <vector>

#include "xfile/write_context.h"

// Everything of the file below the templates, in the order above. Steps the progress meter
// once after the materials (unless only animation sets are written).
void WriteXFileContent(XWriteContext& context);
// The templates WriteXFileContent will use, in the order of their first use, as far as the
// records tell without laying anything out.
std::vector<xfile::XGuid> ExpectedTemplates(const XFileRecords& records);

// The geometry nodes whose Mesh the writer writes with a material list (Mtl on, not only
// animation sets), in the order it writes them: the nodes whose material files the material
// output step makes.
std::vector<XRenderableNode*> WrittenMaterialNodes(const XFileRecords& records);

// Writes the records to path, a temporary of the caller's that is written in place (and
// removed when the write fails); false with *cause (plain words, empty for a stop request)
// when the file could not be written or the tree is empty ("No node will be export.").
bool WriteXFile(const XFileRecords& records, ProgressMeter& meter, const std::string& path,
                std::string* cause = nullptr);

// The whole file in memory, through the same path as WriteXFile; false when nothing could be
// written (message in *error when given).
bool WriteXFileBytes(const XFileRecords& records, ProgressMeter& meter, std::vector<uint8_t>& bytes,
                     std::string* error = nullptr);
