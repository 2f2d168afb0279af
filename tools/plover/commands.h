// The subcommands of the plover command. Each returns the process exit code.
#pragma once

#include <string>
#include <vector>

struct ExportCommand {
    std::string scenePath;              // a scene document (.json) or any file Assimp reads
    std::string outputPath;
    std::string configDir;              // empty: the user's default configuration directory
    std::vector<std::string> settings;  // KEY=VALUE one-run overrides
    std::string pluginPath;             // empty: plover.dle beside the executable
    int frameRate = 30;                 // timeline frame rate of an imported file
    bool selectedOnly = false;
    bool quiet = false;
};

int RunExportCommand(const ExportCommand& command);

struct DumpCommand {
    std::string inputPath;   // a scene document (.json) or any file Assimp reads
    std::string outputPath;  // the scene document to write; its clip file goes beside it
    int frameRate = 30;
    bool quiet = false;
};

// Writes the scene that an export of the input would hand to the exporter as a scene document,
// and its clips as the document's clip file.
int RunDumpCommand(const DumpCommand& command);

// The user's configuration directory: $XDG_CONFIG_HOME/plover, else ~/.config/plover.
std::string DefaultConfigDir();

// Lists what the plug-in module reports.
int RunPluginsCommand(const std::string& pluginPath);

int RunConfigShow(const std::string& configDir);
int RunConfigSet(const std::string& configDir, const std::vector<std::string>& settings);
