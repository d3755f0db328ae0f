// The engine reports its progress only as lines on standard output ("Input file: '...'" for each
// file it starts). While a StdoutTap lives, the process's standard output runs through a pipe, so
// the program can follow a run's progress; the bytes are copied on to the original output (as a
// terminal showed them before) or dropped.
#pragma once

#include <functional>
#include <string_view>
#include <thread>

namespace folvane {

class StdoutTap {
  public:
    // `sink` sees every chunk written, on the tap's own thread; `forward` copies the chunks to
    // the original standard output. Without a usable standard output the tap does nothing.
    StdoutTap(std::function<void(std::string_view)> sink, bool forward);
    ~StdoutTap();
    StdoutTap(const StdoutTap&) = delete;
    StdoutTap& operator=(const StdoutTap&) = delete;

  private:
    int saved_ = -1; // the original standard output
    std::thread reader_;
};

// Counts the files a run has started from its progress output, which may arrive in pieces.
class FileStartCounter {
  public:
    // Returns the count after `chunk`.
    int add(std::string_view chunk);

  private:
    int count_ = 0;
    size_t matched_ = 0; // characters of the marker matched at the end of the previous chunk
};

} // namespace folvane
