// Path helpers. The original host runs on Windows, so both "/" and "\" count as separators
// wherever a path is split; directories are joined with "/".
#pragma once

#include <string>
#include <string_view>

inline bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

// Everything up to and including the last separator; "./" when there is none.
std::string DirectoryOf(std::string_view path);
// The part after the last separator (the whole path when there is none).
std::string FileNameOf(std::string_view path);
// dir with a "/" appended when it is not empty and does not end in a separator.
std::string WithTrailingSeparator(std::string_view dir);
// Where texture and effect files are looked for when their stored path no longer leads to them.
// Each directory normally ends in a separator.
struct TextureSearchDirectories {
    std::string sceneDirectory;  // directory of the open scene file, or "./"
    std::string hostDirectory1;  // the host's map directory
    std::string hostDirectory2;  // a second host directory searched for textures
};

// The canonical absolute form of path when the file exists, else path unchanged.
std::string LongPathName(const std::string& path);
