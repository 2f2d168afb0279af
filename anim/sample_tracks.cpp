#include <algorithm>
#include <cstdint>

#include "anim/anim_track.h"
#include "scene/export_context.h"
#include "scene/xnode.h"

bool SampleTracks(ExportContext& exporter, XNode* node) {
    if (!node) return false;
    node->tracks.clear();
    const ExportOptions& options = exporter.options();
    const KeyReduction reduction = KeyReductionFor(options.KeyOptimizeLevel);
    const AnimClipList& clips = exporter.clips();
    // The driver never derives a step below one tick; a zero step would never advance.
    const int64_t step = std::max<int32_t>(exporter.ticksPerSample, 1);
    node->tracks.reserve(clips.size());
    for (const AnimClip& clip : clips) {
        AnimTrack& track = node->tracks.emplace_back();
        track.startTick = ClipTick(exporter, clip.start);
        track.endTick = ClipTick(exporter, clip.end);
        // A clip whose end lies before its start (clips are clamped on load, so only a host that
        // hands one over) is sampled once at its start instead of wrapping around.
        const int64_t duration = std::max<int64_t>(int64_t(track.endTick) - track.startTick, 0);
        const int64_t whole = duration / step;
        const int64_t count = whole * step < duration ? whole + 2 : whole + 1;
        for (int64_t i = 0; i < count; ++i) {
            const int64_t offset = std::min(duration, i * step);
            const TimeValue t = static_cast<TimeValue>(track.startTick + offset);
            const int64_t time = options.Timeline ? i * options.TimelineCustom : offset;
            track.separateKeys = options.KeyType != 0;
            AddTransformKey(track, static_cast<int32_t>(std::clamp<int64_t>(time, INT32_MIN, INT32_MAX)),
                            KeyTransform(exporter, *node, t), reduction);
            exporter.meter.Step();
        }
        exporter.stage2Work += TrackKeyCount(track);
    }
    return true;
}
