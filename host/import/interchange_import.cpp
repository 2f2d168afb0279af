// What every interchange import does first (checks of the file) and the choice of reader (the
// native glTF reader, the X reader, or Assimp).
#include "host/import/assimp_import.h"

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>

#include "core/platform.h"
#include "host/import/byte_order.h"
#include "host/import/gltf_import.h"
#include "host/import/nesting_check.h"
#include "host/import/stack_guard.h"
#include "host/import/x_import.h"

namespace fs = std::filesystem;

namespace {

// Assimp's import: linked into the program (tests), or loaded from the module plover_assimp.so
// beside the program on first use, so that a command that reads only glTF and scene documents
// never loads Assimp (whose loading alone costs more than a small model's import).
using AssimpImportFn = HostScene* (*)(const char*, const ImportOptions*, std::string*, std::vector<ImportedClip>*);

AssimpImportFn LoadAssimpModule(std::string& problem) {
    static std::once_flag once;
    static AssimpImportFn function = nullptr;
    static std::string loadProblem;
    std::call_once(once, [] {
#ifdef PLOVER_NO_ASSIMP
        loadProblem = "this build of plover reads glTF files (.gltf, .glb), scene documents (.json) and X files; "
                      "other formats are read through Assimp, which it does not include";
#else
        const std::string module = platform::FindProgramFile(kAssimpModuleName);
        // Never closed: the scenes it makes use its code.
        std::string why;
        void* handle = platform::LoadModule(module, true, why);
        if (handle) function = reinterpret_cast<AssimpImportFn>(platform::ModuleSymbol(handle, "PloverImportWithAssimp"));
        if (!function)
            loadProblem = "cannot load Assimp's import module " + module + (why.empty() ? "" : " (" + why + ")");
#endif
    });
    problem = loadProblem;
    return function;
}

std::unique_ptr<HostScene> AssimpImport(const std::string& path, const ImportOptions& options, std::string& error,
                                        std::vector<ImportedClip>& clips) {
    AssimpImportFn function = nullptr;
    if (!ImportWithAssimp) {
        std::string problem;
        function = LoadAssimpModule(problem);
        if (!function) {
            error = path + ": " + problem;
            return nullptr;
        }
    }
    std::unique_ptr<HostScene> scene;
    RunWithStackGuard(
        [&] {
            scene = ImportWithAssimp ? ImportWithAssimp(path, options, error, clips)
                                     : std::unique_ptr<HostScene>(function(path.c_str(), &options, &error, &clips));
        },
        "plover: " + path + ": nested too deeply for the model reader, which ran out of stack space reading it");
    return scene;
}

// Checks the header of a binary glTF file against the file's size: Assimp trusts its length
// fields and would allocate what they claim. Empty when the file is not binary glTF or its
// header is consistent; otherwise the problem.
std::string CheckBinaryGltf(const std::string& path, uint64_t fileSize) {
    std::ifstream in(platform::PathOf(path), std::ios::binary);
    unsigned char header[28] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    const uint64_t got = static_cast<uint64_t>(in.gcount());
    if (got < 4 || std::memcmp(header, "glTF", 4) != 0) return {};
    if (got < 20) return "binary glTF file is cut short in its header";
    const uint32_t version = Le32(header + 4);
    const uint64_t length = Le32(header + 8);
    if (length > fileSize)
        return "binary glTF header gives a length of " + std::to_string(length) + " bytes, but the file holds " +
               std::to_string(fileSize);
    // Version 1: content length and format follow; version 2: the first chunk's length and type.
    // Either way the content starts 20 bytes in.
    const uint64_t first = Le32(header + 12);
    const uint64_t headerSize = 20;
    if (headerSize + first > length)
        return "binary glTF header gives its " + std::string(version == 1 ? "content" : "JSON chunk") +
               " a length of " + std::to_string(first) + " bytes, beyond the file's " + std::to_string(length);
    if (version == 2) {
        // A second chunk (the binary buffer) follows the JSON chunk, padded to 4 bytes.
        const uint64_t second = headerSize + ((first + 3) & ~uint64_t(3));
        if (second + 8 <= length) {
            unsigned char chunk[8];
            in.seekg(static_cast<std::streamoff>(second));
            in.read(reinterpret_cast<char*>(chunk), sizeof chunk);
            if (in.gcount() == 8 && second + 8 + Le32(chunk) > length)
                return "binary glTF header gives its binary chunk a length of " +
                       std::to_string(Le32(chunk)) + " bytes, beyond the file's " + std::to_string(length);
        }
    }
    return {};
}

// True for a Blender file (".blend", or the "BLENDER" its uncompressed form starts with). Assimp's
// reader of them takes only files of old Blender versions, and fails on others with its own terms.
bool IsBlenderFile(const std::string& path) {
    std::string extension = fs::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".blend") return true;
    char magic[7] = {};
    std::ifstream(path, std::ios::binary).read(magic, sizeof magic);
    return std::memcmp(magic, "BLENDER", sizeof magic) == 0;
}

}  // namespace

std::unique_ptr<HostScene> ImportInterchangeFile(const std::string& path, const ImportOptions& options,
                                                 std::string& error, std::vector<ImportedClip>* clips) {
    std::error_code ec;
    if (fs::is_directory(platform::PathOf(path), ec)) {
        error = path + ": is a folder, not a file";
        return nullptr;
    }
    if (!fs::is_regular_file(platform::PathOf(path), ec)) {
        error = path + (fs::exists(platform::PathOf(path), ec) ? ": is not a regular file" : ": no such file");
        return nullptr;
    }
    const uint64_t size = fs::file_size(platform::PathOf(path), ec);
    if (ec || size > kMaxInterchangeFileBytes) {
        error = path + (ec ? ": cannot read the file's size" : ": file is larger than " +
                                                                     std::to_string(kMaxInterchangeFileBytes) + " bytes");
        return nullptr;
    }
    if (IsBlenderFile(path)) {
        error = path + ": a Blender file, which plover does not read: export the scene from Blender with the "
                       "Plover add-on (docs/blender.md), or save it from Blender as glTF and export that";
        return nullptr;
    }
    if (const std::string problem = CheckBinaryGltf(path, size); !problem.empty()) {
        error = path + ": " + problem;
        return nullptr;
    }
    if (IsXFile(path)) {
        std::vector<ImportedClip> found;
        std::unique_ptr<HostScene> scene = ImportXFile(path, options, found, error);
        if (scene && clips) *clips = std::move(found);
        return scene;
    }
    if (IsGltfFileName(path) && options.gltfReader != ImportOptions::GltfReader::AssimpOnly) {
        std::unique_ptr<HostScene> scene;
        std::vector<ImportedClip> found;
        const GltfReadResult read = ImportGltfFile(path, options, scene, found, error);
        if (read == GltfReadResult::Read && clips) *clips = std::move(found);
        if (read == GltfReadResult::Read || read == GltfReadResult::Failed ||
            options.gltfReader == ImportOptions::GltfReader::NativeOnly)
            return scene;
        error.clear();
    }
    // Assimp's readers recurse once per nesting level: a deep enough file would overflow the stack.
    if (const std::string problem = FindDeepModelNesting(path); !problem.empty()) {
        error = path + ": " + problem;
        return nullptr;
    }
    std::vector<ImportedClip> found;
    std::unique_ptr<HostScene> scene = AssimpImport(path, options, error, found);
    if (clips) *clips = std::move(found);
    return scene;
}
