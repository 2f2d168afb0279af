// Assimp's import: every format Assimp reads, into the scene the import API describes
// (interchange_import.h). Only assimp_import.cpp includes Assimp's headers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/import/interchange_import.h"

// Assimp's import of any file it reads (the last step of ImportInterchangeFile). Weak: programs
// that link the Assimp reader (assimp_import.cpp, with Assimp) have it; the command does not
// and loads it from the module kAssimpModuleName beside itself when it first needs it.
std::unique_ptr<HostScene> ImportWithAssimp(const std::string& path, const ImportOptions& options, std::string& error,
                                            std::vector<ImportedClip>& clips) __attribute__((weak));
inline constexpr const char* kAssimpModuleName = "plover_assimp.so";

