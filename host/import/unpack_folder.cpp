#include "host/import/unpack_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "core/temporary_name.h"

namespace fs = std::filesystem;

namespace {

// The folder a signal handler removes. Written before the folder holds anything and cleared
// before the folder is removed normally.
char g_folder[4096];
std::atomic<bool> g_armed{false};

// One entry as the getdents64 system call returns it.
struct LinuxDirent64 {
    uint64_t ino;
    int64_t off;
    unsigned short reclen;
    unsigned char type;
    char name[1];
};

// Removes a folder holding plain files, with system calls only: safe in a signal handler, and
// it allocates nothing. False when the folder is still there (it held something else).
bool RemoveFolderOfFiles(const char* folder) noexcept {
    const int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        // Entries are removed while the listing is read, so it is read again until a pass
        // finds nothing left.
        alignas(8) char buffer[4096];
        for (bool removed = true; removed;) {
            removed = false;
            ::lseek(fd, 0, SEEK_SET);
            for (;;) {
                const long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
                if (n <= 0) break;
                for (long at = 0; at < n;) {
                    const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer + at);
                    at += entry->reclen;
                    if (std::strcmp(entry->name, ".") == 0 || std::strcmp(entry->name, "..") == 0) continue;
                    removed |= ::unlinkat(fd, entry->name, 0) == 0;
                }
            }
        }
        ::close(fd);
    }
    return ::rmdir(folder) == 0 || errno == ENOENT;
}

// Where the folder goes: the user's TMPDIR when set; otherwise the memory-backed /dev/shm when
// it takes files (the images live only as long as the command, and making, writing and removing
// them there costs a tenth of what it costs on a disk); otherwise the system's temporary folder.
fs::path UnpackParent() {
    std::error_code ec;
    const char* tmpdir = std::getenv("TMPDIR");
    if ((!tmpdir || !*tmpdir) && ::access("/dev/shm", W_OK | X_OK) == 0 && fs::is_directory("/dev/shm", ec))
        return "/dev/shm";
    const fs::path temp = fs::temp_directory_path(ec);
    return ec ? fs::path("/tmp") : temp;
}

constexpr std::string_view kFolderPrefix = "plover-textures-";

}  // namespace

int RemoveStaleUnpackFolders(const std::string& parent) {
    std::error_code ec;
    fs::directory_iterator it(parent, ec);
    int removed = 0;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const long pid = TemporaryNameProcess(it->path().filename().string(), kFolderPrefix, '-');
        if (pid <= 0 || pid == long(::getpid())) continue;
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;  // running, or not ours to judge
        // Only a real folder of this user's (not a link planted in a shared folder).
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) continue;
        removed += RemoveFolderOfFiles(it->path().c_str()) ? 1 : 0;
    }
    return removed;
}

std::unique_ptr<UnpackFolder> UnpackFolder::Create(std::string& error) {
    const fs::path parent = UnpackParent();
    RemoveStaleUnpackFolders(parent.string());
    // mkdtemp's random letters, not a counter: the folder is made in a folder others write to.
    std::string pattern = (parent / (TemporaryNamePrefix(kFolderPrefix, '-') + "XXXXXX")).string();
    if (pattern.size() >= sizeof g_folder || !::mkdtemp(pattern.data())) {
        error = "cannot make a temporary folder for the textures stored in the file (" + pattern + ": " +
                std::strerror(errno) + ")";
        return nullptr;
    }
    g_armed = false;
    std::memcpy(g_folder, pattern.c_str(), pattern.size() + 1);
    g_armed = true;
    return std::unique_ptr<UnpackFolder>(new UnpackFolder(pattern));
}

UnpackFolder::~UnpackFolder() {
    if (g_armed && path_ == g_folder) g_armed = false;
    // Something other than the import's plain files is left to the general removal.
    if (RemoveFolderOfFiles(path_.c_str())) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void RemoveUnpackFolderNow() noexcept {
    if (g_armed.exchange(false)) RemoveFolderOfFiles(g_folder);
}
