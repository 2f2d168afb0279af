// The subcommands of the plover command. Each returns the process exit code.
#pragma once

#include <string>
#include <vector>

struct ExportCommand {
    std::string scenePath;
    std::string outputPath;
    std::string configDir;              // empty: the user's default configuration directory
    std::vector<std::string> settings;  // KEY=VALUE one-run overrides
    std::string pluginPath;             // empty: plover.dle beside the executable
    bool selectedOnly = false;
    bool quiet = false;
};

int RunExportCommand(const ExportCommand& command);

// The user's configuration directory: $XDG_CONFIG_HOME/plover, else ~/.config/plover.
std::string DefaultConfigDir();

// Lists what the plug-in module reports.
int RunPluginsCommand(const std::string& pluginPath);

int RunConfigShow(const std::string& configDir);
int RunConfigSet(const std::string& configDir, const std::vector<std::string>& settings);
