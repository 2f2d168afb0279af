#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>

#include "host/scene_document.h"
#include "tools/plover/commands.h"
#include "tools/plover/scene_input.h"

namespace fs = std::filesystem;

namespace {

// Writes text through a temporary file beside path and a rename, so that a failed dump leaves
// an earlier document whole.
bool WriteTextFile(const std::string& path, const std::string& text, std::string& error) {
    const fs::path target(path);
    const fs::path temp = target.string() + ".tmp";
    {
        std::ofstream stream(temp, std::ios::binary | std::ios::trunc);
        stream << text;
        if (!stream.flush()) {
            std::error_code ec;
            fs::remove(temp, ec);
            error = "cannot write " + path;
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace

int RunDumpCommand(const DumpCommand& command) {
    std::string error;
    // Embedded textures go beside the document, which names them by their full path.
    const std::string outputDir = fs::absolute(fs::path(command.outputPath)).parent_path().string();
    SceneInput input;
    if (!LoadSceneInput(command.inputPath, command.frameRate, outputDir, input, error)) {
        std::cerr << "plover: " << error << "\n";
        return 2;
    }
    if (!WriteTextFile(command.outputPath, SaveSceneDocument(*input.scene), error)) {
        std::cerr << "plover: " << error << "\n";
        return 1;
    }
    if (!command.quiet) std::cerr << "plover: wrote " << command.outputPath << "\n";
    return 0;
}
