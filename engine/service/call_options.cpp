#include "engine/service/call_options.hpp"

#include <algorithm>
#include <thread>

namespace tavrix {
namespace {

std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// "1", "true", "yes" and "on" switch an option on; anything else leaves it off.
bool isOn(std::string_view value) {
    value = trimmed(value);
    return value == "1" || value == "true" || value == "yes" || value == "on";
}

// A count of threads: "0" means one per core; anything that is not a count means 1.
unsigned jobCount(std::string_view value) {
    value = trimmed(value);
    if (value.empty() || value.size() > 6 || value.find_first_not_of("0123456789") != value.npos)
        return 1;
    unsigned n = 0;
    for (char c : value)
        n = n * 10 + static_cast<unsigned>(c - '0');
    if (n == 0) n = std::max(1u, std::thread::hardware_concurrency());
    return std::min(n, kMaxJobs);
}

} // namespace

std::vector<std::pair<std::string, std::string>> splitOptions(std::string_view params) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string piece;
    auto finish = [&] {
        const size_t eq = piece.find('=');
        if (eq != std::string::npos)
            pairs.emplace_back(std::string(trimmed(std::string_view(piece).substr(0, eq))),
                               piece.substr(eq + 1));
        piece.clear();
    };
    for (size_t i = 0; i < params.size(); ++i) {
        const char c = params[i];
        if (c == '\\' && i + 1 < params.size() && (params[i + 1] == ';' || params[i + 1] == '\\')) {
            piece += params[++i];
        } else if (c == ';') {
            finish();
        } else {
            piece += c;
        }
    }
    finish();
    return pairs;
}

CallOptions parseCallOptions(std::string_view params) {
    CallOptions options;
    // A key given twice takes its last value.
    for (const auto& [key, value] : splitOptions(params)) {
        if (key == "password")
            options.password = value;
        else if (key == "repair")
            options.repair = isOn(value);
        else if (key == "incremental")
            options.incremental = isOn(value);
        else if (key == "verbose")
            options.verbose = isOn(value);
        else if (key == "jobs")
            options.jobs = jobCount(value);
        else if (key == "progressbar")
            options.progressBar = isOn(value);
    }
    return options;
}

} // namespace tavrix
