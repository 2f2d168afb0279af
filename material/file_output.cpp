#include "material/file_output.h"

#include <filesystem>
#include <system_error>

#include "core/paths.h"
#include "core/platform.h"

namespace fs = std::filesystem;

bool PathExists(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    return fs::exists(platform::PathOf(path), ec) && !ec;
}

std::string FileInDirectory(const std::string& directory, std::string_view name) {
    const std::string file = FileNameOf(name);
    if (file.empty() || file == "." || file == "..") return {};
    return WithTrailingSeparator(directory.empty() ? std::string("./") : directory) + file;
}
