#include "xformat/xfile_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace xfile {

std::filesystem::path PathOfUtf8(const std::string& utf8) { return std::filesystem::path(utf8); }

std::string Utf8OfPath(const std::filesystem::path& path) { return path.string(); }

std::FILE* OpenPath(const std::filesystem::path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool SeekTo(std::FILE* file, uint64_t offset) { return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0; }

int64_t PositionOf(std::FILE* file) { return static_cast<int64_t>(ftello(file)); }

std::error_code ReplaceWith(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    return ec;
}

int64_t CopyInKernel(std::FILE* from, uint64_t* offset, std::FILE* to, size_t bytes) {
#ifdef __linux__
    loff_t at = static_cast<loff_t>(*offset);
    const ssize_t n = copy_file_range(fileno(from), &at, fileno(to), nullptr, bytes, 0);
    if (n < 0) return errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ? -2 : -1;
    *offset = static_cast<uint64_t>(at);
    return n;
#else
    (void)from, (void)offset, (void)to, (void)bytes;
    return -2;
#endif
}

}  // namespace xfile
