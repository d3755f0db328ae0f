// Live-object and lock counts of the in-process server.
#include "engine/server/server_module.hpp"

namespace tavrix::server {
namespace {

// The counts belong to the library as a whole, like the library's code itself.
std::atomic<long> gObjects{0};
std::atomic<long> gLocks{0};

} // namespace

void objectCreated() {
    gObjects.fetch_add(1, std::memory_order_relaxed);
}

void objectDestroyed() {
    gObjects.fetch_sub(1, std::memory_order_acq_rel);
}

HRESULT lockServer(bool lock) {
    if (lock) {
        gLocks.fetch_add(1, std::memory_order_relaxed);
        return S_OK;
    }
    long held = gLocks.load(std::memory_order_relaxed);
    do {
        if (held <= 0) return E_UNEXPECTED;
    } while (!gLocks.compare_exchange_weak(held, held - 1, std::memory_order_acq_rel));
    return S_OK;
}

HRESULT canUnloadNow() {
    return gObjects.load(std::memory_order_acquire) == 0 &&
                   gLocks.load(std::memory_order_acquire) == 0
               ? S_OK
               : S_FALSE;
}

} // namespace tavrix::server
