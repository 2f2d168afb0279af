#include "tools/plover/settings.h"

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <set>

#include "core/platform.h"
#include "options/export_settings.h"
#include "options/option_keys.h"

std::string DefaultConfigDir() {
    const std::string home = platform::UserConfigHome();
    return home.empty() ? "." : platform::Utf8Of(platform::PathOf(home) / "plover");
}

std::string ConfigDirOrDefault(const std::string& dir) { return dir.empty() ? DefaultConfigDir() : dir; }

OptionsTime SceneFreeTime() {
    OptionsTime time;
    time.ticksPerFrame = 1;
    time.frameRate = 30;
    time.animStart = std::numeric_limits<int32_t>::min();
    time.animEnd = std::numeric_limits<int32_t>::max();
    return time;
}

bool ReadOptionsFile(const std::string& path, ProfileFile& file, std::string& error) {
    std::string why;
    if (file.Load(path, why)) return true;
    error = "the options file " + path + " " + why;
    return false;
}

bool SettleOptions(const ProfileFile& file, const std::vector<std::string>& settings, SettledOptions& result,
                   std::string& error) {
    result = SettledOptions{};
    result.settings.resize(settings.size());
    for (size_t i = 0; i < settings.size(); ++i) {
        if (!ParseConfigAssignment(settings[i], result.settings[i], error)) return false;
    }
    LoadOptions(file, SceneFreeTime(), result.options, result.sceneRootName, result.clips);
    result.definesClips = DefinesClips(file) || SettingsDefineClips(result.settings);
    if (!ApplyExportSettings(result.settings, result.options, result.sceneRootName, result.clips, error)) return false;
    std::set<size_t> clipsSet;
    for (const ConfigSetting& setting : result.settings) {
        int32_t index = 0;
        ClipField field{};
        if (SplitClipKey(setting.key, index, field)) clipsSet.insert(static_cast<size_t>(index));
    }
    for (const size_t index : clipsSet) {
        if (index >= result.clips.size()) continue;
        const AnimClip& clip = result.clips[index];
        if (clip.start > clip.end)
            result.clipNotes.push_back("clip " + std::to_string(index) + " (" + clip.name + ") ends at frame " +
                                       std::to_string(clip.end) + ", before it starts at frame " +
                                       std::to_string(clip.start) + "; the export starts it at its end");
    }
    return true;
}

std::vector<std::string> ClipSettings(const std::vector<HostClip>& clips) {
    std::vector<std::string> settings{std::string(kAnimationCountKey) + "=" + std::to_string(clips.size())};
    for (size_t i = 0; i < clips.size(); ++i) {
        settings.push_back(ClipKeyName(i, ClipField::Name) + "=" + clips[i].name);
        settings.push_back(ClipKeyName(i, ClipField::StartKey) + "=" + std::to_string(clips[i].startFrame));
        settings.push_back(ClipKeyName(i, ClipField::EndKey) + "=" + std::to_string(clips[i].endFrame));
    }
    return settings;
}

std::vector<std::string> ClipRangeWarnings(const ProfileFile& file, const std::vector<ConfigSetting>& settings,
                                           FrameRange range) {
    // The clips as stored and given, before any range pulls them in.
    ExportOptions options;
    std::string sceneRootName;
    AnimClipList clips;
    LoadOptions(file, SceneFreeTime(), options, sceneRootName, clips);
    std::string ignored;
    for (const ConfigSetting& setting : settings)
        SetConfigValue(options, sceneRootName, clips, setting.key, setting.value, ignored);

    std::vector<std::string> warnings;
    for (const AnimClip& clip : clips) {
        const bool before = clip.start < range.first;
        const bool after = clip.end > range.last && clip.end != 999999;
        if (!before && !after && clip.start <= range.last && clip.end >= range.first) continue;
        const bool wholly = clip.start > range.last || clip.end < range.first;
        warnings.push_back("clip " + clip.name + " (frames " + std::to_string(clip.start) + " to " +
                           std::to_string(clip.end) + ") lies " + (wholly ? "outside" : "partly outside") +
                           " the animation (frames " + std::to_string(range.first) + " to " +
                           std::to_string(range.last) + "); the export pulls it into the animation");
    }
    return warnings;
}
