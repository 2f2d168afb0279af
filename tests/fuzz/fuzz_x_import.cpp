// Fuzz target for the X file import: any bytes, as an X file, must give a scene or one message
// that names the file, never a crash, a hang or unbounded memory. The reader's own corpus seeds
// it, so every form of the file (text, binary, compressed) reaches the scene builder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "host/import/x_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    static const struct Scratch {
        fs::path path = fs::temp_directory_path() / ("plover_fuzz_x_" + std::to_string(getpid()));
        Scratch() { fs::create_directories(path); }
        ~Scratch() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    } scratch;
    const fs::path file = scratch.path / "input.x";
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                   static_cast<std::streamsize>(size));
    ImportOptions options;
    std::vector<std::string> warnings;
    options.warnings = &warnings;
    std::vector<ImportedClip> clips;
    std::string error;
    if (!ImportXFile(file.string(), options, clips, error) && error.rfind(file.string() + ": ", 0) != 0)
        std::abort();  // a rejection always names the file and says why
    return 0;
}
