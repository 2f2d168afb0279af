#include "core/paths.h"

#include <filesystem>
#include <system_error>

namespace {
size_t LastSeparator(std::string_view path) {
    for (size_t i = path.size(); i > 0; --i)
        if (IsPathSeparator(path[i - 1])) return i - 1;
    return std::string_view::npos;
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
    if (path.empty() || !std::filesystem::exists(path, ec) || ec) return path;
    auto canonical = std::filesystem::canonical(path, ec);
    if (ec) return path;
    return canonical.string();
}
