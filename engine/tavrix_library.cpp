// Anchor of libtavrix.so: the library is the engine archive plus the automation entry points.
// Nothing lives here; the linker pulls in what the entry points and the exported class need.
#include "engine/service/tavrix_com.hpp"

namespace tavrix {
// Keeps TavrixCom's code in the shared library even before anything else references it.
[[maybe_unused]] const auto kTavrixComAnchor = &TavrixCom::getTavrixFile;
} // namespace tavrix
