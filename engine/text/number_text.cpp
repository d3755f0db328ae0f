#include "engine/text/number_text.hpp"

#include "engine/text/roman.hpp"

namespace tavrix {
namespace {

// Signed 32-bit arithmetic that wraps instead of overflowing.
int32_t wrap(int64_t v) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

// Zero fill: for k from mask - 1 down to 0, a "0" while v / 10^k is 0. Powers beyond what 64
// bits hold divide every 32-bit value to 0, so those places are zeros as well.
std::string zeroFilled(int64_t v, int32_t mask) {
    std::string out;
    // No fill at all below 1, however far below: mask - 1 must not be computed for INT32_MIN.
    if (mask <= 0) return std::to_string(v);
    if (mask > kMaxMaskDigits) mask = kMaxMaskDigits;
    for (int32_t k = mask - 1; k >= 0; --k) {
        bool zero = true;
        if (k <= 18) {
            int64_t power = 1;
            for (int32_t j = 0; j < k; ++j)
                power *= 10;
            zero = v / power == 0;
        }
        if (!zero) break;
        out += '0';
    }
    return out + std::to_string(v);
}

std::string piece(const StampSettings& job, int64_t v, bool isTotal) {
    if (job.romUpper) return toRoman(wrap(v), false);
    if (job.rom) return toRoman(wrap(v), true);
    return zeroFilled(isTotal ? v : wrap(v), job.mask);
}

} // namespace

std::optional<int32_t> shownNumber(const StampSettings& job, int32_t p, uint32_t pageCount,
                                   int32_t& highest) {
    if (p < job.startPage || p > job.endPage) return std::nullopt;
    if (job.nth != 0 && int64_t{wrap(int64_t{job.startPage} + p - 1)} % job.nth == 0)
        return std::nullopt;
    int32_t n = p;
    // seq without nth would divide by zero; the number is then left as it is.
    if (job.seq && job.nth != 0) n = wrap(int64_t{n} / job.nth + 1);
    const uint32_t half = pageCount / 2;
    if (job.up2) n = (n % 2 != 0) ? wrap(int64_t{n} / 2 + 1) : wrap(int64_t{half} + n / 2);
    if (job.ab2) {
        if (static_cast<uint32_t>(n) <= half)
            n = wrap(2 * int64_t{n} - 1);
        else
            n = wrap(2 * (int64_t{n} - half));
    }
    if (job.reverse) n = wrap(int64_t{pageCount} - n + 1);
    n = wrap(int64_t{n} + job.startNumber - job.startPage);
    if (n > highest) highest = n;
    return n;
}

std::string composeRawText(const StampSettings& job, int32_t n, uint32_t pageCount) {
    if (job.nopg) return job.prefix + job.sep + job.end;
    if (job.onePageNo) return job.prefix + piece(job, n, false) + job.sep + job.end;
    return job.prefix + piece(job, n, false) + job.sep + piece(job, pageCount, true) + job.end;
}

std::string composeStampText(const StampSettings& job, int32_t n, uint32_t pageCount) {
    const std::string raw = composeRawText(job, n, pageCount);
    std::string escaped;
    escaped.reserve(raw.size() + 8);
    for (char c : raw) {
        if (c == '(')
            escaped += "\\050";
        else if (c == ')')
            escaped += "\\051";
        // A backslash would start an escape of its own (a trailing one would swallow the
        // closing parenthesis and break the page's content), so it is escaped the same way.
        else if (c == '\\')
            escaped += "\\134";
        else
            escaped += c;
    }
    return escaped;
}

} // namespace tavrix
