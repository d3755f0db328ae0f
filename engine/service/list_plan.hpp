// The numbers a file list gets when its files run one after another, worked out before any file
// is stamped, so that the files can then be stamped in any order, on any number of threads or
// machines, and still show exactly those numbers.
//
// One after another, a file's run starts from startNumber, or from the import file's number when
// importit is set, and a successful run writes (its highest shown number + 1) into the export
// file once its output is in place; a failed run writes nothing. So when importit and exportit
// name one file (a running counter), each file starts where the last successful file before it
// left the counter, and a failed file leaves the counter, and so every later number, as it was.
// Otherwise no file's numbers depend on another's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/service/call_options.hpp"
#include "tavrix/stamp_settings.hpp"

namespace tavrix {

// What numbering needs to know of one file: the page total its texts show, and the positions
// (1-based, page-tree order) whose pages a run meets, each page object once.
struct PageSurvey {
    uint32_t pageCount = 0;
    std::vector<int32_t> positions;
};

// Opens `path` as a run would and reads its page list. Throws CPdfException "Stamp file issue"
// with the reason a run would give when the file does not open, or (`forStamping`) when a run
// may not change it.
PageSurvey surveyPages(const std::string& path, const CallOptions& options = {},
                       bool forStamping = true);

// The numbers a run starting from `start` shows on a file.
struct NumberSpan {
    std::optional<int32_t> first, last; // on the first and the last stamped page, in page order
    int32_t highest = 0;                // the highest shown, or 0 (never below)
    int32_t next() const;               // what the run writes into the export file
};

// The same numbers for any start, worked out once per file: a run's numbers move with its start
// (only where they would leave the 32-bit range is each page worked out again).
class NumberProfile {
  public:
    NumberProfile(const StampSettings& settings, PageSurvey survey);
    NumberSpan span(int32_t start) const;
    uint32_t pageCount() const { return survey_.pageCount; }
    uint32_t pagesMet() const { return static_cast<uint32_t>(survey_.positions.size()); }

  private:
    StampSettings settings_;
    PageSurvey survey_;
    bool stamps_ = false;
    int32_t first_ = 0, last_ = 0, low_ = 0, high_ = 0; // with the start at startPage
};

// Where the numbers of a list come from as its files run one after another.
class NumberChain {
  public:
    // `first` is the first file's start: startNumber, or the import file's number. `chained`:
    // importit and exportit name one file.
    NumberChain(int32_t first, bool chained) : first_(first), chained_(chained) {}
    int32_t nextStart() const { return chained_ && counter_ ? *counter_ : first_; }
    // A file's run ended; `next` is what it wrote into the export file (nothing on failure).
    void record(std::optional<int32_t> next) {
        if (next) counter_ = next;
    }
    // What the export file holds now: nullopt while no run has written it.
    std::optional<int32_t> counter() const { return counter_; }
    bool chained() const { return chained_; }

  private:
    int32_t first_;
    bool chained_;
    std::optional<int32_t> counter_;
};

// Whether `importit` and `exportit` name one file: the same path, or two names of one file.
bool sameCounterFile(const std::string& importit, const std::string& exportit);

// The chain of a list run with `settings`: reads the import file when importit is set (throws
// CPdfException "Stamp file issue" with the reason, as every run of the list would fail).
NumberChain listNumbering(const StampSettings& settings);

// One file of a planned list.
struct PlannedFile {
    bool opens = false; // the survey read it (else `reason` says why)
    std::string reason;
    int32_t start = 0;
    NumberSpan span;
    uint32_t pageCount = 0;
    // The export file's value after this file's run, one file after another (nullopt: no run
    // has written it yet).
    std::optional<int32_t> counter;
};

// The plan of a list of files whose surveys are given (nullopt, with a reason, for a file that
// does not open; such a file's run fails and moves no number).
struct SurveyResult {
    std::optional<PageSurvey> survey;
    std::string reason;
};
// Surveys of `paths` on `workers` threads, in the order of the paths.
std::vector<SurveyResult> surveyFiles(const std::vector<std::string>& paths,
                                      const CallOptions& options, unsigned workers);

std::vector<PlannedFile> planList(const StampSettings& settings, NumberChain chain,
                                  const std::vector<SurveyResult>& surveys);

} // namespace tavrix
