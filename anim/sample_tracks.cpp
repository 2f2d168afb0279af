#include <algorithm>
#include <cstdint>

#include "anim/anim_track.h"
#include "anim/key_builder.h"
#include "scene/xnode.h"

namespace {

// The most sampled transforms of one track held before they are added (about 3.5 MB).
constexpr size_t kMaxKeysHeld = size_t(1) << 16;

}  // namespace

bool SampleTracks(const KeySettings& settings, XNode* node, ProgressMeter& meter, uint32_t* keyCount,
                  KeyBuilder* builder) {
    if (!node) return false;
    node->tracks.clear();
    // The driver never derives a step below one tick; a zero step would never advance.
    const int64_t step = std::max<int32_t>(settings.ticksPerSample, 1);
    node->tracks.reserve(settings.clips.size());
    const KeyBasis basis = KeyBasisOf(settings, *node);
    for (const AnimClip& clip : settings.clips) {
        AnimTrack& track = node->tracks.emplace_back();
        track.startTick = ClipTick(settings, clip.start);
        track.endTick = ClipTick(settings, clip.end);
        // A clip whose end lies before its start (clips are clamped on load, so only a host that
        // hands one over) is sampled once at its start instead of wrapping around.
        const int64_t duration = std::max<int64_t>(int64_t(track.endTick) - track.startTick, 0);
        const int64_t whole = duration / step;
        const int64_t count = whole * step < duration ? whole + 2 : whole + 1;
        track.separateKeys = settings.separateKeys;
        std::vector<SampledKey> keys;
        keys.reserve(static_cast<size_t>(std::min<int64_t>(count, kMaxKeysHeld)));
        KeyBuilder* trackBuilder = builder;
        for (int64_t i = 0; i < count; ++i) {
            const int64_t offset = std::min(duration, i * step);
            const TimeValue t = static_cast<TimeValue>(track.startTick + offset);
            const int64_t time = settings.timeline ? i * settings.timelineCustom : offset;
            keys.push_back({static_cast<int32_t>(std::clamp<int64_t>(time, INT32_MIN, INT32_MAX)),
                            SampleKeyPose(basis, *node, t)});
            meter.Step();
            if (keys.size() == kMaxKeysHeld) {
                // A very long clip: its keys are added here as it goes, so that only a bounded
                // number of transforms is ever held.
                AddKeys(track, keys, basis, settings.reduction);
                keys.clear();
                trackBuilder = nullptr;
            }
        }
        const uint32_t stored = AddSampledKeys(track, std::move(keys), basis, settings.reduction, trackBuilder);
        if (keyCount) *keyCount += stored;
    }
    return true;
}
