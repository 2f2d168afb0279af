#include "material/texture_paths.h"

#include "core/paths.h"
#include "material/file_output.h"

std::string ResolveTexturePath(std::string_view path, const TextureSearchDirectories& state) {
    if (path.empty()) return {};
    const std::string original(path);
    if (PathExists(original)) return original;
    const std::string fileName = FileNameOf(path);
    if (fileName.empty()) return original;
    for (const std::string* directory : {&state.sceneDirectory, &state.hostDirectory1, &state.hostDirectory2}) {
        if (directory->empty()) continue;
        std::string found = FindFileInTree(*directory, fileName);
        if (!found.empty()) return found;
    }
    return WithTrailingSeparator(state.sceneDirectory.empty() ? std::string("./") : state.sceneDirectory) + fileName;
}

const std::string& TexturePathCache::Resolve(std::string_view path, const TextureSearchDirectories& state) {
    auto found = resolved_.find(std::string(path));
    if (found == resolved_.end()) found = resolved_.emplace(std::string(path), ResolveTexturePath(path, state)).first;
    return found->second;
}

std::string ResolveTexturePath(std::string_view path, const TextureSearchDirectories& state, TexturePathCache* cache) {
    return cache ? cache->Resolve(path, state) : ResolveTexturePath(path, state);
}
