#include "host/texture_search.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "sdk/host.h"

namespace fs = std::filesystem;

namespace {

struct Search {
    const std::string& fileName;
    size_t foldersLeft = kMaxTextureSearchFolders;

    std::string In(const fs::path& folder, int depth) {
        if (foldersLeft == 0) return {};
        --foldersLeft;
        std::error_code ec;
        fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
        if (ec) return {};
        std::vector<fs::directory_entry> entries;
        for (; it != fs::directory_iterator(); it.increment(ec)) {
            if (ec) break;
            entries.push_back(*it);
        }
        std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
            return a.path().filename().string() < b.path().filename().string();
        });
        for (const fs::directory_entry& entry : entries) {
            const std::string name = entry.path().filename().string();
            std::error_code statusError;
            const fs::file_status linkStatus = entry.symlink_status(statusError);
            if (statusError) continue;
            if (fs::is_directory(linkStatus)) {
                if (name.empty() || name[0] == '.' || depth >= kMaxTextureSearchDepth) continue;
                std::string found = In(entry.path(), depth + 1);
                if (!found.empty()) return found;
            } else if (name == fileName && !fs::is_directory(entry.status(statusError)) && !statusError) {
                return entry.path().string();
            }
        }
        return {};
    }
};

// The part after the last "/" or "\": scene files written on Windows name textures either way.
std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string FindFileBelow(const std::string& folder, const std::string& fileName) {
    if (fileName.empty() || folder.empty()) return {};
    Search search{fileName};
    return search.In(fs::path(folder), 0);
}

std::vector<std::string> MissingTextureWarnings(HostScene& scene) {
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
        const std::string name = FileNameOf(bitmap->fileName);
        bool found = false;
        for (const std::string& folder : folders) found = found || !FindFileBelow(folder, name).empty();
        if (found) continue;
        std::string places;
        for (size_t i = 0; i < folders.size(); ++i)
            places += (i == 0 ? "" : i + 1 == folders.size() ? " and " : ", ") + folders[i];
        warnings.push_back(bitmap->fileName + ": texture not found (looked there and in " + places +
                           ", subfolders included)");
    }
    return warnings;
}
