// The temporary files a run writes before its result is put in place. Where the filesystem
// allows, a temporary file has no name until it is committed, so nothing is left behind however
// the process ends (a kill included). Elsewhere it is named ".tavrix-XXXXXX"; such names are
// kept in a process-wide table, and handlers for SIGINT, SIGTERM and SIGHUP (installed with the
// first named file, only for signals whose disposition is still the default) remove them before
// the process ends as it would have. The engine cannot rely on its host for this: the command-
// line client and the desktop program reach it only through the automation runtime.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

namespace tavrix {

class TempFile {
  public:
    // Creates a temporary file in `folder`, unnamed when `unnamed` is set and the filesystem
    // allows. It starts with `mode` less the umask, as a newly created file would. Returns null
    // with `error` set to the errno when the folder cannot hold one.
    static std::unique_ptr<TempFile> create(const std::string& folder, mode_t mode, bool unnamed,
                                            int& error);
    ~TempFile(); // closes it and removes its name, if it still has one
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return fd_; }
    bool named() const { return name_ != nullptr; }

    // Gives the file the name `path` (on the same filesystem), replacing whatever stood there in
    // one step. Returns 0 or the errno.
    int replace(const std::string& path);
    // Gives the file the name `path` only when nothing stands there (EEXIST otherwise).
    int linkNew(const std::string& path);

  private:
    TempFile() = default;
    void forgetName();

    int fd_ = -1;
    // A named file's path, registered for the signal handlers while it exists.
    std::unique_ptr<char[]> name_;
    int slot_ = -1;
};

// The process umask, read without changing it (umask() would race with other threads).
mode_t currentUmask();

} // namespace tavrix
