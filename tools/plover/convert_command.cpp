#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "core/staged_files.h"
#include "host/writers/gltf_writer.h"
#include "tools/plover/arguments.h"
#include "tools/plover/commands.h"
#include "tools/plover/interrupt.h"
#include "tools/plover/scene_input.h"

namespace fs = std::filesystem;

namespace {

std::string Count(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string LowerExtension(const std::string& path) {
    std::string extension = fs::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

int Fail(const std::string& message, int code) {
    std::cerr << "plover: " << message << "\n";
    return code;
}

}  // namespace

std::string FormatConvertSummary(const std::string& path, const GltfWriteReport& report, uint32_t files,
                                 uint64_t bytes, double seconds) {
    char tail[64];
    std::snprintf(tail, sizeof tail, "%.1f KiB, %.2f s", static_cast<double>(bytes) / 1024.0, seconds);
    return "wrote " + path + ": " + Count(report.nodes, "node", "nodes") + ", " + Count(report.meshes, "mesh", "meshes") +
           ", " + Count(report.triangles, "triangle", "triangles") + ", " + Count(report.skins, "skin", "skins") + ", " +
           Count(report.animations, "animation", "animations") + ", " + Count(report.materials, "material", "materials") +
           ", " + Count(report.images, "image", "images") + "; " + Count(files, "file written", "files written") + ", " +
           tail;
}

int RunConvertCommand(const ConvertCommand& command) {
    InterruptGuard guard;
    return RunConvertCommand(command, &InterruptGuard::Pending);
}

int RunConvertCommand(const ConvertCommand& command, const std::function<int()>& pendingSignal) {
    const auto started = std::chrono::steady_clock::now();
    std::string error;
    if (!CheckInputPath(command.inputPath, error) || !CheckOutputPath(command.outputPath, error))
        return Fail(error, kExitUsage);
    const std::string extension = LowerExtension(command.outputPath);
    if (extension != ".glb" && extension != ".gltf")
        return Fail("the output " + command.outputPath + " must end in .glb (one binary file) or .gltf (JSON with its "
                    "buffer and images beside it)", kExitUsage);
    std::string cause;
    if (!StagedFiles::CheckTarget(command.outputPath, &cause))
        return Fail("cannot write " + command.outputPath + ": " + cause, kExitUsage);
    const auto interrupted = [](int signal) {
        std::cerr << "plover: interrupted; nothing was written\n";
        return InterruptedExitCode(signal);
    };

    // Images stored inside the input are unpacked into a private folder, read from there into the
    // output, and removed with the input.
    SceneInput input;
    if (!LoadSceneInput(command.inputPath, command.frameRate, "", input, error, nullptr,
                        {command.fromRightHanded, command.fromZUp, command.allowOutsideFiles})) return Fail(error, kExitUsage);
    if (int signal = pendingSignal()) return interrupted(signal);

    GltfWriteOptions options;
    options.textureFolders.push_back(fs::absolute(fs::path(command.inputPath)).parent_path().string());
    if (input.unpacked) options.textureFolders.push_back(input.unpacked->path());
    options.texturesAnywhere = command.allowOutsideFiles;
    const std::string outputDir = fs::absolute(fs::path(command.outputPath)).parent_path().string();
    RemoveStaleTemporaries(outputDir);

    StagedFiles staged;
    GltfWriteReport report;
    if (!WriteGltf(*input.scene, command.outputPath, options, staged, report, error))
        return Fail("no file written: " + error, kExitNotWritten);
    for (const std::string& warning : report.warnings) std::cerr << "plover: warning: " << warning << "\n";
    if (int signal = pendingSignal()) return interrupted(signal);
    std::string failed;
    if (!staged.Commit(&failed, &cause))
        return Fail("no file written: cannot write " + failed + ": " + cause, kExitNotWritten);
    if (!command.quiet) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::cerr << "plover: "
                  << FormatConvertSummary(command.outputPath, report, staged.committedFiles(), staged.committedBytes(),
                                          seconds)
                  << "\n";
    }
    return kExitOk;
}
