#include "tools/plover/interrupt.h"

#include <atomic>
#include <csignal>

#include "host/import/unpack_folder.h"

namespace {

std::atomic<int> pendingSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

struct sigaction previousInt {};
struct sigaction previousTerm {};

extern "C" void OnSignal(int signal) {
    int none = 0;
    if (pendingSignal.compare_exchange_strong(none, signal)) return;
    // Asked twice: stop now, the way the signal would have without us, leaving no unpacked
    // textures behind.
    RemoveUnpackFolderNow();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

InterruptGuard::InterruptGuard() {
    pendingSignal.store(0);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
}

InterruptGuard::~InterruptGuard() {
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
}

int InterruptGuard::Pending() { return pendingSignal.load(); }
