// `plover config set`: option values set from the command line, corrected by the options
// dialog's rules exactly as if a user had typed them into the dialog and pressed OK.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "options/options_dialog_model.h"

// One KEY=VALUE assignment of `plover config set`.
struct ConfigSetting {
    std::string key;
    std::string value;
};

// Splits "KEY=VALUE" at the first '='. False, with an error naming the text, when there is no
// '=' or the key is empty.
bool ParseConfigAssignment(std::string_view text, ConfigSetting& setting, std::string& error);

// True when a setting names AnimationCount or a clip key: the settings define the clip list.
bool SettingsDefineClips(const std::vector<ConfigSetting>& settings);

// Applies settings to the option set, root frame name and clips as if the user had opened the
// dialog on them, typed each value into its control in order, and pressed OK: check boxes are
// clicked when their state changes (so the rules run), lists and spinners take the value within
// their limits, edit fields take the text as given, clip names and frames are typed into the
// clip list's cells (where invalid text is refused), and the read-back corrections apply.
// AnimationCount and clip keys beyond the list add rows first (named "Anim1", frames 0 to
// 999999, as a load of missing keys would).
// Nothing changes and false is returned, with error set, when a key is unknown, a value does
// not parse or the clip list refuses a value (a clip name or frame it would not take). Otherwise corrections gets one human-readable line per key whose stored value
// differs from what was asked: "KEY=VALUE was corrected to STORED" for a key that was set,
// "KEY changed from OLD to NEW" for one that a rule or a correction changed. A clip whose
// settings end it before it starts also gets a line saying so (the clip list then makes both
// frames equal).
bool ApplyConfigSettings(const std::vector<ConfigSetting>& settings, const DialogContext& context,
                         ExportOptions& options, std::string& sceneRootName, AnimClipList& clips,
                         std::vector<std::string>& corrections, std::string& error);

// `plover config set` on a file: loads it without pulling clips into any animation range (there
// is no scene), applies the settings with ApplyConfigSettings (an illegal root frame name
// becomes empty, which means the scene's own root name at export) and saves the file
// atomically. A file without clip keys stays without them unless the settings define clips, so
// that exports keep using each model's own animations. The read-modify-write holds a lock on
// the file's directory, so concurrent calls do not lose each other's changes. False with error
// set when the file cannot be used (a directory, a device, too large), a setting is refused or
// the file cannot be written; the file is then left as it was.
bool ConfigSet(const std::string& path, const std::vector<ConfigSetting>& settings, int32_t frameRate,
               int32_t ticksPerFrame, std::vector<std::string>& corrections, std::string& error);

// `plover config unset KEY...`: removes the keys from the file, so that each reads its default
// again (SampleRate: the scene's frame rate). AnimationCount stands for the whole clip list: it
// and every clip key go, and exports use each input's own clips again; a single clip key goes
// alone. Key names are matched without regard to letter case. False with error set, and the file
// left as it was, when a key is unknown or the file cannot be used or written. A missing file is
// left missing.
bool ConfigUnset(const std::string& path, const std::vector<std::string>& keys, std::string& error);

// `plover config reset`: removes the file, so that every option reads its default and no clip
// list is defined. False with error set when the path is not a regular file (a directory, a
// device) or cannot be removed; a missing file is already reset.
bool ConfigReset(const std::string& path, std::string& error);
