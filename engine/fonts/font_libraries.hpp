// The libraries that stamp texts outside Windows-1252 need: fontconfig chooses the installed font,
// HarfBuzz shapes and subsets it, fribidi orders right-to-left runs and FreeType reads the CID
// numbers of CFF fonts. Most runs never need them, and mapping and relocating them (with glib,
// graphite2, png and the rest they bring) costs every run a good part of its start-up. So the
// engine does not link them: they are loaded the first time a stamp needs one of them, and
// called through the table below. The headers are still included for their types.
#pragma once

#include <fontconfig/fontconfig.h>
#include <fribidi.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_CID_H
#include <hb-ot.h>
#include <hb-subset.h>
#include <hb.h>

#include <array>
#include <memory>

namespace tavrix {

// The functions the engine calls, each with its own name and type.
struct FontLibraries {
    // HarfBuzz: font files, faces and fonts.
    decltype(&::hb_blob_create_from_file_or_fail) hb_blob_create_from_file_or_fail = nullptr;
    decltype(&::hb_blob_create_or_fail) hb_blob_create_or_fail = nullptr;
    decltype(&::hb_blob_destroy) hb_blob_destroy = nullptr;
    decltype(&::hb_blob_get_data) hb_blob_get_data = nullptr;
    decltype(&::hb_face_create) hb_face_create = nullptr;
    decltype(&::hb_face_destroy) hb_face_destroy = nullptr;
    decltype(&::hb_face_get_glyph_count) hb_face_get_glyph_count = nullptr;
    decltype(&::hb_face_get_upem) hb_face_get_upem = nullptr;
    decltype(&::hb_face_reference_blob) hb_face_reference_blob = nullptr;
    decltype(&::hb_face_reference_table) hb_face_reference_table = nullptr;
    decltype(&::hb_font_create) hb_font_create = nullptr;
    decltype(&::hb_font_destroy) hb_font_destroy = nullptr;
    decltype(&::hb_font_get_glyph_h_advance) hb_font_get_glyph_h_advance = nullptr;
    decltype(&::hb_font_get_nominal_glyph) hb_font_get_nominal_glyph = nullptr;
    decltype(&::hb_ot_metrics_get_position_with_fallback) hb_ot_metrics_get_position_with_fallback =
        nullptr;
    decltype(&::hb_ot_name_get_utf8) hb_ot_name_get_utf8 = nullptr;
    decltype(&::hb_style_get_value) hb_style_get_value = nullptr;
    decltype(&::hb_set_add) hb_set_add = nullptr;
    decltype(&::hb_map_get) hb_map_get = nullptr;
    // HarfBuzz: shaping.
    decltype(&::hb_buffer_create) hb_buffer_create = nullptr;
    decltype(&::hb_buffer_destroy) hb_buffer_destroy = nullptr;
    decltype(&::hb_buffer_allocation_successful) hb_buffer_allocation_successful = nullptr;
    decltype(&::hb_buffer_clear_contents) hb_buffer_clear_contents = nullptr;
    decltype(&::hb_buffer_add_utf32) hb_buffer_add_utf32 = nullptr;
    decltype(&::hb_buffer_set_direction) hb_buffer_set_direction = nullptr;
    decltype(&::hb_buffer_set_script) hb_buffer_set_script = nullptr;
    decltype(&::hb_buffer_set_flags) hb_buffer_set_flags = nullptr;
    decltype(&::hb_buffer_set_cluster_level) hb_buffer_set_cluster_level = nullptr;
    decltype(&::hb_buffer_get_glyph_infos) hb_buffer_get_glyph_infos = nullptr;
    decltype(&::hb_buffer_get_glyph_positions) hb_buffer_get_glyph_positions = nullptr;
    decltype(&::hb_shape) hb_shape = nullptr;
    decltype(&::hb_unicode_funcs_get_default) hb_unicode_funcs_get_default = nullptr;
    decltype(&::hb_unicode_script) hb_unicode_script = nullptr;

    // HarfBuzz's subsetter.
    decltype(&::hb_subset_input_create_or_fail) hb_subset_input_create_or_fail = nullptr;
    decltype(&::hb_subset_input_destroy) hb_subset_input_destroy = nullptr;
    decltype(&::hb_subset_input_glyph_set) hb_subset_input_glyph_set = nullptr;
    decltype(&::hb_subset_input_set) hb_subset_input_set = nullptr;
    decltype(&::hb_subset_input_set_flags) hb_subset_input_set_flags = nullptr;
    decltype(&::hb_subset_plan_create_or_fail) hb_subset_plan_create_or_fail = nullptr;
    decltype(&::hb_subset_plan_destroy) hb_subset_plan_destroy = nullptr;
    decltype(&::hb_subset_plan_execute_or_fail) hb_subset_plan_execute_or_fail = nullptr;
    decltype(&::hb_subset_plan_old_to_new_glyph_mapping) hb_subset_plan_old_to_new_glyph_mapping =
        nullptr;

    // fribidi.
    decltype(&::fribidi_get_bidi_types) fribidi_get_bidi_types = nullptr;
    decltype(&::fribidi_get_bracket_types) fribidi_get_bracket_types = nullptr;
    decltype(&::fribidi_get_par_embedding_levels_ex) fribidi_get_par_embedding_levels_ex = nullptr;
    decltype(&::fribidi_reorder_line) fribidi_reorder_line = nullptr;

    // fontconfig.
    decltype(&::FcInitBringUptoDate) FcInitBringUptoDate = nullptr;
    decltype(&::FcConfigReference) FcConfigReference = nullptr;
    decltype(&::FcConfigDestroy) FcConfigDestroy = nullptr;
    decltype(&::FcConfigSubstitute) FcConfigSubstitute = nullptr;
    decltype(&::FcDefaultSubstitute) FcDefaultSubstitute = nullptr;
    decltype(&::FcPatternCreate) FcPatternCreate = nullptr;
    decltype(&::FcPatternDestroy) FcPatternDestroy = nullptr;
    decltype(&::FcPatternAddString) FcPatternAddString = nullptr;
    decltype(&::FcPatternAddInteger) FcPatternAddInteger = nullptr;
    decltype(&::FcPatternGetString) FcPatternGetString = nullptr;
    decltype(&::FcPatternGetInteger) FcPatternGetInteger = nullptr;
    decltype(&::FcPatternGetBool) FcPatternGetBool = nullptr;
    decltype(&::FcPatternGetCharSet) FcPatternGetCharSet = nullptr;
    decltype(&::FcFontSort) FcFontSort = nullptr;
    decltype(&::FcFontSetDestroy) FcFontSetDestroy = nullptr;
    decltype(&::FcCharSetHasChar) FcCharSetHasChar = nullptr;

    // FreeType.
    decltype(&::FT_Init_FreeType) FT_Init_FreeType = nullptr;
    decltype(&::FT_Done_FreeType) FT_Done_FreeType = nullptr;
    decltype(&::FT_New_Memory_Face) FT_New_Memory_Face = nullptr;
    decltype(&::FT_Done_Face) FT_Done_Face = nullptr;
    decltype(&::FT_Get_CID_Is_Internally_CID_Keyed) FT_Get_CID_Is_Internally_CID_Keyed = nullptr;
    decltype(&::FT_Get_CID_From_Glyph_Index) FT_Get_CID_From_Glyph_Index = nullptr;
};

// The libraries, loaded by the first caller in the process (any thread); later callers get the
// same table. Throws CPdfException "Can't load font library" with a reason that names the
// library and the package to install when one cannot be loaded or lacks a function; the next
// call tries again, so installing the package helps a program that keeps running.
const FontLibraries& fontLibraries();

// One library file: its runtime name, what it does in words, and the Debian package that
// installs it.
struct FontLibraryFile {
    const char* soname;
    const char* name;
    const char* package;
};
enum FontLibrary {
    kHarfBuzz,
    kHarfBuzzSubset,
    kFribidi,
    kFontconfig,
    kFreeType,
    kFontLibraryCount
};
using FontLibraryFiles = std::array<FontLibraryFile, kFontLibraryCount>;

// The files fontLibraries() loads.
const FontLibraryFiles& fontLibraryFiles();

// Loads the libraries from `files` (the test's way to try files that are missing or wrong) and
// fills a table. Throws as fontLibraries() does. What it loaded stays loaded for the life of
// the process.
std::unique_ptr<FontLibraries> loadFontLibraries(const FontLibraryFiles& files);

} // namespace tavrix
