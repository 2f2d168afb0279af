#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "host/console.h"
#include "sdk/plugin.h"
#include "tools/plover/arguments.h"
#include "tools/plover/commands.h"
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

// Identity of the file at path, to tell whether an export replaced it when the module reports
// nothing (modules built before export reports).
struct FileStamp {
    bool exists = false;
    ino_t inode = 0;
    struct timespec modified {};
};

FileStamp StampOf(const std::string& path) {
    FileStamp stamp;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        stamp.exists = true;
        stamp.inode = st.st_ino;
        stamp.modified = st.st_mtim;
    }
    return stamp;
}

bool Replaced(const FileStamp& before, const FileStamp& after) {
    if (!after.exists) return false;
    if (!before.exists) return true;
    return before.inode != after.inode || before.modified.tv_sec != after.modified.tv_sec ||
           before.modified.tv_nsec != after.modified.tv_nsec;
}

// A private configuration directory holding the user's options with this run's settings
// applied, for modules that do not ask the host for overrides; removed with the object.
class PrivateConfigDir {
public:
    ~PrivateConfigDir() {
        if (!path_.empty()) {
            std::error_code ec;
            fs::remove_all(path_, ec);
        }
    }
    bool Create(const SettledOptions& settled, std::string& error) {
        std::string pattern = (fs::temp_directory_path() / "plover-config-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            error = "cannot create a temporary configuration directory";
            return false;
        }
        path_ = pattern;
        if (!SaveOptions(ConfigFilePath(path_), settled.options, settled.sceneRootName, settled.clips,
                         settled.definesClips)) {
            error = "cannot write a temporary configuration file";
            return false;
        }
        return true;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string Count(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Size(uint64_t bytes) {
    char text[32];
    if (bytes < 1024) return Count(bytes, "byte", "bytes");
    if (bytes < 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    }
    return text;
}

}  // namespace

std::string FormatExportSummary(const ExportReport& report) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f s", report.seconds);
    return "wrote " + report.outputPath + ": " + Count(report.frameCount, "frame", "frames") + ", " +
           Count(report.meshCount, "mesh", "meshes") + ", " + Count(report.triangleCount, "triangle", "triangles") +
           ", " + Count(report.boneCount, "bone", "bones") + ", " + Count(report.clipCount, "clip", "clips") + ", " +
           Count(report.materialCount, "material", "materials") + "; " +
           Count(report.fileCount, "file written", "files written") + ", " + Size(report.byteCount) + ", " + seconds;
}

int RunExportCommand(const ExportCommand& command) {
    InterruptGuard guard;
    return RunExportCommand(command, &InterruptGuard::Pending);
}

int RunExportCommand(const ExportCommand& command, const std::function<int()>& pendingSignal) {
    std::string error;
    // Everything the user can get wrong is checked before the slow work starts.
    if (!CheckInputPath(command.scenePath, error) || !CheckOutputPath(command.outputPath, error))
        return Fail(error, kExitUsage);
    const std::string configDir = ConfigDirOrDefault(command.configDir);
    ProfileFile userOptions;
    if (!ReadOptionsFile(ConfigFilePath(configDir), userOptions, error)) return Fail(error, kExitUsage);
    SettledOptions settled;
    if (!SettleOptions(userOptions, command.settings, settled, error)) return Fail(error, kExitUsage);
    for (const std::string& line : settled.corrections) {
        // Keys that a rule changed as a consequence of a setting are expected; say only what
        // became of the values given.
        if (line.find(" changed from ") == std::string::npos) std::cerr << "plover: --set " << line << "\n";
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
    if (!LoadSceneInput(command.scenePath, command.frameRate, "", input, error)) return Fail(error, kExitUsage);
    if (int signal = pendingSignal()) return interrupted(signal);
    std::unique_ptr<HostScene> scene = std::move(input.scene);

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

    // The user's file stays as it is: a module that does not ask for the overrides reads a
    // private copy with them applied.
    PrivateConfigDir privateDir;
    if (overrides.empty()) {
        scene->SetDir(kDirPlugCfg, configDir);
    } else {
        SettledOptions withOverrides;
        if (!SettleOptions(userOptions, overrides, withOverrides, error) || !privateDir.Create(withOverrides, error))
            return Fail(error, kExitUsage);
        scene->SetDir(kDirPlugCfg, privateDir.path());
    }

    scene->SetCancelCheck([&pendingSignal] { return pendingSignal() != 0; });
    ConsoleProgress progress = MakeStderrProgress(command.quiet);
    AttachConsole(*scene, progress);

    const FileStamp before = StampOf(command.outputPath);
    const unsigned long optionBits = command.selectedOnly ? kSceneExportSelected : 0;
    {
        std::unique_ptr<SceneExport> exporter = module->CreateExporter();
        exporter->DoExport(command.outputPath.c_str(), nullptr, scene.get(), /*suppressPrompts=*/1, optionBits);
    }
    progress.ClearLine();
    const std::optional<ExportReport>& report = scene->report();
    const bool written = report ? report->written : Replaced(before, StampOf(command.outputPath));

    if (int signal = pendingSignal()) {
        if (!written) return interrupted(signal);
        std::cerr << "plover: interrupted after " << command.outputPath << " was written\n";
        return InterruptedExitCode(signal);
    }
    if (!written) {
        // The exporter's message, when it showed one, already said why.
        const bool shown = !scene->messages().empty();
        if (report && !report->failure.empty() && !(shown && scene->messages().back().text == report->failure))
            return Fail("no file written: " + report->failure, kExitNotWritten);
        return Fail(shown ? "no file written" : "no file written: the exporter wrote nothing",
                    kExitNotWritten);
    }
    if (!command.quiet) {
        if (report) {
            std::cerr << "plover: " << FormatExportSummary(*report) << "\n";
            for (const std::string& line : report->leftOut) std::cerr << "plover: " << line << "\n";
        } else {
            std::cerr << "plover: wrote " << command.outputPath << "\n";
        }
    }
    return kExitOk;
}
