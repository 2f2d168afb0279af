// The Windows side of tools/plover/interrupt.h: Ctrl-C and Ctrl-Break ask the work to stop
// (as SIGINT does on Linux), closing the console window, logging off and shutting down (as
// SIGTERM does). The system calls the handler on a thread of its own.
#include "tools/plover/interrupt.h"

#include <windows.h>

#include <atomic>
#include <csignal>

#include "host/import/unpack_folder.h"

namespace {

std::atomic<int> pendingSignal{0};
std::atomic<bool> finished{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
    const bool closing = event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    int none = 0;
    if (!pendingSignal.compare_exchange_strong(none, closing ? SIGTERM : SIGINT)) {
        // Asked twice: stop now, as the system would without us, leaving no unpacked textures.
        RemoveUnpackFolderNow();
        return FALSE;
    }
    if (closing) {
        // The process ends when this handler returns: give the command the few seconds the
        // system allows to stop the export and remove its temporary files, then let it go.
        for (int waited = 0; waited < 45 && !finished.load(); ++waited) Sleep(100);
        RemoveUnpackFolderNow();
    }
    return TRUE;
}

}  // namespace

InterruptGuard::InterruptGuard() {
    pendingSignal.store(0);
    finished.store(false);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InterruptGuard::~InterruptGuard() {
    finished.store(true);
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

int InterruptGuard::Pending() { return pendingSignal.load(); }
