#include "engine/writer/temp_file.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>

namespace tavrix {
namespace {

constexpr int kTerminationSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Named temporary files the signal handlers remove. A handler can reach only process-wide state
// and take no lock, hence a fixed table of atomic pointers; its size bounds the runs at work at
// once, not anything read from a file. When it is full a file goes unregistered (and a signal
// would leave it behind, as before this table existed).
constexpr int kSlots = 256;
std::atomic<const char*> gNames[kSlots];
static_assert(std::atomic<const char*>::is_always_lock_free);
std::once_flag gHandlersInstalled;

void removeTempFilesAndDie(int sig) {
    const int savedErrno = errno;
    for (auto& slot : gNames)
        if (const char* name = slot.exchange(nullptr)) ::unlink(name);
    // The disposition was the default when the handler was installed: restore it, and the signal
    // (blocked while this handler runs) ends the process as soon as the handler returns.
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
    raise(sig);
    errno = savedErrno;
}

void installHandlers() {
    for (const int sig : kTerminationSignals) {
        struct sigaction current = {};
        if (sigaction(sig, nullptr, &current) != 0) continue;
        // A host that handles or ignores the signal (nohup, a GUI, an interpreter) decides what
        // happens; its run then ends normally and removes the file itself.
        if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL) continue;
        struct sigaction action = {};
        action.sa_handler = removeTempFilesAndDie;
        sigemptyset(&action.sa_mask);
        for (const int other : kTerminationSignals)
            sigaddset(&action.sa_mask, other);
        sigaction(sig, &action, nullptr);
    }
}

int registerName(const char* name) {
    std::call_once(gHandlersInstalled, installHandlers);
    for (int i = 0; i < kSlots; ++i) {
        const char* expected = nullptr;
        if (gNames[i].compare_exchange_strong(expected, name)) return i;
    }
    return -1;
}

// Blocks the termination signals on this thread while a name and its table entry appear or
// vanish together; a signal that comes meanwhile is handled right after.
class SignalsHeld {
  public:
    SignalsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (const int sig : kTerminationSignals)
            sigaddset(&set, sig);
        pthread_sigmask(SIG_BLOCK, &set, &previous_);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

  private:
    sigset_t previous_;
};

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A name for a hidden link beside `path`: the name an unnamed file takes on its way to replacing
// `path`, since a link cannot be made over an existing name.
std::string hiddenNameBeside(const std::string& path) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::minstd_rand generator(static_cast<uint32_t>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^ (getpid() << 16)));
    std::string name = folderOf(path) + "/.tavrix-";
    for (int i = 0; i < 6; ++i)
        name += kLetters[generator() % (sizeof kLetters - 1)];
    return name;
}

std::string procPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// Links the unnamed file open as `fd` at `path`.
int linkUnnamed(int fd, const std::string& path) {
    if (::linkat(AT_FDCWD, procPath(fd).c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    const int error = errno;
    if (error == EEXIST) return error;
    // Without /proc, a process that may read any file can link the descriptor itself.
    if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return 0;
    return error;
}

bool unnamedUnsupported(int error) {
    // EISDIR: kernels before O_TMPFILE take the flag for O_DIRECTORY.
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

} // namespace

mode_t currentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
    }
    return 022;
}

std::unique_ptr<TempFile> TempFile::create(const std::string& folder, mode_t mode, bool unnamed,
                                           int& error) {
    std::unique_ptr<TempFile> file(new TempFile());
    if (unnamed) {
        file->fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        if (file->fd_ >= 0) {
            struct stat st {};
            if (::stat(procPath(file->fd_).c_str(), &st) == 0) return file;
            // No /proc to link it through: a named file will do.
            ::close(file->fd_);
            file->fd_ = -1;
        } else if (!unnamedUnsupported(errno)) {
            error = errno;
            return nullptr;
        }
    }
    const std::string pattern = (folder.empty() ? std::string(".") : folder) + "/.tavrix-XXXXXX";
    file->name_ = std::make_unique<char[]>(pattern.size() + 1);
    std::memcpy(file->name_.get(), pattern.c_str(), pattern.size() + 1);
    {
        SignalsHeld held;
        file->fd_ = mkostemp(file->name_.get(), O_CLOEXEC);
        if (file->fd_ < 0) {
            error = errno;
            file->name_.reset();
            return nullptr;
        }
        file->slot_ = registerName(file->name_.get());
    }
    if (fchmod(file->fd_, mode & ~currentUmask()) != 0) {
        error = errno;
        return nullptr;
    }
    return file;
}

TempFile::~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!name_) return;
    SignalsHeld held;
    ::unlink(name_.get());
    forgetName();
}

// Takes the name out of the table; if a signal handler took it first, the handler may still be
// reading it, and the process is ending anyway: the memory is left to it.
void TempFile::forgetName() {
    if (slot_ >= 0 && gNames[slot_].exchange(nullptr) == nullptr) (void)name_.release();
    name_.reset();
    slot_ = -1;
}

int TempFile::replace(const std::string& path) {
    SignalsHeld held;
    if (name_) {
        if (::rename(name_.get(), path.c_str()) != 0) return errno;
        forgetName();
        return 0;
    }
    // The hidden name lives only while the signals are held, so no signal can leave it behind.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string hidden = hiddenNameBeside(path);
        const int linked = linkUnnamed(fd_, hidden);
        if (linked == EEXIST) continue;
        if (linked != 0) return linked;
        if (::rename(hidden.c_str(), path.c_str()) == 0) return 0;
        const int error = errno;
        ::unlink(hidden.c_str());
        return error;
    }
    return EEXIST;
}

int TempFile::linkNew(const std::string& path) {
    if (!name_) return linkUnnamed(fd_, path);
    SignalsHeld held;
    if (::link(name_.get(), path.c_str()) != 0) {
        // Filesystems without hard links can still rename.
        if (errno == EEXIST || (errno != EPERM && errno != EOPNOTSUPP)) return errno;
        if (::rename(name_.get(), path.c_str()) != 0) return errno;
    } else {
        ::unlink(name_.get());
    }
    forgetName();
    return 0;
}

} // namespace tavrix
