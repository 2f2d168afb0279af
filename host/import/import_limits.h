// Limits of model import: files and scenes beyond them are refused as absurd, with a message that
// names the limit. No real model comes near any of them.
#pragma once

#include <cstddef>
#include <cstdint>

// The largest model file the host reads.
inline constexpr uint64_t kMaxInterchangeFileBytes = uint64_t(1) << 31;
// Nesting of a model file's scopes (braces, XML elements, FBX node records), checked before
// Assimp reads the file.
inline constexpr int kMaxModelNesting = 1024;
// Nesting of arrays and objects in a glTF file's JSON.
inline constexpr int kMaxImportJsonDepth = 1024;
// Nesting of a scene's node hierarchy, and the nodes of a scene.
inline constexpr int kMaxImportNodeDepth = 256;
inline constexpr size_t kMaxImportNodes = 1000000;
// Numbers in one array of a mesh (three per vertex or face).
inline constexpr size_t kMaxImportArrayElements = size_t(1) << 26;
