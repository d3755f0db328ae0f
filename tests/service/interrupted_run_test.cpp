// Runs that do not end normally: killed by a signal, or their input cut short under them. No
// temporary file may outlive the process, and the process hosting the engine must survive an
// input that changes while it is read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/service/stamp_job.hpp"
#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"
#include "writer/stamp_run.hpp"

using namespace testpdf;
namespace fs = std::filesystem;

namespace {

// Large enough that a run takes a good while after its output file exists: pages with content
// streams of 48 KiB each (about 60 MB in all).
std::string writeLargeDocument(const TempDir& dir, int pages = 1200) {
    PdfBuilder b = simpleDocument(pages);
    const std::string filler(48 * 1024, ' ');
    for (int k = 0; k < pages; ++k) {
        b.base().objects[3 + pages + k] = streamBody(
            "", "BT /F1 24 Tf 72 700 Td (Hello " + std::to_string(k + 1) + ") Tj ET\n%" + filler);
    }
    const std::string path = dir.file("large.pdf");
    writeFile(path, b.build());
    return path;
}

template <typename Condition> bool waitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// The signal that ended the process, or 0 when it exited.
int waitForSignal(pid_t pid, int* exitCode = nullptr) {
    int status = 0;
    waitpid(pid, &status, 0);
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

} // namespace

// A user's Ctrl-C, a logout, a shutdown, a kill -9: the command-line client leaves nothing behind,
// whatever the signal.
TEST(InterruptedRun, CommandLineKilledMidRunLeavesNoFile) {
    TempDir dir;
    const std::string in = writeLargeDocument(dir);
    fs::create_directory(dir.file("tmp"));
    for (const int sig : {SIGKILL, SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(sig));
        const std::string out = dir.file("out.pdf"), progress = dir.file("progress");
        const pid_t pid = startTavrix({in, out}, progress, {"TMPDIR=" + dir.file("tmp")});
        ASSERT_GT(pid, 0);
        // A dot: the copy is under way, its output half written.
        ASSERT_TRUE(
            waitFor([&] { return readFile(progress).find("Processing.") != std::string::npos; }));
        kill(pid, sig);
        EXPECT_EQ(waitForSignal(pid), sig) << "the run ended before the signal came";
        EXPECT_EQ(tempFilesIn(dir.path()), std::vector<std::string>{});
        EXPECT_TRUE(fs::is_empty(dir.file("tmp")));
        EXPECT_FALSE(fileExists(out));
    }
}

// Where the filesystem has no unnamed files, the temporary file has a name; the engine's own
// handlers remove it on the signals a process can catch, and the process still ends by the
// signal. A host that ignores a signal keeps it ignored.
TEST(InterruptedRun, NamedTemporaryFileIsRemovedOnCatchableSignals) {
    TempDir dir;
    const std::string in = writeLargeDocument(dir);
    struct Case {
        int sig;
        bool hostIgnores;
    };
    for (const Case c :
         {Case{SIGTERM, false}, Case{SIGINT, false}, Case{SIGHUP, false}, Case{SIGHUP, true}}) {
        SCOPED_TRACE(std::string(strsignal(c.sig)) +
                     (c.hostIgnores ? ", ignored by the host" : ""));
        const std::string out = dir.file("out.pdf");
        std::filesystem::remove(out);
        const pid_t pid = fork();
        if (pid == 0) {
            const int devNull = open("/dev/null", O_WRONLY);
            dup2(devNull, 1);
            // Otherwise the disposition stays as this process has it: the default, or the
            // engine's handler if an earlier test in this process installed it.
            if (c.hostIgnores) signal(c.sig, SIG_IGN);
            tavrix::StampJob job = stamptest::jobFor(in, out);
            job.outputOptions.unnamedTemp = false;
            try {
                tavrix::stampFile(job);
            } catch (...) {
                _exit(1);
            }
            _exit(0);
        }
        ASSERT_TRUE(waitFor([&] { return !tempFilesIn(dir.path()).empty(); }));
        kill(pid, c.sig);
        int exitCode = -1;
        const int ended = waitForSignal(pid, &exitCode);
        EXPECT_EQ(tempFilesIn(dir.path()), std::vector<std::string>{});
        if (c.hostIgnores) {
            EXPECT_EQ(ended, 0);
            EXPECT_EQ(exitCode, 0);
            EXPECT_TRUE(qpdfCheck(out));
        } else {
            EXPECT_EQ(ended, c.sig) << "the run ended before the signal came";
            EXPECT_FALSE(fileExists(out));
        }
    }
}

// The input is cut short while the run reads it. The output is a FIFO, so the run waits on its
// reader, which truncates the input halfway through: the run must fail with the reason, not kill
// the process that hosts it with SIGBUS.
TEST(InterruptedRun, InputCutShortDuringTheRunFailsWithAReason) {
    TempDir dir;
    const std::string in = writeLargeDocument(dir, 300);
    const std::string original = readFile(in);
    const std::string fifo = dir.file("out.fifo");
    auto cutWhileReading = [&] {
        return std::thread([&] {
            const int fd = open(fifo.c_str(), O_RDONLY);
            char buffer[65536];
            size_t total = 0;
            bool cut = false;
            for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
                total += static_cast<size_t>(n);
                if (!cut && total > (1u << 20)) {
                    cut = truncate(in.c_str(), static_cast<off_t>(original.size() / 3)) == 0;
                }
            }
            close(fd);
        });
    };
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    // In this process, through the engine's own entry.
    std::thread reader = cutWhileReading();
    const std::string reason = stamptest::runJob(in, fifo).reason;
    reader.join();
    const std::string expected = "'" + in + "' changed while it was being stamped; run again";
    EXPECT_EQ(reason, expected);

    // Through the command-line client, as a user would meet it.
    writeFile(in, original);
    reader = cutWhileReading();
    const CommandResult r = runTavrix({in, fifo});
    reader.join();
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err, "Stamp file issue\r\ntavrix: " + expected + "\n");
}
