#include <cstdint>

#include "anim/anim_track.h"
#include "scene/xnode.h"

int32_t CountKeyTimes(const KeySettings& settings, const XNode& node) {
    if (!node.hostNode || settings.clips.empty()) return 0;
    int64_t total = 0;
    for (const AnimClip& clip : settings.clips) {
        AnimTrack track;
        track.startTick = ClipTick(settings, clip.start);
        track.endTick = ClipTick(settings, clip.end);
        if (!CollectKeyTimes(settings, track, node)) return 0;
        total += static_cast<int64_t>(track.keyTimes.size());
    }
    return total > INT32_MAX ? INT32_MAX : static_cast<int32_t>(total);
}
