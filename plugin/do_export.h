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

// The scene root's name without blanks; "SceneRoot" when that is not a legal X name.
std::string SceneRootNameFor(std::string_view rootName);
// Ticks per sample of sampled animation: the frame rate with the custom timeline, else
// SampleRate; a rate of 0 or below, or above the ticks per second, is replaced by the frame
// rate, and SampleRate is set to it so that a later save stores it.
int32_t SampleStep(int frameRate, int ticksPerFrame, ExportOptions& options);
