// KEY=VALUE settings of the command line applied to an initialisation file.
#pragma once

#include <string>
#include <vector>

// Reads the initialisation file at source (missing: empty), checks every KEY=VALUE setting,
// and, when all are valid, writes the file with those values to target. Nothing is written when
// any setting is invalid; error then names it.
bool ApplySettingsToFile(const std::string& source, const std::string& target,
                         const std::vector<std::string>& settings, std::string& error);
