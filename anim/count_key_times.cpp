#include <cstdint>

#include "anim/anim_track.h"
#include "scene/export_context.h"
#include "scene/xnode.h"

int32_t CountKeyTimes(ExportContext& exporter, const XNode& node) {
    const AnimClipList& clips = exporter.clips();
    if (!node.hostNode || !exporter.options().Animation || clips.empty()) return 0;
    int64_t total = 0;
    for (const AnimClip& clip : clips) {
        AnimTrack track;
        track.startTick = ClipTick(exporter, clip.start);
        track.endTick = ClipTick(exporter, clip.end);
        if (!CollectKeyTimes(exporter, track, node)) return 0;
        total += static_cast<int64_t>(track.keyTimes.size());
    }
    return total > INT32_MAX ? INT32_MAX : static_cast<int32_t>(total);
}
