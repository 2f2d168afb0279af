#include "anim/anim_track.h"
#include "scene/export_context.h"
#include "plugin/data_pass.h"
#include "scene/extract_geometry.h"
#include "scene/xnode.h"
#include "sdk/node.h"

namespace {

uint32_t AnimationEstimate(const ExportContext& exporter, const XNode& node) {
    const KeySettings settings = KeySettingsOf(exporter);
    if (settings.keyFrames) {
        const int32_t keyTimes = CountKeyTimes(settings, node);
        if (keyTimes >= 1) return static_cast<uint32_t>(keyTimes);
    }
    return static_cast<uint32_t>(CountSamples(settings));
}

}  // namespace

void EstimateWork(ExportContext& exporter, XNode* node) {
    const ExportOptions& options = exporter.options();
    while (node) {
        if (node->counted) {
            if (options.WorldSpace) return;
            node = node->parent;
            continue;
        }
        const uint32_t before = exporter.stage1Work;
        if (node->renderable == 0) {
            if (options.Animation) exporter.stage1Work += AnimationEstimate(exporter, *node);
        } else if (node->renderable == 1) {
            const XRenderableNode* geometry = AsRenderable(node);
            const uint32_t faces = geometry ? geometry->faceCount : 0;
            const uint32_t verts = geometry ? geometry->vertCount : 0;
            const bool deformed =
                node->hostNode && (FindSkinModifier(node->hostNode) || FindLinkModifier(node->hostNode));
            const uint32_t skinWork = deformed && options.Skin ? faces : 0;
            exporter.stage1Work += faces + skinWork;
            if (skinWork >= 1 && geometry && geometry->topologyChanged) {
                if (node->kind == PatchObjectKind)
                    exporter.stage1Work += faces + verts;
                else if (node->kind == NurbsObject)
                    exporter.stage1Work += geometry->pointCount + 2 * verts;
                else
                    exporter.stage1Work += 2 * verts;
            }
            const bool childless = !node->hostNode || node->hostNode->NumberOfChildren() == 0;
            if (options.Animation && !(skinWork >= 1 && childless))
                exporter.stage1Work += AnimationEstimate(exporter, *node);
        }
        if (exporter.stage1Work > before) node->counted = true;
        if (options.WorldSpace) return;
        node = node->parent;
    }
}
