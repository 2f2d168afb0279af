#include "tools/plover/scene_input.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>

#include "core/platform.h"
#include "host/document/scene_document.h"
#include "host/objects/texture_search.h"

namespace fs = std::filesystem;

bool IsSceneDocumentPath(const std::string& path) {
    std::string extension = platform::Utf8Of(platform::PathOf(path).extension());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".json";
}

bool LoadSceneInput(const std::string& path, int frameRate, const std::string& textureDirectory, SceneInput& input,
                    std::string& error, StagedFiles* staged, const InputConventions& conventions) {
    input = SceneInput{};
    if (IsSceneDocumentPath(path)) {
        input.scene = LoadSceneDocument(path, error);
        if (input.scene && frameRate != 0) {
            std::cerr << "plover: note: --fps " << frameRate << " is not used: " << path
                      << " keeps its own frame rate, " << input.scene->frameRate() << " fps\n";
        }
    } else {
        ImportOptions options;
        options.frameRate = frameRate;
        options.textureDirectory = textureDirectory;
        options.staged = staged;
        options.fromRightHanded = conventions.fromRightHanded;
        options.fromZUp = conventions.fromZUp;
        options.allowOutsideFiles = conventions.allowOutsideFiles;
        options.warnings = &input.warnings;
        if (textureDirectory.empty()) {
            input.unpacked = UnpackFolder::Create(error);
            if (!input.unpacked) return false;
            options.textureDirectory = input.unpacked->path();
            options.privateFolder = true;
        }
        input.scene = ImportInterchangeFile(path, options, error);
    }
    if (!input.scene) {
        input.unpacked.reset();
        return false;
    }
    for (const std::string& warning : input.scene->importWarnings()) input.warnings.push_back(warning);
    for (std::string& warning : MissingTextureWarnings(*input.scene, staged)) input.warnings.push_back(std::move(warning));
    for (const std::string& warning : input.warnings) std::cerr << "plover: warning: " << warning << "\n";
    // The clips the scene offers: one per animation of an imported file, or a document's "clips".
    if (const auto& clips = input.scene->clips()) {
        input.hasClips = true;
        input.clips = *clips;
    }
    return true;
}
