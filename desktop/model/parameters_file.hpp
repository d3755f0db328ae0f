// Page parameters files (*.ppf): one key per line, "KEY;value" or a flag key alone.
#pragma once

#include <array>
#include <string>

#include "desktop/model/page_parameters.hpp"

namespace folvane {

// The CMYK entry form's own four values (C, M, Y, K in percent).
using CmykValues = std::array<int32_t, 4>;

// The file's bytes for `p`, CR LF line ends, in the fixed key order.
std::string formatParameters(const PageParameters& p);

// Writes formatParameters(p) to `path`, truncating it. False when the file cannot be written.
bool writeParametersFile(const PageParameters& p, const std::string& path);

// Resets the presence-encoded flags (and angle and opacity), then reads `path` over `p`.
// INFILE and OUTFILE are taken only with `includePaths`. CMYK percentages also go into
// `cmykForm` when it is given. Returns false, changing nothing, when the file cannot be read; then
// `problem` (when given) says why, or stays empty when there is no such file. A file that is not
// valid UTF-8 is read as Windows-1252, as other programs of this kind write it.
bool readParametersFile(PageParameters& p, const std::string& path, bool includePaths,
                        CmykValues* cmykForm = nullptr, std::string* problem = nullptr);

// Reads the lines of `content` over `p` without the resets (LF or CR LF lines, any length).
void parseParameters(PageParameters& p, const std::string& content, bool includePaths,
                     CmykValues* cmykForm = nullptr);

} // namespace folvane
