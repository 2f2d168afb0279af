#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "options/config_set.h"
#include "options/option_keys.h"
#include "options/options_file.h"
#include "options/profile.h"
#include "tools/plover/commands.h"
#include "tools/plover/settings.h"

std::string DefaultConfigDir() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return (std::filesystem::path(xdg) / "plover").string();
    if (const char* home = std::getenv("HOME"); home && *home)
        return (std::filesystem::path(home) / ".config" / "plover").string();
    return ".";
}

namespace {

std::string ConfigDirOrDefault(const std::string& dir) { return dir.empty() ? DefaultConfigDir() : dir; }

// Without a scene there is no animation range to pull clips into: clips show as stored.
OptionsTime SceneFreeTime() {
    OptionsTime time;
    time.ticksPerFrame = 160;
    time.frameRate = 30;
    time.animStart = 0;
    time.animEnd = 999999 * 160;
    return time;
}

}  // namespace

int RunConfigShow(const std::string& configDir) {
    const std::string path = ConfigFilePath(ConfigDirOrDefault(configDir));
    ExportOptions options;
    std::string sceneRootName;
    AnimClipList clips;
    LoadOptions(path, SceneFreeTime(), options, sceneRootName, clips);
    std::cout << "# " << path << (std::filesystem::exists(path) ? "" : " (not present: defaults)") << "\n";
    std::cout << FormatOptions(options, sceneRootName, clips);
    return 0;
}

int RunConfigSet(const std::string& configDir, const std::vector<std::string>& settings) {
    const std::string path = ConfigFilePath(ConfigDirOrDefault(configDir));
    std::vector<ConfigSetting> parsed(settings.size());
    std::string error;
    for (size_t i = 0; i < settings.size(); ++i) {
        if (!ParseConfigAssignment(settings[i], parsed[i], error)) {
            std::cerr << "plover: " << error << "\n";
            return 2;
        }
    }
    // The values go through the options dialog's rules, as if typed there and accepted.
    std::vector<std::string> corrections;
    const OptionsTime time = SceneFreeTime();
    if (!ConfigSet(path, parsed, time.frameRate, time.ticksPerFrame, corrections, error)) {
        std::cerr << "plover: " << error << "\n";
        return 2;
    }
    for (const std::string& line : corrections) std::cout << line << "\n";
    std::cout << "Updated " << path << "\n";
    return 0;
}
