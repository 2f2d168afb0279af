#include "tools/plover/scene_input.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "host/scene_document.h"
#include "options/option_keys.h"
#include "options/profile.h"

namespace fs = std::filesystem;

bool IsSceneDocumentPath(const std::string& path) {
    std::string extension = fs::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".json";
}

std::string ClipFilePath(const std::string& documentPath) {
    fs::path path(documentPath);
    path.replace_extension(".clips.ini");
    return path.string();
}

namespace {

// The clips of a clip file: AnimationCount and the clip keys, as a configuration file holds
// them. Clips without a name are dropped, like a configuration load drops them.
std::vector<ImportedClip> LoadClipFile(const ProfileFile& file) {
    std::vector<ImportedClip> clips;
    const int32_t count = std::clamp(file.GetInt(kOptionSection, kAnimationCountKey, 0), 0, kMaxClipCount);
    for (int32_t i = 0; i < count; ++i) {
        const size_t index = static_cast<size_t>(i);
        ImportedClip clip;
        clip.name = file.GetString(kOptionSection, ClipKeyName(index, ClipField::Name), "");
        if (clip.name.empty()) continue;
        clip.startFrame = file.GetInt(kOptionSection, ClipKeyName(index, ClipField::StartKey), 0);
        clip.endFrame = file.GetInt(kOptionSection, ClipKeyName(index, ClipField::EndKey), 0);
        clips.push_back(std::move(clip));
    }
    return clips;
}

}  // namespace

bool LoadSceneInput(const std::string& path, int frameRate, const std::string& textureDirectory, SceneInput& input,
                    std::string& error) {
    input = SceneInput{};
    if (IsSceneDocumentPath(path)) {
        input.scene = LoadSceneDocument(path, error);
        if (!input.scene) return false;
        ProfileFile clipFile;
        if (clipFile.Load(ClipFilePath(path))) {
            input.hasClips = true;
            input.clips = LoadClipFile(clipFile);
        }
        return true;
    }
    ImportOptions options;
    options.frameRate = frameRate;
    options.textureDirectory = textureDirectory;
    input.scene = ImportInterchangeFile(path, options, error, &input.clips);
    input.hasClips = input.scene != nullptr;
    return input.scene != nullptr;
}

std::vector<std::string> ClipSettings(const std::vector<ImportedClip>& clips) {
    std::vector<std::string> settings{std::string(kAnimationCountKey) + "=" + std::to_string(clips.size())};
    for (size_t i = 0; i < clips.size(); ++i) {
        settings.push_back(ClipKeyName(i, ClipField::Name) + "=" + clips[i].name);
        settings.push_back(ClipKeyName(i, ClipField::StartKey) + "=" + std::to_string(clips[i].startFrame));
        settings.push_back(ClipKeyName(i, ClipField::EndKey) + "=" + std::to_string(clips[i].endFrame));
    }
    return settings;
}

bool UserGaveClips(const std::string& configFile, const std::vector<std::string>& settings) {
    for (const std::string& setting : settings) {
        const std::string key = setting.substr(0, setting.find('='));
        int32_t index = 0;
        ClipField field{};
        if (SplitClipKey(key, index, field)) return true;
        if (key.size() == std::string_view(kAnimationCountKey).size() &&
            std::equal(key.begin(), key.end(), kAnimationCountKey,
                       [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b)); }))
            return true;
    }
    ProfileFile file;
    if (!file.Load(configFile)) return false;
    return file.HasKey(kOptionSection, kAnimationCountKey) || file.HasKey(kOptionSection, ClipKeyName(0, ClipField::Name));
}

bool SaveClipFile(const std::string& path, const std::vector<ImportedClip>& clips, std::string& error) {
    ProfileFile file;
    for (const std::string& setting : ClipSettings(clips)) {
        const size_t eq = setting.find('=');
        file.WriteString(kOptionSection, setting.substr(0, eq), setting.substr(eq + 1));
    }
    if (!file.Save(path)) {
        error = "cannot write the clip file " + path;
        return false;
    }
    return true;
}
