// Frame serialisation: the Frame of every exported node with its FrameTransformMatrix (the
// node's frameMatrix from the data pass), in tree order, and the Mesh of geometry nodes.
#pragma once

#include "xfile/write_context.h"

// A node without geometry: its Frame and FrameTransformMatrix, then its children. An
// unprocessed node is left out with its subtree (WorldSpace off) or only its children are
// written (WorldSpace on).
void WriteFrame(XWriteContext& context, const xfile::XSaveData* parent, XNode* node);
// A geometry node: its frame (not in every world-space case), its Mesh with the skin objects,
// then its children. A node without mesh data gets its frame without a Mesh.
void WriteMeshFrame(XWriteContext& context, const xfile::XSaveData* parent, XRenderableNode* node);
// The templates WriteFrame or WriteMeshFrame uses for node and its subtree.
void ListFrameTemplates(const XFileRecords& records, const XNode* node, XTemplateList& list);
