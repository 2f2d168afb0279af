// The texts the export driver shows: its messages and the titles of its progress stages.
#pragma once

inline constexpr const char* kNoNodeText = "No node!";
inline constexpr const char* kNothingCollectedText =
    "No node will be export, you can check the Dummy or Helper option and try again.";
inline constexpr const char* kNothingProcessedText =
    "No node will be export. To export hidden nodes please unhide them and make sure the Renderable "
    "option of the object properties is checked.";
// Caption of warnings: nothing processed, and what the material output step warns of.
inline constexpr const char* kWarningCaption = "Warning";
// The progress display's title until the first stage names itself.
inline constexpr const char* kProgressTitle = "Starting the export";
// Titles of the progress stages.
inline constexpr const char* kCollectTitle = "Collecting nodes";
inline constexpr const char* kDataPassTitle = "Reading meshes, skins and animation";
inline constexpr const char* kWriteTitle = "Writing the X file";
