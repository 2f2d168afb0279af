#include "tools/plover/settings.h"

#include "options/option_keys.h"
#include "options/options_file.h"
#include "options/profile.h"

bool ApplySettingsToFile(const std::string& source, const std::string& target,
                         const std::vector<std::string>& settings, std::string& error) {
    ProfileFile profile;
    profile.Load(source);
    ExportOptions scratch;
    std::string scratchRoot;
    AnimClipList scratchClips;
    for (const std::string& setting : settings) {
        const size_t eq = setting.find('=');
        if (eq == std::string::npos || eq == 0) {
            error = "setting '" + setting + "' is not of the form KEY=VALUE";
            return false;
        }
        const std::string key = setting.substr(0, eq);
        const std::string value = setting.substr(eq + 1);
        if (!SetConfigValue(scratch, scratchRoot, scratchClips, key, value, error)) return false;
        const OptionKey* option = FindOptionKey(key);
        profile.WriteString(kOptionSection, option ? option->name : key, value);
    }
    if (!profile.Save(target)) {
        error = "cannot write the configuration file " + target;
        return false;
    }
    return true;
}
