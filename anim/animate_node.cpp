#include "anim/anim_track.h"
#include "scene/xnode.h"

uint32_t AnimateNode(const KeySettings& settings, XNode& node, ProgressMeter& meter, KeyBuilder* builder) {
    // A clip without usable keys sends the whole node to sampling: the partial key-frame
    // result is cleared there.
    uint32_t keyCount = 0;
    if (settings.keyFrames && ExtractKeyedTracks(settings, &node, meter, &keyCount, builder)) return keyCount;
    keyCount = 0;
    SampleTracks(settings, &node, meter, &keyCount, builder);
    return keyCount;
}
