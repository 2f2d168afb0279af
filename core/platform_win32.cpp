// The Windows side of core/platform.h: every path goes through the wide-character API, so that
// UTF-8 names outside the ANSI code page reach the file system intact.
#include "core/platform.h"
#include "core/temporary_name.h"

#include <windows.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace fs = std::filesystem;

namespace platform {

namespace {

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string Narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr, nullptr);
    return utf8;
}

// The errno a system error means, so that one description of causes serves both systems.
int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_NETWORK_ACCESS_DENIED: return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH: return ENOENT;
        case ERROR_WRITE_PROTECT: return EROFS;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE: return EBUSY;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_DIRECTORY: return ENOTDIR;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS: return EEXIST;
        case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ENOMEM;
        default: return EIO;
    }
}

std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = n ? Narrow(std::wstring_view(text, n)) : "system error " + std::to_string(error);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.' ||
                                message.back() == ' '))
        message.pop_back();
    return message;
}

}  // namespace

fs::path PathOf(std::string_view utf8) { return fs::path(Wide(utf8)); }

std::string Utf8Of(const fs::path& path) { return Narrow(path.native()); }

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) {
    return _wfopen(Wide(utf8Path).c_str(), Wide(mode).c_str());
}

// Windows files inherit their folder's access rules; a copy gets no wider rights than any new file.
std::FILE* OpenCopyOf(const std::string& utf8Path, std::FILE*) { return OpenFile(utf8Path, "wb"); }

bool WriteWholeFile(const std::string& utf8Path, std::string_view bytes) {
    HANDLE file = CreateFileW(Wide(utf8Path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        ok = WriteFile(file, bytes.data() + done, chunk, &n, nullptr) && n > 0;
        done += n;
    }
    return CloseHandle(file) && ok;
}

int SyncFile(const std::string& utf8Path) {
    HANDLE file = CreateFileW(Wide(utf8Path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ErrnoOf(GetLastError());
    const int error = FlushFileBuffers(file) ? 0 : ErrnoOf(GetLastError());
    CloseHandle(file);
    return error;
}

int SyncOpenFile(std::FILE* file) {
    if (std::fflush(file) != 0) return errno ? errno : EIO;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE) return EBADF;
    return FlushFileBuffers(handle) ? 0 : ErrnoOf(GetLastError());
}

std::error_code MoveIntoPlace(const std::string& from, const std::string& to) {
    // One rename that replaces what is there, returning once the move is on the disk.
    if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    return std::error_code(ErrnoOf(GetLastError()), std::generic_category());
}

bool FolderTakesNewFiles(const std::string& folder, std::error_code& cause) {
    // Windows has no cheap question for this: a file is made there, and goes when closed.
    const std::string probe =
        (folder.empty() ? std::string(".") : folder) + "\\" + TemporaryName(".plover-probe-", '-');
    HANDLE file = CreateFileW(Wide(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        cause = std::error_code(ErrnoOf(GetLastError()), std::generic_category());
        return false;
    }
    CloseHandle(file);
    return true;
}

long ProcessId() { return static_cast<long>(GetCurrentProcessId()); }

bool ProcessIsRunning(long pid) {
    if (pid <= 0) return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;  // someone else's, running
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

std::string UserConfigHome() {
    const wchar_t* appData = _wgetenv(L"APPDATA");
    return appData && *appData ? Narrow(appData) : std::string();
}

std::string ExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return Narrow(path);
        }
        path.resize(path.size() * 2);
    }
}

std::string FindProgramFile(const std::string& name) {
    const std::string self = ExecutablePath();
    const fs::path folder = self.empty() ? fs::path(L".") : PathOf(self).parent_path();
    std::error_code ec;
    const fs::path file = PathOf(name);
    for (const fs::path& candidate : {folder / file, folder / L".." / L"lib" / L"plover" / file})
        if (fs::exists(candidate, ec)) return Utf8Of(candidate.lexically_normal());
    return Utf8Of(folder / file);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) arguments.push_back(Narrow(wide[i]));
    LocalFree(wide);
    return arguments;
}

void UseUtf8Console() {
    SetConsoleOutputCP(CP_UTF8);
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(error, &mode)) SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

MappedFile::~MappedFile() {
    if (mapping_) UnmapViewOfFile(mapping_);
}

bool MappedFile::Open(const std::string& utf8Path, std::string& problem) {
    HANDLE file = CreateFileW(Wide(utf8Path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        problem = "cannot open " + utf8Path;
        return false;
    }
    LARGE_INTEGER size{};
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        problem = "cannot read " + utf8Path;
        return false;
    }
    size_ = static_cast<uint64_t>(size.QuadPart);
    if (size_ > 0) {
        // The view keeps the file open; the handles can go.
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping) {
            mapping_ = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
            CloseHandle(mapping);
        }
        data_ = static_cast<const uint8_t*>(mapping_);
    }
    if (mapping_ || size_ == 0) {
        CloseHandle(file);
        return true;
    }
    copy_.resize(static_cast<size_t>(size_));
    size_t done = 0;
    while (done < copy_.size()) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(copy_.size() - done, 1u << 30));
        if (!ReadFile(file, copy_.data() + done, chunk, &n, nullptr) || n == 0) break;
        done += n;
    }
    CloseHandle(file);
    if (done != copy_.size()) {
        problem = "cannot read " + utf8Path;
        return false;
    }
    data_ = copy_.data();
    return true;
}

void* LoadModule(const std::string& utf8Path, bool /*bindNow*/, std::string& error) {
    // The libraries the module needs are looked for in its own folder first.
    HMODULE module = LoadLibraryExW(Wide(utf8Path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) error = SystemMessage(GetLastError());
    return reinterpret_cast<void*>(module);
}

void* ModuleSymbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void UnloadModule(void* module) {
    if (module) FreeLibrary(static_cast<HMODULE>(module));
}

void* ModuleOfAddress(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return nullptr;
    return reinterpret_cast<void*>(module);
}

}  // namespace platform
