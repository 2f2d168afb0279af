// The import API: model files (glTF, X files, and FBX, COLLADA, OBJ and every other format
// Assimp reads) into the stand-in host's in-memory scene, whichever reader takes the file.
//
// The file becomes what a user would get by importing it into the host:
//  - the node hierarchy with its transforms; nodes without geometry become dummies, nodes that
//    a skin uses as joints become bones;
//  - one triangle-mesh object per node holding all of the node's meshes: specified normals
//    (faces of meshes without normals are flat), texture coordinate set k as map channel k + 1,
//    vertex colours as channel 0 and their alpha as channel -2, face material ids indexing the
//    node's materials (a multi-material when it has several);
//  - standard materials: diffuse, specular, shininess, opacity and emission with their textures
//    in the matching map slots (mapping channel, UV transform, wrap modes), normal maps through a
//    normal-bump map; images stored inside the file are written out as image files named after
//    the image (its name in the file, or its original file's name);
//  - skins as skin deformers whose initial poses reproduce the file's bind pose;
//  - animations as keyed position, rotation and scale controllers, laid out one after another
//    on the timeline, with one clip per animation that lasts as long as the animation says
//    (a pose held after the last key is kept).
// Files without geometry (only cameras, lights, empties or animation) import as the scene they
// are; the exporter's own rules decide what such a scene gives.
// The host is Z-up: scenes are turned from the file's up axis (Y for glTF) so that the exported
// model stands as it does in the source.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/staged_files.h"
#include "host/import/import_limits.h"
#include "host/objects/host_scene.h"
#include "host/objects/legal_names.h"

// The frame rate of an imported timeline when nothing else decides it.
inline constexpr int kDefaultFrameRate = 30;

struct ImportOptions {
    // Frames per second of the scene's timeline; must divide 4800 (the ticks per second). 0: the
    // rate whose frames hold the file's key times (FrameRateOfKeys, import_shared.h).
    int frameRate = kDefaultFrameRate;
    // Where images stored inside the file are written as image files; made when missing.
    // Empty: the current directory.
    std::string textureDirectory;
    // When given, the images are staged there and put in place by the caller's commit, together
    // with its own files; otherwise each is written in place at once.
    StagedFiles* staged = nullptr;
    // textureDirectory is a private temporary folder that the caller removes: images are written
    // there directly. A crash leaves nothing under a user's name, so they need no flush to the
    // disk and no rename, which cost more than the rest of a small model's import.
    bool privateFolder = false;
    // Which reader takes .gltf and .glb files: the native glTF reader, which leaves to Assimp the
    // files that need what it does not read, or (for tests that compare the two) one of them only.
    enum class GltfReader { Automatic, NativeOnly, AssimpOnly };
    GltfReader gltfReader = GltfReader::Automatic;
    // How an X file was written: left-handed with Y up (the exporter's default) unless these say
    // it is right-handed or has Z up; the import undoes that convention.
    bool fromRightHanded = false;
    bool fromZUp = false;
    // A model reads only files in its own folder and below unless this is set: a buffer or
    // other data file outside it fails the import, naming the reference; a texture outside it
    // is looked for by its file name in the model's folder instead, with a warning.
    bool allowOutsideFiles = false;
    // Receives one line per reference the import left out (null: none kept).
    std::vector<std::string>* warnings = nullptr;
};

// The frames one animation of the file occupies on the timeline.
// One clip per animation: the animation's name made a legal clip name, unique in the file; its
// first frame (the animation's time 0) and the first whole frame at or after its end (its
// duration, or its last key when that comes later).
using ImportedClip = HostClip;

// Reads the file at path and builds its scene (glTF files through the native reader, see
// gltf_import.h; X files through our own X reader, see x_import.h; the rest through Assimp's, see
// assimp_import.h). Null on failure, with error holding one line that names the file and the
// problem (Assimp's message for a file it cannot read). Files larger than
// kMaxInterchangeFileBytes, and binary glTF files whose header does not match the file, are
// refused before Assimp reads them. When clips is given it receives one entry per animation, in
// file order.
std::unique_ptr<HostScene> ImportInterchangeFile(const std::string& path, const ImportOptions& options,
                                                 std::string& error, std::vector<ImportedClip>* clips = nullptr);
