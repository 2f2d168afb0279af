#include "core/paths.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "core/platform.h"

namespace fs = std::filesystem;

namespace {
// The last "/" or "\"; in a name without either, the colon of a drive letter ("C:wood.png"
// is wood.png in drive C's current folder).
size_t LastSeparator(std::string_view path) {
    for (size_t i = path.size(); i > 0; --i)
        if (IsPathSeparator(path[i - 1])) return i - 1;
    const bool drive = path.size() >= 2 && path[1] == ':' &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return drive ? 1 : std::string_view::npos;
}
}  // namespace

std::string DirectoryOf(std::string_view path) {
    const size_t pos = LastSeparator(path);
    if (pos == std::string_view::npos) return "./";
    return std::string(path.substr(0, pos + 1));
}

std::string FileNameOf(std::string_view path) {
    const size_t pos = LastSeparator(path);
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string WithTrailingSeparator(std::string_view dir) {
    std::string result(dir);
    if (!result.empty() && !IsPathSeparator(result.back())) result += '/';
    return result;
}

std::string LongPathName(const std::string& path) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(platform::PathOf(path), ec) || ec) return path;
    auto canonical = std::filesystem::canonical(platform::PathOf(path), ec);
    if (ec) return path;
    return platform::Utf8Of(canonical);
}

namespace {

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
                  return platform::Utf8Of(a.path().filename()) < platform::Utf8Of(b.path().filename());
              });
    for (const fs::directory_entry& entry : entries) {
        const std::string name = platform::Utf8Of(entry.path().filename());
        std::error_code statusError;
        const fs::file_status linkStatus = entry.symlink_status(statusError);
        if (statusError) continue;
        if (fs::is_directory(linkStatus)) {
            if (name.empty() || name[0] == '.' || depth >= kMaxFileSearchDepth) continue;
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
    size_t foldersLeft = kMaxFileSearchFolders;
    return Search(platform::PathOf(prefix), fileName, prefix, foldersLeft, 0);
}

