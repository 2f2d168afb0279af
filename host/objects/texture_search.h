// Where the stand-in host looks for the texture files a scene names, and the warnings it gives
// for the ones it cannot find.
#pragma once

#include <string>
#include <vector>

#include "core/staged_files.h"
#include "host/objects/host_scene.h"

// One line per texture file the scene's bitmaps name that exists neither where it is named nor
// below the folders the exporter searches (the scene file's folder, the maps and data
// directories), searched the exporter's way (FindFileInTree, core/paths.h, with its bounds):
// `<texture>: texture not found (looked there and in <folders>, subfolders included)`. A file
// named by several bitmaps is reported once. A file staged in staged (when given) is there.
std::vector<std::string> MissingTextureWarnings(HostScene& scene, const StagedFiles* staged = nullptr);
