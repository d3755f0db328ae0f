// Bookkeeping of the in-process server: how many of its objects are alive and how many locks
// clients hold on its class factory. The runtime unloads the library only when both are zero.
#pragma once

#include <atomic>

#include "tavrixrt/interfaces.hpp"

namespace tavrix::server {

void objectCreated();
void objectDestroyed();
// LockServer: E_UNEXPECTED for an unlock without a matching lock (the count never goes negative).
HRESULT lockServer(bool lock);
// S_OK when no object is alive and no lock is held, else S_FALSE.
HRESULT canUnloadNow();

// Reference counting shared by every object the library hands out. Each live object (engine
// instance, class factory, type description) keeps the library loaded.
template <class Derived, class Interface> class RefCounted : public Interface {
  public:
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }

  protected:
    RefCounted() { objectCreated(); }
    ~RefCounted() { objectDestroyed(); }

  private:
    std::atomic<ULONG> refs_{1};
};

} // namespace tavrix::server
