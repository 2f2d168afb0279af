// Names of the files and folders a process makes for a while: marker, the process id, a
// separator, then whatever makes the name unique ("x.x.tmp4711_3", ".plover-4711-3.wood.png",
// "plover-textures-4711-k3x9qa"). The process id lets a later process tell what one that has
// ended left behind, since a process killed outright cannot remove its own: the stale-file
// cleanups (RemoveStaleTemporariesOf, RemoveStaleTemporaries, RemoveStaleUnpackFolders) read it
// back with TemporaryNameProcess.
//
// Inline, so that the platform layer, which gives the process id, can name its own probes with
// it too.
#pragma once

#include <atomic>
#include <charconv>
#include <string>
#include <string_view>
#include <system_error>

#include "core/platform.h"

// The start every such name of this process has: marker, the process id, then separator.
inline std::string TemporaryNamePrefix(std::string_view marker, char separator) {
    return std::string(marker) + std::to_string(platform::ProcessId()) + separator;
}

// A new name: TemporaryNamePrefix followed by a number no earlier call in this process gave.
inline std::string TemporaryName(std::string_view marker, char separator) {
    static std::atomic<unsigned> counter{0};
    return TemporaryNamePrefix(marker, separator) + std::to_string(counter++);
}

// The process id in a name that starts with marker, decimal digits and separator; 0 when the
// name does not (0 is no process that makes files).
inline long TemporaryNameProcess(std::string_view name, std::string_view marker, char separator) {
    if (name.size() <= marker.size() || name.substr(0, marker.size()) != marker) return 0;
    const char* first = name.data() + marker.size();
    const char* last = name.data() + name.size();
    if (*first < '0' || *first > '9') return 0;
    long pid = 0;
    const auto [end, problem] = std::from_chars(first, last, pid);
    if (problem != std::errc() || end == last || *end != separator) return 0;
    return pid;
}
