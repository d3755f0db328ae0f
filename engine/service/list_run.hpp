// A file list run on several threads, or with a progress bar, giving every file exactly the
// numbers, output and progress lines of a run one file after another:
// 1. survey: each file is opened and its page list read (on the worker threads);
// 2. plan: each file gets the start number a run one after another would give it (list_plan);
// 3. stamp: the worker threads stage the files' outputs in any order, a bounded stretch ahead of
//    the first file not yet finished;
// 4. commit, in list order only: each output is put in place and renamed, its progress lines
//    are written, and the counter moves. A file whose run turns out other than planned (it fails
//    though its survey read it, say) moves the numbers of the files after it as it would one
//    after another: those staged with other numbers are stamped again.
// The export file is written once, at the end, with the value the last successful file gives it.
// Lists that a parallel run could not reproduce run one file after another (see runsInParallel).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/service/call_options.hpp"
#include "tavrix/failure_kind.hpp"
#include "tavrix/stamp_settings.hpp"

namespace tavrix {

// One line of a list: the input it names and the output path its switch gives it.
struct ListEntry {
    std::string input;
    std::string output;
};

// How one file of the list ended: the message is empty on success.
struct ListResult {
    std::string message;
    std::string reason;
    FailureKind kind = FailureKind::Other;
};

class ListRun {
  public:
    ListRun(const StampSettings& settings, std::string params);
    std::vector<ListResult> run(const std::vector<ListEntry>& entries);
    // Set when a parallel run could not write the export file at its end (the outputs are in
    // place; the counter keeps its old value).
    const std::optional<ListResult>& counterFailure() const { return counterFailure_; }

  private:
    std::vector<ListResult> runParallel(const std::vector<ListEntry>& entries, unsigned workers);
    std::vector<ListResult> runOneAfterAnother(const std::vector<ListEntry>& entries, bool withBar);

    const StampSettings& settings_;
    std::string params_;
    CallOptions options_;
    std::optional<ListResult> counterFailure_;
};

// Runs one job of a list or a call the plain way: its progress to `progress` (null: standard
// output). Returns how it ended.
class ProgressSink;
ListResult runOneJob(const StampSettings& settings, const std::string& input,
                     const std::string& output, const std::string& params,
                     ProgressSink* progress = nullptr);

} // namespace tavrix
