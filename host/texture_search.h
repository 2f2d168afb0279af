// Where the stand-in host looks for the texture files a scene names, and the warnings it gives
// for the ones it cannot find.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/host_scene.h"

// How much of a folder tree one search may read: a search from a large folder (a home folder,
// the file system's root) gives up instead of walking it whole. The exporter's own search has
// the same bounds, so a texture reported missing here is one the export will not find.
inline constexpr size_t kMaxTextureSearchFolders = 4096;
inline constexpr int kMaxTextureSearchDepth = 16;

// Searches folder and its subfolders, depth first in byte order of names, for a file named
// exactly fileName (letter case matters), the way the exporter does; folders whose names begin
// with "." and links to folders are not entered. Reads at most kMaxTextureSearchFolders folders,
// kMaxTextureSearchDepth levels below folder. The full path of the first file found, or "".
std::string FindFileBelow(const std::string& folder, const std::string& fileName);

// One line per texture file the scene's bitmaps name that exists neither where it is named nor
// below the folders the exporter searches (the scene file's folder, the maps and data
// directories): `<texture>: texture not found (looked there and in <folders>, subfolders
// included)`. A file named by several bitmaps is reported once.
std::vector<std::string> MissingTextureWarnings(HostScene& scene);
