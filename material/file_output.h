// Where the files that the materials name go beside the X file.
#pragma once

#include <string>
#include <string_view>

// True when a file (or directory) exists at path.
bool PathExists(const std::string& path);

// The name under which a file named name is put into directory, or "" when name cannot name
// a file there: only the part after the last "/" or "\" counts, and "", "." and ".." are
// refused, so the result never leaves the directory.
std::string FileInDirectory(const std::string& directory, std::string_view name);
