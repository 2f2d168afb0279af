// Path helpers. The original host runs on Windows, so both "/" and "\" count as separators
// wherever a path is split; directories are joined with "/".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

// Everything up to and including the last separator; "./" when there is none.
std::string DirectoryOf(std::string_view path);
// The part after the last separator (the whole path when there is none). A drive letter
// without a separator after it ("C:wood.png") counts as a folder.
std::string FileNameOf(std::string_view path);
// dir with a "/" appended when it is not empty and does not end in a separator.
std::string WithTrailingSeparator(std::string_view dir);

// How much of a folder tree one file search reads: a search from a large folder (a home folder,
// the file system's root) gives up instead of walking it whole. The exporter's texture search
// and the stand-in host's missing-texture check share these bounds, so a texture the host
// reports missing is one the export will not find.
inline constexpr size_t kMaxFileSearchFolders = 4096;
inline constexpr int kMaxFileSearchDepth = 16;

// Searches directory ("./" when empty) and its subdirectories, depth first, for a file named
// exactly fileName (letter case matters). Entries are visited in byte order of their names;
// directories whose names begin with "." and links to directories are not entered. At most
// kMaxFileSearchFolders directories are read, down to kMaxFileSearchDepth levels below
// directory. Returns the path of the first file found (directory, a separator, then the
// subdirectories and the name joined with "/"), or "" when there is none (or fileName is
// empty).
std::string FindFileInTree(const std::string& directory, const std::string& fileName);
// Where texture and effect files are looked for when their stored path no longer leads to them.
// Each directory normally ends in a separator.
struct TextureSearchDirectories {
    std::string sceneDirectory;  // directory of the open scene file, or "./"
    std::string hostDirectory1;  // the host's map directory
    std::string hostDirectory2;  // a second host directory searched for textures
};

// The canonical absolute form of path when the file exists, else path unchanged.
std::string LongPathName(const std::string& path);
