// The body of getTavrixFile: one PDF file, or every file named in a ".txt" list.
#pragma once

#include <string>
#include <vector>

#include "engine/service/list_run.hpp"
#include "tavrix/failure_kind.hpp"
#include "tavrix/stamp_settings.hpp"

namespace tavrix {

class JobDriver {
  public:
    explicit JobDriver(const StampSettings& settings) : settings_(settings) {}

    // Result text: empty when the (last) job succeeded, else its failure message.
    std::string run(const std::string& input, const std::string& output, const std::string& params);

    // True when `input` was taken as a file list and read to its end.
    bool processFileList(const std::string& input, const std::string& output,
                         const std::string& params);
    bool runJob(const std::string& input, const std::string& output, const std::string& params);

    const std::string& result() const { return result_; }
    // The reason of every job of the call that failed, in order (one per failed line of a list).
    const std::vector<std::string>& failureReasons() const { return reasons_; }
    // The kind of the last failure among them (Other when none failed).
    FailureKind failureKind() const { return kind_; }

  private:
    void failed(const ListResult& r);

    const StampSettings& settings_;
    std::string result_;
    std::vector<std::string> reasons_;
    FailureKind kind_ = FailureKind::Other;
};

} // namespace tavrix
