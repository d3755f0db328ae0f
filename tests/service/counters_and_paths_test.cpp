// The export counter moves only when a run has put its output in place, and never holds a
// partial number; paths that name no file (a folder, a device, a name with a NUL) fail as files
// that cannot be opened; the rename step's failure is reported and never replaces a device.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <atomic>
#include <thread>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/service/stamp_job.hpp"
#include "engine/service/tavrix_com.hpp"
#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"
#include "tavrix/members.hpp"
#include "writer/stamp_run.hpp"

using namespace testpdf;
namespace fs = std::filesystem;

using stamptest::dispid;
using stamptest::jobFor;
using stamptest::kFailure;

namespace {

std::string writeDocument(const TempDir& dir, const std::string& name, int pages) {
    const std::string path = dir.file(name);
    writeFile(path, simpleDocument(pages).build());
    return path;
}

// A small filesystem of its own, filled to the last byte: a full disk for real. Mounted in a
// mount namespace of this process's own, so that it goes with the process however it ends.
// Not mounted when the process may not do that.
class FullDisk {
  public:
    explicit FullDisk(const std::string& folder) : folder_(folder) {
        fs::create_directories(folder);
        mounted_ = unshare(CLONE_NEWNS) == 0 &&
                   mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                   mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=256k") == 0;
    }
    ~FullDisk() {
        if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    void fill() {
        std::FILE* f = std::fopen((folder_ + "/filler").c_str(), "wb");
        const std::string block(4096, 'f');
        while (std::fwrite(block.data(), 1, block.size(), f) == block.size() && std::fflush(f) == 0)
            ;
        std::fclose(f);
    }

  private:
    std::string folder_;
    bool mounted_ = false;
};

using Outcome = stamptest::JobOutcome;
using stamptest::runJob;

} // namespace

// The import file's leading number, sign and all, replaces the start number; text that is no
// number counts as 0.
TEST(ImportCounter, LeadingSignedNumberIsTheStartNumber) {
    TempDir dir;
    const std::string in = writeDocument(dir, "in.pdf", 8);
    const struct {
        const char* contents;
        const char* next; // exported after eight pages
    } cases[] = {{"41", "49"}, {" \n-5 apples", "3"},       {"+7", "15"}, {"x12", "8"},
                 {"", "8"},    {"1234567890", "1234567898"}}; // ten digits are read
    for (const auto& c : cases) {
        writeFile(dir.file("import"), c.contents);
        tavrix::StampJob job = jobFor(in, dir.file("out.pdf"));
        job.settings.importit = dir.file("import");
        job.settings.exportit = dir.file("export");
        EXPECT_EQ(runJob(job).reason, "") << c.contents;
        EXPECT_EQ(readFile(dir.file("export")), c.next) << c.contents;
    }
}

// A run that fails, early or late, leaves the counter as it was; one that succeeds replaces it
// whole and keeps its mode.
TEST(ExportCounter, MovesOnlyWhenTheOutputIsInPlace) {
    TempDir dir;
    const std::string in = writeDocument(dir, "in.pdf", 4);
    fs::create_directory(dir.file("folder.pdf"));
    FullDisk disk(dir.file("full"));
    struct Case {
        const char* name;
        std::string output, counter;
        int64_t offsetLimit;
        const char* reason; // the failure's reason holds this; empty: the run succeeds
        bool needsFullDisk;
    };
    const Case cases[] = {
        {"output names a folder", dir.file("folder.pdf"), dir.file("counter"),
         tavrix::kMaxXrefOffset, "Is a directory", false},
        // Fails at the cross-reference table, after every page was stamped.
        {"output too large", dir.file("o1.pdf"), dir.file("counter"), 1000, "too large", false},
        {"counter on a full disk", dir.file("o2.pdf"), dir.file("full/counter"),
         tavrix::kMaxXrefOffset, "No space left on device", true},
        {"output on a full disk", dir.file("full/o3.pdf"), dir.file("counter"),
         tavrix::kMaxXrefOffset, "No space left on device", true},
        {"success", dir.file("o4.pdf"), dir.file("counter"), tavrix::kMaxXrefOffset, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsFullDisk && !disk.mounted()) {
            std::printf("skipped '%s': cannot mount a small filesystem here\n", c.name);
            continue;
        }
        writeFile(c.counter, "5");
        ASSERT_EQ(chmod(c.counter.c_str(), 0640), 0);
        if (c.needsFullDisk) disk.fill();
        tavrix::StampJob job = jobFor(in, c.output);
        job.offsetLimit = c.offsetLimit;
        job.settings.importit = job.settings.exportit = c.counter;
        const Outcome o = runJob(job);
        struct stat st {};
        ASSERT_EQ(stat(c.counter.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
        if (*c.reason == '\0') {
            EXPECT_EQ(o.message, "");
            EXPECT_EQ(readFile(c.counter), "9");
            EXPECT_TRUE(qpdfCheck(c.output));
            continue;
        }
        EXPECT_EQ(o.message, kFailure);
        EXPECT_NE(o.reason.find(c.reason), std::string::npos) << o.reason;
        EXPECT_EQ(readFile(c.counter), "5");
        EXPECT_FALSE(fs::is_regular_file(c.output));
        for (const std::string& folder : {dir.file(""), dir.file("full")})
            EXPECT_TRUE(!fs::exists(folder) || tempFilesIn(folder).empty()) << folder;
        if (c.needsFullDisk) fs::remove(dir.file("full/filler"));
    }
    // A counter read through a FIFO hears nothing from a failed run.
    const std::string fifo = dir.file("counter.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const int64_t limit : {int64_t{1000}, tavrix::kMaxXrefOffset}) {
        std::string heard = "nothing";
        std::thread reader([&] { heard = readFile(fifo); });
        tavrix::StampJob job = jobFor(in, dir.file("o5.pdf"));
        job.offsetLimit = limit;
        job.settings.exportit = fifo;
        const Outcome o = runJob(job);
        // A run that never opened it leaves the reader waiting for a writer: be one, once the
        // reader is there (until then the open fails).
        for (int fd = -1; !o.message.empty() && fd < 0; std::this_thread::yield()) {
            fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) close(fd);
        }
        reader.join();
        EXPECT_EQ(heard, o.message.empty() ? "5" : "") << o.reason;
    }
}

// Where a file is opened by name, only a regular file or a FIFO is read: a folder fails as a file
// that cannot be opened would (and a fonts file that cannot be opened is passed over in silence).
TEST(Paths, FoldersAndDevicesAreNotFiles) {
    TempDir dir;
    const std::string in = writeDocument(dir, "in.pdf", 2), out = dir.file("out.pdf");
    fs::create_directory(dir.file("folder.txt"));
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(mknod(dir.file("zero").c_str(), S_IFCHR | 0666, makedev(1, 5)), 0);
    }
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        const char* shown; // the stamped text when the run succeeds, else the reason's end
        bool needsRoot;
    };
    const Case cases[] = {
        {"folder as import file",
         {"--importit", dir.file("folder.txt"), in, out},
         1,
         "folder.txt': Is a directory\n",
         false},
        {"device as import file",
         {"--importit", dir.file("zero"), in, out},
         1,
         "zero': not a regular file\n",
         true},
        {"folder as fonts file",
         {"--fontfile", dir.file("folder.txt"), in, out},
         0,
         "Page 1 / 2",
         false},
        {"folder as file list",
         {dir.file("folder.txt"), "-f" + dir.path().string()},
         1,
         "folder.txt': it is a folder, not a PDF file\n",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsRoot && !root) continue;
        fs::remove(out);
        const CommandResult r = runTavrix(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        // Nothing beyond the progress lines: no fonts-file lines for a folder.
        EXPECT_EQ(r.out.find("font"), std::string::npos) << r.out;
        if (c.exitCode == 0) {
            EXPECT_TRUE(stamptest::shows(out, 1, c.shown));
        } else {
            EXPECT_TRUE(r.err.starts_with(std::string(kFailure) + "tavrix: cannot open '"));
            EXPECT_TRUE(r.err.ends_with(c.shown)) << r.err;
            EXPECT_FALSE(fileExists(out));
        }
    }
    // A FIFO is read like a file.
    ASSERT_EQ(mkfifo(dir.file("number").c_str(), 0600), 0);
    std::atomic<bool> written{false};
    std::thread writer([&] {
        writeFile(dir.file("number"), "41");
        written = true;
    });
    const CommandResult r = runTavrix({"--importit", dir.file("number"), in, out});
    // Should the run not have read it, a reader here lets the writer finish.
    const int drain = open(dir.file("number").c_str(), O_RDONLY | O_NONBLOCK);
    while (!written)
        std::this_thread::yield();
    close(drain);
    writer.join();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(stamptest::shows(out, 2, "Page 42 / 2"));
}

// An automation client can pass a path with a NUL inside ("real.pdf\0.txt"); the system would
// see only the part before it. Such a job fails before it opens or writes anything.
TEST(Paths, ANulInAPathFailsTheJob) {
    TempDir dir;
    const std::string real = writeDocument(dir, "real.pdf", 1);
    const std::string out = dir.file("out.pdf");
    const std::string nul(1, '\0');
    struct Case {
        const char* name;
        std::string input, output, importit, exportit;
    };
    const Case cases[] = {
        {"input judged a list by its whole text", real + nul + ".txt", "-f" + dir.path().string(),
         "", ""},
        {"input", real + nul + "x", out, "", ""},
        {"output", real, out + nul + "x", "", ""},
        {"import file", real, out, dir.file("n") + nul + "x", ""},
        {"export file", real, out, "", dir.file("n") + nul + "x"},
    };
    writeFile(dir.file("n"), "7");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tavrix::TavrixCom engine;
        engine.putText(dispid("importit"), c.importit);
        engine.putText(dispid("exportit"), c.exportit);
        EXPECT_EQ(engine.getTavrixFile(c.input, c.output, ""), kFailure);
        EXPECT_FALSE(fileExists(out));
        EXPECT_EQ(readFile(dir.file("n")), "7");
    }
    EXPECT_NE(runJob(real, out + nul + "x").reason.find("NUL character after '" + out + "'"),
              std::string::npos);
}

// The rename step reports its failure on standard output and the job still succeeds; it never
// moves a device, nor the output over one.
TEST(Rename, FailureIsReportedAndDevicesAreLeftAlone) {
    TempDir dir;
    const std::string in = writeDocument(dir, "in.pdf", 2), out = dir.file("out.pdf");
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(mknod(dir.file("null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    }
    struct Case {
        const char* name;
        std::string output, pattern, target;
        bool needsRoot;
    };
    const Case cases[] = {
        {"missing folder", out, "no/such/[FILETITLE].pdf", dir.file("no/such/out.pdf"), false},
        {"device at the new name", out, "null", dir.file("null"), true},
        {"output is a device", dir.file("null"), "moved.pdf", dir.file("moved.pdf"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsRoot && !root) continue;
        const CommandResult r = runTavrix({"--renameoutput", c.pattern, in, c.output});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(r.out.ends_with("\nRenaming output file: '" + c.output + "' to '" + c.target +
                                    "'\nUnable to rename file, check permissions, file naming\n"))
            << r.out;
        if (c.output == out) {
            EXPECT_TRUE(qpdfCheck(out));
        }
    }
    if (root) {
        EXPECT_TRUE(fs::is_character_file(dir.file("null")));
        EXPECT_FALSE(fs::exists(dir.file("moved.pdf")));
    }
}
