// Files put beside the X file: effect files, copied textures, baked maps.
//
// Every file is written to a temporary name in the target directory and renamed into place, so
// a failed write never leaves a half-written file or destroys the previous one.
#pragma once

#include <string>
#include <string_view>

// Writes bytes to path, replacing any file there. False when nothing was written.
bool WriteFileReplacing(const std::string& path, std::string_view bytes);

// Copies source to target byte for byte. With failIfExists an existing target is left alone
// and the call fails. A missing or unreadable source fails without touching the target.
bool CopyFileReplacing(const std::string& source, const std::string& target, bool failIfExists);

// True when a file (or directory) exists at path.
bool PathExists(const std::string& path);

// The name under which a file named name is put into directory, or "" when name cannot name
// a file there: only the part after the last "/" or "\" counts, and "", "." and ".." are
// refused, so the result never leaves the directory.
std::string FileInDirectory(const std::string& directory, std::string_view name);

// A temporary file name beside target, unique within this process.
std::string TemporaryNameBeside(const std::string& target);
