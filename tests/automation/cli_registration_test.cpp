// build/tavrix as a client of the runtime: registering, unregistering, and what it says when the
// engine cannot be created.
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>

#include "automation_support.hpp"
#include "support/test_files.hpp"
#include "tavrixrt/registry.hpp"

using tavrix_test::PrivateRegistry;
using tavrix_test::TempDir;
using testpdf::CommandResult;
using testpdf::runCommand;

namespace {

const std::string kCli = TAVRIX_CLI;
const std::string kClassKey = "CLSID\\{989C7933-275B-411B-BC82-F3FB85B5ED4C}\\InprocServer32";

CommandResult tavrix(const std::vector<std::string>& args) {
    std::vector<std::string> argv{kCli};
    argv.insert(argv.end(), args.begin(), args.end());
    return runCommand(argv);
}

std::string realPath(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? buffer : path;
}

} // namespace

TEST(CliRegistration, RegisterRunUnregister) {
    PrivateRegistry registry;
    TempDir dir;
    const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
    tavrix_test::writeMinimalPdf(in, 2);

    CommandResult r = tavrix({in, out});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("Class not registered."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("tavrix --register"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(registry.path()), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(tavrix_test::fileExists(out));

    // Without an argument, the library beside the program is registered.
    const std::string library = realPath(TAVRIX_LIBRARY);
    r = tavrix({"--register"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Registered " + kCli.substr(0, kCli.find_last_of('/') + 1) +
                         "libtavrix.so in " + registry.path() + "\n");
    tavrixrt::RegistryTree tree;
    ASSERT_EQ(tavrixrt::readRegistry(tree), S_OK);
    EXPECT_EQ(tree.value(kClassKey), library);

    r = tavrix({"--prefix", "S. ", in, out});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Input file: '" + in + "', output file: '" + out + "'\nProcessing", 0),
              0u)
        << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(tavrix_test::fileExists(out));

    r = tavrix({"--unregister", TAVRIX_LIBRARY});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(tavrixrt::readRegistry(tree), S_OK);
    EXPECT_FALSE(tree.hasKey(kClassKey));
    EXPECT_EQ(tavrix({in, dir.file("again.pdf")}).exitCode, 3);
}

TEST(CliRegistration, ProblemsAreNamed) {
    PrivateRegistry registry;
    TempDir dir;
    CommandResult r = tavrix({"--register", "a.so", "b.so"});
    EXPECT_EQ(r.exitCode, 2);
    r = tavrix({"--register", dir.file("none.so")});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("could not be found"), std::string::npos) << r.err;

    // A damaged registry file is reported, not replaced.
    tavrix_test::writeFile(registry.path(), "[CLSID\n");
    r = tavrix({"--register"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("registry file could not be read"), std::string::npos) << r.err;
    tavrix_test::writeMinimalPdf(dir.file("in.pdf"), 1);
    r = tavrix({dir.file("in.pdf"), dir.file("out.pdf")});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("Repair or delete that file"), std::string::npos) << r.err;
    EXPECT_EQ(tavrix_test::readFile(registry.path()), "[CLSID\n");
}

TEST(CliRegistration, SystemWideRegistrationServesUsersWithoutTheirOwn) {
    PrivateRegistry registry;
    TempDir dir;
    const std::string in = dir.file("in.pdf");
    tavrix_test::writeMinimalPdf(in, 1);

    CommandResult r = tavrix({"--register", "--system", TAVRIX_LIBRARY});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              std::string("Registered ") + TAVRIX_LIBRARY + " in " + registry.systemPath() + "\n");
    EXPECT_FALSE(tavrix_test::fileExists(registry.path())); // the user's file is untouched
    EXPECT_EQ(tavrix({in, dir.file("a.pdf")}).exitCode, 0);

    // The user's own entry hides the system's: here one naming a library that is not there.
    tavrixrt::RegistryTree user;
    ASSERT_EQ(user.setValue(kClassKey, "", dir.file("gone.so")), S_OK);
    tavrix_test::writeFile(registry.path(), user.serialize());
    r = tavrix({in, dir.file("b.pdf")});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("could not be found"), std::string::npos) << r.err;
    ::unlink(registry.path().c_str());

    r = tavrix({"--unregister", "--system", TAVRIX_LIBRARY});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(tavrix({in, dir.file("c.pdf")}).exitCode, 3);
}
