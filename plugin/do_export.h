// The export driver: one export from the host's call to the written file.
#pragma once

#include <string>
#include <string_view>

#include "options/export_options.h"
#include "sdk/host.h"

// Runs one export. name is the output path, ei is unused, ip the host interface,
// suppressPrompts non-zero for an export without user interface, options the host's export
// option bits (kSceneExportSelected). Always returns 1; failures are reported in message boxes.
extern "C" int XDoExport(const char* name, ExpInterface* ei, Interface* ip, int suppressPrompts,
                         unsigned long options);

// Export driver texts.
inline constexpr const char* kNoNodeText = "No node!";
inline constexpr const char* kNothingCollectedText =
    "No node will be export, you can check the Dummy or Helper option and try again.";
inline constexpr const char* kNothingProcessedText =
    "No node will be export. To export hidden nodes please unhide them and make sure the Renderable "
    "option of the object properties is checked.";
inline constexpr const char* kWarningCaption = "Warning";
// The progress display's title until the first stage names itself.
inline constexpr const char* kProgressTitle = "Starting the export";
// Titles of the progress stages.
inline constexpr const char* kCollectTitle = "Collecting nodes";
inline constexpr const char* kDataPassTitle = "Reading meshes, skins and animation";
inline constexpr const char* kWriteTitle = "Writing the X file";

// The scene root's name without blanks; "SceneRoot" when that is not a legal X name.
std::string SceneRootNameFor(std::string_view rootName);
// The directory of the scene file: cut after its last "\\", else after its last "/"; "./" when
// it has neither.
std::string SceneDirectoryOf(const std::string& sceneFile);
// Ticks per sample of sampled animation: the frame rate with the custom timeline, else
// SampleRate; a rate of 0 or below, or above the ticks per second, is replaced by the frame
// rate, and SampleRate is set to it so that a later save stores it.
int32_t SampleStep(int frameRate, int ticksPerFrame, ExportOptions& options);
