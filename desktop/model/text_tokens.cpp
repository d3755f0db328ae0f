#include "desktop/model/text_tokens.hpp"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "engine/text/roman.hpp"

namespace folvane {
namespace {

// Day names, month names and the AM/PM marker as the C library formats them in its default
// locale; kept here so that the program's own locale never changes what a stamp says.
const char* const kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                  "Thursday", "Friday", "Saturday"};
const char* const kMonthNames[12] = {"January",   "February", "March",    "April",
                                     "May",       "June",     "July",     "August",
                                     "September", "October",  "November", "December"};

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

bool isLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// 0-based day of the year.
int dayOfYear(const LocalTime& t) {
    static const int kBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const int month = std::clamp(t.month, 1, 12);
    return kBefore[month - 1] + t.day - 1 + (month > 2 && isLeapYear(t.year) ? 1 : 0);
}

// 0 = Sunday.
int dayOfWeek(const LocalTime& t) {
    // Days since 1970-01-01 (a Thursday) by the civil-from-days inverse.
    int y = t.year;
    const int m = std::clamp(t.month, 1, 12);
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + t.day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = static_cast<long>(era) * 146097 + doe - 719468;
    return static_cast<int>(((days % 7) + 11) % 7);
}

std::string format(const char* fmt, int v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string formatTime(const std::optional<LocalTime>& t) {
    if (!t) return {};
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.4d-%.2d-%.2d %.2d:%.2d:%.2d", t->year, t->month, t->day,
                  t->hour, t->minute, t->second);
    return buf;
}

std::string daySuffix(int day) {
    switch (day) {
    case 1:
    case 21:
    case 31:
        return "st";
    case 2:
    case 22:
        return "nd";
    case 3:
    case 23:
        return "rd";
    default:
        return "th";
    }
}

// Replaces every occurrence of `token`, continuing after each inserted value so that a value
// containing the token itself cannot make the replacement run forever.
void replaceAll(std::string& text, const std::string& token, const std::string& value) {
    size_t at = text.find(token);
    while (at != std::string::npos) {
        text.replace(at, token.size(), value);
        at = text.find(token, at + value.size());
    }
}

LocalTime fromTm(const std::tm& tm) {
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                     tm.tm_hour,        tm.tm_min,     tm.tm_sec};
}

std::optional<LocalTime> localTimeOf(time_t seconds) {
    std::tm tm{};
    if (!localtime_r(&seconds, &tm)) return std::nullopt;
    return fromTm(tm);
}

} // namespace

LocalTime systemClock() {
    const time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return fromTm(tm);
}

FileTimes readFileTimes(const std::string& path) {
    FileTimes times;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return times;
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME | STATX_MTIME, &sx) == 0) {
        if (sx.stx_mask & STATX_BTIME) times.created = localTimeOf(sx.stx_btime.tv_sec);
        if (sx.stx_mask & STATX_MTIME) times.modified = localTimeOf(sx.stx_mtime.tv_sec);
    }
    ::close(fd);
    return times;
}

std::string fileTitleWithExtension(const std::string& path) {
    const auto it = std::find_if(path.rbegin(), path.rend(), isSeparator);
    return std::string(it.base(), path.end());
}

std::string fileTitle(const std::string& path) {
    std::string title = fileTitleWithExtension(path);
    const size_t dot = title.rfind('.');
    if (dot != std::string::npos && dot > 0) title.resize(dot);
    return title;
}

std::string folderPath(const std::string& path) {
    const auto it = std::find_if(path.rbegin(), path.rend(), isSeparator);
    if (it == path.rend()) return path;
    const size_t at = static_cast<size_t>(path.rend() - it) - 1;
    if (at == 0) return path; // a separator in the first position does not count
    return path.substr(0, at);
}

std::string topFolderName(const std::string& path) {
    std::vector<size_t> separators;
    for (size_t i = 0; i < path.size(); ++i)
        if (isSeparator(path[i])) separators.push_back(i);
    if (separators.empty()) return path;
    if (separators.size() == 1) return path.substr(separators[0] + 1);
    const size_t last = separators.back();
    const size_t before = separators[separators.size() - 2];
    return path.substr(before + 1, last - before - 1);
}

TokenExpander::TokenExpander(Clock clock, FileTimeReader fileTimes)
    : clock_(std::move(clock)), fileTimes_(std::move(fileTimes)) {}

std::string TokenExpander::expand(const std::string& text, const std::string& inputPath) const {
    if (text.find('[') == std::string::npos) return text;

    const LocalTime now = clock_();
    const int yday = dayOfYear(now);
    const int wday = dayOfWeek(now);
    const int weekSunday = (yday + 7 - wday) / 7;           // "%U"
    const int weekMonday = (yday + 7 - (wday + 6) % 7) / 7; // "%W"
    const bool morning = now.hour < 12;
    const std::string month = kMonthNames[std::clamp(now.month, 1, 12) - 1];

    std::string out = text;
    replaceAll(out, "[FILENAME]", inputPath);
    replaceAll(out, "[FILETITLE]", fileTitle(inputPath));
    replaceAll(out, "[FILETITLEEXT]", fileTitleWithExtension(inputPath));
    replaceAll(out, "[FOLDERPATH]", folderPath(inputPath));
    replaceAll(out, "[TOPFOLDERPATH]", topFolderName(inputPath));
    replaceAll(out, "[MM]", format("%.2d", now.month));
    replaceAll(out, "[DD]", format("%.2d", now.day));
    replaceAll(out, "[YY]",
               format("%.2d", now.year)); // all digits of the year, as stored files expect
    replaceAll(out, "[YYYY]", format("%.4d", now.year));
    replaceAll(out, "[M]", format("%d", now.month));
    replaceAll(out, "[D]", format("%d", now.day));
    replaceAll(out, "[hh]", format("%.2d", now.hour));
    replaceAll(out, "[mm]", format("%.2d", now.minute));
    replaceAll(out, "[ss]", format("%.2d", now.second));
    replaceAll(out, "[DW]", format("%d", wday + 1));
    replaceAll(out, "[DY]", format("%.3d", yday + 1));
    replaceAll(out, "[DN]", kDayNames[wday]);
    replaceAll(out, "[ADN]", std::string(kDayNames[wday], 3));
    replaceAll(out, "[MN]", month);
    replaceAll(out, "[AMN]", month.substr(0, 3));
    replaceAll(out, "[AMPM]", morning ? "AM" : "PM");
    replaceAll(out, "[ampm]", morning ? "am" : "pm");
    replaceAll(out, "[WYS]", format("%.2d", weekSunday + 1));
    replaceAll(out, "[WYM]", format("%.2d", weekMonday + 1));
    replaceAll(out, "[WD]", format("%d", wday + 1));
    replaceAll(out, "[DEX]", daySuffix(now.day));
    if (out.find("[CREATEDTIME]") != std::string::npos ||
        out.find("[MODIFIEDTIME]") != std::string::npos) {
        const FileTimes times = fileTimes_(inputPath);
        replaceAll(out, "[CREATEDTIME]", formatTime(times.created));
        replaceAll(out, "[MODIFIEDTIME]", formatTime(times.modified));
    }
    return out;
}

namespace {

// printf's "%.*d": at least `digits` digits, so 0 with no digits is empty; a negative precision
// counts as none given. The zero fill is capped so that a huge mask cannot exhaust memory.
std::string zeroFilled(int32_t value, int32_t digits) {
    constexpr int32_t kMaxFill = 4096;
    if (digits < 0) digits = 1;
    digits = std::min(digits, kMaxFill);
    const int64_t v = value;
    std::string magnitude = v == 0 ? std::string() : std::to_string(v < 0 ? -v : v);
    if (magnitude.size() < static_cast<size_t>(digits))
        magnitude.insert(0, static_cast<size_t>(digits) - magnitude.size(), '0');
    return v < 0 ? "-" + magnitude : magnitude;
}

} // namespace

std::string previewText(const PageParameters& p, const TokenExpander& expander) {
    const std::string prefix = expander.expand(p.prefixText, p.inputPath);
    const std::string end = expander.expand(p.endText, p.inputPath);
    const std::string& sep = p.separatorText; // the preview shows the separator unexpanded
    if (p.noPageNumbers) return prefix + sep + end;
    if (p.romanUpper || p.romanLower) {
        const bool lower = p.romanLower;
        if (p.onePageNumberOnly) return prefix + tavrix::toRoman(p.firstNumber, lower) + sep + end;
        return prefix + tavrix::toRoman(p.firstNumber, lower) + sep + tavrix::toRoman(9999, lower) +
               end;
    }
    if (p.onePageNumberOnly) return prefix + zeroFilled(p.firstNumber, p.maskDigits) + sep + end;
    return prefix + zeroFilled(p.firstNumber, p.maskDigits) + sep + zeroFilled(9999, p.maskDigits) +
           end;
}

} // namespace folvane
