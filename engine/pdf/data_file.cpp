#include "engine/pdf/data_file.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <system_error>

namespace tavrix {

std::string notDataFile(const std::string& path) {
    if (holdsNul(path)) return "a file name cannot hold a NUL character";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::generic_category().message(errno);
    if (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode)) return {};
    if (S_ISDIR(st.st_mode)) return std::generic_category().message(EISDIR);
    return "not a regular file";
}

} // namespace tavrix
