#include "tools/plover/arguments.h"

#include <filesystem>
#include <system_error>

#include "core/platform.h"

namespace fs = std::filesystem;

bool CheckInputPath(const std::string& path, std::string& error, const char* wanted) {
    std::error_code ec;
    if (path.empty()) {
        error = "the input path is empty";
        return false;
    }
    const fs::file_status status = fs::status(platform::PathOf(path), ec);
    if (status.type() == fs::file_type::not_found) {
        error = path + ": no such file";
        return false;
    }
    if (status.type() == fs::file_type::directory) {
        error = path + " is a folder; give " + std::string(wanted);
        return false;
    }
    return true;
}

bool CheckOutputPath(const std::string& path, std::string& error) {
    std::error_code ec;
    if (path.empty()) {
        error = "the output path is empty";
        return false;
    }
    if (fs::is_directory(platform::PathOf(path), ec)) {
        error = path + " is a folder; give the name of the file to write";
        return false;
    }
    fs::path folder = platform::PathOf(path).parent_path();
    if (folder.empty()) folder = ".";
    if (!fs::is_directory(folder, ec)) {
        error = "the output folder " + platform::Utf8Of(folder) + " does not exist";
        return false;
    }
    return true;
}

bool HasXExtension(const std::string& path) {
    const std::string extension = fs::path(path).extension().string();
    return extension == ".x" || extension == ".X";
}
