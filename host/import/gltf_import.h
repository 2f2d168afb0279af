// glTF 2.0 files (.gltf with external or data-URI buffers, and .glb) read straight from their
// buffers into the stand-in host's scene: the same scene, clips and image files that Assimp's
// import of the file gives (see assimp_import.h for what that is), in a fraction of the time and
// memory. The file is mapped once; accessors are read through checked, strided views into the
// host mesh's arrays at their final size.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/import/interchange_import.h"

// The result of reading a glTF file natively.
enum class GltfReadResult {
    Read,         // the scene is made
    Failed,       // the file is malformed: error holds the message
    Unsupported,  // the file needs something left to Assimp: error says what
};

GltfReadResult ImportGltfFile(const std::string& path, const ImportOptions& options, std::unique_ptr<HostScene>& scene,
                              std::vector<ImportedClip>& clips, std::string& error);

// True for the file names the native reader takes (.gltf and .glb, any letter case).
bool IsGltfFileName(const std::string& path);
