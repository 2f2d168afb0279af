// One-run settings of a silent export (`plover export --set KEY=VALUE`, the host's per-export
// overrides). A silent export uses the values of the initialisation file as they are stored, and
// one-run settings the same way: the export stages decide what an unusual value does (XFileType 7
// writes a compressed file, KeyOptimizeLevel 0 keeps every key, a negative SpaceScale leaves the
// scale alone). Only `plover config set`, which stands for the options dialog, applies the
// dialog's corrections (config_set.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "options/config_set.h"

// Applies the settings in order, each value as given (SetConfigValue), then the dependency rules,
// as a load of a file holding these values would. False, with error naming the setting, for an
// unknown key or a value that does not parse; nothing changes then.
bool ApplyExportSettings(const std::vector<ConfigSetting>& settings, ExportOptions& options,
                         std::string& sceneRootName, AnimClipList& clips, std::string& error);

// The host's time settings the sampling-rate note depends on.
struct ExportTime {
    int32_t frameRate = 30;
    int32_t ticksPerFrame = 160;
};

// One line for each option key among the settings (the last setting of a key counts) whose value
// the options dialog would not offer, or would correct on OK, saying what the export does with the
// value it keeps: "XFileType=7 is outside the dialog's range (0 text, 1 binary, 2 compressed);
// the export writes a compressed binary file". options are the settled options (after
// ApplyExportSettings). Clip keys and the root frame name get no line here.
std::vector<std::string> OutOfRangeNotes(const std::vector<ConfigSetting>& settings, const ExportOptions& options,
                                         const ExportTime& time);
