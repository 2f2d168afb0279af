#include "xfile/write_animation.h"

#include "scene/xnode.h"

namespace {

constexpr size_t kKeyHeadBytes = 8;  // time, number of values

xfile::XPayload KeysHead(uint32_t keyType, size_t keyCount, size_t valueCount) {
    xfile::XPayload p;
    p.Reserve(8 + keyCount * (kKeyHeadBytes + 4 * valueCount));
    p.Dword(keyType).Dword(static_cast<uint32_t>(keyCount));
    return p;
}

// Adds one AnimationKey and steps the progress meter once per key it holds.
void AddKeys(XWriteContext& context, const xfile::XSaveData& animation, std::string_view name,
             const xfile::XPayload& payload, size_t keyCount) {
    AddObject(context, &animation, xfile::kTidAnimationKey, name, payload.bytes());
    for (size_t i = 0; i < keyCount; ++i) context.meter.Step();
}

bool HasKeys(const AnimTrack& track) {
    if (!track.separateKeys) return !track.matrixKeys.empty();
    return !track.scaleKeys.empty() || !track.rotationKeys.empty() || !track.positionKeys.empty();
}

}  // namespace

xfile::XPayload MatrixKeysPayload(std::span<const MatrixKey> keys) {
    xfile::XPayload p = KeysHead(kXMatrixKeyType, keys.size(), 16);
    for (const MatrixKey& key : keys) p.Dword(static_cast<uint32_t>(key.time)).Dword(16).Floats(MatrixToFrameMatrix(key.value));
    return p;
}

xfile::XPayload VectorKeysPayload(uint32_t keyType, std::span<const VectorKey> keys) {
    xfile::XPayload p = KeysHead(keyType, keys.size(), 3);
    for (const VectorKey& key : keys)
        p.Dword(static_cast<uint32_t>(key.time)).Dword(3).Float(key.value.x).Float(key.value.y).Float(key.value.z);
    return p;
}

xfile::XPayload QuatKeysPayload(std::span<const QuatKey> keys) {
    xfile::XPayload p = KeysHead(kXRotationKeyType, keys.size(), 4);
    for (const QuatKey& key : keys) {
        const Quat& q = key.value;
        p.Dword(static_cast<uint32_t>(key.time)).Dword(4).Float(q.w).Float(q.x).Float(q.y).Float(q.z);
    }
    return p;
}

xfile::XPayload AnimationOptionsPayload(uint32_t openClosed, uint32_t positionQuality) {
    xfile::XPayload p;
    p.Reserve(8);
    p.Dword(openClosed).Dword(positionQuality);
    return p;
}

void WriteAnimation(XWriteContext& context, const xfile::XSaveData& animationSet, XNode* node, size_t clipIndex) {
    if (!node) return;
    const ExportOptions& options = context.records.options;
    // Nodes whose own animation is left out; their children may still be animated.
    bool writeOwn = true;
    if (!node->processed) {
        if (!options.WorldSpace) return;  // a hierarchy has no frames below an unwritten one
        writeOwn = false;
    } else if (IsMeshNode(*node) && AsRenderable(node) && AsRenderable(node)->skinned) {
        // A skinned mesh is moved by its bones. Its children (hierarchy only) still need their
        // animation; in world space they are left out with it.
        if (options.WorldSpace || node->children.empty()) return;
    }
    if (writeOwn && clipIndex < node->tracks.size() && HasKeys(node->tracks[clipIndex])) {
        const AnimTrack& track = node->tracks[clipIndex];
        xfile::XSaveData animation;
        xfile::XSaveData(animationSet).AddDataObject(xfile::kTidAnimation, "", std::span<const uint8_t>(), &animation);
        if (animation.valid()) {
            animation.AddDataReference(node->name);
            if (options.AnimationOptions)
                AddObject(context, &animation, xfile::kTidAnimationOptions, "",
                          AnimationOptionsPayload(static_cast<uint32_t>(options.AnimationOpenClose),
                                                  static_cast<uint32_t>(options.AnimationQuality))
                              .bytes());
            if (!track.separateKeys) {
                AddKeys(context, animation, "", MatrixKeysPayload(track.matrixKeys), track.matrixKeys.size());
            } else {
                if (!track.scaleKeys.empty())
                    AddKeys(context, animation, "S", VectorKeysPayload(kXScaleKeyType, track.scaleKeys),
                            track.scaleKeys.size());
                if (!track.rotationKeys.empty())
                    AddKeys(context, animation, "R", QuatKeysPayload(track.rotationKeys), track.rotationKeys.size());
                if (!track.positionKeys.empty())
                    AddKeys(context, animation, "T", VectorKeysPayload(kXPositionKeyType, track.positionKeys),
                            track.positionKeys.size());
            }
        }
    }
    for (const std::unique_ptr<XNode>& child : node->children)
        WriteAnimation(context, animationSet, child.get(), clipIndex);
}

namespace {

// Whether WriteAnimation writes an Animation for node or a node below it, in any clip.
bool WritesAnimation(const ExportOptions& options, const XNode* node) {
    if (!node || (!node->processed && !options.WorldSpace)) return false;
    const XRenderableNode* geometry = AsRenderable(node);
    const bool skinnedMesh = node->processed && IsMeshNode(*node) && geometry && geometry->skinned;
    if (skinnedMesh && (options.WorldSpace || node->children.empty())) return false;
    if (node->processed)
        for (const AnimTrack& track : node->tracks)
            if (HasKeys(track)) return true;
    for (const std::unique_ptr<XNode>& child : node->children)
        if (WritesAnimation(options, child.get())) return true;
    return false;
}

}  // namespace

void ListAnimationTemplates(const XFileRecords& records, XTemplateList& list) {
    const ExportOptions& options = records.options;
    if (!options.Animation || records.clips.empty()) return;
    if (options.Timeline == 0) list.Use(xfile::kTidAnimTicksPerSecond);
    list.Use(xfile::kTidAnimationSet);
    for (const std::unique_ptr<XNode>& node : records.topLevelNodes) {
        if (!WritesAnimation(options, node.get())) continue;
        list.Use(xfile::kTidAnimation);
        if (options.AnimationOptions) list.Use(xfile::kTidAnimationOptions);
        list.Use(xfile::kTidAnimationKey);
        return;
    }
}

void WriteAnimationSet(XWriteContext& context, const std::string& clipName, size_t clipIndex) {
    // Written for every clip, even when no node has keys in it.
    const xfile::XSaveData animationSet = AddObject(context, nullptr, xfile::kTidAnimationSet, clipName, std::span<const uint8_t>());
    if (!animationSet.valid()) return;
    for (const std::unique_ptr<XNode>& node : context.records.topLevelNodes)
        WriteAnimation(context, animationSet, node.get(), clipIndex);
}
