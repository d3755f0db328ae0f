// One slot of the cross-reference table; the slot's index is the object number.
#pragma once

#include <cstdint>

namespace tavrix {

enum class XrefType : int { Free = 0, InUse = 1, Compressed = 2 };

struct XrefEntry {
    // InUse: byte offset of the object's header, counted from the "%PDF-" header.
    // Compressed: number of the object stream that holds the object.
    int64_t offset = -1;
    // InUse and Free: generation number. Compressed: index inside the object stream.
    int32_t gen = 0;
    XrefType type = XrefType::Free;
    // No section has filled the slot yet; the newest section that lists an object wins.
    bool unset = true;
};

} // namespace tavrix
