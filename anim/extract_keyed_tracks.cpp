#include "anim/anim_track.h"
#include "anim/key_builder.h"
#include "scene/xnode.h"

bool ExtractKeyedTracks(const KeySettings& settings, XNode* node, ProgressMeter& meter, uint32_t* keyCount,
                        KeyBuilder* builder) {
    if (!node || !node->hostNode) return false;
    node->tracks.clear();
    node->tracks.reserve(settings.clips.size());
    const KeyBasis basis = KeyBasisOf(settings, *node);
    // The keys are added once every clip is keyed: a node that falls back to sampling is
    // built and counted by the sampling path alone.
    std::vector<std::vector<SampledKey>> keys(settings.clips.size());
    for (size_t c = 0; c < settings.clips.size(); ++c) {
        AnimTrack& track = node->tracks.emplace_back();
        track.startTick = ClipTick(settings, settings.clips[c].start);
        track.endTick = ClipTick(settings, settings.clips[c].end);
        if (!CollectKeyTimes(settings, track, *node)) return false;
        keys[c].reserve(track.keyTimes.size());
        for (const int32_t t : track.keyTimes) {
            keys[c].push_back({KeyTimeOf(settings, track, t), SampleKeyPose(basis, *node, t)});
            meter.Step();
        }
    }
    uint32_t count = 0;
    for (size_t c = 0; c < keys.size(); ++c)
        count += AddSampledKeys(node->tracks[c], std::move(keys[c]), basis, settings.reduction, builder);
    if (keyCount) *keyCount += count;
    return true;
}
