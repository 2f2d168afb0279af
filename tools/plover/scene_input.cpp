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

bool LoadSceneInput(const std::string& path, int frameRate, const std::string& textureDirectory, SceneInput& input,
                    std::string& error) {
    input = SceneInput{};
    if (IsSceneDocumentPath(path)) {
        input.scene = LoadSceneDocument(path, error);
    } else {
        ImportOptions options;
        options.frameRate = frameRate;
        options.textureDirectory = textureDirectory;
        input.scene = ImportInterchangeFile(path, options, error);
    }
    if (!input.scene) return false;
    // The clips the scene offers: one per animation of an imported file, or a document's "clips".
    if (const auto& clips = input.scene->clips()) {
        input.hasClips = true;
        input.clips = *clips;
    }
    return true;
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
