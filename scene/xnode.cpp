#include "scene/xnode.h"

#include "sdk/object.h"

XNode::~XNode() = default;

XRenderableNode::XRenderableNode() {
    kind = MeshObject;
    renderable = 1;
}

XRenderableNode::~XRenderableNode() {
    // In this order: the converted temporary, the material entries, the points, the shared
    // records (meshSkin before pointSkin, which may be the same record), then the rest.
    if (ownsConvertedObject && convertedObject) convertedObject->DeleteMe();
    convertedObject = nullptr;
    mesh = nullptr;
    materials.clear();
    objectPoints.clear();
    meshSkin.reset();
    pointSkin.reset();
    meshData.reset();
}

bool IsMeshNode(const XNode& node) {
    return node.renderable == 1 && node.isBone == 0 && !IsBoneKind(node.kind);
}

bool IsBoneLike(const XNode& node) { return node.isBone == 1 || IsBoneKind(node.kind); }
