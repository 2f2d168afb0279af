#include "scene/export_context.h"
#include "scene/collect_nodes.h"
#include "scene/xnode.h"
#include "sdk/node.h"

int32_t ComputeExportFlag(const ExportContext& exporter, const XNode& node) {
    if (!node.hostNode) return 0;
    if (exporter.selectedOnly) {
        if (!node.hostNode->Selected()) return 0;
    } else if (node.hostNode->IsNodeHidden()) {
        return 0;
    }
    return IsExcluded(exporter, node) ? 0 : 1;
}

bool IsExcluded(const ExportContext& exporter, const XNode& node) {
    const ExportOptions& options = exporter.options();
    if (!options.Meshs && IsMeshNode(node)) return true;
    if (!options.Dummy && node.kind == DummyHelper) return true;
    if (!options.Bones && IsBoneLike(node)) return true;
    if (options.OTHER) return false;
    return IsOtherNode(node);
}

bool IsOtherNode(const XNode& node) {
    if (IsMeshNode(node)) return false;
    if (node.isBone == 1) return false;
    return !IsBoneKind(node.kind) && node.kind != DummyHelper;
}

void PropagateExportFlag(ExportContext& exporter, XNode* node, int32_t inherited) {
    const ExportOptions& options = exporter.options();
    while (node && node->hostNode) {
        if (inherited == 1)
            node->exported = 1;
        else if (node->exported == 0)
            node->exported = ComputeExportFlag(exporter, *node);

        if (node->exported == 1 && node->renderable == 1) {
            if (IsBoneLike(*node))
                node->renderable = options.BoneMesh ? 1 : 0;
            else if (IsMeshNode(*node))
                node->renderable = options.Meshs ? 1 : 0;
        }

        // In world space frames are written flat: a node needs no exported ancestors.
        if (options.WorldSpace) return;
        if (node->exported == 0 || !node->parent) return;
        node = node->parent;
        inherited = 1;
    }
}
