#include "engine/service/job_driver.hpp"

#include <fstream>

#include "engine/pdf/data_file.hpp"
#include "engine/service/call_options.hpp"
#include "engine/service/list_run.hpp"

namespace tavrix {
namespace {

// The output path a list line gets from the output argument, whose second character chooses the
// mode: 'f' writes each file into the folder that follows, 'o' writes every file to the one path
// that follows; anything else gives no path, and the line's job fails.
std::string listTarget(const std::string& output, const std::string& path) {
    if (output.size() >= 2 && output[1] == 'f') return output.substr(2) + "/" + path;
    if (output.size() >= 2 && output[1] == 'o') return output.substr(2);
    return {};
}

std::string listPath(const std::string& line) {
    std::string path;
    for (char c : line)
        if (c != '\r' && c != '\n') path += c;
    return path;
}

} // namespace

std::string JobDriver::run(const std::string& input, const std::string& output,
                           const std::string& params) {
    if (processFileList(input, output, params)) return result_;
    return runJob(input, output, params) ? std::string() : result_;
}

bool JobDriver::processFileList(const std::string& input, const std::string& output,
                                const std::string& params) {
    if (input.size() < 4 || input.compare(input.size() - 4, 4, ".txt") != 0) return false;
    // A list that cannot be opened (a folder among them, or a path that the system would cut
    // at a NUL) is taken as one input, which then fails as a file that cannot be opened.
    if (!notDataFile(input).empty()) return false;
    std::ifstream list(input, std::ios::binary);
    if (!list) return false;
    std::string line;
    const CallOptions options = parseCallOptions(params);
    if (options.jobs <= 1 && !options.progressBar) {
        // One file after another, each started as its line is read.
        while (std::getline(list, line)) {
            const std::string path = listPath(line);
            runJob(path, listTarget(output, path), params);
        }
        return true;
    }
    std::vector<ListEntry> entries;
    while (std::getline(list, line)) {
        const std::string path = listPath(line);
        entries.push_back({path, listTarget(output, path)});
    }
    ListRun run(settings_, params);
    for (const ListResult& r : run.run(entries)) {
        result_ = r.message;
        if (!r.message.empty()) failed(r);
    }
    if (const auto& failure = run.counterFailure()) {
        result_ = failure->message;
        failed(*failure);
    }
    return true;
}

bool JobDriver::runJob(const std::string& input, const std::string& output,
                       const std::string& params) {
    const ListResult r = runOneJob(settings_, input, output, params);
    result_ = r.message;
    if (r.message.empty()) return true;
    failed(r);
    return false;
}

void JobDriver::failed(const ListResult& r) {
    reasons_.push_back(r.reason);
    kind_ = r.kind;
}

} // namespace tavrix
