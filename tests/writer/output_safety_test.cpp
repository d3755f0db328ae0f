// What an output path carries survives a run: the mode, owner, group, links and attributes of an
// existing file, the link that leads to it, a device or FIFO standing at the path. A failed run
// leaves every file as it was and no temporary file behind; a committed one changes only the
// bytes of the file written. Checked as root and as an ordinary user, with unnamed and named
// temporary files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/writer/output_file.hpp"
#include "support/test_files.hpp"

namespace {

namespace fs = std::filesystem;
using tavrix::OutputFile;
using Route = OutputFile::Route;
using testpdf::TempDir;

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;
const std::string kResult = "%PDF-1.4 the finished result\n";

// Everything a path in the test folder carries that a run must keep.
struct Entry {
    mode_t type = 0, perms = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    nlink_t links = 0;
    dev_t device = 0;
    std::string linkTarget, bytes, xattrs;
    bool operator==(const Entry&) const = default;
};
using Snapshot = std::map<std::string, Entry>;

std::string xattrsOf(const std::string& path) {
    std::string names(4096, '\0'), all;
    const ssize_t n = llistxattr(path.c_str(), names.data(), names.size());
    for (ssize_t at = 0; at < n; at += static_cast<ssize_t>(std::strlen(names.data() + at)) + 1) {
        std::string value(4096, '\0');
        const ssize_t v = lgetxattr(path.c_str(), names.data() + at, value.data(), value.size());
        all +=
            std::string(names.data() + at) + "=" + value.substr(0, std::max<ssize_t>(v, 0)) + ";";
    }
    return all;
}

Snapshot snapshot(const fs::path& folder) {
    Snapshot result;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        const std::string path = item.path().string();
        struct stat st {};
        lstat(path.c_str(), &st);
        Entry e;
        e.type = st.st_mode & S_IFMT;
        e.perms = st.st_mode & 07777;
        e.uid = st.st_uid;
        e.gid = st.st_gid;
        e.links = st.st_nlink;
        e.device = st.st_rdev;
        if (S_ISLNK(st.st_mode)) e.linkTarget = fs::read_symlink(item.path()).string();
        if (S_ISREG(st.st_mode)) e.bytes = testpdf::readFile(path);
        if (S_ISREG(st.st_mode)) e.xattrs = xattrsOf(path);
        result[item.path().lexically_relative(folder).string()] = e;
    }
    return result;
}

std::string describe(const Snapshot& s) {
    std::ostringstream out;
    for (const auto& [name, e] : s)
        out << name << ": type " << std::oct << e.type << " mode " << e.perms << std::dec
            << " owner " << e.uid << ":" << e.gid << " links " << e.links << " -> " << e.linkTarget
            << " [" << e.bytes << "] " << e.xattrs << "\n";
    return out.str();
}

struct Outcome {
    std::optional<Route> route; // unset when the file could not be made
    std::string reason;         // of the failure, if any
};

// Writes kResult to `path` and commits it (or discards it, as a failed run would).
Outcome writeOutput(const std::string& path, const tavrix::OutputOptions& options, bool commit) {
    Outcome outcome;
    try {
        OutputFile out(path, options);
        outcome.route = out.route();
        out.write(kResult);
        if (commit)
            out.commit();
        else
            out.discard();
    } catch (const tavrix::CPdfException& e) {
        outcome.reason = e.reason().empty() ? e.getMessage() : e.reason();
    }
    return outcome;
}

// The same, in a child process that runs as `nobody`.
Outcome writeOutputAsNobody(const std::string& path, const tavrix::OutputOptions& options,
                            bool commit) {
    int channel[2];
    if (pipe(channel) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        if (setgroups(0, nullptr) != 0 || setgid(kNogroup) != 0 || setuid(kNobody) != 0) _exit(2);
        const Outcome o = writeOutput(path, options, commit);
        const std::string text =
            (o.route ? std::to_string(static_cast<int>(*o.route)) : "-") + "\n" + o.reason;
        if (write(channel[1], text.data(), text.size()) < 0) _exit(3);
        _exit(0);
    }
    close(channel[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    Outcome o;
    const size_t eol = text.find('\n');
    if (eol == std::string::npos) return {std::nullopt, "the child failed"};
    if (text[0] != '-') o.route = static_cast<Route>(std::stoi(text.substr(0, eol)));
    o.reason = text.substr(eol + 1);
    return o;
}

struct Case {
    const char* name;
    // Makes the folder's files; the output path is "out" in it.
    std::function<void(const TempDir&)> setup;
    std::optional<Route> route; // unset: the output cannot be made
    const char* reason;         // when it cannot: the end of the reason
    // Files whose bytes a commit replaces (a new file among them is created).
    std::vector<std::string> written;
};

void makeFile(const std::string& path, mode_t mode, uid_t uid = 0, gid_t gid = 0) {
    // Longer than the result, so that a result written in place must also cut the file.
    testpdf::writeFile(path, "old bytes of " + fs::path(path).filename().string() +
                                 ", more of them than the result has\n");
    ASSERT_EQ(chown(path.c_str(), uid, gid), 0);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

void makeFolder(const std::string& path, mode_t mode, uid_t uid = 0) {
    fs::create_directories(path);
    ASSERT_EQ(chown(path.c_str(), uid, kNogroup), 0);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

// Runs each case twice from the same setup: discarded, then committed. The discarded run must
// leave the folder exactly as it was; the committed one may change only the written files' bytes
// (and add a written file that did not exist, with the mode a new file gets), as root or nobody.
void runCases(const std::vector<Case>& cases, bool unnamed, bool asNobody) {
    const mode_t previousUmask = umask(027);
    for (const Case& c : cases) {
        for (const bool commit : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (commit ? ", committed" : ", discarded") +
                         (unnamed ? "" : ", named temporary file"));
            TempDir dir;
            fs::permissions(dir.path(), fs::perms(0755));
            const fs::path root = dir.path() / "w";
            makeFolder(root.string(), 0755);
            c.setup(dir);
            const Snapshot before = snapshot(root);
            tavrix::OutputOptions options;
            options.unnamedTemp = unnamed;
            options.stagingFolder = dir.file("staging");
            makeFolder(options.stagingFolder, 0777);
            std::optional<std::string> fromFifo;
            std::thread reader;
            if (c.name == std::string("FIFO")) {
                reader =
                    std::thread([&] { fromFifo = testpdf::readFile((root / "out").string()); });
            }
            const std::string out = (root / "out").string();
            const Outcome o = asNobody ? writeOutputAsNobody(out, options, commit)
                                       : writeOutput(out, options, commit);
            if (reader.joinable()) reader.join();
            EXPECT_EQ(o.route, c.route) << o.reason;
            Snapshot expected = before;
            if (!c.route || !commit) {
                if (!c.route) {
                    EXPECT_TRUE(o.reason.ends_with(c.reason)) << o.reason;
                    EXPECT_TRUE(o.reason.starts_with("cannot write '" + out + "'")) << o.reason;
                }
                EXPECT_EQ(describe(snapshot(root)), describe(expected));
                EXPECT_EQ(fs::is_empty(options.stagingFolder), true);
                continue;
            }
            if (*c.route == Route::Direct && c.reason[0] != '\0') {
                EXPECT_TRUE(o.reason.ends_with(c.reason)) << o.reason;
            } else {
                EXPECT_EQ(o.reason, "");
            }
            for (const std::string& name : c.written) {
                if (!expected.count(name)) {
                    Entry& e = expected[name];
                    e.type = S_IFREG;
                    e.perms = 0640;
                    e.links = 1;
                    e.uid = asNobody ? kNobody : 0;
                    e.gid = asNobody ? kNogroup : 0;
                }
                expected[name].bytes = kResult;
            }
            // A file written in place keeps its inode; a replaced one gets a new one, which
            // the snapshot does not compare.
            EXPECT_EQ(describe(snapshot(root)), describe(expected));
            if (fromFifo) {
                EXPECT_EQ(*fromFifo, kResult);
            }
            EXPECT_TRUE(fs::is_empty(options.stagingFolder));
        }
    }
    umask(previousUmask);
}

// Setup that puts a file at the output path, first giving the folder to `folderOwner` if set.
std::function<void(const TempDir&)> outFile(mode_t mode, uid_t uid = 0, gid_t gid = 0,
                                            std::optional<uid_t> folderOwner = {}) {
    return [=](const TempDir& d) {
        if (folderOwner) makeFolder(d.file("w"), 0755, *folderOwner);
        makeFile(d.file("w/out"), mode, uid, gid);
    };
}

std::function<void(const TempDir&)> outDevice(dev_t device) {
    return [=](const TempDir& d) {
        ASSERT_EQ(mknod(d.file("w/out").c_str(), S_IFCHR | 0666, device), 0);
    };
}

const std::vector<Case>& rootCases() {
    static const std::vector<Case> cases{
        {"new file", [](const TempDir&) {}, Route::Create, "", {"out"}},
        {"another user's 0600 file", outFile(0600, kNobody, kNogroup), Route::Replace, "", {"out"}},
        // Root may write a read-only file, as opening it with "wb" would find.
        {"read-only file", outFile(0444), Route::Replace, "", {"out"}},
        {"set-user-ID file", outFile(04751, 1, 1), Route::Replace, "", {"out"}},
        {"extended attribute",
         [](const TempDir& d) {
             makeFile(d.file("w/out"), 0640);
             setxattr(d.file("w/out").c_str(), "user.origin", "scanner", 7, 0);
         },
         Route::Replace,
         "",
         {"out"}},
        {"symlink chain",
         [](const TempDir& d) {
             makeFolder(d.file("w/sub"), 0755);
             makeFile(d.file("w/sub/real.pdf"), 0640, kNobody);
             fs::create_symlink("sub/hop", d.file("w/out"));
             fs::create_symlink("real.pdf", d.file("w/sub/hop"));
         },
         Route::Replace,
         "",
         {"sub/real.pdf"}},
        {"dangling symlink",
         [](const TempDir& d) {
             makeFolder(d.file("w/sub"), 0755);
             fs::create_symlink("sub/made.pdf", d.file("w/out"));
         },
         Route::Create,
         "",
         {"sub/made.pdf"}},
        {"hard link",
         [](const TempDir& d) {
             makeFile(d.file("w/out"), 0600);
             fs::create_hard_link(d.file("w/out"), d.file("w/other"));
         },
         Route::Overwrite,
         "",
         {"out", "other"}},
        {"FIFO",
         [](const TempDir& d) { ASSERT_EQ(mkfifo(d.file("w/out").c_str(), 0640), 0); },
         Route::Direct,
         "",
         {}},
        {"private null device", outDevice(makedev(1, 3)), Route::Direct, "", {}},
        {"private full device",
         outDevice(makedev(1, 7)),
         Route::Direct,
         "No space left on device",
         {}},
        {"folder",
         [](const TempDir& d) { makeFolder(d.file("w/out"), 0755); },
         std::nullopt,
         "Is a directory",
         {}},
        {"missing folder",
         [](const TempDir& d) { fs::create_symlink("no/such", d.file("w/out")); },
         std::nullopt,
         "No such file or directory",
         {}},
    };
    return cases;
}

// An ordinary user: what cannot be kept by a rename is written in place, what cannot be written
// fails before the run.
const std::vector<Case>& userCases() {
    static const std::vector<Case> cases{
        {"own read-only file",
         outFile(0444, kNobody, kNogroup, kNobody),
         std::nullopt,
         "Permission denied",
         {}},
        {"new file in a folder not writable",
         [](const TempDir&) {},
         std::nullopt,
         "Permission denied",
         {}},
        {"own 0600 file", outFile(0600, kNobody, kNogroup, kNobody), Route::Replace, "", {"out"}},
        {"own file in a folder not writable",
         outFile(0640, kNobody, kNogroup),
         Route::Overwrite,
         "",
         {"out"}},
        {"another user's writable file",
         outFile(0666, 0, 0, kNobody),
         Route::Overwrite,
         "",
         {"out"}},
        {"own file of a group the user is not in",
         outFile(0640, kNobody, 0, kNobody),
         Route::Overwrite,
         "",
         {"out"}},
    };
    return cases;
}

TEST(OutputSafety, ExistingPathsKeepWhatTheyCarry) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make files of other users and devices";
    for (const bool unnamed : {true, false}) {
        runCases(rootCases(), unnamed, false);
        runCases(userCases(), unnamed, true);
    }
}

// A file list on several threads prepares an output while an earlier line puts its own output at
// the same path and renames it away: the file that moved on must keep its bytes.
TEST(OutputSafety, AFileThatMovedOnSinceTheRunBeganIsNeverWrittenInto) {
    TempDir dir;
    const std::string path = dir.file("out.pdf"), moved = dir.file("n-1.pdf");
    for (const bool linkedTwice : {false, true}) {
        SCOPED_TRACE(linkedTwice ? "written into" : "replaced");
        testpdf::writeFile(path, "earlier line's output");
        if (linkedTwice) ::link(path.c_str(), dir.file("other-name").c_str());
        OutputFile out(path);
        EXPECT_EQ(out.route(), linkedTwice ? Route::Overwrite : Route::Replace);
        out.write(kResult);
        ASSERT_EQ(::rename(path.c_str(), moved.c_str()), 0);
        out.commit();
        EXPECT_EQ(testpdf::readFile(moved), "earlier line's output");
        EXPECT_EQ(testpdf::readFile(path), kResult);
        ::unlink(moved.c_str());
        ::unlink(path.c_str());
        ::unlink(dir.file("other-name").c_str());
    }
}

// ...and one that moves on in the instant the output opens the path: the path is opened again,
// so that the file that moved never receives the new bytes. An earlier line renames its output
// over and over while this one opens and commits the same path; each earlier file is held open
// (so that no later file takes its place on disk) until many commits later, then read.
TEST(OutputSafety, AFileMovedOnWhileTheOutputOpensIsNeverWrittenInto) {
    TempDir dir;
    const std::string path = dir.file("out.pdf"), staged = dir.file("staged");
    std::atomic<bool> stop{false};
    std::atomic<int> moved{0}, overwritten{0};
    std::thread earlier([&] {
        std::deque<std::pair<int, std::string>> held; // descriptor, bytes written
        const auto check = [&] {
            const auto& [fd, bytes] = held.front();
            std::string now(64, '\0');
            now.resize(static_cast<size_t>(std::max<ssize_t>(::pread(fd, now.data(), 64, 0), 0)));
            if (now != bytes) ++overwritten;
            ::close(fd);
            held.pop_front();
        };
        for (int n = 0; !stop; ++n) {
            const std::string bytes = "earlier " + std::to_string(n);
            testpdf::writeFile(staged, bytes);
            const int fd = ::open(staged.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) continue;
            held.emplace_back(fd, bytes);
            if (::rename(staged.c_str(), path.c_str()) == 0 &&
                ::rename(path.c_str(), dir.file("n.pdf").c_str()) == 0)
                ++moved;
            if (held.size() > 64) check();
        }
        while (!held.empty())
            check();
    });
    for (int k = 0; k < 1500; ++k) {
        try {
            OutputFile out(path);
            out.write(kResult);
            out.commit();
        } catch (const tavrix::CPdfException&) {
            // A commit that loses a race to the other writer may fail; it must not write elsewhere.
        }
    }
    stop = true;
    earlier.join();
    EXPECT_GT(moved, 0);
    EXPECT_EQ(overwritten, 0);
}

// What stands at the path when the run ends is what counts: a file that appeared meanwhile is
// replaced, as "wb" would have replaced it; a link to a device that took the file's place is
// left alone and the run fails.
TEST(OutputSafety, WhatStandsAtThePathWhenTheRunEndsDecides) {
    TempDir dir;
    const std::string path = dir.file("out.pdf");
    {
        OutputFile out(path);
        out.write(kResult);
        testpdf::writeFile(path, "appeared meanwhile");
        out.commit();
        EXPECT_EQ(testpdf::readFile(path), kResult);
    }
    ::unlink(path.c_str());
    {
        // A link that appeared meanwhile is replaced, not followed to make a file elsewhere.
        OutputFile out(path);
        out.write(kResult);
        ASSERT_EQ(::symlink("elsewhere.pdf", path.c_str()), 0);
        out.commit();
        EXPECT_EQ(testpdf::readFile(path), kResult);
        EXPECT_FALSE(testpdf::fileExists(dir.file("elsewhere.pdf")));
    }
    ::unlink(path.c_str());
    testpdf::writeFile(path, "earlier result");
    {
        OutputFile out(path);
        out.write(kResult);
        ASSERT_EQ(::unlink(path.c_str()), 0);
        ASSERT_EQ(::symlink("/dev/null", path.c_str()), 0);
        EXPECT_THROW(out.commit(), tavrix::CPdfException);
    }
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// A file reached through its descriptor (/proc/self/fd, /dev/fd) after its name is gone is
// written into, as "wb" would; no file at the name the kernel gives it (the old one and
// " (deleted)") is made or replaced.
TEST(OutputSafety, AFileWithoutANameIsWrittenThroughItsDescriptor) {
    for (const bool stranger : {false, true}) {
        SCOPED_TRACE(stranger ? "a file stands at the name the kernel gives it" : "nothing does");
        TempDir dir;
        const std::string name = dir.file("out.pdf"), shown = name + " (deleted)";
        testpdf::writeFile(name, "earlier result");
        const int fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::unlink(name.c_str()), 0);
        if (stranger) testpdf::writeFile(shown, "a stranger");
        const std::string through = "/proc/self/fd/" + std::to_string(fd);
        EXPECT_EQ(writeOutput(through, {}, true).reason, "");
        EXPECT_EQ(testpdf::readFile(through), kResult);
        ::close(fd);
        EXPECT_EQ(snapshot(dir.path()).size(), stranger ? 1u : 0u);
        if (stranger) {
            EXPECT_EQ(testpdf::readFile(shown), "a stranger");
        }
    }
}

// A FIFO whose reader has gone fails the write; the process that hosts the engine lives on.
TEST(OutputSafety, AFifoWhoseReaderLeftFailsTheRunAndNotTheProcess) {
    TempDir dir;
    const std::string path = dir.file("out.fifo");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    std::thread reader([&] { ::close(::open(path.c_str(), O_RDONLY)); });
    EXPECT_THROW(
        {
            OutputFile out(path);
            out.write(std::string(size_t{3} << 20, 'x')); // more than the pipe holds
            out.commit();
        },
        tavrix::CPdfException);
    reader.join();
}

} // namespace
