#include "engine/service/job_steps.hpp"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <limits>
#include <system_error>

#include "engine/pdf/data_file.hpp"
#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/pdf_scanner.hpp"

namespace tavrix {
namespace {

// Texts formatted for the rename tokens are capped at this many digits of fill.
constexpr int32_t kMaxRenameWidth = 64;

void replaceFirst(std::string& text, const std::string& token, const std::string& value) {
    const size_t at = text.find(token);
    if (at != std::string::npos) text.replace(at, token.size(), value);
}

} // namespace

int32_t readImportNumber(const std::string& path) {
    if (const std::string why = notDataFile(path); !why.empty())
        throw CPdfException("Can't open import file", "cannot open '" + path + "': " + why);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw CPdfException("Can't open import file", "cannot open '" + path + "': " +
                                                          std::generic_category().message(errno));
    }
    char head[10];
    in.read(head, sizeof head);
    const std::string text(head, static_cast<size_t>(in.gcount()));
    size_t i = 0;
    while (i < text.size() && isPdfWhitespace(static_cast<unsigned char>(text[i])))
        ++i;
    int64_t value = 0;
    readInteger(text, i, value);
    // Ten digits can exceed the 32-bit range; such a number saturates.
    return saturateInt32(value);
}

std::unique_ptr<OutputFile> stageExportNumber(const std::string& path, int32_t next,
                                              const OutputOptions& options) {
    auto file = std::make_unique<OutputFile>(path, options);
    file->write(std::to_string(next));
    // On the disk before the output is committed: a counter that outlives a crash must not
    // come back empty. A FIFO or device gets the digits only at commit, after the output.
    if (file->route() != OutputFile::Route::Direct) file->stage(true);
    return file;
}

std::string formatMasked(int32_t value, int32_t mask) {
    if (mask > kMaxRenameWidth) mask = kMaxRenameWidth;
    if (mask < -kMaxRenameWidth) mask = -kMaxRenameWidth;
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "%-*.*d", mask, mask, value);
    return buffer;
}

std::string renamedPath(const std::string& outputPath, std::string pattern, int32_t mask,
                        int32_t startNumber, int32_t highestNumber) {
    const size_t slash = outputPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : outputPath.substr(0, slash + 1);
    std::string title = slash == std::string::npos ? outputPath : outputPath.substr(slash + 1);
    // The title drops the last four characters: the extension and its dot.
    title = title.size() > 4 ? title.substr(0, title.size() - 4) : "";
    replaceFirst(pattern, "[PAGESTART]", formatMasked(startNumber, mask));
    replaceFirst(pattern, "[PAGEEND]", formatMasked(highestNumber, mask));
    replaceFirst(pattern, "[FILETITLE]", title);
    return folder + pattern;
}

} // namespace tavrix
