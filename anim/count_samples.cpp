#include <cstdint>

#include "anim/anim_track.h"
#include "scene/export_context.h"

int32_t CountSamples(ExportContext& exporter) {
    const AnimClipList& clips = exporter.clips();
    if (!exporter.options().Animation || clips.empty()) return 0;
    // Wider than the result: a long clip at a fine step must not overflow on the way.
    const int64_t step = exporter.ticksPerSample > 0 ? exporter.ticksPerSample : 1;
    int64_t total = 0;
    for (const AnimClip& clip : clips) total += int64_t(clip.end - clip.start) * exporter.ticksPerFrame / step + 1;
    if (total > INT32_MAX) return INT32_MAX;
    return total < 0 ? 0 : static_cast<int32_t>(total);
}
