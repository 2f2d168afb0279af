#include "xfile/write_frame.h"

#include "scene/xnode.h"
#include "xfile/write_mesh.h"

namespace {

// Where a node's Frame goes: the parent passed in, else the scene-root Frame, else the top
// level. In world space every Frame is a child of the scene-root Frame (or top level).
const xfile::XSaveData* FramePlacement(XWriteContext& context, const xfile::XSaveData* parent) {
    const xfile::XSaveData* sceneRoot = context.sceneRootFrame.valid() ? &context.sceneRootFrame : nullptr;
    if (context.records.options.WorldSpace) return sceneRoot;
    return parent ? parent : sceneRoot;
}

void WriteChild(XWriteContext& context, const xfile::XSaveData* parent, XNode* child) {
    if (!child) return;
    XRenderableNode* geometry = child->renderable == 1 ? AsRenderable(child) : nullptr;
    if (geometry)
        WriteMeshFrame(context, parent, geometry);
    else
        WriteFrame(context, parent, child);
}

void WriteChildren(XWriteContext& context, const xfile::XSaveData* parent, XNode& node) {
    for (const std::unique_ptr<XNode>& child : node.children) WriteChild(context, parent, child.get());
}

// A named Frame with its FrameTransformMatrix, placed by the placement rule.
xfile::XSaveData AddNodeFrame(XWriteContext& context, const xfile::XSaveData* parent, const XNode& node,
                              const std::array<float, 16>& matrix) {
    xfile::XSaveData frame =
        AddObject(context, FramePlacement(context, parent), xfile::kTidFrame, node.name, std::span<const uint8_t>());
    if (frame.valid()) AddFrameTransform(context, frame, matrix);
    return frame;
}

}  // namespace

void WriteFrame(XWriteContext& context, const xfile::XSaveData* parent, XNode* node) {
    if (!node) return;
    if (!node->processed) {
        // A hierarchy cannot hold a frame without its parent frame; flat frames can.
        if (context.records.options.WorldSpace) WriteChildren(context, parent, *node);
        return;
    }
    const xfile::XSaveData frame =
        AddNodeFrame(context, parent, *node, MatrixToFrameMatrix(node->frameMatrix));
    WriteChildren(context, &frame, *node);
}

void ListFrameTemplates(const XFileRecords& records, const XNode* node, XTemplateList& list) {
    if (!node) return;
    const ExportOptions& options = records.options;
    if (node->processed) {
        const XRenderableNode* geometry = node->renderable == 1 ? AsRenderable(node) : nullptr;
        if (!geometry || !options.WorldSpace || !IsMeshNode(*geometry) || (options.Animation && !geometry->skinned)) {
            list.Use(xfile::kTidFrame);
            list.Use(xfile::kTidFrameTransformMatrix);
        }
        if (geometry) ListMeshTemplates(records, *geometry, list);
    } else if (!options.WorldSpace) {
        return;
    }
    for (const std::unique_ptr<XNode>& child : node->children) ListFrameTemplates(records, child.get(), list);
}

void WriteMeshFrame(XWriteContext& context, const xfile::XSaveData* parent, XRenderableNode* node) {
    if (!node) return;
    const ExportOptions& options = context.records.options;
    if (!node->processed) {
        if (options.WorldSpace) WriteChildren(context, parent, *node);
        return;
    }

    // A node whose mesh data is missing keeps its frame and its subtree; only the Mesh is left
    // out (WriteMesh writes nothing without data).
    xfile::XSaveData frame;
    bool hasFrame = true;
    if (!options.WorldSpace || !IsMeshNode(*node)) {
        frame = AddNodeFrame(context, parent, *node, MatrixToFrameMatrix(node->frameMatrix));
    } else if (options.Animation && !node->skinned) {
        // An animated world-space mesh: its vertices are in world space, its animation moves
        // this frame, which therefore starts as the identity.
        frame = AddNodeFrame(context, parent, *node, MatrixToFrameMatrix(Matrix3()));
    } else {
        hasFrame = false;
    }

    const xfile::XSaveData* sceneRoot = context.sceneRootFrame.valid() ? &context.sceneRootFrame : nullptr;
    WriteMesh(context, hasFrame ? &frame : sceneRoot, *node);
    WriteChildren(context, hasFrame ? &frame : parent, *node);
}
