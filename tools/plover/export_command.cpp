#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "host/console.h"
#include "options/options_file.h"
#include "sdk/plugin.h"
#include "tools/plover/commands.h"
#include "tools/plover/plugin_loader.h"
#include "tools/plover/scene_input.h"
#include "tools/plover/settings.h"

namespace fs = std::filesystem;

namespace {

// Identity of the file at path, to tell whether an export replaced it.
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

// A private copy of the configuration directory holding the one-run settings; removed with it.
class PrivateConfigDir {
public:
    ~PrivateConfigDir() {
        if (!path_.empty()) {
            std::error_code ec;
            fs::remove_all(path_, ec);
        }
    }
    bool Create(std::string& error) {
        std::string pattern = (fs::temp_directory_path() / "plover-config-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            error = "cannot create a temporary configuration directory";
            return false;
        }
        path_ = pattern;
        return true;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

int RunExportCommand(const ExportCommand& command) {
    std::string error;
    std::unique_ptr<PluginModule> module =
        PluginModule::Load(command.pluginPath.empty() ? DefaultPluginPath() : command.pluginPath, error);
    if (!module) {
        std::cerr << "plover: " << error << "\n";
        return 2;
    }
    // Textures stored inside an imported file are written beside the X file, where the exporter
    // copies textures to anyway.
    const std::string outputDir = fs::absolute(fs::path(command.outputPath)).parent_path().string();
    SceneInput input;
    if (!LoadSceneInput(command.scenePath, command.frameRate, outputDir, input, error)) {
        std::cerr << "plover: " << error << "\n";
        return 2;
    }
    std::unique_ptr<HostScene> scene = std::move(input.scene);

    const std::string configDir = command.configDir.empty() ? DefaultConfigDir() : command.configDir;
    // The input's clips (one per animation of an imported file) stand in for a clip list the
    // user did not give; they reach the plug-in through the private copy, like --set.
    std::vector<std::string> settings;
    if (input.hasClips && !UserGaveClips(ConfigFilePath(configDir), command.settings)) settings = ClipSettings(input.clips);
    settings.insert(settings.end(), command.settings.begin(), command.settings.end());
    PrivateConfigDir privateDir;
    if (settings.empty()) {
        scene->SetDir(kDirPlugCfg, configDir);
    } else {
        // The user's file stays as it is: the plug-in reads a copy with the overrides applied.
        if (!privateDir.Create(error) ||
            !ApplySettingsToFile(ConfigFilePath(configDir), ConfigFilePath(privateDir.path()), settings, error)) {
            std::cerr << "plover: " << error << "\n";
            return 2;
        }
        scene->SetDir(kDirPlugCfg, privateDir.path());
    }

    ConsoleProgress progress = MakeStderrProgress(command.quiet);
    AttachConsole(*scene, progress);

    const FileStamp before = StampOf(command.outputPath);
    const unsigned long optionBits = command.selectedOnly ? kSceneExportSelected : 0;
    {
        std::unique_ptr<SceneExport> exporter = module->CreateExporter();
        exporter->DoExport(command.outputPath.c_str(), nullptr, scene.get(), /*suppressPrompts=*/1, optionBits);
    }
    const FileStamp after = StampOf(command.outputPath);

    if (!Replaced(before, after)) {
        std::string reason = "the exporter wrote nothing";
        if (!scene->messages().empty()) reason += ": " + scene->messages().back().text;
        std::cerr << "plover: no file written (" << reason << ")\n";
        return 1;
    }
    if (!command.quiet) std::cerr << "plover: wrote " << command.outputPath << "\n";
    return 0;
}
