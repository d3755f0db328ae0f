#include "engine/pdf/mapping_guard.hpp"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

namespace tavrix {
namespace {

// A signal handler can only reach process-wide state, and only state it can read without a
// lock: hence the fixed table of atomics. Its size bounds the runs that can read at once, not
// anything taken from a file.
struct GuardedRange {
    std::atomic<bool> claimed{false};
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<bool> faulted{false};
};
constexpr int kRanges = 256;
GuardedRange gRanges[kRanges];
static_assert(std::atomic<uintptr_t>::is_always_lock_free &&
              std::atomic<bool>::is_always_lock_free);

uintptr_t gPageSize = 4096;      // written once, before the handler is installed
struct sigaction gPrevious = {}; // the disposition the handler found; likewise
std::once_flag gInstalled;

// Does what the process would have done without this handler.
void passOn(int sig, siginfo_t* info, void* context) {
    if (gPrevious.sa_flags & SA_SIGINFO) {
        if (gPrevious.sa_sigaction) gPrevious.sa_sigaction(sig, info, context);
        return;
    }
    if (gPrevious.sa_handler != SIG_DFL && gPrevious.sa_handler != SIG_IGN) {
        gPrevious.sa_handler(sig);
        return;
    }
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
    // A fault repeats when the handler returns and then ends the process as before; a signal
    // sent by kill() does not, so it is sent again.
    if (info->si_code <= 0) raise(sig);
}

void onBusError(int sig, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    if (info->si_code > 0) {
        for (GuardedRange& range : gRanges) {
            if (address < range.begin.load(std::memory_order_acquire) ||
                address >= range.end.load(std::memory_order_acquire))
                continue;
            // The page past the file's end becomes a page of zeros: the faulting read is
            // repeated and finds them, and the run checks the flag before it commits.
            void* page = reinterpret_cast<void*>(address & ~(gPageSize - 1));
            if (mmap(page, gPageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
                MAP_FAILED)
                break;
            range.faulted.store(true, std::memory_order_release);
            errno = savedErrno;
            return;
        }
    }
    errno = savedErrno;
    passOn(sig, info, context);
}

void installHandler() {
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize > 0) gPageSize = static_cast<uintptr_t>(pageSize);
    struct sigaction action = {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &gPrevious);
}

} // namespace

MappingGuard::MappingGuard(const void* begin, size_t size) {
    std::call_once(gInstalled, installHandler);
    for (int i = 0; i < kRanges; ++i) {
        bool expected = false;
        if (!gRanges[i].claimed.compare_exchange_strong(expected, true)) continue;
        const auto start = reinterpret_cast<uintptr_t>(begin);
        gRanges[i].faulted.store(false);
        gRanges[i].begin.store(start, std::memory_order_release);
        gRanges[i].end.store(start + size, std::memory_order_release);
        slot_ = i;
        return;
    }
}

MappingGuard::~MappingGuard() {
    if (slot_ < 0) return;
    GuardedRange& range = gRanges[slot_];
    range.end.store(0, std::memory_order_release);
    range.begin.store(0, std::memory_order_release);
    range.claimed.store(false, std::memory_order_release);
}

bool MappingGuard::faulted() const {
    return slot_ >= 0 && gRanges[slot_].faulted.load(std::memory_order_acquire);
}

} // namespace tavrix
