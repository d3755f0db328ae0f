// The two objects through which an output file declares its stamp font: a font descriptor and
// a TrueType font in WinAnsiEncoding with explicit widths (no font program is embedded).
#pragma once

#include <cstdint>
#include <string>

namespace tavrix {

// Object text from " 0 obj" to "endobj\n", without the object number. Throws CPdfException
// "Unknown font name" when the font table has no entry for the name.
std::string fontDescriptorText(const std::string& fontName);

// Font object referring to descriptor object `descriptorNumber`; resourceName is the run's
// "F<digits>" name.
std::string fontObjectText(const std::string& fontName, const std::string& resourceName,
                           int64_t descriptorNumber);

} // namespace tavrix
