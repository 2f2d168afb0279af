// The subcommands of the plover command. Each returns the process exit code.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "preview/preview.h"
#include "sdk/host.h"

// Exit codes of every command (documented in docs/usage.md).
inline constexpr int kExitOk = 0;
inline constexpr int kExitNotWritten = 1;  // the export ran and wrote nothing
inline constexpr int kExitUsage = 2;       // bad arguments, unusable input, options or module
// Stopped by SIGINT or SIGTERM: 128 + the signal number (130, 143).

struct ExportCommand {
    std::string scenePath;              // a scene document (.json) or any file Assimp reads
    std::string outputPath;
    std::string configDir;              // empty: the user's default configuration directory
    std::vector<std::string> settings;  // KEY=VALUE one-run overrides
    std::string pluginPath;             // empty: plover.dle beside the executable
    int frameRate = 0;                  // timeline frame rate of an imported file; 0: its key times
                                        // choose (see LoadSceneInput)
    // An X file input's convention (default: left-handed, Y up), and files outside its folder.
    bool fromRightHanded = false;
    bool fromZUp = false;
    bool allowOutsideFiles = false;
    bool selectedOnly = false;
    bool quiet = false;
    std::string previewPath;  // non-empty: a picture of the written X file goes there
    // The process ends right after the command: the scene is left for the system to reclaim
    // instead of being taken apart object by object (the command line sets it, callers that go
    // on running do not).
    bool processEnds = false;
};

// Runs the export with SIGINT and SIGTERM turned into a request to stop.
int RunExportCommand(const ExportCommand& command);
// The same with the stop request read from pendingSignal (0: none, else the signal number).
int RunExportCommand(const ExportCommand& command, const std::function<int()>& pendingSignal);

// The line printed after a successful export: what was written, the frame rate of its clips,
// sizes and time.
std::string FormatExportSummary(const ExportReport& report, int frameRate);

struct DumpCommand {
    std::string inputPath;   // a scene document (.json) or any file Assimp reads
    std::string outputPath;  // the scene document to write
    int frameRate = 0;       // as ExportCommand's
    bool fromRightHanded = false;  // as in ExportCommand
    bool fromZUp = false;
    bool allowOutsideFiles = false;
    bool quiet = false;
};

// Writes the scene that an export of the input would hand to the exporter as a scene document,
// with the clips the input supplies.
int RunDumpCommand(const DumpCommand& command);

struct ConvertCommand {
    std::string inputPath;   // anything export reads: a scene document, glTF, X, FBX, ...
    std::string outputPath;  // .glb, or .gltf with its .bin and images beside it
    int frameRate = 0;       // as ExportCommand's
    bool fromRightHanded = false;    // as in ExportCommand
    bool fromZUp = false;
    bool allowOutsideFiles = false;  // read textures outside the input's folder too
    bool quiet = false;
};

// Writes the scene an export of the input would read as a glTF 2.0 file. Exit codes as export.
int RunConvertCommand(const ConvertCommand& command);
// The same with the stop request read from pendingSignal (0: none, else the signal number).
int RunConvertCommand(const ConvertCommand& command, const std::function<int()>& pendingSignal);

struct PreviewCommand {
    std::string inputPath;   // an X file, or any input `export` takes
    std::string outputPath;  // the PNG file to write
    preview::PreviewOptions options;
    // For an input other than an X file, the export that makes one:
    std::string configDir;
    std::vector<std::string> settings;
    std::string pluginPath;
    int frameRate = 0;  // as ExportCommand's: 0 lets the model's key times choose
    bool quiet = false;
};

// The preview's flags given as text, checked and turned into options by SettlePreviewFlags.
struct PreviewFlags {
    std::string size;        // "WxH"
    std::string sheet;       // "CxR"
    std::string background;  // "#RRGGBB", "#RRGGBBAA" or "transparent"
};
// False, with error naming the flag and what it takes, for a value that does not parse or
// flags that do not go together.
bool SettlePreviewFlags(const PreviewFlags& flags, preview::PreviewOptions* options, std::string& error);

// Draws the input (an X file as it is; anything else exported to a temporary X file first).
int RunPreviewCommand(const PreviewCommand& command);

// True when the file starts as an X file does ("xof ").
bool IsXFilePath(const std::string& path);

// Draws the X file at xPath into the PNG file pngPath (written whole or not at all). Messages
// name shownPath in place of xPath when it is given.
int DrawXFile(const std::string& xPath, const std::string& pngPath, const preview::PreviewOptions& options, bool quiet,
              const std::string& shownPath);

// Lists what the plug-in module reports.
int RunPluginsCommand(const std::string& pluginPath);

int RunConfigShow(const std::string& configDir);
int RunConfigSet(const std::string& configDir, const std::vector<std::string>& settings);
int RunConfigUnset(const std::string& configDir, const std::vector<std::string>& keys);
int RunConfigReset(const std::string& configDir);
