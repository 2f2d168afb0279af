// The POSIX side of core/platform.h (Linux); platform_win32.cpp is the Windows side.
#include "core/platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace platform {

fs::path PathOf(std::string_view utf8) { return fs::path(utf8); }

std::string Utf8Of(const fs::path& path) { return path.string(); }

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) { return std::fopen(utf8Path.c_str(), mode); }

std::FILE* OpenCopyOf(const std::string& utf8Path, std::FILE* source) {
    struct stat info {};
    const mode_t mode = ::fstat(::fileno(source), &info) == 0 ? (info.st_mode & 0666) : 0600;
    // The temporary's name is new, so the mode (less the umask) is the file's.
    const int fd = ::open(utf8Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) ::close(fd);
    return file;
}

bool WriteWholeFile(const std::string& utf8Path, std::string_view bytes) {
    // Plain system calls: a stream's buffer and locale cost more than the write of a small file.
    const int fd = ::open(utf8Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += size_t(n);
    }
    return ::close(fd) == 0 && ok;
}

int SyncFile(const std::string& utf8Path) {
    const int fd = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno ? errno : EIO;
    const int error = ::fdatasync(fd) == 0 ? 0 : (errno ? errno : EIO);
    ::close(fd);
    return error;
}

int SyncOpenFile(std::FILE* file) {
    if (std::fflush(file) != 0) return errno ? errno : EIO;
    return ::fsync(fileno(file)) == 0 ? 0 : (errno ? errno : EIO);
}

std::error_code MoveIntoPlace(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    return ec;
}

bool FolderTakesNewFiles(const std::string& folder, std::error_code& cause) {
    // The system says whether the folder takes new files (write and search permission, a file
    // system mounted for writing) without a file made and removed there.
    if (::faccessat(AT_FDCWD, folder.empty() ? "." : folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0) return true;
    cause = std::error_code(errno ? errno : EIO, std::generic_category());
    return false;
}

long ProcessId() { return static_cast<long>(::getpid()); }

bool ProcessIsRunning(long pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::string UserConfigHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return xdg;
    if (const char* home = std::getenv("HOME"); home && *home) return (fs::path(home) / ".config").string();
    return {};
}

std::string ExecutablePath() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
}

std::string FindProgramFile(const std::string& name) {
    const std::string self = ExecutablePath();
    const fs::path folder = self.empty() ? fs::path(".") : fs::path(self).parent_path();
    std::error_code ec;
    for (const fs::path& candidate : {folder / name, folder / ".." / "lib" / "plover" / name})
        if (fs::exists(candidate, ec)) return candidate.lexically_normal().string();
    return self.empty() ? name : (folder / name).string();
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void UseUtf8Console() {}

bool IsTerminal(std::FILE* stream) { return ::isatty(fileno(stream)) != 0; }

MappedFile::~MappedFile() {
    if (mapping_) ::munmap(mapping_, static_cast<size_t>(size_));
}

bool MappedFile::Open(const std::string& utf8Path, std::string& problem) {
    const int fd = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        problem = "cannot open " + utf8Path;
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        problem = "cannot read " + utf8Path;
        return false;
    }
    size_ = static_cast<uint64_t>(info.st_size);
    if (size_ > 0) {
        void* mapped = ::mmap(nullptr, static_cast<size_t>(size_), PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped != MAP_FAILED) {
            mapping_ = mapped;
            data_ = static_cast<const uint8_t*>(mapped);
        }
    }
    if (mapping_ || size_ == 0) {
        ::close(fd);
        return true;
    }
    // A file system that cannot map (some network and FUSE ones): read it whole.
    copy_.resize(static_cast<size_t>(size_));
    size_t done = 0;
    while (done < copy_.size()) {
        const ssize_t n = ::read(fd, copy_.data() + done, copy_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    if (done != copy_.size()) {
        problem = "cannot read " + utf8Path;
        return false;
    }
    data_ = copy_.data();
    return true;
}

void* LoadModule(const std::string& utf8Path, bool bindNow, std::string& error) {
    // Bound lazily unless asked: most of a module's calls into the system's libraries are never
    // made, and binding them all up front costs a good part of the load. Missing libraries and
    // symbol versions are still refused here.
    void* handle = ::dlopen(utf8Path.c_str(), (bindNow ? RTLD_NOW : RTLD_LAZY) | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        error = why ? why : "unknown error";
    }
    return handle;
}

void* ModuleSymbol(void* module, const char* name) { return ::dlsym(module, name); }

void UnloadModule(void* module) {
    if (module) ::dlclose(module);
}

void* ModuleOfAddress(const void* address) {
    Dl_info info{};
    return ::dladdr(address, &info) != 0 ? info.dli_fbase : nullptr;
}

}  // namespace platform
