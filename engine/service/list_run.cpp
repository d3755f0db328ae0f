#include "engine/service/list_run.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <utility>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/service/failure_reason.hpp"
#include "engine/service/job_steps.hpp"
#include "engine/service/list_plan.hpp"
#include "engine/service/progress_bar.hpp"
#include "engine/service/progress_sink.hpp"
#include "engine/service/stamp_job.hpp"

namespace tavrix {
namespace {

// Outputs staged ahead of the first unfinished file, per worker: enough to keep the workers busy
// behind a large file, few enough that the open files and temporary files stay bounded.
constexpr size_t kAheadPerWorker = 8;
// Each staged output holds its input open (mapped) and a temporary file: far fewer than the
// process-wide tables of guarded mappings and named temporary files hold.
constexpr size_t kMaxAhead = 96;

// Keeps a run's progress lines for their turn and counts its pages for the bar.
class JobSink : public ProgressSink {
  public:
    explicit JobSink(ProgressBar* bar) : bar_(bar) {}
    void text(std::string_view bytes) override { text_.append(bytes); }
    void note(std::string_view line) override { notes_.emplace_back(line); }
    // The notes kept for the run's turn, which comes with its progress lines.
    void sendNotes() const {
        for (const std::string& line : notes_)
            standardOutput().note(line);
    }
    void page(uint32_t done, uint32_t) override {
        if (bar_ && done > met_) {
            bar_->addPages(done - met_);
            met_ = done;
        }
    }
    // The run's work is dropped: its pages no longer count.
    void takeBack() {
        if (bar_ && met_ > 0) bar_->addPages(-static_cast<int64_t>(met_));
        met_ = 0;
    }
    const std::string& buffered() const { return text_; }

  private:
    ProgressBar* bar_;
    std::string text_;
    std::vector<std::string> notes_;
    uint32_t met_ = 0;
};

ListResult failedWith(const std::exception_ptr& error, const std::string& input,
                      const std::string& output) {
    try {
        std::rethrow_exception(error);
    } catch (const CPdfException& e) {
        return {e.getMessage(), e.reason(), e.kind()};
    } catch (...) {
        return {"Unexpected exception", failureReason(std::current_exception(), input, output)};
    }
}

int32_t nextOf(int32_t highest) {
    return static_cast<int32_t>(static_cast<uint32_t>(highest) + 1u);
}

std::filesystem::path canonicalPath(const std::string& path) {
    std::error_code error;
    auto canonical = std::filesystem::weakly_canonical(path, error);
    if (error) return std::filesystem::absolute(path, error).lexically_normal();
    return canonical;
}

// Why a list cannot run in parallel with the result of a run one after another: a file that an
// earlier file's output (or its renamed output) replaces, an output written as the run goes (a
// device or FIFO), an existing output that several files write in turn (each run would take
// what it carried before the first one replaced it), a counter file among the files. False
// when none of these holds.
bool needsOneAfterAnother(const StampSettings& settings, const std::vector<ListEntry>& entries,
                          const std::vector<PlannedFile>& plan) {
    std::set<std::filesystem::path> written;
    std::map<std::filesystem::path, int> writers;
    std::set<std::filesystem::path> counters;
    for (const std::string* counter : {&settings.importit, &settings.exportit})
        if (!counter->empty()) counters.insert(canonicalPath(*counter));
    for (size_t i = 0; i < entries.size(); ++i) {
        const ListEntry& e = entries[i];
        if (e.output.empty() || e.input.empty()) continue; // fails before it reads or writes
        const auto input = canonicalPath(e.input);
        if (written.count(input) || counters.count(input)) return true;
        std::vector<std::string> outputs{e.output};
        if (!settings.renameoutput.empty() && plan[i].opens)
            outputs.push_back(renamedPath(e.output, settings.renameoutput, settings.mask,
                                          plan[i].start, plan[i].span.highest));
        for (const std::string& out : outputs) {
            const auto path = canonicalPath(out);
            if (counters.count(path)) return true;
            struct stat st {};
            const bool exists = ::stat(out.c_str(), &st) == 0;
            if (exists && !S_ISREG(st.st_mode)) return true;
            if (exists && ++writers[path] > 1) return true;
            written.insert(path);
        }
    }
    return false;
}

struct Attempt {
    explicit Attempt(ProgressBar* bar) : sink(bar) {}
    StampJob job;
    JobSink sink;
    std::unique_ptr<StagedRun> staged;
    int32_t start = 0;
    ListResult result;
    bool ok() const { return result.message.empty(); }
};

class ParallelRun {
  public:
    ParallelRun(const StampSettings& settings, const std::string& params,
                const std::vector<ListEntry>& entries,
                std::vector<std::optional<NumberProfile>> profiles, NumberChain chain,
                ProgressBar* bar)
        : settings_(settings), params_(params), entries_(entries), profiles_(std::move(profiles)),
          chain_(chain), bar_(bar), predicted_(entries.size()), predictedNext_(entries.size()),
          ready_(entries.size()), results_(entries.size()) {
        for (size_t i = 0; i < entries_.size(); ++i)
            todo_.insert(i);
        replan(0);
    }

    std::vector<ListResult> run(unsigned workers) {
        ahead_ = std::min(kAheadPerWorker * workers, kMaxAhead);
        std::vector<std::thread> threads;
        for (unsigned w = 0; w < workers; ++w)
            threads.emplace_back([this] { work(); });
        for (std::thread& t : threads)
            t.join();
        return std::move(results_);
    }

    std::optional<int32_t> counter() const { return chain_.counter(); }

  private:
    void work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] {
                return head_ == entries_.size() ||
                       (!todo_.empty() && *todo_.begin() < head_ + ahead_);
            });
            if (head_ == entries_.size()) return;
            const size_t i = *todo_.begin();
            todo_.erase(todo_.begin());
            const int32_t start = predicted_[i];
            lock.unlock();
            std::unique_ptr<Attempt> a = attempt(i, start);
            lock.lock();
            if (a->ok() && predicted_[i] != start) {
                // The numbers moved while it ran: it is stamped again with the new ones.
                a->sink.takeBack();
                todo_.insert(i);
                wake_.notify_all();
                continue;
            }
            ready_[i] = std::move(a);
            drain(lock);
        }
    }

    std::unique_ptr<Attempt> attempt(size_t i, int32_t start) {
        auto a = std::make_unique<Attempt>(bar_);
        a->start = start;
        StampJob& job = a->job;
        job.input = entries_[i].input;
        job.output = entries_[i].output;
        job.settings = settings_;
        // The plan stands in for the counter: the run neither reads nor writes it.
        job.settings.startNumber = start;
        job.settings.importit.clear();
        job.settings.exportit.clear();
        job.options = parseCallOptions(params_);
        job.progress = &a->sink;
        try {
            a->staged = stageRun(job);
        } catch (...) {
            a->result = failedWith(std::current_exception(), job.input, job.output);
        }
        return a;
    }

    // Commits the finished files at the head of the list, in order. One thread at a time.
    void drain(std::unique_lock<std::mutex>& lock) {
        if (draining_) return;
        draining_ = true;
        while (head_ < entries_.size() && ready_[head_]) {
            std::unique_ptr<Attempt> a = std::move(ready_[head_]);
            if (a->ok() && a->start != chain_.nextStart()) {
                a->sink.takeBack();
                predicted_[head_] = chain_.nextStart();
                todo_.insert(head_);
                wake_.notify_all();
                break;
            }
            lock.unlock();
            if (a->ok()) {
                try {
                    commitRun(a->job, std::move(a->staged));
                } catch (...) {
                    a->result = failedWith(std::current_exception(), a->job.input, a->job.output);
                }
            }
            if (bar_) {
                bar_->printOut(a->sink.buffered());
                bar_->fileDone();
            } else {
                standardOutput().text(a->sink.buffered());
            }
            a->sink.sendNotes();
            lock.lock();
            const std::optional<int32_t> next =
                a->ok() ? std::optional(nextOf(a->job.outcome.highest)) : std::nullopt;
            chain_.record(next);
            results_[head_] = std::move(a->result);
            const bool asPlanned = next == predictedNext_[head_];
            ++head_;
            if (!asPlanned) replan(head_);
            wake_.notify_all();
        }
        draining_ = false;
    }

    // The starts of the files from `from` on, given the files before them as they ended; staged
    // outputs whose numbers change are stamped again.
    void replan(size_t from) {
        NumberChain chain = chain_;
        for (size_t j = from; j < entries_.size(); ++j) {
            const int32_t start = chain.nextStart();
            if (start != predicted_[j]) {
                predicted_[j] = start;
                if (ready_[j] && ready_[j]->ok()) {
                    ready_[j]->sink.takeBack();
                    ready_[j].reset();
                    todo_.insert(j);
                }
            }
            predictedNext_[j] =
                profiles_[j] ? std::optional(profiles_[j]->span(start).next()) : std::nullopt;
            chain.record(predictedNext_[j]);
        }
    }

    const StampSettings& settings_;
    const std::string& params_;
    const std::vector<ListEntry>& entries_;
    const std::vector<std::optional<NumberProfile>> profiles_;
    NumberChain chain_; // as the committed files left it
    ProgressBar* bar_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::set<size_t> todo_;
    std::vector<int32_t> predicted_;                    // start of each file
    std::vector<std::optional<int32_t>> predictedNext_; // what it will write into the counter
    std::vector<std::unique_ptr<Attempt>> ready_;       // staged, waiting for their turn
    std::vector<ListResult> results_;
    size_t head_ = 0; // the first file not yet committed
    size_t ahead_ = 0;
    bool draining_ = false;
};

std::vector<std::string> inputsOf(const std::vector<ListEntry>& entries) {
    std::vector<std::string> inputs;
    inputs.reserve(entries.size());
    for (const ListEntry& e : entries)
        inputs.push_back(e.input);
    return inputs;
}

uint64_t pagesOf(const std::vector<SurveyResult>& surveys) {
    uint64_t pages = 0;
    for (const SurveyResult& s : surveys)
        if (s.survey) pages += s.survey->positions.size();
    return pages;
}

} // namespace

ListResult runOneJob(const StampSettings& settings, const std::string& input,
                     const std::string& output, const std::string& params, ProgressSink* progress) {
    try {
        StampJob job;
        job.input = input;
        job.output = output;
        job.settings = settings;
        job.options = parseCallOptions(params);
        job.progress = progress;
        stampFile(job);
    } catch (...) {
        return failedWith(std::current_exception(), input, output);
    }
    return {};
}

ListRun::ListRun(const StampSettings& settings, std::string params)
    : settings_(settings), params_(std::move(params)), options_(parseCallOptions(params_)) {}

std::vector<ListResult> ListRun::run(const std::vector<ListEntry>& entries) {
    const unsigned workers = static_cast<unsigned>(std::min<size_t>(options_.jobs, entries.size()));
    if (workers <= 1) return runOneAfterAnother(entries, options_.progressBar);
    return runParallel(entries, workers);
}

std::vector<ListResult> ListRun::runOneAfterAnother(const std::vector<ListEntry>& entries,
                                                    bool withBar) {
    std::optional<ProgressBar> bar;
    if (withBar) bar.emplace(entries.size(), pagesOf(surveyFiles(inputsOf(entries), options_, 1)));
    std::vector<ListResult> results;
    for (const ListEntry& e : entries) {
        if (!bar) {
            results.push_back(runOneJob(settings_, e.input, e.output, params_));
            continue;
        }
        JobSink sink(&*bar);
        results.push_back(runOneJob(settings_, e.input, e.output, params_, &sink));
        bar->printOut(sink.buffered());
        sink.sendNotes();
        bar->fileDone();
    }
    if (bar) bar->finish();
    return results;
}

std::vector<ListResult> ListRun::runParallel(const std::vector<ListEntry>& entries,
                                             unsigned workers) {
    // A counter that cannot be read, or written, fails every file of the list, exactly as one
    // after another; so does anything but a plain file, which each run would read or write anew.
    std::optional<NumberChain> chain;
    std::unique_ptr<OutputFile> counter;
    try {
        chain = listNumbering(settings_);
        for (const std::string* path : {&settings_.importit, &settings_.exportit}) {
            struct stat st {};
            if (!path->empty() && ::stat(path->c_str(), &st) == 0 && !S_ISREG(st.st_mode))
                return runOneAfterAnother(entries, options_.progressBar);
        }
        if (!settings_.exportit.empty()) counter = std::make_unique<OutputFile>(settings_.exportit);
    } catch (const CPdfException&) {
        return runOneAfterAnother(entries, options_.progressBar);
    }

    const std::vector<SurveyResult> surveys = surveyFiles(inputsOf(entries), options_, workers);
    const std::vector<PlannedFile> plan = planList(settings_, *chain, surveys);
    if (needsOneAfterAnother(settings_, entries, plan)) {
        counter.reset();
        return runOneAfterAnother(entries, options_.progressBar);
    }

    std::vector<std::optional<NumberProfile>> profiles;
    profiles.reserve(surveys.size());
    for (const SurveyResult& s : surveys) {
        if (s.survey)
            profiles.emplace_back(std::in_place, settings_, *s.survey);
        else
            profiles.emplace_back();
    }
    std::optional<ProgressBar> bar;
    if (options_.progressBar) bar.emplace(entries.size(), pagesOf(surveys));
    ParallelRun run(settings_, params_, entries, std::move(profiles), *chain,
                    bar ? &*bar : nullptr);
    std::vector<ListResult> results = run.run(workers);
    if (bar) bar->finish();

    // The counter as the last successful file left it; untouched when no file succeeded.
    if (counter && run.counter()) {
        try {
            counter->write(std::to_string(*run.counter()));
            counter->stage(true);
            counter->commit();
        } catch (const CPdfException& e) {
            counterFailure_ = ListResult{"Stamp file issue\r\n", e.reason()};
        }
    }
    return results;
}

} // namespace tavrix
