#include "engine/service/list_plan.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <limits>
#include <thread>

#include "engine/pdf/data_file.hpp"
#include "engine/pdf/pdf_document.hpp"
#include "engine/pdf/pdf_exception.hpp"
#include "engine/service/failure_reason.hpp"
#include "engine/service/job_steps.hpp"
#include "engine/service/stamp_job.hpp"
#include "engine/text/number_text.hpp"

namespace tavrix {

PageSurvey surveyPages(const std::string& path, const CallOptions& options, bool forStamping) {
    try {
        // A run refuses such a path before it opens anything (the system would cut it short).
        if (holdsNul(path))
            throw CPdfException("Can't open file", "the input path holds a NUL character after '" +
                                                       std::string(path.c_str()) +
                                                       "'; a file name cannot hold one");
        PdfDocument doc;
        openInput(doc, path, options);
        if (forStamping) checkChangesAllowed(doc.xref());
        const PageList pages = readPageList(doc.xref());
        PageSurvey survey;
        survey.pageCount = pages.pageCount();
        // The copy pass meets each page object once, and stamps it at its first position.
        for (size_t k = 0; k < pages.slots().size(); ++k)
            if (pages.slotOf(pages.slots()[k].num) == static_cast<int64_t>(k))
                survey.positions.push_back(static_cast<int32_t>(k + 1));
        return survey;
    } catch (...) {
        throw CPdfException("Stamp file issue\r\n",
                            failureReason(std::current_exception(), path, ""),
                            failureKind(std::current_exception()));
    }
}

int32_t NumberSpan::next() const {
    return static_cast<int32_t>(static_cast<uint32_t>(highest) + 1u);
}

NumberProfile::NumberProfile(const StampSettings& settings, PageSurvey survey)
    : settings_(settings), survey_(std::move(survey)) {
    // With the start at startPage the last step of the numbering adds nothing: what is left is
    // what every start shifts.
    StampSettings unshifted = settings_;
    unshifted.startNumber = unshifted.startPage;
    int32_t ignored = 0;
    for (const int32_t p : survey_.positions) {
        const std::optional<int32_t> n = shownNumber(unshifted, p, survey_.pageCount, ignored);
        if (!n) continue;
        if (!stamps_) {
            first_ = low_ = high_ = *n;
            stamps_ = true;
        }
        last_ = *n;
        low_ = std::min(low_, *n);
        high_ = std::max(high_, *n);
    }
}

NumberSpan NumberProfile::span(int32_t start) const {
    NumberSpan span;
    if (!stamps_) return span;
    const int64_t shift = int64_t{start} - settings_.startPage;
    if (low_ + shift >= std::numeric_limits<int32_t>::min() &&
        high_ + shift <= std::numeric_limits<int32_t>::max()) {
        span.first = static_cast<int32_t>(first_ + shift);
        span.last = static_cast<int32_t>(last_ + shift);
        span.highest = static_cast<int32_t>(std::max<int64_t>(0, high_ + shift));
        return span;
    }
    // Some numbers wrap around: each page as the run numbers it.
    StampSettings shifted = settings_;
    shifted.startNumber = start;
    for (const int32_t p : survey_.positions) {
        const std::optional<int32_t> n = shownNumber(shifted, p, survey_.pageCount, span.highest);
        if (!n) continue;
        if (!span.first) span.first = n;
        span.last = n;
    }
    return span;
}

bool sameCounterFile(const std::string& importit, const std::string& exportit) {
    if (importit.empty() || exportit.empty()) return false;
    if (importit == exportit) return true;
    struct stat a {
    }, b{};
    if (::stat(importit.c_str(), &a) == 0 && ::stat(exportit.c_str(), &b) == 0)
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    std::error_code error;
    const auto left = std::filesystem::weakly_canonical(importit, error);
    if (error) return false;
    const auto right = std::filesystem::weakly_canonical(exportit, error);
    return !error && left == right;
}

NumberChain listNumbering(const StampSettings& settings) {
    if (settings.importit.empty()) return NumberChain(settings.startNumber, false);
    try {
        return NumberChain(readImportNumber(settings.importit),
                           sameCounterFile(settings.importit, settings.exportit));
    } catch (...) {
        throw CPdfException("Stamp file issue\r\n",
                            failureReason(std::current_exception(), "", ""));
    }
}

std::vector<SurveyResult> surveyFiles(const std::vector<std::string>& paths,
                                      const CallOptions& options, unsigned workers) {
    std::vector<SurveyResult> surveys(paths.size());
    std::atomic<size_t> nextIndex{0};
    auto survey = [&] {
        for (size_t i; (i = nextIndex++) < paths.size();) {
            try {
                surveys[i].survey = surveyPages(paths[i], options);
            } catch (const CPdfException& e) {
                surveys[i].reason = e.reason();
            } catch (...) {
                surveys[i].reason = failureReason(std::current_exception(), paths[i], "");
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned w = 1; w < workers; ++w)
        threads.emplace_back(survey);
    survey();
    for (std::thread& t : threads)
        t.join();
    return surveys;
}

std::vector<PlannedFile> planList(const StampSettings& settings, NumberChain chain,
                                  const std::vector<SurveyResult>& surveys) {
    std::vector<PlannedFile> plan;
    plan.reserve(surveys.size());
    for (const SurveyResult& s : surveys) {
        PlannedFile& file = plan.emplace_back();
        file.start = chain.nextStart();
        file.opens = s.survey.has_value();
        file.reason = s.reason;
        if (s.survey) {
            const NumberProfile profile(settings, *s.survey);
            file.pageCount = profile.pageCount();
            file.span = profile.span(file.start);
            chain.record(file.span.next());
        }
        file.counter = chain.counter();
    }
    return plan;
}

} // namespace tavrix
