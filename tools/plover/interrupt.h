// SIGINT and SIGTERM while a command runs: the first one asks the work to stop, a second one
// ends the process at once.
#pragma once

// While it lives, SIGINT and SIGTERM set a flag instead of ending the process, so that the
// command can stop the export between units of work, remove its temporary files and exit with
// 128 + the signal number. A second signal restores the default action and raises it again.
// The previous handlers come back when the guard is destroyed.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // The first signal received since the guard was made (SIGINT or SIGTERM), or 0.
    static int Pending();
};

// The exit status of a command stopped by signal: 130 for SIGINT, 143 for SIGTERM.
inline int InterruptedExitCode(int signal) { return 128 + signal; }
