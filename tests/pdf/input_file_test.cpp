// The mapped input when its file changes under the run: a read past a new, shorter end finds
// zeros instead of killing the process, and the file reports the change.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <vector>

#include "engine/pdf/input_file.hpp"
#include "support/test_files.hpp"

using tavrix::InputFile;

namespace {

constexpr size_t kSize = 5 * 4096 + 100;

std::string writeInput(const testpdf::TempDir& dir, const char* name = "in.pdf") {
    const std::string path = dir.file(name);
    testpdf::writeFile(path, std::string(kSize, 'x'));
    return path;
}

} // namespace

TEST(InputFile, ChangesUnderTheRunAreSeen) {
    testpdf::TempDir dir;
    struct Case {
        const char* name;
        void (*change)(const std::string& path);
        bool readsZeros; // a read past the new end
    };
    const Case cases[] = {
        {"cut short", [](const std::string& p) { ASSERT_EQ(truncate(p.c_str(), 100), 0); }, true},
        {"grown", [](const std::string& p) { ASSERT_EQ(truncate(p.c_str(), kSize + 1), 0); },
         false},
        {"rewritten in place",
         [](const std::string& p) {
             const int fd = open(p.c_str(), O_WRONLY);
             ASSERT_EQ(pwrite(fd, "y", 1, 9000), 1);
             close(fd);
         },
         false},
        {"untouched", [](const std::string&) {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = writeInput(dir);
        // An old time, so that a change within the clock's tick still shows.
        const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
        const std::shared_ptr<InputFile> file = InputFile::open(path);
        EXPECT_EQ(file->data()[3 * 4096], 'x');
        EXPECT_FALSE(file->changed());
        c.change(path);
        file->dropResidentPages();
        EXPECT_EQ(file->data()[3 * 4096], c.readsZeros ? 0 : 'x');
        EXPECT_EQ(file->data()[kSize - 1], c.readsZeros ? 0 : 'x');
        EXPECT_EQ(file->changed(), std::string(c.name) != "untouched");
    }
}

// Beyond the process-wide table of guarded mappings, files are read into memory: still whole.
TEST(InputFile, ManyOpenAtOnceAreAllReadable) {
    testpdf::TempDir dir;
    const std::string path = writeInput(dir);
    std::vector<std::shared_ptr<InputFile>> files;
    for (int i = 0; i < 300; ++i)
        files.push_back(InputFile::open(path));
    for (const auto& f : files) {
        ASSERT_EQ(f->size(), kSize);
        EXPECT_EQ(f->data()[kSize - 1], 'x');
    }
    ASSERT_EQ(truncate(path.c_str(), 100), 0);
    for (const auto& f : files)
        EXPECT_TRUE(f->changed());
}

// A fault in memory that is not an input's still ends the process as before: by the signal, or
// through a sanitizer's report (exit status 1) when the handler found was a sanitizer's.
TEST(InputFileDeathTest, FaultsOutsideTheInputsStillKill) {
    testpdf::TempDir dir;
    const std::string mine = writeInput(dir), other = writeInput(dir, "other");
    const auto endedByTheFault = [](int status) {
        return (WIFSIGNALED(status) && WTERMSIG(status) == SIGBUS) ||
               (WIFEXITED(status) && WEXITSTATUS(status) == 1);
    };
    EXPECT_EXIT(
        {
            const auto file = InputFile::open(mine); // installs the engine's handler
            const int fd = open(other.c_str(), O_RDONLY);
            auto* bytes =
                static_cast<volatile char*>(mmap(nullptr, kSize, PROT_READ, MAP_SHARED, fd, 0));
            if (truncate(other.c_str(), 0) != 0) std::exit(2);
            std::exit(bytes[3 * 4096] == 0 ? 3 : 4);
        },
        endedByTheFault, "");
}
