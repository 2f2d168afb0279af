// Finding texture and effect files whose stored path no longer leads to them.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

struct TextureSearchDirectories;

// The path to use for a texture or effect file. An empty path, or one where a file exists, is
// returned unchanged. Otherwise the file name (after the last "/" or "\") is searched for with
// FindFileInTree (core/paths.h) under the scene directory, then the first and the second host directory
// (empty directories are not searched); the first hit wins. When nothing is found the result
// is the scene directory followed by the file name, a best guess that later copies skip.
std::string ResolveTexturePath(std::string_view path, const TextureSearchDirectories& state);

// The answers of ResolveTexturePath kept for one export, so that a file that many materials
// name is looked for once.
class TexturePathCache {
public:
    const std::string& Resolve(std::string_view path, const TextureSearchDirectories& state);

private:
    std::unordered_map<std::string, std::string> resolved_;
};

// ResolveTexturePath through cache when there is one.
std::string ResolveTexturePath(std::string_view path, const TextureSearchDirectories& state, TexturePathCache* cache);
