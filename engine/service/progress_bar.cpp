#include "engine/service/progress_bar.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace tavrix {
namespace {

constexpr int kBarWidth = 24;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

bool sameTerminal() {
    if (!::isatty(STDOUT_FILENO) || !::isatty(STDERR_FILENO)) return false;
    struct stat out {
    }, err{};
    return fstat(STDOUT_FILENO, &out) == 0 && fstat(STDERR_FILENO, &err) == 0 &&
           out.st_rdev == err.st_rdev;
}

void writeErr(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

std::string clock(uint64_t seconds) {
    char text[32];
    if (seconds >= 3600)
        std::snprintf(
            text, sizeof text, "%llu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
            static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(seconds / 60),
                      static_cast<unsigned>(seconds % 60));
    return text;
}

} // namespace

ProgressBar::ProgressBar(size_t files, uint64_t pages)
    : files_(files), pages_(pages), started_(std::chrono::steady_clock::now()),
      sharedTerminal_(sameTerminal()) {}

std::string ProgressBar::line(size_t filesDone, size_t files, uint64_t pagesDone, uint64_t pages,
                              double seconds) {
    pagesDone = std::min(pagesDone, pages);
    const double part = pages > 0   ? static_cast<double>(pagesDone) / static_cast<double>(pages)
                        : files > 0 ? static_cast<double>(filesDone) / static_cast<double>(files)
                                    : 1.0;
    const int filled = std::clamp(static_cast<int>(part * kBarWidth), 0, kBarWidth);
    std::string text = "[" + std::string(static_cast<size_t>(filled), '#') +
                       std::string(static_cast<size_t>(kBarWidth - filled), '-') + "] ";
    text += std::to_string(filesDone) + "/" + std::to_string(files) + " files  ";
    text += std::to_string(pagesDone) + "/" + std::to_string(pages) + " pages";
    if (seconds > 0.05 && pagesDone > 0) {
        const double rate = static_cast<double>(pagesDone) / seconds;
        text += "  " + std::to_string(static_cast<uint64_t>(rate + 0.5)) + " pages/s";
        if (filesDone < files) {
            const double left = static_cast<double>(pages - pagesDone) / rate;
            text += "  " + clock(static_cast<uint64_t>(left + 0.5)) + " left";
        } else {
            text += "  " + clock(static_cast<uint64_t>(seconds + 0.5)) + " in all";
        }
    }
    return text;
}

void ProgressBar::draw(bool force) {
    const auto now = std::chrono::steady_clock::now();
    if (finished_ || (!force && shown_ && now - drawn_ < kRedrawEvery)) return;
    drawn_ = now;
    const double seconds = std::chrono::duration<double>(now - started_).count();
    std::string text = sharedTerminal_ && midLine_ && !shown_ ? "\n" : "";
    text += "\r" +
            line(filesDone_, files_, static_cast<uint64_t>(std::max<int64_t>(0, pagesDone_)),
                 pages_, seconds) +
            "\033[K";
    midLine_ = false;
    shown_ = true;
    writeErr(text);
}

void ProgressBar::addPages(int64_t count) {
    std::lock_guard lock(mutex_);
    pagesDone_ += count;
    draw(false);
}

void ProgressBar::fileDone() {
    std::lock_guard lock(mutex_);
    ++filesDone_;
    draw(true);
}

void ProgressBar::printOut(std::string_view text) {
    std::lock_guard lock(mutex_);
    if (text.empty()) return;
    if (sharedTerminal_ && shown_) {
        // The bar's line is cleared, and the run's text is written where it stood.
        writeErr("\r\033[K");
        shown_ = false;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (sharedTerminal_) midLine_ = text.back() != '\n';
    draw(false);
}

void ProgressBar::finish() {
    std::lock_guard lock(mutex_);
    draw(true);
    finished_ = true;
    writeErr("\n");
}

} // namespace tavrix
