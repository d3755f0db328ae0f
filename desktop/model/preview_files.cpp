#include "desktop/model/preview_files.hpp"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace folvane {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPrefix = "folvane-preview-";

std::string tempParent() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

} // namespace

FileHandle::~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
}

PreviewFiles::~PreviewFiles() {
    if (folder_.empty()) return;
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

void PreviewFiles::sweepAbandoned(const std::string& parent) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(parent, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kPrefix, 0) != 0) continue;
        // folvane-preview-PID-XXXXXX; only our own folders, and only when PID is gone.
        const long pid = std::strtol(name.c_str() + kPrefix.size(), nullptr, 10);
        struct stat st;
        if (pid <= 0 || ::lstat(entry.path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::getuid())
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        fs::remove_all(entry.path(), ec);
    }
}

std::string PreviewFiles::nextPath() {
    if (folder_.empty()) {
        const std::string parent = tempParent();
        sweepAbandoned(parent);
        std::string pattern =
            parent + "/" + std::string(kPrefix) + std::to_string(::getpid()) + "-XXXXXX";
        if (!::mkdtemp(pattern.data())) return {}; // mkdtemp makes the folder private (0700)
        folder_ = pattern;
    }
    return folder_ + "/page-" + std::to_string(++counter_) + ".pdf";
}

std::shared_ptr<FileHandle> PreviewFiles::take(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ::unlink(path.c_str());
    if (fd < 0) return nullptr;
    return std::make_shared<FileHandle>(fd);
}

void PreviewFiles::discard(const std::string& path) {
    ::unlink(path.c_str());
}

} // namespace folvane
