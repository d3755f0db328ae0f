// Files the engine opens by name besides the input (a file list, the import file, the fonts
// file) are read only when they are regular files or FIFOs. A folder opens for reading on this
// platform and then reads as empty, which would pass for an empty list or a number 0; a device
// could block the run forever. Either is treated as a file that cannot be opened.
#pragma once

#include <string>

namespace tavrix {

// Empty when `path` names a regular file or a FIFO (after links), else why not, in the words
// the system uses ("No such file or directory", "Is a directory", "not a regular file").
std::string notDataFile(const std::string& path);

// `path` holds a NUL byte (an automation client can pass one); the system would see only the
// part before it, so such a path names no file at all.
inline bool holdsNul(const std::string& path) {
    return path.find('\0') != std::string::npos;
}

} // namespace tavrix
