// The progress bar of a file list on standard error: files and pages done, pages per second and
// time left. Standard output keeps the run's own lines byte for byte; when both go to one
// terminal, the bar is taken away before those lines are written and drawn again below them.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace tavrix {

class ProgressBar {
  public:
    ProgressBar(size_t files, uint64_t pages);
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Pages met by runs under way; a negative count takes back the pages of a run whose work
    // was dropped. Safe from any thread.
    void addPages(int64_t count);
    void fileDone();
    // Writes `text` to standard output with the bar kept out of its way.
    void printOut(std::string_view text);
    // Draws the final state and ends the bar's line.
    void finish();

    // The bar's line for the given state (no terminal codes), for tests.
    static std::string line(size_t filesDone, size_t files, uint64_t pagesDone, uint64_t pages,
                            double seconds);

  private:
    void draw(bool force);

    std::mutex mutex_;
    const size_t files_;
    const uint64_t pages_;
    size_t filesDone_ = 0;
    int64_t pagesDone_ = 0;
    const std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point drawn_{};
    // Standard output and standard error are one terminal: the bar then keeps a line of its own.
    bool sharedTerminal_ = false;
    bool shown_ = false;   // the bar is on the screen
    bool midLine_ = false; // standard output's last text did not end its line
    bool finished_ = false;
};

} // namespace tavrix
