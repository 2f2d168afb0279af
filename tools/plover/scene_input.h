// The scene an export or a dump starts from: a scene document, an X file, or any interchange
// file that Assimp reads, together with the clip list that goes with it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/import/interchange_import.h"
#include "host/import/unpack_folder.h"
#include "host/objects/host_scene.h"

// A scene and the clips it supplies when the user gives no clip list of his own.
struct SceneInput {
    std::unique_ptr<HostScene> scene;
    // One clip per animation of an interchange file, or a scene document's "clips". Unset when
    // the input brings no clip list (a document without "clips"): the export then leaves the
    // configuration's clips as they are.
    bool hasClips = false;
    std::vector<ImportedClip> clips;
    // The private folder holding the images an imported file stores inside itself, when the
    // caller gave no folder for them; removed with the input (keep the input alive as long as
    // the scene is used).
    std::unique_ptr<UnpackFolder> unpacked;
    // One line per texture the scene names that cannot be found (already printed).
    std::vector<std::string> warnings;
};

// How the model files read were written, where the file does not say (X files: handedness and
// up axis), and whether a model may name files outside its own folder tree.
struct InputConventions {
    bool fromRightHanded = false;
    bool fromZUp = false;
    bool allowOutsideFiles = false;
};

// True for paths that name a scene document (".json", letter case ignored).
bool IsSceneDocumentPath(const std::string& path);

// Loads a scene document or imports an interchange file.
// frameRate is the timeline's frame rate for imports (0: the rate that holds the file's key times,
// else 30); a scene document keeps its own, and a frameRate given for one gets a note on standard
// error. textureDirectory receives the images an
// imported file stores inside itself (empty: a private temporary folder, input.unpacked). Textures
// the scene names that cannot be found are printed to standard error as
// "plover: warning: <texture>: texture not found (...)". With staged, the images are staged
// there for the caller to commit with its own files. An imported model reads only files of its
// own folder tree unless allowOutsideFiles (a scene document, which the user writes, may name
// any file). False, with error naming the file, on failure.
bool LoadSceneInput(const std::string& path, int frameRate, const std::string& textureDirectory, SceneInput& input,
                    std::string& error, StagedFiles* staged = nullptr, const InputConventions& conventions = {});
