// The Windows side of host/unpack_folder.h. The console's control handler, which calls
// RemoveUnpackFolderNow, runs on a thread of its own rather than interrupting one, so the
// removal uses the ordinary library.
#include "host/import/unpack_folder.h"

#include <atomic>
#include <filesystem>
#include <mutex>
#include <random>
#include <string_view>
#include <system_error>

#include "core/platform.h"
#include "core/temporary_name.h"

namespace fs = std::filesystem;

namespace {

std::mutex g_mutex;
std::string g_folder;  // the newest folder that still exists, or ""

constexpr std::string_view kFolderPrefix = "plover-textures-";

}  // namespace

int RemoveStaleUnpackFolders(const std::string& parent) {
    std::error_code ec;
    fs::directory_iterator it(platform::PathOf(parent), ec);
    int removed = 0;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const long pid = TemporaryNameProcess(platform::Utf8Of(it->path().filename()), kFolderPrefix, '-');
        if (pid <= 0 || pid == platform::ProcessId() || platform::ProcessIsRunning(pid)) continue;
        // Only a real folder (the temporary folder is the user's own, so whose it is needs no check).
        std::error_code type;
        if (it->is_symlink(type) || type || !it->is_directory(type) || type) continue;
        std::error_code gone;
        fs::remove_all(it->path(), gone);
        removed += gone ? 0 : 1;
    }
    return removed;
}

std::unique_ptr<UnpackFolder> UnpackFolder::Create(std::string& error) {
    std::error_code ec;
    const fs::path parent = fs::temp_directory_path(ec);
    if (ec) {
        error = "cannot make a temporary folder for the textures stored in the file (no temporary folder: " +
                ec.message() + ")";
        return nullptr;
    }
    RemoveStaleUnpackFolders(platform::Utf8Of(parent));
    std::random_device random;
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = TemporaryNamePrefix(kFolderPrefix, '-');
        for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
        const fs::path folder = parent / name;
        if (!fs::create_directory(folder, ec)) {
            if (ec) break;
            continue;  // taken: another name
        }
        const std::string path = platform::Utf8Of(folder);
        std::lock_guard<std::mutex> lock(g_mutex);
        g_folder = path;
        return std::unique_ptr<UnpackFolder>(new UnpackFolder(path));
    }
    error = "cannot make a temporary folder for the textures stored in the file (" + platform::Utf8Of(parent) +
            (ec ? ": " + ec.message() : std::string()) + ")";
    return nullptr;
}

UnpackFolder::~UnpackFolder() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_folder == path_) g_folder.clear();
    }
    std::error_code ec;
    fs::remove_all(platform::PathOf(path_), ec);
}

void RemoveUnpackFolderNow() noexcept {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_folder.empty()) return;
    std::error_code ec;
    fs::remove_all(platform::PathOf(g_folder), ec);
    g_folder.clear();
}
