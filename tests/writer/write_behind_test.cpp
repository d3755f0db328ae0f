// An output is written on a thread of its own: whatever mix of small pieces, large pieces and
// stretches of another file a run writes, the file holds them in the order they were given, and
// a write that fails, or a stretch whose file was cut short, fails the run with its cause.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <random>
#include <system_error>
#include <thread>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/writer/output_file.hpp"
#include "support/test_files.hpp"

namespace {

using tavrix::CPdfException;
using tavrix::OutputFile;
using testpdf::TempDir;

// A source file of random bytes with a hole of `hole` bytes in the middle.
struct Source {
    std::string bytes;
    int fd = -1;
    Source(const std::string& path, size_t head, size_t hole, size_t tail) {
        std::mt19937 random(7);
        std::string h(head, '\0'), t(tail, '\0');
        for (char& c : h)
            c = static_cast<char>(random());
        for (char& c : t)
            c = static_cast<char>(random());
        testpdf::writeFile(path, h);
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        EXPECT_EQ(::pwrite(fd, t.data(), t.size(), static_cast<off_t>(head + hole)),
                  static_cast<ssize_t>(t.size()));
        bytes = h + std::string(hole, '\0') + t;
    }
    ~Source() { ::close(fd); }
};

// Writes a seeded mix of every kind of piece; returns what the file must hold. It opens with
// enough to start the writing thread, a small stretch handed over alone, then a copy: where the
// kernel cannot copy, the copy passes through the buffer the stretch was read into.
std::string writeMix(OutputFile& out, const Source& src, unsigned seed) {
    std::mt19937 random(seed);
    std::string expected;
    constexpr size_t kOpening[][2] = {{200 << 10, 0}, {100 << 10, 0}, {5 << 10, 1}, {100 << 10, 2}};
    for (int i = 0; i < 300; ++i) {
        const bool opening = i < 4;
        const size_t size =
            opening ? kOpening[i][0]
                    : std::uniform_int_distribution<size_t>(
                          0, i % 7 == 0 ? (size_t{700} << 10) : (size_t{20} << 10))(random);
        const size_t at = std::uniform_int_distribution<size_t>(0, src.bytes.size() - size)(random);
        const std::string_view piece = std::string_view(src.bytes).substr(at, size);
        switch (opening ? kOpening[i][1] : random() % 3) {
        case 0:
            out.write(piece);
            break;
        case 1:
            out.writeFromFile(src.fd, static_cast<int64_t>(at), piece);
            break;
        default:
            out.copyFrom(src.fd, static_cast<int64_t>(at), static_cast<int64_t>(size));
        }
        expected += piece;
        EXPECT_EQ(out.position(), static_cast<int64_t>(expected.size()));
    }
    return expected;
}

TEST(WriteBehind, EveryKindOfPieceLandsInTheOrderGiven) {
    TempDir dir;
    const Source src(dir.file("source"), size_t{900} << 10, size_t{1} << 20, size_t{600} << 10);
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        const std::string path = dir.file("out" + std::to_string(seed));
        std::string expected;
        {
            OutputFile out(path);
            expected = writeMix(out, src, seed);
            out.commit();
        }
        EXPECT_TRUE(testpdf::readFile(path) == expected);
    }
    // Through a FIFO: no holes can be left there, and the kernel cannot copy into it.
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] {
        const int fd = ::open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
        char block[65536];
        for (ssize_t n; (n = ::read(fd, block, sizeof block)) > 0;)
            received.append(block, n);
        ::close(fd);
    });
    std::string expected;
    {
        OutputFile out(fifo);
        EXPECT_EQ(out.route(), OutputFile::Route::Direct);
        expected = writeMix(out, src, 4);
        out.commit();
    }
    reader.join();
    EXPECT_TRUE(received == expected);
}

// A host's signal handler that does not restart calls (as hosts install them) breaks a write to a
// slow reader off part-way: the write goes on from where it stopped.
TEST(WriteBehind, AWriteBrokenOffByASignalGoesOnWhereItStopped) {
    TempDir dir;
    const Source src(dir.file("source"), size_t{900} << 10, 0, 0);
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct sigaction tick {
    }, previous{};
    tick.sa_handler = [](int) {};
    ASSERT_EQ(::sigaction(SIGALRM, &tick, &previous), 0); // no SA_RESTART
    const itimerval often{{0, 500}, {0, 500}}, never{};
    std::string received;
    std::thread reader([&] {
        sigset_t alarm;
        sigemptyset(&alarm);
        sigaddset(&alarm, SIGALRM);
        pthread_sigmask(SIG_BLOCK, &alarm, nullptr);
        const int fd = ::open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
        char block[4096];
        for (ssize_t n; (n = ::read(fd, block, sizeof block)) > 0;) {
            received.append(block, static_cast<size_t>(n));
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
        ::close(fd);
    });
    std::string expected;
    {
        OutputFile out(fifo); // the FIFO opens once the reader comes: then the signals start
        EXPECT_EQ(::setitimer(ITIMER_REAL, &often, nullptr), 0);
        expected = writeMix(out, src, 6);
        out.commit();
    }
    reader.join();
    ::setitimer(ITIMER_REAL, &never, nullptr);
    ::sigaction(SIGALRM, &previous, nullptr);
    EXPECT_TRUE(received == expected);
}

// Run in a child: becomes a user who may start no thread, and writes there. 0: the file holds
// what was written; 2: a thread could still be started, so nothing was tested.
int writeWithoutThreads(const Source& src, const std::string& path) {
    constexpr uid_t kNobody = 65534;
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) return 3;
    const rlimit one{1, 1};
    if (::setrlimit(RLIMIT_NPROC, &one) != 0) return 3;
    try {
        std::thread([] {}).join();
        return 2;
    } catch (const std::system_error&) {
    }
    OutputFile out(path);
    const std::string expected = writeMix(out, src, 5);
    out.commit();
    return testpdf::readFile(path) == expected ? 0 : 1;
}

// A host that can start no more threads still gets its output, written as the run goes.
TEST(WriteBehindDeathTest, AHostAtItsThreadLimitStillGetsItsOutput) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become a user with a process limit";
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    const Source src(dir.file("source"), size_t{900} << 10, size_t{1} << 20, size_t{600} << 10);
    EXPECT_EXIT(std::_Exit(writeWithoutThreads(src, dir.file("out"))), ::testing::ExitedWithCode(0),
                "");
}

// The failure surfaces with its cause at the latest when the result is put in place, and the
// run never waits on a writer that has stopped.
TEST(WriteBehind, AWriteThatFailsFailsTheRunWithItsCause) {
    TempDir dir;
    const Source src(dir.file("source"), size_t{3} << 20, 0, 0);
    for (const bool copied : {false, true}) {
        SCOPED_TRACE(copied ? "copied by the kernel" : "written from the buffer");
        try {
            OutputFile out("/dev/full");
            for (int i = 0; i < 20; ++i) {
                if (copied)
                    out.copyFrom(src.fd, 0, static_cast<int64_t>(src.bytes.size()));
                else
                    out.write(std::string_view(src.bytes).substr(0, size_t{100} << 10));
            }
            out.commit();
            ADD_FAILURE() << "a write to a full device succeeded";
        } catch (const CPdfException& e) {
            EXPECT_STREQ(e.getMessage(), "Can't write output file");
            EXPECT_NE(e.reason().find("No space left on device"), std::string::npos) << e.reason();
        }
    }
}

TEST(WriteBehind, AStretchOfAFileCutShortFailsTheRunAndLeavesNoOutput) {
    TempDir dir;
    const Source src(dir.file("source"), size_t{1} << 20, 0, 0);
    const std::string path = dir.file("out.pdf");
    try {
        OutputFile out(path);
        out.write("%PDF-1.7\n");
        out.copyFrom(src.fd, 0, static_cast<int64_t>(src.bytes.size()) + 1);
        out.write(std::string(size_t{600} << 10, 'x'));
        out.commit();
        ADD_FAILURE() << "a copy past the end of its file succeeded";
    } catch (const CPdfException& e) {
        EXPECT_STREQ(e.getMessage(), "Input file changed");
    }
    EXPECT_FALSE(testpdf::fileExists(path));
    EXPECT_TRUE(testpdf::tempFilesIn(dir.path()).empty());
}

} // namespace
