#include "anim/anim_track.h"
#include "scene/export_context.h"
#include "scene/xnode.h"

bool ExtractKeyedTracks(ExportContext& exporter, XNode* node) {
    if (!node || !node->hostNode) return false;
    node->tracks.clear();
    const KeyReduction reduction = KeyReductionFor(exporter.options().KeyOptimizeLevel);
    const AnimClipList& clips = exporter.clips();
    node->tracks.reserve(clips.size());
    // The writer's work is added once every clip is keyed: a node that falls back to sampling
    // is counted by the sampling path alone.
    uint32_t keyCount = 0;
    for (const AnimClip& clip : clips) {
        AnimTrack& track = node->tracks.emplace_back();
        track.startTick = ClipTick(exporter, clip.start);
        track.endTick = ClipTick(exporter, clip.end);
        if (!CollectKeyTimes(exporter, track, *node)) return false;
        for (const int32_t t : track.keyTimes) {
            AddTransformKey(track, KeyTimeOf(exporter, track, t), KeyTransform(exporter, *node, t), reduction);
            exporter.meter.Step();
        }
        keyCount += TrackKeyCount(track);
    }
    exporter.stage2Work += keyCount;
    return true;
}
