#include "material/file_output.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "plugin/paths.h"

#ifdef _WIN32
#include <process.h>
#define PLOVER_FILE_GETPID _getpid
#else
#include <unistd.h>
#define PLOVER_FILE_GETPID getpid
#endif

namespace fs = std::filesystem;

std::string TemporaryNameBeside(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return target + ".tmp" + std::to_string(static_cast<long>(PLOVER_FILE_GETPID())) + "_" +
           std::to_string(counter++);
}

bool PathExists(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    return fs::exists(fs::path(path), ec) && !ec;
}

std::string FileInDirectory(const std::string& directory, std::string_view name) {
    const std::string file = FileNameOf(name);
    if (file.empty() || file == "." || file == "..") return {};
    return WithTrailingSeparator(directory.empty() ? std::string("./") : directory) + file;
}

bool WriteFileReplacing(const std::string& path, std::string_view bytes) {
    if (path.empty()) return false;
    const std::string temp = TemporaryNameBeside(path);
    FILE* file = std::fopen(temp.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fclose(file) == 0 && ok;
    std::error_code ec;
    if (ok) {
        fs::rename(temp, path, ec);
        ok = !ec;
    }
    if (!ok) fs::remove(temp, ec);
    return ok;
}

bool CopyFileReplacing(const std::string& source, const std::string& target, bool failIfExists) {
    if (source.empty() || target.empty()) return false;
    std::error_code ec;
    if (!fs::is_regular_file(source, ec) || ec) return false;
    if (failIfExists && PathExists(target)) return false;
    // Copying a file onto itself would truncate it through the temporary file's rename; the
    // file is already where it belongs.
    if (fs::equivalent(source, target, ec) && !ec) return true;

    const std::string temp = TemporaryNameBeside(target);
    fs::copy_file(source, temp, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    if (failIfExists && PathExists(target)) {  // appeared while we copied
        fs::remove(temp, ec);
        return false;
    }
    fs::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return false;
    }
    return true;
}
