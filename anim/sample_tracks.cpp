#include <algorithm>
#include <cstdint>

#include "anim/anim_track.h"
#include "scene/xnode.h"

bool SampleTracks(const KeySettings& settings, XNode* node, ProgressMeter& meter, uint32_t* keyCount) {
    if (!node) return false;
    node->tracks.clear();
    // The driver never derives a step below one tick; a zero step would never advance.
    const int64_t step = std::max<int32_t>(settings.ticksPerSample, 1);
    node->tracks.reserve(settings.clips.size());
    for (const AnimClip& clip : settings.clips) {
        AnimTrack& track = node->tracks.emplace_back();
        track.startTick = ClipTick(settings, clip.start);
        track.endTick = ClipTick(settings, clip.end);
        // A clip whose end lies before its start (clips are clamped on load, so only a host that
        // hands one over) is sampled once at its start instead of wrapping around.
        const int64_t duration = std::max<int64_t>(int64_t(track.endTick) - track.startTick, 0);
        const int64_t whole = duration / step;
        const int64_t count = whole * step < duration ? whole + 2 : whole + 1;
        for (int64_t i = 0; i < count; ++i) {
            const int64_t offset = std::min(duration, i * step);
            const TimeValue t = static_cast<TimeValue>(track.startTick + offset);
            const int64_t time = settings.timeline ? i * settings.timelineCustom : offset;
            track.separateKeys = settings.separateKeys;
            AddTransformKey(track, static_cast<int32_t>(std::clamp<int64_t>(time, INT32_MIN, INT32_MAX)),
                            KeyTransform(settings, *node, t), settings.reduction);
            meter.Step();
        }
        if (keyCount) *keyCount += TrackKeyCount(track);
    }
    return true;
}
