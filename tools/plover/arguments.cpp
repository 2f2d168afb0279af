#include "tools/plover/arguments.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

bool CheckInputPath(const std::string& path, std::string& error) {
    std::error_code ec;
    if (path.empty()) {
        error = "the input path is empty";
        return false;
    }
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        error = path + ": no such file";
        return false;
    }
    if (status.type() == fs::file_type::directory) {
        error = path + " is a folder; give a scene document or a model file";
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
    if (fs::is_directory(path, ec)) {
        error = path + " is a folder; give the name of the file to write";
        return false;
    }
    fs::path folder = fs::path(path).parent_path();
    if (folder.empty()) folder = ".";
    if (!fs::is_directory(folder, ec)) {
        error = "the output folder " + folder.string() + " does not exist";
        return false;
    }
    return true;
}
