#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "options/export_settings.h"
#include "sdk/plugin.h"
#include "tools/plover/arguments.h"
#include "tools/plover/commands.h"
#include "tools/plover/console.h"
#include "tools/plover/interrupt.h"
#include "tools/plover/plugin_loader.h"
#include "tools/plover/scene_input.h"
#include "tools/plover/settings.h"

namespace fs = std::filesystem;

namespace {

int Fail(const std::string& error, int code) {
    std::cerr << "plover: " << error << "\n";
    return code;
}

std::string Count(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A scene, and the module, left for the system to reclaim at exit; the pointers keep them
// reachable, so leak checkers do not report them (volatile: a store that nothing reads would
// otherwise be dropped).
HostScene* volatile sceneLeftAtExit = nullptr;
PluginModule* volatile moduleLeftAtExit = nullptr;

std::string Size(uint64_t bytes) {
    char text[32];
    if (bytes < 1024) return Count(bytes, "byte", "bytes");
    if (bytes < 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    }
    return text;
}

}  // namespace

std::string FormatExportSummary(const ExportReport& report, int frameRate) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f s", report.seconds);
    return "wrote " + report.outputPath + ": " + Count(report.frameCount, "frame", "frames") + ", " +
           Count(report.meshCount, "mesh", "meshes") + ", " + Count(report.triangleCount, "triangle", "triangles") +
           ", " + Count(report.boneCount, "bone", "bones") + ", " + Count(report.clipCount, "clip", "clips") +
           (report.clipCount != 0 ? " at " + std::to_string(frameRate) + " fps" : std::string()) + ", " +
           Count(report.materialCount, "material", "materials") + "; " +
           Count(report.fileCount, "file written", "files written") +
           (report.unnamedImageCount != 0
                ? " (" + Count(report.unnamedImageCount, "image", "images") + " the X file does not name)"
                : std::string()) +
           ", " + Size(report.byteCount) + ", " + seconds;
}

int RunExportCommand(const ExportCommand& command) {
    InterruptGuard guard;
    return RunExportCommand(command, &InterruptGuard::Pending);
}

int RunExportCommand(const ExportCommand& command, const std::function<int()>& pendingSignal) {
    std::string error;
    // Everything the user can get wrong is checked before the slow work starts.
    if (!CheckInputPath(command.scenePath, error) || !CheckOutputPath(command.outputPath, error) ||
        (!command.previewPath.empty() && !CheckOutputPath(command.previewPath, error)))
        return Fail(error, kExitUsage);
    const std::string configDir = ConfigDirOrDefault(command.configDir);
    ProfileFile userOptions;
    if (!ReadOptionsFile(ConfigFilePath(configDir), userOptions, error)) return Fail(error, kExitUsage);
    SettledOptions settled;
    if (!SettleOptions(userOptions, command.settings, settled, error)) return Fail(error, kExitUsage);
    if (!HasXExtension(command.outputPath)) {
        std::cerr << "plover: note: " << command.outputPath
                  << " does not end in .x; the X file is written under that name as given\n";
    }
    std::unique_ptr<PluginModule> module =
        PluginModule::Load(command.pluginPath.empty() ? DefaultPluginPath() : command.pluginPath, error);
    if (!module) return Fail(error, kExitUsage);

    auto interrupted = [&](int signal) {
        std::cerr << "plover: interrupted; nothing was written\n";
        return InterruptedExitCode(signal);
    };
    if (int signal = pendingSignal()) return interrupted(signal);
    // Images stored inside an imported file are unpacked into a private folder; the exporter
    // copies them into the output folder like any other texture when the export succeeds.
    SceneInput input;
    if (!LoadSceneInput(command.scenePath, command.frameRate, "", input, error, nullptr,
                        {command.fromRightHanded, command.fromZUp, command.allowOutsideFiles})) return Fail(error, kExitUsage);
    if (int signal = pendingSignal()) return interrupted(signal);
    std::unique_ptr<HostScene> scene = std::move(input.scene);
    // Values are kept as given; each one the dialog would not hold gets a line saying what the
    // export does with it.
    for (const std::string& line :
         OutOfRangeNotes(settled.settings, settled.options, ExportTime{scene->frameRate(), scene->ticksPerFrame()}))
        std::cerr << "plover: --set " << line << "\n";
    for (const std::string& line : settled.clipNotes) std::cerr << "plover: --set " << line << "\n";
    // Taking apart a scene of many objects costs a noticeable part of a short run, and unloading
    // the module unmaps it page by page before the exit does the same for the whole process.
    struct LeaveAtExit {
        std::unique_ptr<HostScene>& scene;
        std::unique_ptr<PluginModule>& module;
        bool leave;
        ~LeaveAtExit() {
            if (!leave) return;
            sceneLeftAtExit = scene.release();
            moduleLeftAtExit = module.release();
        }
    } leaveAtExit{scene, module, command.processEnds};

    // The input's clips (one per animation of an imported file, a document's "clips") stand in
    // for a clip list the user did not give.
    const bool userClips = settled.definesClips;
    std::vector<std::string> overrides;
    if (input.hasClips && !userClips) {
        overrides = ClipSettings(input.clips);
    } else if (input.hasClips && !input.clips.empty()) {
        std::cerr << "plover: the configured clip list replaces the " << Count(input.clips.size(), "clip", "clips")
                  << " that " << command.scenePath << " supplies\n";
    }
    if (userClips) {
        const Interval range = scene->animRange();
        const FrameRange frames =
            RangeFrames(OptionsTime{range.start, range.end, scene->ticksPerFrame(), scene->frameRate()});
        for (const std::string& line : ClipRangeWarnings(userOptions, settled.settings, frames))
            std::cerr << "plover: warning: " << line << "\n";
    }
    overrides.insert(overrides.end(), command.settings.begin(), command.settings.end());
    scene->SetExportOverrides(overrides);

    // The user's file stays as it is: the plug-in asks the host for these settings and applies
    // them over the file for this export only.
    scene->SetDir(kDirPlugCfg, configDir);

    scene->SetCancelCheck([&pendingSignal] { return pendingSignal() != 0; });
    ConsoleProgress progress = MakeStderrProgress(command.quiet);
    AttachConsole(*scene, progress);

    const unsigned long optionBits = command.selectedOnly ? kSceneExportSelected : 0;
    {
        // Nothing changes the scene while the plug-in runs.
        scene->FreezeTransforms(true);
        std::unique_ptr<SceneExport> exporter = module->CreateExporter();
        exporter->DoExport(command.outputPath.c_str(), nullptr, scene.get(), /*suppressPrompts=*/1, optionBits);
        // Thawing forgets every world transform kept; a scene left at exit need not.
        if (!command.processEnds) scene->FreezeTransforms(false);
    }
    progress.ClearLine();
    const std::optional<ExportReport>& report = scene->report();
    // Success is what the export reports; a module that reports nothing cannot be trusted to have
    // written anything.
    if (!report) return Fail("no file written: the plug-in module reported no result", kExitNotWritten);
    const bool written = report->written;

    if (int signal = pendingSignal()) {
        if (!written) return interrupted(signal);
        std::cerr << "plover: interrupted after " << command.outputPath << " was written\n";
        return InterruptedExitCode(signal);
    }
    if (!written) {
        // The exporter's message, when it showed one, already said why.
        const bool shown = !scene->messages().empty();
        if (!report->failure.empty() && !(shown && scene->messages().back().text == report->failure))
            return Fail("no file written: " + report->failure, kExitNotWritten);
        return Fail(shown ? "no file written" : "no file written: the exporter wrote nothing",
                    kExitNotWritten);
    }
    if (!command.quiet) {
        std::cerr << "plover: " << FormatExportSummary(*report, scene->frameRate()) << "\n";
        for (const std::string& line : report->leftOut) std::cerr << "plover: " << line << "\n";
    }
    if (!command.previewPath.empty()) return DrawXFile(command.outputPath, command.previewPath, {}, command.quiet, "");
    return kExitOk;
}
