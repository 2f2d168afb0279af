#include "scene/xnode.h"

XNode::~XNode() = default;

bool IsMeshNode(const XNode& node) {
    return node.renderable == 1 && node.isBone == 0 && !IsBoneKind(node.kind);
}

bool IsBoneLike(const XNode& node) { return node.isBone == 1 || IsBoneKind(node.kind); }
