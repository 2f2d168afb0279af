// The export driver: one export from the host's call to the written file.
#pragma once

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
inline constexpr const char* kProgressTitle = "Veyda";
