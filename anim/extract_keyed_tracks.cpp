#include "anim/anim_track.h"
#include "scene/xnode.h"

bool ExtractKeyedTracks(const KeySettings& settings, XNode* node, ProgressMeter& meter, uint32_t* keyCount) {
    if (!node || !node->hostNode) return false;
    node->tracks.clear();
    node->tracks.reserve(settings.clips.size());
    // The keys are counted once every clip is keyed: a node that falls back to sampling is
    // counted by the sampling path alone.
    uint32_t count = 0;
    for (const AnimClip& clip : settings.clips) {
        AnimTrack& track = node->tracks.emplace_back();
        track.startTick = ClipTick(settings, clip.start);
        track.endTick = ClipTick(settings, clip.end);
        if (!CollectKeyTimes(settings, track, *node)) return false;
        for (const int32_t t : track.keyTimes) {
            AddTransformKey(track, KeyTimeOf(settings, track, t), KeyTransform(settings, *node, t), settings.reduction);
            meter.Step();
        }
        count += TrackKeyCount(track);
    }
    if (keyCount) *keyCount += count;
    return true;
}
