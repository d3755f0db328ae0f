// Steps of a run that stand on their own: the import and export numbers and the renaming of
// the finished output.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/writer/output_file.hpp"

namespace tavrix {

// The decimal number at the start of the first ten bytes of `path` (blanks, optional sign,
// digits); 0 when there is none. Throws CPdfException when the file cannot be opened.
int32_t readImportNumber(const std::string& path);

// Writes the digits of `next` without a line break into a file that takes the place of `path`
// on commit(), so that a counter never holds a partial number. Throws when it cannot be written.
std::unique_ptr<OutputFile> stageExportNumber(const std::string& path, int32_t next,
                                              const OutputOptions& options);

// "%-*.*d" with width and precision `mask`.
std::string formatMasked(int32_t value, int32_t mask);

// The path that the rename pattern gives for `outputPath`.
std::string renamedPath(const std::string& outputPath, std::string pattern, int32_t mask,
                        int32_t startNumber, int32_t highestNumber);

} // namespace tavrix
