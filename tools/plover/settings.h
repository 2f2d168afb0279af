// The export options as the command line meets them: the user's initialisation file, the
// one-run KEY=VALUE settings, and the clips an input supplies.
#pragma once

#include <string>
#include <vector>

#include "host/objects/host_scene.h"
#include "options/config_set.h"
#include "options/options_file.h"
#include "options/profile.h"

// The user's configuration directory: $XDG_CONFIG_HOME/plover, else ~/.config/plover.
std::string DefaultConfigDir();
// dir, or DefaultConfigDir() when dir is empty.
std::string ConfigDirOrDefault(const std::string& dir);

// The time a load of the options uses without a scene: no animation range to pull clips into,
// so clips show as stored.
OptionsTime SceneFreeTime();

// Reads the user's initialisation file (missing: empty). False, with error naming the file and
// the cause, when it exists but cannot be used (a directory, a device, too large, unreadable).
bool ReadOptionsFile(const std::string& path, ProfileFile& file, std::string& error);

// The options of a file with KEY=VALUE settings applied.
struct SettledOptions {
    std::vector<ConfigSetting> settings;  // as parsed
    ExportOptions options;
    std::string sceneRootName;
    AnimClipList clips;                   // as stored: no animation range pulls them in
    std::vector<std::string> clipNotes;   // one line per clip the settings end before it starts
    bool definesClips = false;            // the file or the settings define a clip list
};

// Parses KEY=VALUE settings and applies them to the options of file as a silent export uses
// them: as given (ApplyExportSettings), without the dialog's corrections and without writing
// anything. False, with error naming the setting, for text that is not KEY=VALUE, an unknown key
// or a value that does not parse.
bool SettleOptions(const ProfileFile& file, const std::vector<std::string>& settings, SettledOptions& result,
                   std::string& error);

// The clips as settings: AnimationCount, then Animation<i>_Name, Animation<i>_StartKey and
// Animation<i>_EndKey for each clip.
std::vector<std::string> ClipSettings(const std::vector<HostClip>& clips);

// One line for each clip the user defined (in file or settings) that lies partly or wholly
// outside the animation range (first to last frame); the export pulls such clips into the range.
// An end frame of 999999, the default's "to the end", is not reported.
std::vector<std::string> ClipRangeWarnings(const ProfileFile& file, const std::vector<ConfigSetting>& settings,
                                           FrameRange range);
