#include "host/objects/texture_search.h"

#include <filesystem>
#include <set>
#include <system_error>

#include "core/paths.h"
#include "sdk/host.h"

namespace fs = std::filesystem;

std::vector<std::string> MissingTextureWarnings(HostScene& scene, const StagedFiles* staged) {
    // The folders the exporter searches, in its order; empty ones are skipped like it does.
    std::vector<std::string> folders;
    const std::string sceneFile = scene.GetCurFilePath();
    const size_t slash = sceneFile.find_last_of("/\\");
    folders.push_back(slash == std::string::npos ? std::string(".") : sceneFile.substr(0, slash + 1));
    for (int kind : {kDirMaps, kDirMaxData})
        if (!scene.GetDir(kind).empty()) folders.push_back(scene.GetDir(kind));

    std::vector<std::string> warnings;
    std::set<std::string> reported;
    for (const auto& owned : scene.materials().texmaps()) {
        const auto* bitmap = dynamic_cast<const HostBitmapTex*>(owned.get());
        if (!bitmap || bitmap->fileName.empty() || !reported.insert(bitmap->fileName).second) continue;
        std::error_code ec;
        if (fs::is_regular_file(bitmap->fileName, ec)) continue;
        if (staged && !staged->TemporaryOf(bitmap->fileName).empty()) continue;
        const std::string name = FileNameOf(bitmap->fileName);
        bool found = false;
        for (const std::string& folder : folders) found = found || !FindFileInTree(folder, name).empty();
        if (found) continue;
        std::string places;
        for (size_t i = 0; i < folders.size(); ++i)
            places += (i == 0 ? "" : i + 1 == folders.size() ? " and " : ", ") + folders[i];
        warnings.push_back(bitmap->fileName + ": texture not found (looked there and in " + places +
                           ", subfolders included)");
    }
    return warnings;
}
