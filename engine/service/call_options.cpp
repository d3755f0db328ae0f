#include "engine/service/call_options.hpp"

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
    }
    return options;
}

std::string escapeOptionValue(std::string_view value) {
    std::string out;
    for (char c : value) {
        if (c == ';' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

} // namespace tavrix
