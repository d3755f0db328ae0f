#include "support/test_files.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace testpdf {

TempDir::TempDir() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("tavrix-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string readRange(const std::string& path, int64_t offset, size_t length) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(offset);
    std::string bytes(length, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(length));
    bytes.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

bool fileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::vector<std::string> tempFilesIn(const std::filesystem::path& folder) {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().starts_with(".tavrix-"))
            found.push_back(e.path().string());
    return found;
}

CommandResult runCommand(const std::vector<std::string>& argv) {
    TempDir dir;
    const std::string outPath = dir.file("out"), errPath = dir.file("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    CommandResult result;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

std::string tavrixPath() {
    return TAVRIX_CLI;
}

// build/tavrix creates the engine through the automation runtime, which finds it in a registry
// file. The first run gives this test process a registry file of its own (TAVRIX_REGISTRY, which
// the child inherits) with the freshly built library registered: the user's registry is never
// read or written.
static void registerEngineOnce() {
    static const bool registered = [] {
        static TempDir registryDir;
        ::setenv("TAVRIX_REGISTRY", registryDir.file("registry").c_str(), 1);
        ::setenv("TAVRIX_SYSTEM_REGISTRY", registryDir.file("system-registry").c_str(), 1);
        const CommandResult r = runCommand({tavrixPath(), "--register", TAVRIX_LIBRARY});
        if (r.exitCode != 0) throw std::runtime_error("tavrix --register failed: " + r.err);
        return true;
    }();
    (void)registered;
}

CommandResult runTavrix(const std::vector<std::string>& args,
                        const std::vector<std::string>& environment) {
    registerEngineOnce();
    std::vector<std::string> argv;
    if (!environment.empty()) {
        argv.push_back("env");
        argv.insert(argv.end(), environment.begin(), environment.end());
    }
    argv.push_back(tavrixPath());
    argv.insert(argv.end(), args.begin(), args.end());
    return runCommand(argv);
}

pid_t startTavrix(const std::vector<std::string>& args, const std::string& stdoutPath,
                  const std::vector<std::string>& environment) {
    registerEngineOnce();
    std::vector<std::string> argv{tavrixPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp, envp;
    for (const auto& a : argv)
        argp.push_back(const_cast<char*>(a.c_str()));
    argp.push_back(nullptr);
    // First, so that they win over the same names inherited.
    for (const auto& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; *e; ++e)
        envp.push_back(*e);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::string qpdfRewrite(const std::string& in, const std::string& out,
                        const std::vector<std::string>& options) {
    std::vector<std::string> argv{"qpdf"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(in);
    argv.push_back(out);
    return runCommand(argv).exitCode == 0 ? readFile(out) : "";
}

bool toolAvailable(const std::string& name) {
    return runCommand({"sh", "-c", "command -v " + name}).exitCode == 0;
}

bool qpdfCheck(const std::string& path, bool allowWarnings, std::string* report,
               const std::string& password) {
    const CommandResult r = runCommand({"qpdf", "--check", "--password=" + password, path});
    if (report) *report = r.out + r.err;
    return r.exitCode == 0 || (allowWarnings && r.exitCode == 3);
}

int pageCount(const std::string& path) {
    const CommandResult r = runCommand({"qpdf", "--show-npages", path});
    return r.exitCode == 0 ? std::atoi(r.out.c_str()) : -1;
}

std::string pdfText(const std::string& path, int page, const std::string& password) {
    std::vector<std::string> argv{"pdftotext", "-q"};
    if (!password.empty()) argv.insert(argv.end(), {"-upw", password});
    if (page > 0) {
        argv.insert(argv.end(), {"-f", std::to_string(page), "-l", std::to_string(page)});
    }
    argv.insert(argv.end(), {path, "-"});
    return runCommand(argv).out;
}

std::string mupdfText(const std::string& path, int page, std::string* errors,
                      const std::string& password) {
    const CommandResult r = runCommand({"mutool", "draw", "-q", "-p", password, "-F", "txt", "-o",
                                        "-", path, std::to_string(page)});
    if (errors) {
        errors->clear();
        size_t from = 0;
        while (from < r.err.size()) {
            const size_t eol = std::min(r.err.find('\n', from), r.err.size());
            const std::string line = r.err.substr(from, eol - from);
            if (line.starts_with("error") || r.exitCode != 0) *errors += line + "\n";
            from = eol + 1;
        }
        if (r.exitCode != 0) *errors += "exit " + std::to_string(r.exitCode) + "\n";
    }
    return r.out;
}

std::string qpdfEncrypt(const std::string& in, const std::string& out,
                        const std::vector<std::string>& encrypt,
                        const std::vector<std::string>& more) {
    // RC4 is weak by today's measure, and still what many files in use were written with.
    std::vector<std::string> argv{"qpdf", "--allow-weak-crypto"};
    argv.insert(argv.end(), more.begin(), more.end());
    argv.push_back("--encrypt");
    argv.insert(argv.end(), encrypt.begin(), encrypt.end());
    argv.insert(argv.end(), {"--", in, out});
    const CommandResult r = runCommand(argv);
    return r.exitCode == 0 ? std::string()
                           : r.out + r.err + " (exit " + std::to_string(r.exitCode) + ")";
}

std::string qpdfEncryption(const std::string& path, const std::string& password) {
    return runCommand({"qpdf", "--show-encryption", "--password=" + password, path}).out;
}

} // namespace testpdf
