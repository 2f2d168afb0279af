#include "scene/xnode.h"
#include "xfile/write_xfile.h"

void WriteAnimationSet(XWriteContext& context, const std::string& clipName, size_t clipIndex) {
    // Written for every clip, even when no node has keys in it.
    const xfile::XSaveData animationSet = AddObject(context, nullptr, xfile::kTidAnimationSet, clipName, {});
    if (!animationSet.valid()) return;
    for (const std::unique_ptr<XNode>& node : context.records.topLevelNodes)
        WriteAnimation(context, animationSet, node.get(), clipIndex);
}
