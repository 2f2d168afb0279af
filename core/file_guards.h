// Guards for files a model names: what kind of image some bytes are (a written image's extension
// comes from its bytes, never from the model's text), whether an existing file is an image of
// the kind its name says, which files an export must not replace, whether a path lies inside a
// folder tree, and whether a path is a regular file before it is opened for reading.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>

// The extension of the image format the bytes start with, by its signature: "png", "jpg",
// "gif", "bmp", "dds", "tif", "webp", "ktx", "ktx2", "hdr", "psd", "exr", "pcx", "sgi", "pnm"
// (the P1 to P6 kinds), "tga" (no signature: its header's fields are checked); "" when the bytes
// are none of these.
std::string ImageExtensionOfBytes(std::string_view head);

// True when the regular files at a and b hold the same bytes.
bool SameContent(const std::string& a, const std::string& b);

// True when the regular file at path starts as an image of the kind its extension names
// ("jpeg" and "jpg", "tif" and "tiff" count as one kind); false for any other file and for a
// name whose extension is no image format above.
bool IsImageOfItsName(const std::string& path);

// Whether path is a regular file, looked at without opening it (a named pipe or a device would
// block or never end). False with *cause ("no such file", "is a directory", "is not a regular
// file") otherwise.
bool IsRegularFileToRead(const std::string& path, std::string* cause = nullptr);

// True when path, with its symbolic links and "." and ".." resolved, lies in folder or below.
// A path that does not exist yet is judged by its existing folders.
bool IsInsideFolderTree(const std::string& path, const std::string& folder);

// True when path is a symbolic link whose chain of links ends outside folder and its subfolders
// (whether or not the file at its end exists): writing through it would leave the folder.
bool IsLinkOutOfFolder(const std::string& path, const std::string& folder);

// A set of files by identity (the same file under two names, or through a link, is one).
class FileSet {
public:
    // Adds the file at path; a path naming no file is ignored.
    void Add(const std::string& path);
    bool Contains(const std::string& path) const;

private:
#ifdef _WIN32
    std::set<std::string> files_;  // canonical paths
#else
    std::set<std::pair<uint64_t, uint64_t>> files_;  // device, inode
#endif
};
