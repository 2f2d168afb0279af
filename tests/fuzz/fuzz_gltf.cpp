// Fuzz target for the native glTF reader: any bytes, as a .glb or .gltf file, must give a scene
// or one message that names the file, never a crash, a hang or unbounded memory. Built with
// PLOVER_FUZZ_ASSIMP_PATH (fuzz_gltf_assimp), the files go the way the command takes them:
// those the reader leaves to Assimp (an extension, lines, ...) are checked and read by Assimp.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "host/import/interchange_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    // One scratch folder per process, removed when it ends.
    static const struct Scratch {
        fs::path path = fs::temp_directory_path() / ("plover_fuzz_gltf_" + std::to_string(getpid()));
        Scratch() { fs::create_directories(path); }
        ~Scratch() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    } scratch;
    const fs::path& dir = scratch.path;
    const bool binary = size >= 4 && std::memcmp(data, "glTF", 4) == 0;
    const fs::path file = dir / (binary ? "input.glb" : "input.gltf");
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                   static_cast<std::streamsize>(size));
    ImportOptions options;
#ifndef PLOVER_FUZZ_ASSIMP_PATH
    options.gltfReader = ImportOptions::GltfReader::NativeOnly;
#endif
    options.textureDirectory = (dir / "textures").string();
    options.privateFolder = true;
    std::string error;
    if (!ImportInterchangeFile(file.string(), options, error) && error.rfind(file.string() + ": ", 0) != 0)
        std::abort();  // a rejection always names the file and says why
    return 0;
}
