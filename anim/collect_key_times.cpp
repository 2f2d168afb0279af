// Reading key times from the node's transform controller.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "anim/anim_track.h"
#include "scene/xnode.h"
#include "sdk/control.h"
#include "sdk/node.h"

namespace {

// Sub-animatable chains deeper than this are not followed: real controller graphs are a few
// levels deep, and a host graph with a cycle must not recurse without end.
constexpr int kMaxSubAnimDepth = 64;

// Appends the times of the animatable's keys inside [start, end], then those of its
// sub-animatables, in order.
void GatherKeyTimes(Animatable* anim, TimeValue start, TimeValue end, std::vector<int32_t>& times,
                    std::vector<std::byte>& buffer, int depth) {
    if (!anim || depth > kMaxSubAnimDepth) return;
    if (IKeyControl* keys = anim->GetKeyControlInterface()) {
        // The record is as large as the controller says, but never smaller than its head, which
        // is all that is read.
        const int keySize = keys->GetKeySize();
        const size_t size = std::max<size_t>(keySize > 0 ? size_t(keySize) : 0, sizeof(IKey));
        if (buffer.size() < size) buffer.resize(size);
        const int count = keys->GetNumKeys();
        for (int i = 0; i < count; ++i) {
            std::fill(buffer.begin(), buffer.end(), std::byte{0});
            keys->GetKey(i, reinterpret_cast<IKey*>(buffer.data()));
            IKey head;
            std::memcpy(&head, buffer.data(), sizeof head);
            if (head.time >= start && head.time <= end) times.push_back(head.time);
        }
    }
    const int subCount = anim->NumSubs();
    for (int i = 0; i < subCount; ++i) GatherKeyTimes(anim->SubAnim(i), start, end, times, buffer, depth + 1);
}

void SortUnique(std::vector<int32_t>& times) {
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
}

}  // namespace

bool CollectKeyTimes(const KeySettings& settings, AnimTrack& track, const XNode& node) {
    track.positionKeyTimes.clear();
    track.rotationKeyTimes.clear();
    track.scaleKeyTimes.clear();
    track.keyTimes.clear();
    Control* control = node.hostNode ? node.hostNode->GetTMController() : nullptr;
    if (!control) return false;

    Control* position = control->GetPositionController();
    Control* rotation = control->GetRotationController();
    Control* scale = control->GetScaleController();
    const bool keyable =
        (position && position->IsKeyable()) || (rotation && rotation->IsKeyable()) || (scale && scale->IsKeyable());
    if (!keyable) return false;

    std::vector<std::byte> buffer;
    GatherKeyTimes(position, track.startTick, track.endTick, track.positionKeyTimes, buffer, 0);
    GatherKeyTimes(rotation, track.startTick, track.endTick, track.rotationKeyTimes, buffer, 0);
    GatherKeyTimes(scale, track.startTick, track.endTick, track.scaleKeyTimes, buffer, 0);
    SortUnique(track.positionKeyTimes);
    SortUnique(track.rotationKeyTimes);
    SortUnique(track.scaleKeyTimes);
    if (track.positionKeyTimes.size() < 2 && track.rotationKeyTimes.size() < 2 && track.scaleKeyTimes.size() < 2)
        return false;

    track.separateKeys = settings.separateKeys;
    track.keyTimes = track.positionKeyTimes;
    track.keyTimes.insert(track.keyTimes.end(), track.rotationKeyTimes.begin(), track.rotationKeyTimes.end());
    track.keyTimes.insert(track.keyTimes.end(), track.scaleKeyTimes.begin(), track.scaleKeyTimes.end());
    track.keyTimes.push_back(track.startTick);
    track.keyTimes.push_back(track.endTick);
    SortUnique(track.keyTimes);
    return true;
}
