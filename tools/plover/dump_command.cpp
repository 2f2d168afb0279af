#include <filesystem>
#include <fstream>
#include <iostream>

#include "core/platform.h"
#include "core/staged_files.h"
#include "host/document/scene_document.h"
#include "tools/plover/arguments.h"
#include "tools/plover/commands.h"
#include "tools/plover/scene_input.h"

namespace fs = std::filesystem;

namespace {

// Stages the document after the images the import staged and puts them all in place at once:
// a failed dump leaves the folder as it was, an earlier document and its images included.
bool WriteDumpFiles(StagedFiles& staged, const std::string& path, const std::string& text, std::string& error) {
    const std::string temp = staged.Stage(path, StagedFiles::Existing::Replace);
    bool ok = !temp.empty();
    if (ok) {
        std::ofstream stream(platform::PathOf(temp), std::ios::binary | std::ios::trunc);
        stream.write(text.data(), static_cast<std::streamsize>(text.size()));
        stream.close();
        ok = !stream.fail();
    }
    if (!ok) {
        error = "cannot write " + path;
        return false;
    }
    std::string failed, cause;
    if (!staged.Commit(&failed, &cause)) {
        error = "cannot write " + failed + ": " + cause;
        return false;
    }
    return true;
}

}  // namespace

int RunDumpCommand(const DumpCommand& command) {
    std::string error;
    if (!CheckInputPath(command.inputPath, error) || !CheckOutputPath(command.outputPath, error)) {
        std::cerr << "plover: " << error << "\n";
        return kExitUsage;
    }
    // Embedded textures go beside the document, which names them by their full path.
    const std::string outputDir = platform::Utf8Of(fs::absolute(platform::PathOf(command.outputPath)).parent_path());
    StagedFiles staged;
    SceneInput input;
    if (!LoadSceneInput(command.inputPath, command.frameRate, outputDir, input, error, &staged,
                        {command.fromRightHanded, command.fromZUp, command.allowOutsideFiles})) {
        std::cerr << "plover: " << error << "\n";
        return kExitUsage;
    }
    if (!WriteDumpFiles(staged, command.outputPath, SaveSceneDocument(*input.scene), error)) {
        std::cerr << "plover: " << error << "\n";
        return kExitNotWritten;
    }
    if (!command.quiet) std::cerr << "plover: wrote " << command.outputPath << "\n";
    return kExitOk;
}
