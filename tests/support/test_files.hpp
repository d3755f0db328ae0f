// Temporary folders, file helpers and the independent validators the tests read outputs with.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testpdf {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
// `length` bytes from `offset` (fewer at the end of the file).
std::string readRange(const std::string& path, int64_t offset, size_t length);
bool fileExists(const std::string& path);
// The run's temporary files (".tavrix-*") left in `folder`.
std::vector<std::string> tempFilesIn(const std::filesystem::path& folder);

struct CommandResult {
    int exitCode = -1;
    std::string out; // standard output
    std::string err; // standard error
};
// Runs argv (no shell) and captures both outputs.
CommandResult runCommand(const std::vector<std::string>& argv);

// The command-line client built with the tests.
std::string tavrixPath();
// Runs build/tavrix with the given arguments; the extra environment entries ("NAME=value") are
// added to the test's.
CommandResult runTavrix(const std::vector<std::string>& args,
                        const std::vector<std::string>& environment = {});
// Starts build/tavrix without waiting for it: standard output goes to `stdoutPath`, the extra
// environment entries ("NAME=value") are added to the test's. Returns the process id.
pid_t startTavrix(const std::vector<std::string>& args, const std::string& stdoutPath,
                  const std::vector<std::string>& environment = {});

// qpdf --check passes without errors (warnings inherited from an input are allowed when
// `allowWarnings`). `password` opens an encrypted file.
bool qpdfCheck(const std::string& path, bool allowWarnings = false, std::string* report = nullptr,
               const std::string& password = "");
int pageCount(const std::string& path);
// Text of one page (1-based) as pdftotext extracts it, or of the whole file when page is 0.
std::string pdfText(const std::string& path, int page = 0, const std::string& password = "");
// Text of one page (1-based) as MuPDF extracts it; `errors` receives what it reports as errors
// (objects it cannot load, syntax it cannot read), one per line.
std::string mupdfText(const std::string& path, int page, std::string* errors = nullptr,
                      const std::string& password = "");

// An encrypted copy of `in`, written by qpdf: `encrypt` holds what its --encrypt option takes
// before "--" (user password, owner password, key length, restrictions such as --modify=none),
// `more` further options (--object-streams=generate). The qpdf report when it fails, else "".
std::string qpdfEncrypt(const std::string& in, const std::string& out,
                        const std::vector<std::string>& encrypt,
                        const std::vector<std::string>& more = {});
// What qpdf --show-encryption says of `path` opened with `password`.
std::string qpdfEncryption(const std::string& path, const std::string& password);
// `in` rewritten by qpdf with `options` into `out`; the bytes written, empty when qpdf fails.
std::string qpdfRewrite(const std::string& in, const std::string& out,
                        const std::vector<std::string>& options);
bool toolAvailable(const std::string& name);

} // namespace testpdf
