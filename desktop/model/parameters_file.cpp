#include "desktop/model/parameters_file.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
#include <variant>

#include "desktop/model/number_text.hpp"
#include "desktop/model/settings_table.hpp"
#include "engine/service/ansi_text.hpp"
#include "tavrixrt/text.hpp"

namespace folvane {
namespace {

// Flags are stored by presence, so a file's absent flag lines mean "off": they, and angle and
// opacity, take their reset values before the lines are read.
void resetBeforeLoad(PageParameters& p) {
    for (const Setting& s : settingsTable()) {
        if (s.loadReset == kKeepOnLoad) continue;
        std::visit(
            [&](auto* member) {
                using T = std::remove_pointer_t<decltype(member)>;
                if constexpr (std::is_same_v<T, bool>)
                    *member = s.loadReset != 0;
                else if constexpr (std::is_same_v<T, int32_t>)
                    *member = s.loadReset;
            },
            s.member(p));
    }
}

struct LoadContext {
    PageParameters& p;
    bool includePaths;
    CmykValues* cmykForm;
};

void readValue(LoadContext& c, const Setting& s, std::string_view value) {
    if (s.onlyWithPaths && !c.includePaths) return;
    const MemberRef member = s.member(c.p);
    switch (s.kind) {
    case Kind::Text:
        *std::get<std::string*>(member) = std::string(value);
        break;
    case Kind::Integer:
        *std::get<int32_t*>(member) = leadingInt32(value);
        if (c.cmykForm && s.cmykFormIndex >= 0)
            (*c.cmykForm)[static_cast<size_t>(s.cmykFormIndex)] = *std::get<int32_t*>(member);
        break;
    case Kind::Real:
        *std::get<double*>(member) = leadingReal(value);
        break;
    case Kind::Flag:
        *std::get<bool*>(member) = true;
        if (s.partner) *std::get<bool*>(s.partner(c.p)) = false;
        break;
    case Kind::Colour:
        // Stored as an unsigned 32-bit value; a signed text wraps as the C library's unsigned
        // conversion does.
        *std::get<uint32_t*>(member) = static_cast<uint32_t>(leadingInteger(value));
        break;
    }
}

// Splits a line at semicolons, skipping empty pieces: the first piece is the key, the second
// (if any) the value; anything after that is ignored.
void readLine(LoadContext& context, std::string_view line) {
    std::string_view pieces[2];
    size_t count = 0;
    size_t start = 0;
    while (start <= line.size() && count < 2) {
        size_t end = line.find(';', start);
        if (end == std::string_view::npos) end = line.size();
        if (end > start) pieces[count++] = line.substr(start, end - start);
        start = end + 1;
    }
    if (count == 0) return; // a line without a key changes nothing
    if (const Setting* s = settingForKey(pieces[0])) readValue(context, *s, pieces[1]);
}

} // namespace

std::string formatParameters(const PageParameters& p) {
    // The table hands out writable member references; a copy keeps the caller's record const.
    PageParameters record = p;
    std::string out;
    for (const Setting& s : settingsTable()) {
        if (s.key.empty()) continue;
        const MemberRef member = s.member(record);
        std::string value;
        switch (s.kind) {
        case Kind::Text:
            value = *std::get<std::string*>(member);
            break;
        case Kind::Integer:
            value = std::to_string(*std::get<int32_t*>(member));
            break;
        case Kind::Real:
            value = formatReal6(*std::get<double*>(member));
            break;
        case Kind::Colour:
            value = std::to_string(*std::get<uint32_t*>(member));
            break;
        case Kind::Flag:
            if (!*std::get<bool*>(member)) continue;
            out += s.key;
            out += "\r\n";
            continue;
        }
        out += s.key;
        out += ';';
        out += value;
        out += "\r\n";
    }
    return out;
}

bool writeParametersFile(const PageParameters& p, const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const std::string bytes = formatParameters(p);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

void parseParameters(PageParameters& p, const std::string& content, bool includePaths,
                     CmykValues* cmykForm) {
    LoadContext context{p, includePaths, cmykForm};
    // Lines are read whole whatever their length; CR and LF both end a line.
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find_first_of("\r\n", start);
        if (end == std::string::npos) end = content.size();
        readLine(context, std::string_view(content).substr(start, end - start));
        start = end + 1;
    }
}

namespace {

// The whole file, or nothing with `problem` set (empty when there is no such file). Only regular
// files are read: a folder or a device named like a settings file is not one.
std::optional<std::string> readWholeFile(const std::string& path, std::string& problem) {
    constexpr off_t kLargest = 16 << 20; // far beyond any settings file
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT) problem = "cannot read '" + path + "': " + std::strerror(errno);
        return std::nullopt;
    }
    std::optional<std::string> content;
    struct stat st;
    if (::fstat(fd, &st) != 0)
        problem = "cannot read '" + path + "': " + std::strerror(errno);
    else if (S_ISDIR(st.st_mode))
        problem = "cannot read '" + path + "': it is a folder";
    else if (!S_ISREG(st.st_mode))
        problem = "cannot read '" + path + "': it is not a file";
    else if (st.st_size > kLargest)
        problem = "cannot read '" + path + "': it is far too large for a settings file";
    else {
        std::string bytes;
        char buffer[8192];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                problem = "cannot read '" + path + "': " + std::strerror(errno);
                break;
            }
            if (n == 0) {
                content = std::move(bytes);
                break;
            }
            if (bytes.size() + static_cast<size_t>(n) > static_cast<size_t>(kLargest)) {
                problem = "cannot read '" + path + "': it is far too large for a settings file";
                break;
            }
            bytes.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    return content;
}

bool isValidUtf8(const std::string& bytes) {
    // The runtime's decoder carries every byte that is not part of valid UTF-8 (overlong forms
    // and encoded surrogates included) as U+DC80..U+DCFF.
    for (const char16_t unit : tavrixrt::utf16FromUtf8(bytes))
        if (unit >= 0xDC80 && unit <= 0xDCFF) return false;
    return true;
}

} // namespace

bool readParametersFile(PageParameters& p, const std::string& path, bool includePaths,
                        CmykValues* cmykForm, std::string* problem) {
    // The resets give absent flag lines their meaning, so they wait until there is a file: a
    // missing file (the first start, with no settings yet) leaves the record as it was.
    std::string why;
    std::optional<std::string> content = readWholeFile(path, why);
    if (problem) *problem = why;
    if (!content) return false;
    if (!isValidUtf8(*content)) *content = tavrix::windows1252ToUtf8(*content);
    resetBeforeLoad(p);
    parseParameters(p, *content, includePaths, cmykForm);
    return true;
}

} // namespace folvane
