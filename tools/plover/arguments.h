// Checks of the paths a command is given, made before any work so that a mistake costs nothing
// and gets one message.
#pragma once

#include <string>

// The input must name a file: false, with error, for an empty path, a missing file or a folder
// (whose message asks for `wanted`).
bool CheckInputPath(const std::string& path, std::string& error,
                    const char* wanted = "a scene document or a model file");

// The output must be a file name in an existing folder: false, with error, for an empty path,
// a path that names a folder, or a folder that does not exist.
bool CheckOutputPath(const std::string& path, std::string& error);

// True when the path ends in ".x" (letter case ignored).
bool HasXExtension(const std::string& path);
