#include "options/options_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "options/number_text.h"
#include "options/option_keys.h"
#include "options/profile.h"

namespace {

// The order in which a load reads the integer keys (it differs from the save order). Reads are
// independent of each other; the list also names which keys are integers read with a default.
constexpr std::array<std::string_view, 51> kLoadOrder = {
    "SceneRoot", "Meshs", "Bones", "Mtl", "Normal", "Tangent", "BiTangent", "VertexColor", "InlineMtl",
    "PowerOf2", "WorldSpace", "MultiTexCoordsOptimize", "XFileType", "Animation", "OTHER", "Dummy", "FX",
    "NormalMapCode", "VertexDup", "EffectParam", "DiffuseMapColor", "AnimationOptions", "AnimationOpenClose",
    "AnimationQuality", "OverwriteTexture", "BoneMesh", "TexCoords", "TextureFormat", "TextureConvert", "SkinFix",
    "Precision", "SampleRate", "Timeline", "TimelineCustom", "KeyFrames", "KeyOptimizeLevel", "KeyType",
    "SpaceScaleEnable", "RightHand", "DuplicateNodeName", "DxFx", "OverwriteFX", "TextureFiles", "ProcMapX",
    "ProcMapY", "Skin", "DeclData", "OnlyAnimationSet", "Multi-Textures", "ZRotEnable", "XRotEnable",
};

std::string ClipKey(size_t index, const char* field) { return "Animation" + std::to_string(index) + "_" + field; }

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

FrameRange RangeFrames(const OptionsTime& time) {
    const int32_t ticks = time.ticksPerFrame < 1 ? 1 : time.ticksPerFrame;
    return FrameRange{time.animStart / ticks, time.animEnd / ticks};
}

std::string ConfigFilePath(const std::string& configDirectory) {
    if (configDirectory.empty()) return std::string();
    const char last = configDirectory.back();
    if (last == '/' || last == '\\') return configDirectory + kConfigFileName;
    return configDirectory + "/" + kConfigFileName;
}

void ApplyDependencyRules(ExportOptions& options) {
    if (options.Mtl == 0) {
        options.PowerOf2 = 0;
        options.OverwriteFX = 0;
        options.DxFx = 0;
        options.EffectParam = 0;
        options.InlineMtl = 0;
        options.TextureFiles = 0;
    }
    if (options.Bones == 0) options.BoneMesh = 0;
}

void LoadOptions(const std::string& path, const OptionsTime& time, ExportOptions& options,
                 std::string& sceneRootName, AnimClipList& clips) {
    ProfileFile file;
    file.Load(path);  // a missing or unusable file reads as empty: every key takes its default
    LoadOptions(file, time, options, sceneRootName, clips);
}

bool DefinesClips(const ProfileFile& file) {
    if (file.HasKey(kOptionSection, kAnimationCountKey)) return true;
    for (const ProfileFile::Section& section : file.Sections()) {
        const std::string_view name(kOptionSection);
        if (section.name.size() != name.size() ||
            !std::equal(name.begin(), name.end(), section.name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
            })) {
            continue;
        }
        for (const ProfileFile::Entry& entry : section.entries) {
            int32_t index = 0;
            ClipField field{};
            if (SplitClipKey(entry.key, index, field)) return true;
        }
    }
    return false;
}

void LoadOptions(const ProfileFile& file, const OptionsTime& time, ExportOptions& options,
                 std::string& sceneRootName, AnimClipList& clips) {
    options = ExportOptions{};
    for (std::string_view name : kLoadOrder) {
        const OptionKey* key = FindOptionKey(name);
        const int32_t defaultValue = key->defaultIsFrameRate ? time.frameRate : key->intDefault;
        options.*key->intField = file.GetInt(kOptionSection, key->name, defaultValue);
    }
    ApplyDependencyRules(options);

    sceneRootName = file.GetString(kOptionSection, kSceneRootNameKey, "");

    for (const OptionKey& key : OptionKeyTable()) {
        if (key.type != OptionType::Float) continue;
        options.*key.floatField = ParseLeadingFloat(file.GetString(kOptionSection, key.name, key.floatDefault));
    }

    int32_t count = file.GetInt(kOptionSection, kAnimationCountKey, 1);
    if (count > kMaxClipCount) count = kMaxClipCount;
    clips.clear();
    const FrameRange range = RangeFrames(time);
    clips.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int32_t i = 0; i < count; ++i) {
        const size_t index = static_cast<size_t>(i);
        AnimClip clip;
        clip.name = file.GetString(kOptionSection, ClipKey(index, "Name"), "Anim1");
        if (clip.name.empty()) continue;
        clip.start = file.GetInt(kOptionSection, ClipKey(index, "StartKey"), 0);
        clip.end = file.GetInt(kOptionSection, ClipKey(index, "EndKey"), 999999);
        clips.push_back(std::move(clip));
    }
    PullClipsIntoRange(clips, range);
}

void PullClipsIntoRange(AnimClipList& clips, FrameRange range) {
    std::erase_if(clips, [](const AnimClip& clip) { return clip.name.empty(); });
    for (AnimClip& clip : clips) {
        // Clamp each bound separately (not via std::clamp: the range may be inverted in a broken
        // scene), then keep the start from passing the end.
        clip.start = Clamp(clip.start, range.first, range.last);
        clip.end = Clamp(clip.end, range.first, range.last);
        if (clip.start > clip.end) clip.start = clip.end;
    }
}

bool SaveOptions(const std::string& path, const ExportOptions& options, const std::string& sceneRootName,
                 const AnimClipList& clips, bool writeClips) {
    if (path.empty()) return false;
    // A fresh profile: keys of an earlier, longer clip list do not survive the save.
    ProfileFile file;
    for (const OptionKey& key : OptionKeyTable()) {
        file.WriteString(kOptionSection, key.name, FormatOptionValue(options, key));
    }
    if (!sceneRootName.empty()) file.WriteString(kOptionSection, kSceneRootNameKey, sceneRootName);
    if (!writeClips) return file.Save(path);
    file.WriteInt(kOptionSection, kAnimationCountKey, static_cast<int32_t>(clips.size()));
    for (size_t i = 0; i < clips.size(); ++i) {
        file.WriteString(kOptionSection, ClipKey(i, "Name"), clips[i].name);
        file.WriteInt(kOptionSection, ClipKey(i, "StartKey"), clips[i].start);
        file.WriteInt(kOptionSection, ClipKey(i, "EndKey"), clips[i].end);
    }
    return file.Save(path);
}
