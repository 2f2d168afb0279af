#include "host/import/stack_guard.h"

#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <mutex>
#include <vector>

#include "host/import/unpack_folder.h"

namespace {

constexpr size_t kStackBytes = size_t(256) << 20;  // address space only: untouched pages cost nothing
constexpr size_t kGuardBytes = size_t(1) << 20;    // wider than any frame, so an overflow lands in it
constexpr size_t kSignalStackBytes = 64 << 10;

// What the fault handler reads: set before the thread starts, cleared after it ends.
const char* guardLow = nullptr;
const char* guardHigh = nullptr;
std::string overflowText;

extern "C" void OnFault(int signal, siginfo_t* info, void*) {
    const char* address = static_cast<const char*>(info->si_addr);
    if (info->si_code > 0 && address >= guardLow && address < guardHigh) {
        ssize_t ignored = write(STDERR_FILENO, overflowText.data(), overflowText.size());
        (void)ignored;
        RemoveUnpackFolderNow();
        _exit(2);
    }
    // Any other fault is what it would have been without the handler.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    if (info->si_code <= 0) raise(signal);  // sent, not caused: deliver it again
}

struct Job {
    const std::function<void()>* work;
    std::exception_ptr failure;
};

extern "C" void* RunJob(void* argument) {
    auto* job = static_cast<Job*>(argument);
    // The handler cannot run on the stack that has run out.
    std::vector<char> signalStack(kSignalStackBytes);
    stack_t alternate {};
    alternate.ss_sp = signalStack.data();
    alternate.ss_size = signalStack.size();
    sigaltstack(&alternate, nullptr);
    try {
        (*job->work)();
    } catch (...) {
        job->failure = std::current_exception();
    }
    alternate.ss_flags = SS_DISABLE;
    sigaltstack(&alternate, nullptr);
    return nullptr;
}

}  // namespace

void RunWithStackGuard(const std::function<void()>& work, const std::string& overflowMessage) {
    static std::mutex oneAtATime;  // the handler knows one guarded stack
    std::lock_guard<std::mutex> lock(oneAtATime);
    void* region = mmap(nullptr, kGuardBytes + kStackBytes, PROT_NONE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    char* base = static_cast<char*>(region);
    pthread_attr_t attributes;
    bool ready = region != MAP_FAILED && mprotect(base + kGuardBytes, kStackBytes, PROT_READ | PROT_WRITE) == 0 &&
                 pthread_attr_init(&attributes) == 0;
    if (ready && pthread_attr_setstack(&attributes, base + kGuardBytes, kStackBytes) != 0) {
        pthread_attr_destroy(&attributes);
        ready = false;
    }
    if (!ready) {  // no room for the thread: run unguarded, as any caller would
        if (region != MAP_FAILED) munmap(region, kGuardBytes + kStackBytes);
        work();
        return;
    }
    overflowText = overflowMessage + "\n";
    guardLow = base;
    guardHigh = base + kGuardBytes;
    struct sigaction action {}, previousSegv {}, previousBus {};
    action.sa_sigaction = OnFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    sigaction(SIGSEGV, &action, &previousSegv);
    sigaction(SIGBUS, &action, &previousBus);

    Job job{&work, nullptr};
    pthread_t thread;
    const bool started = pthread_create(&thread, &attributes, RunJob, &job) == 0;
    if (started) pthread_join(thread, nullptr);

    sigaction(SIGSEGV, &previousSegv, nullptr);
    sigaction(SIGBUS, &previousBus, nullptr);
    guardLow = guardHigh = nullptr;
    pthread_attr_destroy(&attributes);
    munmap(region, kGuardBytes + kStackBytes);
    if (!started) work();
    if (job.failure) std::rethrow_exception(job.failure);
}
