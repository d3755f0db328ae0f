// Steps of a run that stand on their own: the import and export numbers and the renaming of
// the finished output.
#pragma once

#include <cstdint>
#include <string>

namespace tavrix {

// The decimal number at the start of the first ten bytes of `path` (blanks, optional sign,
// digits); 0 when there is none. Throws CPdfException when the file cannot be opened.
int32_t readImportNumber(const std::string& path);

// Writes the digits of `next` without a line break. Throws when the file cannot be created.
void writeExportNumber(const std::string& path, int32_t next);

// "%-*.*d" with width and precision `mask`.
std::string formatMasked(int32_t value, int32_t mask);

// The path that the rename pattern gives for `outputPath`.
std::string renamedPath(const std::string& outputPath, std::string pattern, int32_t mask,
                        int32_t startNumber, int32_t highestNumber);

} // namespace tavrix
