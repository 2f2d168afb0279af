// The process-wide values of the module, gathered in one owner.
//
// Each export overwrites them before use; one export runs at a time per process.
#pragma once

#include <string>

#include "options/export_options.h"
#include "core/conversion.h"

struct ModuleState {
    ExportOptions options;
    std::string sceneRootName;  // the SceneRootName option: names the root frame when not empty
    AnimClipList clips;

    // Texture search directories, each normally ending in a separator.
    std::string hostDirectory1;  // host directory kind 7
    std::string hostDirectory2;  // host directory kind 32
    std::string sceneDirectory;  // directory of the open scene file, or ".\"

    Conversion conversion;
};

// The module's one instance.
ModuleState& TheModuleState();
