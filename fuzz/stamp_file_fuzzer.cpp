// A whole run with the default settings, from arbitrary bytes to a temporary output file; an
// encrypted input is opened with the empty password, damaged cross-reference data is rebuilt.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/service/tavrix_com.hpp"

namespace {
std::filesystem::path folder;
void removeFolder() {
    std::filesystem::remove_all(folder);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Under $TMPDIR, which fuzz/run.sh points at a folder it removes however the fuzzer ends
    // (libFuzzer's exits do not all run atexit handlers).
    std::string name = (std::filesystem::temp_directory_path() / "tavrix-fuzz-XXXXXX").string();
    if (!mkdtemp(name.data())) std::abort();
    folder = name;
    std::atexit(removeFolder);
    // The run's progress lines would drown the fuzzer's own reports.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input = (folder / "in.pdf").string(), output = (folder / "out.pdf").string();
    if (FILE* f = std::fopen(input.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    tavrix::TavrixCom().getTavrixFile(input, output, "password=;repair=1");
    std::remove(output.c_str());
    return 0;
}
