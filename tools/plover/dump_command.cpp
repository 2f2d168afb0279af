#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "host/scene_document.h"
#include "tools/plover/arguments.h"
#include "tools/plover/commands.h"
#include "tools/plover/scene_input.h"

namespace fs = std::filesystem;

namespace {

// Writes text through a temporary file of a unique name beside path and a rename, so that a
// failed dump leaves an earlier document whole and two dumps never write the same temporary.
bool WriteTextFile(const std::string& path, const std::string& text, std::string& error) {
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot write " + path;
        return false;
    }
    FILE* file = ::fdopen(fd, "wb");
    bool ok = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file) {
        ok = std::fclose(file) == 0 && ok;
    } else {
        ::close(fd);
    }
    std::error_code ec;
    if (ok) {
        // mkstemp makes the file private; a document is as readable as any file the user writes.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        fs::permissions(temp, static_cast<fs::perms>(0666 & ~mask), ec);
        fs::rename(temp, path, ec);
        ok = !ec;
    }
    if (!ok) {
        fs::remove(temp, ec);
        error = "cannot write " + path;
    }
    return ok;
}

}  // namespace

int RunDumpCommand(const DumpCommand& command) {
    std::string error;
    if (!CheckInputPath(command.inputPath, error) || !CheckOutputPath(command.outputPath, error)) {
        std::cerr << "plover: " << error << "\n";
        return kExitUsage;
    }
    // Embedded textures go beside the document, which names them by their full path.
    const std::string outputDir = fs::absolute(fs::path(command.outputPath)).parent_path().string();
    SceneInput input;
    if (!LoadSceneInput(command.inputPath, command.frameRate, outputDir, input, error)) {
        std::cerr << "plover: " << error << "\n";
        return kExitUsage;
    }
    if (!WriteTextFile(command.outputPath, SaveSceneDocument(*input.scene), error)) {
        std::cerr << "plover: " << error << "\n";
        return kExitNotWritten;
    }
    if (!command.quiet) std::cerr << "plover: wrote " << command.outputPath << "\n";
    return kExitOk;
}
