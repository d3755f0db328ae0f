// Which installed fonts draw a stamp text that Windows-1252 cannot hold: fontconfig's faces for
// the `font` setting in its order of preference (the named family, then the faces of the same
// kind: sans for sans, serif for serif, bold and italic kept), narrowed to the faces a PDF file
// can embed and to the characters of the text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavrix {

struct FaceRef {
    std::string path;
    unsigned index = 0; // face in a collection
    std::string family;
};

// The faces that draw `characters` for the font named `fontName`: the most preferred face that
// covers every character; only when no face does, for each character the most preferred face
// that has it (each face once, in order of preference). The choice depends only on the installed
// fonts and fontconfig's configuration, never on the user's locale.
// Throws CPdfException when the name is neither in the font table nor an installed family, and
// "no installed font has U+0F40; install one, e.g. fonts-noto-core" for the first character
// that no face has.
std::vector<FaceRef> chooseFaces(std::string_view fontName, std::u32string_view characters);

// Characters that draw nothing (controls, default-ignorable characters such as joiners,
// variation selectors and direction marks) need no glyph of any face.
bool needsGlyph(char32_t c);

} // namespace tavrix
