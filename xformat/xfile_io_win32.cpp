// The Windows side of xfile_io.h: wide-character names, 64-bit positions, and MoveFileExW for
// the replacement, which returns once the new name is on the disk.
#include "xformat/xfile_io.h"

#include <windows.h>

namespace xfile {

std::filesystem::path PathOfUtf8(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return std::filesystem::path(wide);
}

std::string Utf8OfPath(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr, nullptr);
    return utf8;
}

std::FILE* OpenPath(const std::filesystem::path& path, const char* mode) {
    std::wstring wideMode;
    for (const char* c = mode; *c; ++c) wideMode.push_back(static_cast<wchar_t>(*c));
    return _wfopen(path.c_str(), wideMode.c_str());
}

bool SeekTo(std::FILE* file, uint64_t offset) { return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0; }

int64_t PositionOf(std::FILE* file) { return static_cast<int64_t>(_ftelli64(file)); }

std::error_code ReplaceWith(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return {};
    return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}

int64_t CopyInKernel(std::FILE*, uint64_t*, std::FILE*, size_t) { return -2; }

}  // namespace xfile
