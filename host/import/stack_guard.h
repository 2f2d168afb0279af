// A thread with a large, guarded stack for third-party readers that recurse once per nesting
// level of their input (Assimp's do). Running out of that stack ends the process with a message
// and exit status 2, the status of a file that cannot be read, instead of a crash; files the
// nesting check catches never get that far, this covers the formats it cannot see into.
#pragma once

#include <functional>
#include <string>

// Runs `work` on the guarded thread and returns when it is done; exceptions reach the caller.
// `overflowMessage` (one line) is written to standard error if the stack runs out; the folder
// of unpacked images, if any, is removed before the process ends.
void RunWithStackGuard(const std::function<void()>& work, const std::string& overflowMessage);
