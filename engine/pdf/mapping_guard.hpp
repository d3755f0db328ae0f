// Keeps a mapped input from killing the process when its file shrinks during a run. Reading a
// mapped page that lies past the file's new end raises SIGBUS, and the engine runs inside its
// host (the desktop program, a script), which would die with it. A guarded range gets a page of
// zeros in place of the missing one instead, and the run learns that its input changed.
#pragma once

#include <cstddef>

namespace tavrix {

class MappingGuard {
  public:
    // Guards [begin, begin + size). The guards live in a fixed process-wide table (the signal
    // handler may take no lock and allocate nothing); when it is full, active() is false and the
    // caller must not rely on the mapping.
    MappingGuard(const void* begin, size_t size);
    ~MappingGuard();
    MappingGuard(const MappingGuard&) = delete;
    MappingGuard& operator=(const MappingGuard&) = delete;

    bool active() const { return slot_ >= 0; }
    // A read within the range has faulted since the guard was set: the file is shorter now.
    bool faulted() const;

  private:
    int slot_ = -1;
};

} // namespace tavrix
