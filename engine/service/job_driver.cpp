#include "engine/service/job_driver.hpp"

#include <fstream>

#include "engine/pdf/data_file.hpp"
#include "engine/pdf/pdf_exception.hpp"
#include "engine/service/failure_reason.hpp"
#include "engine/service/stamp_job.hpp"

namespace tavrix {

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
    while (std::getline(list, line)) {
        std::string path;
        for (char c : line)
            if (c != '\r' && c != '\n') path += c;
        // The output argument's second character chooses the mode: 'f' writes each file into
        // the folder that follows, 'o' writes every file to the one path that follows.
        std::string target;
        if (output.size() >= 2 && output[1] == 'f')
            target = output.substr(2) + "/" + path;
        else if (output.size() >= 2 && output[1] == 'o')
            target = output.substr(2);
        runJob(path, target, params);
    }
    return true;
}

bool JobDriver::runJob(const std::string& input, const std::string& output,
                       const std::string& params) {
    result_.clear();
    try {
        StampJob job;
        job.input = input;
        job.output = output;
        job.settings = settings_;
        job.options = parseCallOptions(params);
        stampFile(job);
    } catch (const CPdfException& e) {
        result_ = e.getMessage();
        reasons_.push_back(e.reason());
        return false;
    } catch (...) {
        result_ = "Unexpected exception";
        reasons_.push_back(failureReason(std::current_exception(), input, output));
        return false;
    }
    return true;
}

} // namespace tavrix
