#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "options/option_keys.h"
#include "tools/plover/commands.h"
#include "tools/plover/settings.h"

int RunConfigShow(const std::string& configDir) {
    const std::string path = ConfigFilePath(ConfigDirOrDefault(configDir));
    ProfileFile file;
    std::string error;
    if (!ReadOptionsFile(path, file, error)) {
        std::cerr << "plover: " << error << "\n";
        return kExitUsage;
    }
    ExportOptions options;
    std::string sceneRootName;
    AnimClipList clips;
    LoadOptions(file, SceneFreeTime(), options, sceneRootName, clips);
    std::cout << "# " << path << (std::filesystem::exists(path) ? "" : " (not present: defaults)") << "\n";
    if (!DefinesClips(file)) {
        std::cout << "# no clip list: an imported model exports its own animations, a scene document its"
                     " \"clips\"; without either, the clip below\n";
    }
    std::cout << FormatOptions(options, sceneRootName, clips);
    return kExitOk;
}

int RunConfigSet(const std::string& configDir, const std::vector<std::string>& settings) {
    const std::string path = ConfigFilePath(ConfigDirOrDefault(configDir));
    std::vector<ConfigSetting> parsed(settings.size());
    std::string error;
    for (size_t i = 0; i < settings.size(); ++i) {
        if (!ParseConfigAssignment(settings[i], parsed[i], error)) {
            std::cerr << "plover: " << error << "\n";
            return kExitUsage;
        }
    }
    // The values go through the options dialog's rules, as if typed there and accepted.
    std::vector<std::string> corrections;
    const OptionsTime time = SceneFreeTime();
    if (!ConfigSet(path, parsed, time.frameRate, 160, corrections, error)) {
        std::cerr << "plover: " << error << "\n";
        return kExitUsage;
    }
    for (const std::string& line : corrections) std::cout << line << "\n";
    std::cout << "Updated " << path << "\n";
    return kExitOk;
}

int RunConfigUnset(const std::string& configDir, const std::vector<std::string>& keys) {
    const std::string path = ConfigFilePath(ConfigDirOrDefault(configDir));
    std::string error;
    if (!ConfigUnset(path, keys, error)) {
        std::cerr << "plover: " << error << "\n";
        return kExitUsage;
    }
    std::cout << "Updated " << path << ": the keys given read their defaults\n";
    return kExitOk;
}

int RunConfigReset(const std::string& configDir) {
    const std::string path = ConfigFilePath(ConfigDirOrDefault(configDir));
    std::string error;
    if (!ConfigReset(path, error)) {
        std::cerr << "plover: " << error << "\n";
        return kExitUsage;
    }
    std::cout << "Removed " << path << ": every option reads its default, and no clip list is defined\n";
    return kExitOk;
}
