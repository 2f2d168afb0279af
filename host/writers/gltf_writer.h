// Writing a host scene as a glTF 2.0 file: `.glb` (one binary file, images inside) or `.gltf`
// (JSON, its buffer in `<name>.bin` and its images copied beside it).
//
// The writer reads the scene as the exporter does: the node tree with its transforms, each mesh
// node's triangle mesh (the mesh beneath its skin when it has one), its material, its skin and
// the keyed transforms of every node over the scene's clips. What glTF has no place for (the X
// material's own values, textures in formats glTF does not take) goes to `extras`.
//
// Coordinates: the host scene is Z-up; the file is Y-up (the change an import of a glTF file
// makes, undone). Texture coordinates run down from the image's top in the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class HostScene;
class StagedFiles;

struct GltfWriteOptions {
    // Folders whose files (subfolders included) an image may be read from: the model's folder,
    // the private folder its embedded images were unpacked into. A texture elsewhere is left out
    // with a warning unless anywhere is set.
    std::vector<std::string> textureFolders;
    bool texturesAnywhere = false;
};

// What was written, for the command's summary.
struct GltfWriteReport {
    size_t nodes = 0, meshes = 0, triangles = 0, materials = 0, images = 0, skins = 0, animations = 0;
    std::vector<std::string> warnings;  // one line each: a texture left out and why
};

// Stages the file at path (`.glb` binary, anything else JSON with `<stem>.bin` and the images
// beside it) in staged; the caller commits. False with error in plain words when the scene has
// more than glTF holds or a file cannot be staged.
bool WriteGltf(HostScene& scene, const std::string& path, const GltfWriteOptions& options, StagedFiles& staged,
               GltfWriteReport& report, std::string& error);

// The mapping of an X material's power (specular exponent) to glTF's roughness, and back: the
// inverse of what our glTF import (and Assimp's) reads, power = 1000 (1 - roughness)^2, so that
// a round trip keeps the power.
float RoughnessFromPower(float power);
