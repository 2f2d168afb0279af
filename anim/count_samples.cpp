#include <cstdint>

#include "anim/anim_track.h"

int32_t CountSamples(const KeySettings& settings) {
    // Wider than the result: a long clip at a fine step must not overflow on the way.
    const int64_t step = settings.ticksPerSample > 0 ? settings.ticksPerSample : 1;
    int64_t total = 0;
    for (const AnimClip& clip : settings.clips)
        total += int64_t(clip.end - clip.start) * settings.ticksPerFrame / step + 1;
    if (total > INT32_MAX) return INT32_MAX;
    return total < 0 ? 0 : static_cast<int32_t>(total);
}
