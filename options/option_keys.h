// Every option key of the initialisation file, with its type, field and default, and the
// key-based access that the command line uses (`plover config show`, `--set KEY=VALUE`).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "options/export_options.h"

enum class OptionType { Int, Float };

struct OptionKey {
    const char* name;                  // as in the file, e.g. "Multi-Textures"
    OptionType type;
    int32_t ExportOptions::*intField;  // set for OptionType::Int, else null
    float ExportOptions::*floatField;  // set for OptionType::Float, else null
    int32_t intDefault;                // value of a missing integer key (see defaultIsFrameRate)
    const char* floatDefault;          // text of a missing float key, converted like the file's text
    bool defaultIsFrameRate;           // SampleRate: a missing key gives the host frame rate
};

// The file's section and the keys that are not fields of ExportOptions.
inline constexpr const char* kOptionSection = "Option";
inline constexpr const char* kSceneRootNameKey = "SceneRootName";
inline constexpr const char* kAnimationCountKey = "AnimationCount";

// The 54 options in the order a save writes them: the 51 integers, then SpaceScale, ZRot, XRot.
std::span<const OptionKey> OptionKeyTable();

// The option named key (letter case ignored), or null.
const OptionKey* FindOptionKey(std::string_view key);

// The option's value as the file holds it: decimal text for integers, "%g" for floats.
std::string FormatOptionValue(const ExportOptions& options, const OptionKey& key);

// Sets one option from text. Integers take an optional sign and decimal digits within the 32-bit
// range; floats a finite decimal number. The value is stored as given: range corrections are the
// dialog's (see options_dialog_model.h). False, with error naming the key and the value, for an
// unknown key or a value that does not parse.
bool SetOptionByKey(ExportOptions& options, std::string_view key, std::string_view value, std::string& error);

// The most clips a file or a command may define; more would only exhaust memory.
inline constexpr int32_t kMaxClipCount = 10000;

// The three keys of clip i: Animation<i>_Name, Animation<i>_StartKey, Animation<i>_EndKey.
enum class ClipField { Name, StartKey, EndKey };
// Splits a clip key (letter case ignored) into its clip number and field; false for other keys.
bool SplitClipKey(std::string_view key, int32_t& index, ClipField& field);
std::string ClipKeyName(size_t index, ClipField field);

// Like SetOptionByKey, and also the keys that are not fields: SceneRootName (any text of at most
// 259 characters), AnimationCount (0 to kMaxClipCount: cuts the list, or appends clips named
// "Anim1" spanning frames 0 to 999999, as a load of missing clip keys would), and
// Animation<i>_Name, Animation<i>_StartKey, Animation<i>_EndKey for i below kMaxClipCount (the list
// grows to i + 1 clips as needed). Clip frames are stored as given; a load pulls them into the
// animation range.
bool SetConfigValue(ExportOptions& options, std::string& sceneRootName, AnimClipList& clips, std::string_view key,
                    std::string_view value, std::string& error);

// Every option as "Key=Value" lines in the file's order, then SceneRootName (also when empty),
// AnimationCount and the clip keys; each line ends with '\n'.
std::string FormatOptions(const ExportOptions& options, const std::string& sceneRootName, const AnimClipList& clips);
