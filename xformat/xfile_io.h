// The few file operations the save layer needs that differ between systems, for a library that
// depends on nothing else: UTF-8 names, 64-bit positions, replacing a file by its temporary at
// once, and the kernel's copy between files. xfile_io.cpp is the POSIX side, xfile_io_win32.cpp
// the Windows side.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace xfile {

// A path from UTF-8 text, and its UTF-8 text (for messages).
std::filesystem::path PathOfUtf8(const std::string& utf8);
std::string Utf8OfPath(const std::filesystem::path& path);

std::FILE* OpenPath(const std::filesystem::path& path, const char* mode);
bool SeekTo(std::FILE* file, uint64_t offset);
// The position, or -1.
int64_t PositionOf(std::FILE* file);

// Gives `from` the name `to`, replacing any file there in one step.
std::error_code ReplaceWith(const std::filesystem::path& from, const std::filesystem::path& to);

// Copies up to `bytes` from `from` at *offset to the end of `to` inside the kernel, advancing
// *offset: the bytes copied, 0 at the end, -1 on failure, -2 when the system cannot do it for
// these files (the caller then copies through memory).
int64_t CopyInKernel(std::FILE* from, uint64_t* offset, std::FILE* to, size_t bytes);

}  // namespace xfile
