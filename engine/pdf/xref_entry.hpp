// One slot of the cross-reference table; the slot's index is the object number.
#pragma once

#include <cstdint>

namespace tavrix {

// One byte, so that an entry takes 16 bytes: files hold millions of them.
enum class XrefType : uint8_t { Free = 0, InUse = 1, Compressed = 2 };

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
static_assert(sizeof(XrefEntry) == 16);

} // namespace tavrix
