// Options for one getTavrixFile call, carried in its params text as "key=value" pairs separated
// by ";" ("password=SECRET;repair=1"). Within a value "\;" stands for ";" and "\\" for "\".
// Unknown keys, pairs without "=" and other free text are ignored, so callers that pass an empty
// text, or any text of their own, get the plain behaviour.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tavrix/call_params.hpp"

namespace tavrix {

struct CallOptions {
    // Present when the caller gave one, even empty (the empty user password opens most
    // protected files).
    std::optional<std::string> password;
    bool repair = false;      // rebuild damaged cross-reference data
    bool incremental = false; // append an update to the input's bytes instead of rewriting
    bool verbose = false;     // report damage the reader tolerated (on standard error)
    // A file list runs on this many threads, with the numbers of a run one file after another
    // ("jobs=0": one per core); 1 runs its files one after another.
    unsigned jobs = 1;
    // A file list shows its progress in a bar on standard error (files and pages done, pages
    // per second, time left); the command-line client asks for it on a terminal.
    bool progressBar = false;
};

// More threads than this gain nothing and would hold too many files open at once.
inline constexpr unsigned kMaxJobs = 64;

// The pairs in order, keys and values unescaped; text without "=" is left out.
std::vector<std::pair<std::string, std::string>> splitOptions(std::string_view params);

CallOptions parseCallOptions(std::string_view params);

} // namespace tavrix
