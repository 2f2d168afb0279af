#include "material/texture_paths.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "material/file_output.h"
#include "core/paths.h"
#include "core/paths.h"

namespace fs = std::filesystem;

namespace {

// How much of a tree one search reads: a scene file in a large folder (a home folder, the file
// system's root) must not make every missing texture walk all of it. The stand-in host checks
// textures with the same bounds, so that what it reports missing is what this search misses.
constexpr size_t kMaxSearchFolders = 4096;
constexpr int kMaxSearchDepth = 16;

std::string Search(const fs::path& directory, const std::string& fileName, const std::string& prefix,
                   size_t& foldersLeft, int depth) {
    if (foldersLeft == 0) return {};
    --foldersLeft;
    std::error_code ec;
    fs::directory_iterator it(directory, fs::directory_options::skip_permission_denied, ec);
    if (ec) return {};
    std::vector<fs::directory_entry> entries;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        entries.push_back(*it);
    }
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) {
                  return a.path().filename().string() < b.path().filename().string();
              });
    for (const fs::directory_entry& entry : entries) {
        const std::string name = entry.path().filename().string();
        std::error_code statusError;
        const fs::file_status linkStatus = entry.symlink_status(statusError);
        if (statusError) continue;
        if (fs::is_directory(linkStatus)) {
            if (name.empty() || name[0] == '.' || depth >= kMaxSearchDepth) continue;
            std::string found = Search(entry.path(), fileName, prefix + name + "/", foldersLeft, depth + 1);
            if (!found.empty()) return found;
        } else if (name == fileName) {
            const fs::file_status status = entry.status(statusError);
            if (!statusError && fs::is_directory(status)) continue;  // a link to a directory
            return prefix + name;
        }
    }
    return {};
}

}  // namespace

std::string FindFileInTree(const std::string& directory, const std::string& fileName) {
    if (fileName.empty()) return {};
    const std::string prefix = WithTrailingSeparator(directory.empty() ? std::string("./") : directory);
    size_t foldersLeft = kMaxSearchFolders;
    return Search(fs::path(prefix), fileName, prefix, foldersLeft, 0);
}

std::string ResolveTexturePath(std::string_view path, const TextureSearchDirectories& state) {
    if (path.empty()) return {};
    const std::string original(path);
    if (PathExists(original)) return original;
    const std::string fileName = FileNameOf(path);
    if (fileName.empty()) return original;
    for (const std::string* directory : {&state.sceneDirectory, &state.hostDirectory1, &state.hostDirectory2}) {
        if (directory->empty()) continue;
        std::string found = FindFileInTree(*directory, fileName);
        if (!found.empty()) return found;
    }
    return WithTrailingSeparator(state.sceneDirectory.empty() ? std::string("./") : state.sceneDirectory) + fileName;
}
