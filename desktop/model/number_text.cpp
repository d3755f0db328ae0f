#include "desktop/model/number_text.hpp"

#include <charconv>
#include <cmath>
#include <limits>

namespace folvane {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Length of the decimal real at the start of `s` (sign, digits, point, digits, exponent), or 0.
size_t realLength(std::string_view s) {
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t digits = 0;
    while (i < s.size() && isDigit(s[i]))
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i]))
            ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && isDigit(s[j])) {
            while (j < s.size() && isDigit(s[j]))
                ++j;
            i = j;
        }
    }
    return i;
}

// Converts a real already delimited by realLength; nullopt when it does not fit a double.
std::optional<double> convertReal(std::string_view s) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1); // from_chars takes no plus sign
    double v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec == std::errc::result_out_of_range) {
        // Underflow is a zero; overflow cannot be represented.
        if (std::fabs(v) < 1.0) return 0.0;
        return std::nullopt;
    }
    if (ec != std::errc() || !std::isfinite(v)) return std::nullopt;
    return v;
}

} // namespace

int64_t leadingInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 10 - 1;
    int64_t v = 0;
    while (i < text.size() && isDigit(text[i])) {
        if (v < kLimit) v = v * 10 + (text[i] - '0');
        ++i;
    }
    return negative ? -v : v;
}

int32_t leadingInt32(std::string_view text) {
    const int64_t v = leadingInteger(text);
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

double leadingReal(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    const size_t n = realLength(text);
    if (n == 0) return 0;
    const auto v = convertReal(text.substr(0, n));
    if (v) return *v;
    return text.front() == '-' ? std::numeric_limits<double>::lowest()
                               : std::numeric_limits<double>::max();
}

std::optional<int32_t> parseIntegerField(std::string_view text) {
    text = trimBlanks(text);
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i == text.size()) return std::nullopt;
    for (size_t j = i; j < text.size(); ++j)
        if (!isDigit(text[j])) return std::nullopt;
    const int64_t v = leadingInteger(text);
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    if (v == 0 && text.front() != '0') return std::nullopt;
    return static_cast<int32_t>(v);
}

std::optional<double> parseRealField(std::string_view text) {
    text = trimBlanks(text);
    const size_t n = realLength(text);
    if (n == 0 || n != text.size()) return std::nullopt;
    const auto v = convertReal(text);
    if (!v) return std::nullopt;
    if (*v == 0 && text.front() != '0') return std::nullopt;
    return v;
}

std::string formatReal6(double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    return std::string(buf, res.ptr);
}

std::string formatReal15(double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    return std::string(buf, res.ptr);
}

int32_t truncateToInt32(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

} // namespace folvane
