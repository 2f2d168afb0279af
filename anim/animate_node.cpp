#include "anim/anim_track.h"
#include "scene/export_context.h"
#include "scene/xnode.h"

void AnimateNode(ExportContext& exporter, XNode& node) {
    // A clip without usable keys sends the whole node to sampling: the partial key-frame
    // result is cleared there.
    if (exporter.options().KeyFrames && ExtractKeyedTracks(exporter, &node)) return;
    SampleTracks(exporter, &node);
}
