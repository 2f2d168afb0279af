// Loading and saving the option set, the root frame name and the clip list through the
// initialisation file plover_max_config.ini (section "Option").
#pragma once

#include <cstdint>
#include <string>

#include "options/export_options.h"

class ProfileFile;

inline constexpr const char* kConfigFileName = "plover_max_config.ini";

// The time values a load needs from the host.
struct OptionsTime {
    int32_t animStart = 0;        // animation range start, ticks
    int32_t animEnd = 0;          // animation range end, ticks
    int32_t ticksPerFrame = 160;  // below 1 is taken as 1
    int32_t frameRate = 30;       // frames per second: the default of SampleRate
};

// The animation range in whole frames (ticks divided by ticks per frame, truncated toward zero).
struct FrameRange {
    int32_t first = 0;
    int32_t last = 0;
};
FrameRange RangeFrames(const OptionsTime& time);

// configDirectory + "/" + kConfigFileName; no separator is added when the directory already ends
// in "/" or "\\". Empty when configDirectory is empty.
std::string ConfigFilePath(const std::string& configDirectory);

// Applies the rules that tie options together: without materials, PowerOf2, OverwriteFX, DxFx,
// EffectParam, InlineMtl and TextureFiles are 0; without bones, BoneMesh is 0.
void ApplyDependencyRules(ExportOptions& options);

// Fills options, sceneRootName and clips from the file at path, which may be missing, empty or
// hold anything: missing keys give the defaults, integer junk gives 0, float junk gives 0. Values
// are not range-checked, except that clip frames are pulled into the animation range and the clip
// count is capped at kMaxClipCount (option_keys.h). Clips with an empty name are dropped.
void LoadOptions(const std::string& path, const OptionsTime& time, ExportOptions& options,
                 std::string& sceneRootName, AnimClipList& clips);
// The same from a profile already read.
void LoadOptions(const ProfileFile& file, const OptionsTime& time, ExportOptions& options,
                 std::string& sceneRootName, AnimClipList& clips);

// What a load does to the clips it reads: drops those with an empty name, pulls each frame into
// the range and, when the start then lies after the end, moves the start to the end.
void PullClipsIntoRange(AnimClipList& clips, FrameRange range);

// True when the file defines a clip list of its own: it holds AnimationCount or a clip key.
// Without one, a load gives the default clip list.
bool DefinesClips(const ProfileFile& file);

// Rewrites the file at path from scratch with every option, the root frame name (when not empty)
// and the clips, atomically. With writeClips false the clip keys are left out, so that a later
// load gives the default clip list again. False when path is empty or the file could not be
// written; the previous file is then left as it was.
bool SaveOptions(const std::string& path, const ExportOptions& options, const std::string& sceneRootName,
                 const AnimClipList& clips, bool writeClips = true);
