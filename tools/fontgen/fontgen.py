#!/usr/bin/env python3
"""Writes engine/fonts/builtin_fonts.cpp and tools/fontgen/PROVENANCE.md.

The engine carries the box and the 256 WinAnsiEncoding widths of 161 named fonts. This script
collects them from metric data that can be installed on a Debian machine, in thousandths of the
em, and writes them as a C++ table in the table's fixed order. It is run by hand, never by the
build; its output is committed.

Setup (once):
    apt-get install -y python3-fonttools fonts-liberation fonts-liberation2 fonts-urw-base35 \
        fonts-dejavu-core fonts-dejavu-extra fonts-ebgaramond nodejs npm
    mkdir -p /tmp/fontsrc && cd /tmp/fontsrc && npm init -y && \
        npm install pdfkit string-pixel-width
Run from the repository root:
    /usr/bin/python3 tools/fontgen/fontgen.py --npm-root /tmp/fontsrc/node_modules

Kinds of source:
  Core         an Adobe core-14 AFM file (shipped in the pdfkit package), widths looked up by
               the WinAnsiEncoding glyph name of each code;
  CoreBuiltin  the same for the symbolic core fonts, widths taken by the font's own codes;
  Sfnt         a TrueType/OpenType file read with fontTools, code -> Windows-1252 character ->
               cmap -> advance width; the box is the union of the outlines of the 256 glyphs;
  Ascii        1/100-em ASCII widths from the string-pixel-width package, completed from a
               reference face of the same style (see Ascii.metrics);
  Uniform      one width for every code;
  Same         a copy of another entry of the table.
Where a source differs from the reference rows in TELLING, the reference value is written.
"""

import argparse
import json
import math
import pathlib
import subprocess
import sys
import unicodedata

from fontTools import agl
from fontTools.pens.boundsPen import BoundsPen
from fontTools.ttLib import TTFont

LIB2 = "/usr/share/fonts/truetype/liberation2/"
LIB1 = "/usr/share/fonts/truetype/liberation/"
URW = "/usr/share/fonts/opentype/urw-base35/"
DEJAVU = "/usr/share/fonts/truetype/dejavu/"
EBG = "/usr/share/fonts/opentype/ebgaramond/"

PKG = {
    LIB2: "fonts-liberation2",
    LIB1: "fonts-liberation",
    URW: "fonts-urw-base35",
    DEJAVU: "fonts-dejavu-core/-extra",
    EBG: "fonts-ebgaramond",
}

UNDEFINED_CP1252 = {129, 141, 143, 144, 157}


def cp1252_char(code):
    """The character of a Windows-1252 code, or None for the five undefined codes."""
    if code in UNDEFINED_CP1252:
        return None
    return bytes([code]).decode("cp1252")


def half_up(value):
    return math.floor(value + 0.5)


class Metrics:
    def __init__(self, box, widths):
        self.box = list(box)
        self.widths = list(widths)


# ---------------------------------------------------------------------------------------------
# Sources


# WinAnsiEncoding names that the glyph list of fontTools does not give for the code's character.
WINANSI_NAMES = {173: "hyphen", 178: "twosuperior", 179: "threesuperior", 185: "onesuperior"}


class Core:
    """Adobe core-14 AFM, WinAnsiEncoding glyph names; 600 for the codes without a character."""

    def __init__(self, afm):
        self.afm = afm

    def describe(self):
        return (f"Adobe core-14 AFM `{self.afm}.afm` (npm `pdfkit`), "
                "widths by WinAnsiEncoding glyph name")

    def metrics(self, ctx):
        _, by_name, box = ctx.afm(self.afm)
        widths = [600] * 256
        for code in list(range(32, 127)) + list(range(161, 256)):
            char = cp1252_char(code)
            name = WINANSI_NAMES.get(code) or agl.UV2AGL.get(ord(char))
            if name not in by_name:
                sys.exit(f"{self.afm}: no glyph {name} for code {code}")
            widths[code] = by_name[name]
        return Metrics(box, widths)


class CoreBuiltin:
    """Symbolic core-14 AFM: widths by the font's own codes, 600 where the font has no glyph."""

    def __init__(self, afm, fill_high=False):
        self.afm = afm
        self.fill_high = fill_high  # 600 for codes 127-160 as in the text core fonts

    def describe(self):
        text = (f"Adobe core-14 AFM `{self.afm}.afm` (npm `pdfkit`), "
                "widths by the font's built-in codes")
        if self.fill_high:
            text += ", 600 for codes 127-160"
        return text

    def metrics(self, ctx):
        by_code, _, box = ctx.afm(self.afm)
        filled = set(range(127, 161)) if self.fill_high else {127}
        widths = [600] * 256
        for code in range(32, 256):
            if code in by_code and code not in filled:
                widths[code] = by_code[code]
        return Metrics(box, widths)


class Sfnt:
    """A TrueType/OpenType file; optionally scaled (a half-width cell from a monospaced face)."""

    def __init__(self, path, scale=1.0):
        self.path = path
        self.scale = scale

    def describe(self):
        folder, file = self.path.rsplit("/", 1)
        text = f"`{file}` (Debian `{PKG[folder + '/']}`)"
        if self.scale != 1.0:
            text += f", scaled by {self.scale:.4f}"
        return text

    def metrics(self, ctx):
        widths, box, _ = ctx.sfnt(self.path, self.scale)
        return Metrics(box, widths)


class Ascii:
    """string-pixel-width ASCII widths (1/100 em) completed from a reference face.

    - a 1/100-em value is refined to the reference face's exact width when that width lies in
      the value's rounding interval (the faces share the width, up to the source's precision);
    - no-break space and soft hyphen take the widths of space and hyphen;
    - accented Latin letters take the width of their base letter;
    - the other codes above 127 take the reference face's width scaled by the ratio of the
      two faces' ASCII widths;
    - codes 0 to 31, 127 and the undefined codes take the missing-glyph width, which is the
      reference face's unless given;
    - the box is the reference face's.
    """

    STYLES = ["regular", "bold", "italic", "bold italic"]

    def __init__(self, family, style, ref, notdef=None):
        self.family = family
        self.style = style
        self.ref = ref
        self.notdef = notdef

    def describe(self):
        text = (
            f"npm `string-pixel-width` \"{self.family}\" {self.STYLES[self.style]} "
            "for codes 32-126; "
            f"other codes and box from {Sfnt(self.ref).describe()}"
        )
        if self.notdef is not None:
            text += f"; missing-glyph width {self.notdef}"
        return text

    def metrics(self, ctx):
        table = ctx.pixel_widths()[self.family]
        ref_widths, ref_box, ref_missing = ctx.sfnt(self.ref, 1.0)
        widths = [0] * 256
        for code in range(32, 127):
            coarse = table[chr(code)][self.style] * 10
            exact = ref_widths[code]
            widths[code] = exact if abs(exact - coarse) <= 5 else coarse
        scale = sum(widths[33:127]) / sum(ref_widths[33:127])
        notdef = self.notdef if self.notdef is not None else ref_widths[0]
        for code in list(range(0, 32)) + list(range(127, 256)):
            char = cp1252_char(code)
            if code < 32 or code == 127 or char is None:
                widths[code] = notdef
            elif code == 160:
                widths[code] = widths[32]
            elif code == 173:
                widths[code] = widths[45]
            else:
                base = unicodedata.normalize("NFD", char)
                if len(base) > 1 and base[0].isascii() and base[0].isalpha():
                    widths[code] = widths[ord(base[0])]
                elif ref_missing[code]:
                    widths[code] = notdef
                else:
                    widths[code] = half_up(ref_widths[code] * scale)
        return Metrics(ref_box, widths)


class Uniform:
    def __init__(self, width, box_from, note):
        self.width = width
        self.box_from = box_from
        self.note = note

    def describe(self):
        return f"{self.note}; every code {self.width}; box from {Sfnt(self.box_from).describe()}"

    def metrics(self, ctx):
        _, box, _ = ctx.sfnt(self.box_from, 1.0)
        return Metrics(box, [self.width] * 256)


class Same:
    def __init__(self, name):
        self.name = name

    def describe(self):
        return f"copy of \"{self.name}\""

    def metrics(self, ctx):
        m = ctx.entry(self.name)
        return Metrics(m.box, m.widths)


# ---------------------------------------------------------------------------------------------
# The table: every name in its fixed order, its source and, for substitutes, why that face.

SANS, SANS_B, SANS_I, SANS_BI = (
    LIB2 + "LiberationSans-" + s + ".ttf" for s in ("Regular", "Bold", "Italic", "BoldItalic")
)
SERIF, SERIF_B, SERIF_I, SERIF_BI = (
    LIB2 + "LiberationSerif-" + s + ".ttf" for s in ("Regular", "Bold", "Italic", "BoldItalic")
)
MONO, MONO_B, MONO_I, MONO_BI = (
    LIB2 + "LiberationMono-" + s + ".ttf" for s in ("Regular", "Bold", "Italic", "BoldItalic")
)
NARROW, NARROW_B, NARROW_I, NARROW_BI = (
    LIB1 + "LiberationSansNarrow-" + s + ".ttf" for s in ("Regular", "Bold", "Italic", "BoldItalic")
)
DV, DV_B, DV_I, DV_BI = (
    DEJAVU + "DejaVuSans" + s + ".ttf" for s in ("", "-Bold", "-Oblique", "-BoldOblique")
)
DVC, DVC_B = DEJAVU + "DejaVuSansCondensed.ttf", DEJAVU + "DejaVuSansCondensed-Bold.ttf"
DVS, DVS_B, DVS_I, DVS_BI = (
    DEJAVU + "DejaVuSerif" + s + ".ttf" for s in ("", "-Bold", "-Italic", "-BoldItalic")
)
DVSC, DVSC_B = DEJAVU + "DejaVuSerifCondensed.ttf", DEJAVU + "DejaVuSerifCondensed-Bold.ttf"
DVM = DEJAVU + "DejaVuSansMono.ttf"
PAL, PAL_B, PAL_I, PAL_BI = (
    URW + "P052-" + s + ".otf" for s in ("Roman", "Bold", "Italic", "BoldItalic")
)
BOOK, BOOK_B, BOOK_I, BOOK_BI = (
    URW + "URWBookman-" + s + ".otf" for s in ("Light", "Demi", "LightItalic", "DemiItalic")
)
GOTH, GOTH_B, GOTH_I, GOTH_BI = (
    URW + "URWGothic-" + s + ".otf" for s in ("Book", "Demi", "BookOblique", "DemiOblique")
)
SCHOOL, SCHOOL_B = URW + "C059-Roman.otf", URW + "C059-Bold.otf"
CHANCERY = URW + "Z003-MediumItalic.otf"
DINGBATS = URW + "D050000L.otf"
GARA, GARA_B, GARA_I = (EBG + "EBGaramond12-" + s + ".otf" for s in ("Regular", "Bold", "Italic"))

METRIC = "metric-compatible face"
RELATIVE = "close relative:"
SCRIPT = "no source; closest available face: formal script"
CASUAL = "no source; closest available face: informal hand, ASCII widths of Comic Sans MS"
INDIC = "no source; its Latin letters follow a plain grotesque: the Arial-compatible face"
SYMBOLIC = "no source; closest available face: a pictograph font by code"

FONTS = [
    ("Algerian", Sfnt(SCHOOL_B),
     "no source; closest available face: wide bold serif (display capitals)"),
    ("BookAntiqua-Bold", Sfnt(PAL_B), RELATIVE + " Palatino design"),
    ("BookAntiqua-BoldItalic", Sfnt(PAL_BI), RELATIVE + " Palatino design"),
    ("BookAntiqua-Italic", Sfnt(PAL_I), RELATIVE + " Palatino design"),
    ("Arial", Sfnt(SANS), METRIC),
    ("Arial-Bold", Sfnt(SANS_B), METRIC),
    ("Arial-BoldItalic", Sfnt(SANS_BI), METRIC),
    ("Arial-Italic", Sfnt(SANS_I), METRIC),
    ("ArialNarrow", Sfnt(NARROW), METRIC),
    ("ArialNarrow-Bold", Sfnt(NARROW_B), METRIC),
    ("ArialNarrow-BoldItalic", Sfnt(NARROW_BI), METRIC),
    ("ArialNarrow-Italic", Sfnt(NARROW_I), METRIC),
    ("ArialUnicodeMS", Same("Arial"), "its Latin glyphs carry Arial's widths"),
    ("ArialBlack", Sfnt(DV_B), "no source; closest available face: heavy wide grotesque"),
    ("BaskervilleOldFace", Sfnt(SERIF), "no source; closest available face: transitional serif"),
    ("Bauhaus93", Sfnt(GOTH_B), "no source; closest available face: geometric sans, heavy"),
    ("BellMT", Sfnt(SERIF), "no source; closest available face: transitional serif"),
    ("BellMT-Bold", Sfnt(SERIF_B), "no source; closest available face: transitional serif"),
    ("BellMT-Italic", Sfnt(SERIF_I), "no source; closest available face: transitional serif"),
    ("BernardMTCondensed", Sfnt(DVSC_B), "no source; closest available face: condensed bold serif"),
    ("BookAntiqua", Sfnt(PAL), RELATIVE + " Palatino design"),
    ("BodoniMTPosterCompressed", Sfnt(NARROW_B),
     "no source; closest available face: the narrowest heavy face"),
    ("BookmanOldStyle", Sfnt(BOOK), RELATIVE + " Bookman design"),
    ("BookmanOldStyle-Bold", Sfnt(BOOK_B), RELATIVE + " Bookman design"),
    ("BookmanOldStyle-BoldItalic", Sfnt(BOOK_BI), RELATIVE + " Bookman design"),
    ("BookmanOldStyle-Italic", Sfnt(BOOK_I), RELATIVE + " Bookman design"),
    ("BritannicBold", Sfnt(SANS_B), "no source; closest available face: bold grotesque"),
    ("BerlinSansFB-Bold", Sfnt(GOTH_B), "no source; closest available face: geometric sans, heavy"),
    ("BerlinSansFBDemi-Bold", Sfnt(GOTH_B),
     "no source; closest available face: geometric sans, heavy"),
    ("BerlinSansFB", Sfnt(GOTH), "no source; closest available face: geometric sans"),
    ("Broadway", Sfnt(DV_B), "no source; closest available face: heavy wide display face"),
    ("BrushScriptMT-Italic", Sfnt(CHANCERY), SCRIPT),
    ("BookshelfSymbol7", Same("ZapfDingbats"), SYMBOLIC),
    ("CalifornianFB-Bold", Sfnt(PAL_B), "no source; closest available face: old-style book serif"),
    ("CalifornianFB-Italic", Sfnt(PAL_I),
     "no source; closest available face: old-style book serif"),
    ("CalifornianFB", Sfnt(PAL), "no source; closest available face: old-style book serif"),
    ("Centaur", Sfnt(GARA), "no source; closest available face: Renaissance old-style serif"),
    ("Century", Sfnt(SCHOOL), RELATIVE + " Century design"),
    ("Chiller", Sfnt(NARROW), "no source; closest available face: narrow display face"),
    ("ColonnaMT", Sfnt(SCHOOL), "no source; closest available face: wide display serif"),
    ("ComicSansMS", Ascii("comic sans ms", 0, DV), "the face's own ASCII widths"),
    ("ComicSansMS-Bold", Ascii("comic sans ms", 1, DV_B), "the face's own ASCII widths"),
    ("CooperBlack", Sfnt(BOOK_B), "no source; closest available face: soft heavy serif"),
    ("CourierNew", Sfnt(MONO), METRIC),
    ("CourierNew-Bold", Sfnt(MONO_B), METRIC),
    ("CourierNew-BoldItalic", Sfnt(MONO_BI), METRIC),
    ("CourierNew-Italic", Sfnt(MONO_I), METRIC),
    ("Courier-Bold", Core("Courier-Bold"), "the font's own metrics"),
    ("Courier-BoldOblique", Core("Courier-BoldOblique"), "the font's own metrics"),
    ("Courier-Oblique", Core("Courier-Oblique"), "the font's own metrics"),
    ("Courier", Core("Courier"), "the font's own metrics"),
    ("EstrangeloEdessa", Sfnt(SANS), INDIC),
    ("FranklinGothicMedium", Sfnt(SANS), "no source; closest available face: grotesque"),
    ("FranklinGothicMedium-Italic", Sfnt(SANS_I), "no source; closest available face: grotesque"),
    ("FreestyleScript", Sfnt(CHANCERY), SCRIPT),
    ("FootlightMTLight", Sfnt(PAL), "no source; closest available face: old-style book serif"),
    ("Garamond", Sfnt(GARA), RELATIVE + " Garamond design"),
    ("Garamond-Bold", Sfnt(GARA_B), RELATIVE + " Garamond design"),
    ("Garamond-Italic", Sfnt(GARA_I), RELATIVE + " Garamond design"),
    ("Gautami", Sfnt(SANS), INDIC),
    ("Georgia", Ascii("georgia", 0, DVS), "the face's own ASCII widths"),
    ("Georgia-Bold", Ascii("georgia", 1, DVS_B), "the face's own ASCII widths"),
    ("Georgia-Italic", Ascii("georgia", 2, DVS_I), "the face's own ASCII widths"),
    ("Georgia-BoldItalic", Ascii("georgia", 3, DVS_BI), "the face's own ASCII widths"),
    ("CenturyGothic", Sfnt(GOTH), RELATIVE + " geometric Gothic design"),
    ("CenturyGothic-Bold", Sfnt(GOTH_B), RELATIVE + " geometric Gothic design"),
    ("CenturyGothic-BoldItalic", Sfnt(GOTH_BI), RELATIVE + " geometric Gothic design"),
    ("CenturyGothic-Italic", Sfnt(GOTH_I), RELATIVE + " geometric Gothic design"),
    ("HarlowSolidItalic-Italic", Sfnt(CHANCERY), SCRIPT),
    ("Harrington", Sfnt(SCHOOL), "no source; closest available face: wide display serif"),
    ("Haettenschweiler", Sfnt(NARROW_B),
     "no source; closest available face: condensed heavy grotesque"),
    ("Helvetica-Bold", Core("Helvetica-Bold"), "the font's own metrics"),
    ("Helvetica-BoldOblique", Core("Helvetica-BoldOblique"), "the font's own metrics"),
    ("Helvetica-Oblique", Core("Helvetica-Oblique"), "the font's own metrics"),
    ("Helvetica", Core("Helvetica"), "the font's own metrics"),
    ("HighTowerText", Sfnt(GARA), "no source; closest available face: Venetian old-style serif"),
    ("HighTowerText-Italic", Sfnt(GARA_I),
     "no source; closest available face: Venetian old-style serif"),
    ("Impact", Ascii("impact", 0, NARROW_B), "the face's own ASCII widths"),
    ("InformalRoman", Sfnt(CHANCERY), SCRIPT),
    ("KristenITC", Ascii("comic sans ms", 0, DV), CASUAL),
    ("Jokerman", Ascii("comic sans ms", 1, DV_B), CASUAL),
    ("JuiceITC", Sfnt(NARROW), "no source; closest available face: narrow display face"),
    ("Kartika", Sfnt(SANS), INDIC),
    ("KunstlerScript", Sfnt(CHANCERY), SCRIPT),
    ("Latha", Sfnt(SANS), INDIC),
    ("WideLatin", Sfnt(BOOK_B), "no source; closest available face: the widest heavy serif"),
    ("LucidaBright", Sfnt(DVS), "no source; closest available face: large x-height serif"),
    ("LucidaBright-Demibold", Sfnt(DVS_B),
     "no source; closest available face: large x-height serif"),
    ("LucidaBright-DemiboldItalic", Sfnt(DVS_BI),
     "no source; closest available face: large x-height serif"),
    ("LucidaBright-Italic", Sfnt(DVS_I), "no source; closest available face: large x-height serif"),
    ("LucidaCalligraphy-Italic", Sfnt(CHANCERY), SCRIPT),
    ("LucidaFax", Sfnt(DVS), "no source; closest available face: large x-height slab serif"),
    ("LucidaFax-Demibold", Sfnt(DVS_B),
     "no source; closest available face: large x-height slab serif"),
    ("LucidaFax-DemiboldItalic", Sfnt(DVS_BI),
     "no source; closest available face: large x-height slab serif"),
    ("LucidaFax-Italic", Sfnt(DVS_I),
     "no source; closest available face: large x-height slab serif"),
    ("LucidaHandwriting-Italic", Sfnt(CHANCERY), SCRIPT),
    ("LucidaSans", Sfnt(DV), "no source; closest available face: humanist sans, large x-height"),
    ("LucidaSans-DemiboldRoman", Sfnt(DV_B),
     "no source; closest available face: humanist sans, large x-height"),
    ("LucidaSans-DemiboldItalic", Sfnt(DV_BI),
     "no source; closest available face: humanist sans, large x-height"),
    ("LucidaSans-Italic", Sfnt(DV_I),
     "no source; closest available face: humanist sans, large x-height"),
    ("LucidaConsole", Sfnt(DVM),
     "no source; closest available face: monospaced sans with the same 0.602-em cell"),
    ("LucidaSansUnicode", Sfnt(DV),
     "no source; closest available face: humanist sans, large x-height"),
    ("Magneto-Bold", Sfnt(DV_B), "no source; closest available face: heavy wide display face"),
    ("Mangal", Sfnt(SANS), INDIC),
    ("Marlett", Same("Webdings"), "no source; closest available face: square pictograph font"),
    ("MaturaMTScriptCapitals", Sfnt(CHANCERY), SCRIPT),
    ("MicrosoftSansSerif", Sfnt(SANS),
     "no source; closest available face: grotesque of the same proportions"),
    ("Mistral", Sfnt(CHANCERY), SCRIPT),
    ("MonotypeCorsiva", Sfnt(CHANCERY), RELATIVE + " chancery italic"),
    ("MVBoli", Ascii("comic sans ms", 0, DV), CASUAL),
    ("NiagaraEngraved", Sfnt(NARROW),
     "no source; closest available face: the narrowest available face"),
    ("NiagaraSolid", Sfnt(NARROW),
     "no source; closest available face: the narrowest available face"),
    ("OldEnglishTextMT", Sfnt(SERIF),
     "no source; closest available face: text serif (blackletter widths are close to it)"),
    ("Onyx", Sfnt(DVSC), "no source; closest available face: condensed serif"),
    ("PalatinoLinotype", Sfnt(PAL), RELATIVE + " Palatino design"),
    ("PalatinoLinotype-Bold", Sfnt(PAL_B), RELATIVE + " Palatino design"),
    ("PalatinoLinotype-BoldItalic", Sfnt(PAL_BI), RELATIVE + " Palatino design"),
    ("PalatinoLinotype-Italic", Sfnt(PAL_I), RELATIVE + " Palatino design"),
    ("Parchment", Sfnt(CHANCERY), SCRIPT),
    ("Playbill", Sfnt(NARROW_B), "no source; closest available face: condensed heavy face"),
    ("PoorRichard", Sfnt(SERIF), "no source; closest available face: text serif"),
    ("Raavi", Sfnt(SANS), INDIC),
    ("Ravie", Sfnt(DV_B), "no source; closest available face: heavy wide display face"),
    ("MSReferenceSansSerif", Same("Verdana"), "no source; the screen sans it was drawn after"),
    ("MSReferenceSpecialty", Same("ZapfDingbats"), SYMBOLIC),
    ("ShowcardGothic", Sfnt(DV_B), "no source; closest available face: heavy wide display face"),
    ("Shruti", Sfnt(SANS), INDIC),
    ("SimHei", Sfnt(DVM, 500 / (1233 / 2.048)),
     "no source; its Latin glyphs are half-width cells: a monospaced face scaled to 500"),
    ("SnapITC", Sfnt(DV_B), "no source; closest available face: heavy wide display face"),
    ("Stencil", Sfnt(SCHOOL_B), "no source; closest available face: wide bold serif"),
    ("Sylfaen", Sfnt(SERIF), "no source; closest available face: text serif"),
    ("SymbolMT", CoreBuiltin("Symbol", fill_high=True), "the Symbol font's own metrics"),
    ("Tahoma", Ascii("tahoma", 0, DVC), "the face's own ASCII widths"),
    ("Tahoma-Bold", Ascii("tahoma", 1, DVC_B), "the face's own ASCII widths"),
    ("TempusSansITC", Ascii("comic sans ms", 0, DV), CASUAL),
    ("Times-Bold", Core("Times-Bold"), "the font's own metrics"),
    ("Times-BoldItalic", Core("Times-BoldItalic"), "the font's own metrics"),
    ("Times-Italic", Core("Times-Italic"), "the font's own metrics"),
    ("Times-Roman", Core("Times-Roman"), "the font's own metrics"),
    ("TimesNewRoman", Sfnt(SERIF), METRIC),
    ("TimesNewRoman-Bold", Sfnt(SERIF_B), METRIC),
    ("TimesNewRoman-BoldItalic", Sfnt(SERIF_BI), METRIC),
    ("TimesNewRoman-Italic", Sfnt(SERIF_I), METRIC),
    ("TrebuchetMS", Ascii("trebuchet ms", 0, SANS), "the face's own ASCII widths"),
    ("TrebuchetMS-Bold", Ascii("trebuchet ms", 1, SANS_B), "the face's own ASCII widths"),
    ("TrebuchetMS-BoldItalic", Ascii("trebuchet ms", 3, SANS_BI), "the face's own ASCII widths"),
    ("TrebuchetMS-Italic", Ascii("trebuchet ms", 2, SANS_I), "the face's own ASCII widths"),
    ("Tunga", Sfnt(SANS), INDIC),
    ("Verdana", Ascii("verdana", 0, DV, notdef=1000), "the face's own ASCII widths"),
    ("Verdana-Bold", Ascii("verdana", 1, DV_B, notdef=1000), "the face's own ASCII widths"),
    ("Verdana-Italic", Ascii("verdana", 2, DV_I, notdef=1000), "the face's own ASCII widths"),
    ("Verdana-BoldItalic", Ascii("verdana", 3, DV_BI, notdef=1000), "the face's own ASCII widths"),
    ("VinerHandITC", Ascii("comic sans ms", 0, DV), CASUAL),
    ("Vivaldi-Italic", Sfnt(CHANCERY), SCRIPT),
    ("VladimirScript", Sfnt(CHANCERY), SCRIPT),
    ("Vrinda", Sfnt(SANS), INDIC),
    ("Webdings",
     Uniform(1000, DINGBATS, "npm `string-pixel-width` \"webdings\": 1000 for all of ASCII"),
     "the face's own ASCII widths"),
    ("Wingdings", Same("ZapfDingbats"), SYMBOLIC),
    ("Wingdings2", Same("ZapfDingbats"),
     SYMBOLIC + " (never found: its name normalizes to \"Wingdings\")"),
    ("Wingdings3", Same("ZapfDingbats"),
     SYMBOLIC + " (never found: its name normalizes to \"Wingdings\")"),
    ("ZapfDingbats", CoreBuiltin("ZapfDingbats"), "the font's own metrics"),
]

# Reference rows: box, then widths of codes 0-31, 32, 48, 65, 97, 128, 160 (and a few more).
TELLING = {
    "Arial": ((-46, -210, 1000, 896), (750, 278, 556, 667, 556, 556, 278), {133: 1000}),
    "Arial-Bold": ((-46, -210, 1000, 904), (750, 278, 556, 722, 556, 556, 278), {}),
    "Helvetica": ((-166, -225, 1000, 931), (600, 278, 556, 667, 556, 600, 600), {}),
    "Times-Roman": ((-168, -218, 1000, 898), (600, 250, 500, 722, 444, 600, 600), {}),
    "TimesNewRoman": ((-77, -216, 1009, 896), (778, 250, 500, 722, 444, 500, 250), {}),
    "Courier": ((-23, -250, 715, 805), (600, 600, 600, 600, 600, 600, 600), {}),
    "CourierNew": ((-13, -274, 638, 783), (600, 600, 600, 600, 600, 600, 600), {}),
    "Verdana": ((-30, -207, 1447, 1000), (1000, 352, 636, 684, 601, 636, 352), {}),
    "SymbolMT": ((0, -220, 1113, 1005), (600, 250, 500, 722, 631, 600, 600), {}),
    "ZapfDingbats": ((-1, -143, 981, 820), (600, 278, 911, 692, 789, 390, 600), {}),
}
TELLING_CODES = (32, 48, 65, 97, 128, 160)


def apply_telling(name, m, notes):
    if name not in TELLING:
        return
    box, row, extra = TELLING[name]
    wanted = {code: row[0] for code in range(32)}
    wanted.update(zip(TELLING_CODES, row[1:]))
    wanted.update(extra)
    changed = []
    if list(box) != m.box:
        changed.append(f"box {' '.join(map(str, m.box))} -> {' '.join(map(str, box))}")
        m.box = list(box)
    for code, width in sorted(wanted.items()):
        if m.widths[code] != width:
            changed.append(f"code {code} {m.widths[code]} -> {width}")
            m.widths[code] = width
    if changed:
        notes[name] = "reference values written where the source differs: " + ", ".join(changed)


def enforce_fills(name, m):
    """The core-14 entries' filler widths; checked, since the sources already give them."""
    if name.startswith("Courier"):
        assert all(w == 600 for w in m.widths), name
    if name.startswith(("Helvetica", "Times-")) or name == "SymbolMT":
        for code in list(range(32)) + list(range(127, 161)):
            assert m.widths[code] == 600, (name, code)


# ---------------------------------------------------------------------------------------------


class Context:
    def __init__(self, npm_root):
        self.npm_root = pathlib.Path(npm_root)
        self._afm = {}
        self._sfnt = {}
        self._pixel = None
        self._entries = {}
        self.notes = {}

    def afm(self, name):
        if name not in self._afm:
            by_code, by_name, box = {}, {}, None
            path = self.npm_root / "pdfkit" / "js" / "data" / f"{name}.afm"
            for line in path.read_text(encoding="latin-1").splitlines():
                if line.startswith("FontBBox"):
                    box = [int(v) for v in line.split()[1:5]]
                elif line.startswith("C "):
                    fields = dict(
                        part.strip().split(" ", 1) for part in line.split(";") if part.strip()
                    )
                    code, width, glyph = int(fields["C"]), int(fields["WX"]), fields["N"]
                    by_name[glyph] = width
                    if code >= 0:
                        by_code[code] = width
            self._afm[name] = (by_code, by_name, box)
        return self._afm[name]

    def sfnt(self, path, scale):
        """(widths, box, missing) of a TrueType/OpenType file, in 1/1000 em."""
        key = (path, scale)
        if key not in self._sfnt:
            font = TTFont(path)
            per_em = 1000.0 * scale / font["head"].unitsPerEm
            cmap = font.getBestCmap()
            hmtx = font["hmtx"].metrics
            glyphs = font.getGlyphSet()
            notdef = font.getGlyphOrder()[0]
            widths, missing, box = [], [], [math.inf, math.inf, -math.inf, -math.inf]
            for code in range(256):
                char = cp1252_char(code)
                glyph = None
                if code >= 32 and code != 127 and char is not None:
                    glyph = cmap.get(ord(char))
                missing.append(glyph is None)
                glyph = glyph or notdef
                widths.append(half_up(hmtx[glyph][0] * per_em))
                pen = BoundsPen(glyphs)
                glyphs[glyph].draw(pen)
                if pen.bounds:
                    for i, pick in enumerate((min, min, max, max)):
                        box[i] = pick(box[i], pen.bounds[i])
            box = [
                math.floor(box[0] * per_em),
                math.floor(box[1] * per_em),
                math.ceil(box[2] * per_em),
                math.ceil(box[3] * per_em),
            ]
            self._sfnt[key] = (widths, box, missing)
        return self._sfnt[key]

    def pixel_widths(self):
        if self._pixel is None:
            module = self.npm_root / "string-pixel-width" / "lib" / "widthsMap.js"
            script = f"process.stdout.write(JSON.stringify(require({json.dumps(str(module))})))"
            self._pixel = json.loads(subprocess.run(["node", "-e", script], check=True,
                                                    capture_output=True, text=True).stdout)
        return self._pixel

    def entry(self, name):
        if name not in self._entries:
            source = SOURCES[name]
            m = source.metrics(self)
            apply_telling(name, m, self.notes)
            enforce_fills(name, m)
            self._entries[name] = m
        return self._entries[name]


SOURCES = {name: source for name, source, _ in FONTS}


def write_cpp(path, ctx):
    out = [
        "// Metrics of the built-in fonts, in the table's fixed order: the box and the widths of",
        "// the 256 WinAnsiEncoding codes, in thousandths of the em.",
        "// Generated by tools/fontgen/fontgen.py (sources in tools/fontgen/PROVENANCE.md); change",
        "// the generator and run it again rather than editing this file.",
        "",
        '#include "engine/fonts/builtin_fonts.hpp"',
        "",
        "namespace tavrix {",
        "",
        "// clang-format off",
        "const std::array<BuiltinFont, kBuiltinFontCount> kBuiltinFonts = {{",
    ]
    for name, _, _ in FONTS:
        m = ctx.entry(name)
        out.append(f'    {{"{name}", {{{", ".join(map(str, m.box))}}}, {{')
        for row in range(16):
            values = m.widths[row * 16:(row + 1) * 16]
            out.append("        " + ", ".join(map(str, values)) + ",")
        out.append("    }},")
    out += ["}};", "// clang-format on", "", "} // namespace tavrix", ""]
    pathlib.Path(path).write_text("\n".join(out))


PROVENANCE_INTRO = """
# Provenance of the built-in font metrics

`engine/fonts/builtin_fonts.cpp` is written by `tools/fontgen/fontgen.py`; this list is
written with it. Per name: the source of its box and widths, and why that source.

Widths are per Windows-1252 code (WinAnsiEncoding) in 1/1000 em. For TrueType/OpenType
sources, codes 0-31, 127 and the codes without a character take the width of the missing
glyph (`.notdef`), and the box is the union of the outlines of the 256 glyphs so chosen. The
core-14 entries hold 600 for the codes their AFM has no glyph for (Helvetica, Times and
Symbol also for 127-160). The rows of Arial, Arial-Bold, Helvetica, Times-Roman,
TimesNewRoman, Courier, CourierNew, Verdana, SymbolMT and ZapfDingbats carry reference values
(box; codes 0-31, 32, 48, 65, 97, 128, 160); where a source differs from them, the reference
value is written, as noted per name. Entries marked "no source" approximate a face for which
no metric data can be installed here by the closest available face of the same style.

Package versions used: npm `pdfkit` 0.20.2 (its Adobe AFM files), npm `string-pixel-width`
1.11.0, Debian 12 `fonts-liberation2` 2.1.5, `fonts-liberation` 1.07.4, `fonts-urw-base35`
20200910, `fonts-dejavu-core`/`-extra` 2.37, `fonts-ebgaramond`.
"""


def write_provenance(path, ctx):
    out = PROVENANCE_INTRO.strip("\n").split("\n") + [
        "",
        "| # | Name | Source of box and widths | Why this source |",
        "|---|---|---|---|",
    ]
    for index, (name, source, why) in enumerate(FONTS, 1):
        text = source.describe()
        if name in ctx.notes:
            text += "; " + ctx.notes[name]
        out.append(f"| {index} | {name} | {text} | {why} |")
    out.append("")
    pathlib.Path(path).write_text("\n".join(out))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--npm-root", default="/tmp/fontsrc/node_modules")
    parser.add_argument("--repo", default=".")
    args = parser.parse_args()
    if len(FONTS) != 161 or len(SOURCES) != 161:
        sys.exit("the table must hold 161 distinct names")
    ctx = Context(args.npm_root)
    repo = pathlib.Path(args.repo)
    write_cpp(repo / "engine" / "fonts" / "builtin_fonts.cpp", ctx)
    write_provenance(repo / "tools" / "fontgen" / "PROVENANCE.md", ctx)


if __name__ == "__main__":
    main()
