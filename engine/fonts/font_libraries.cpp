#include "engine/fonts/font_libraries.hpp"

#include <dlfcn.h>

#include <atomic>
#include <mutex>
#include <string>

#include "engine/pdf/pdf_exception.hpp"

namespace tavrix {
namespace {

// `what` says what went wrong, `action` what the user can do about it.
[[noreturn]] void cannotLoad(const FontLibraryFile& file, const std::string& what,
                             const std::string& action) {
    throw CPdfException("Can't load font library",
                        "cannot load " + std::string(file.soname) + " (" + file.name +
                            "), which stamp texts outside Windows-1252 need: " + what + "; " +
                            action + " " + file.package);
}

// Loads one file. It stays loaded for the life of the process: the automation runtime unloads
// the engine when its last instance goes, and unloading fontconfig with it would lose its
// configuration (a leak) and read it anew on the next run. The handle is therefore not kept.
void* openLibrary(const FontLibraryFile& file) {
    void* handle = dlopen(file.soname, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        const char* error = dlerror();
        cannotLoad(file, error ? error : "the file was not found", "install the package");
    }
    return handle;
}

template <typename Function>
void bind(void* handle, const FontLibraryFile& file, const char* symbol, Function& slot) {
    slot = reinterpret_cast<Function>(dlsym(handle, symbol));
    if (!slot)
        cannotLoad(file,
                   "it has no function " + std::string(symbol) +
                       ", the version installed is too old",
                   "install a newer version of the package");
}

} // namespace

const FontLibraryFiles& fontLibraryFiles() {
    static const FontLibraryFiles files{{
        {"libharfbuzz.so.0", "HarfBuzz, the text shaper", "libharfbuzz0b"},
        {"libharfbuzz-subset.so.0", "HarfBuzz's font subsetter", "libharfbuzz-subset0"},
        {"libfribidi.so.0", "fribidi, the right-to-left text orderer", "libfribidi0"},
        {"libfontconfig.so.1", "fontconfig, which finds installed fonts", "libfontconfig1"},
        {"libfreetype.so.6", "FreeType, the font reader", "libfreetype6"},
    }};
    return files;
}

// The name of each function is written once: the macro binds a member of the table to the
// symbol of the same name, so the two cannot drift apart.
#define TAVRIX_BIND(library, function)                                                             \
    bind(handles[library], files[library], #function, table->function)

std::unique_ptr<FontLibraries> loadFontLibraries(const FontLibraryFiles& files) {
    std::array<void*, kFontLibraryCount> handles{};
    for (size_t i = 0; i < handles.size(); ++i)
        handles[i] = openLibrary(files[i]);
    auto table = std::make_unique<FontLibraries>();

    TAVRIX_BIND(kHarfBuzz, hb_blob_create_from_file_or_fail);
    TAVRIX_BIND(kHarfBuzz, hb_blob_create_or_fail);
    TAVRIX_BIND(kHarfBuzz, hb_blob_destroy);
    TAVRIX_BIND(kHarfBuzz, hb_blob_get_data);
    TAVRIX_BIND(kHarfBuzz, hb_face_create);
    TAVRIX_BIND(kHarfBuzz, hb_face_destroy);
    TAVRIX_BIND(kHarfBuzz, hb_face_get_glyph_count);
    TAVRIX_BIND(kHarfBuzz, hb_face_get_upem);
    TAVRIX_BIND(kHarfBuzz, hb_face_reference_blob);
    TAVRIX_BIND(kHarfBuzz, hb_face_reference_table);
    TAVRIX_BIND(kHarfBuzz, hb_font_create);
    TAVRIX_BIND(kHarfBuzz, hb_font_destroy);
    TAVRIX_BIND(kHarfBuzz, hb_font_get_glyph_h_advance);
    TAVRIX_BIND(kHarfBuzz, hb_font_get_nominal_glyph);
    TAVRIX_BIND(kHarfBuzz, hb_ot_metrics_get_position_with_fallback);
    TAVRIX_BIND(kHarfBuzz, hb_ot_name_get_utf8);
    TAVRIX_BIND(kHarfBuzz, hb_style_get_value);
    TAVRIX_BIND(kHarfBuzz, hb_set_add);
    TAVRIX_BIND(kHarfBuzz, hb_map_get);
    TAVRIX_BIND(kHarfBuzz, hb_buffer_create);
    TAVRIX_BIND(kHarfBuzz, hb_buffer_destroy);
    TAVRIX_BIND(kHarfBuzz, hb_buffer_allocation_successful);
    TAVRIX_BIND(kHarfBuzz, hb_buffer_clear_contents);
    TAVRIX_BIND(kHarfBuzz, hb_buffer_add_utf32);
    TAVRIX_BIND(kHarfBuzz, hb_buffer_set_direction);
    TAVRIX_BIND(kHarfBuzz, hb_buffer_set_script);
    TAVRIX_BIND(kHarfBuzz, hb_buffer_set_flags);
    TAVRIX_BIND(kHarfBuzz, hb_buffer_set_cluster_level);
    TAVRIX_BIND(kHarfBuzz, hb_buffer_get_glyph_infos);
    TAVRIX_BIND(kHarfBuzz, hb_buffer_get_glyph_positions);
    TAVRIX_BIND(kHarfBuzz, hb_shape);
    TAVRIX_BIND(kHarfBuzz, hb_unicode_funcs_get_default);
    TAVRIX_BIND(kHarfBuzz, hb_unicode_script);

    TAVRIX_BIND(kHarfBuzzSubset, hb_subset_input_create_or_fail);
    TAVRIX_BIND(kHarfBuzzSubset, hb_subset_input_destroy);
    TAVRIX_BIND(kHarfBuzzSubset, hb_subset_input_glyph_set);
    TAVRIX_BIND(kHarfBuzzSubset, hb_subset_input_set);
    TAVRIX_BIND(kHarfBuzzSubset, hb_subset_input_set_flags);
    TAVRIX_BIND(kHarfBuzzSubset, hb_subset_plan_create_or_fail);
    TAVRIX_BIND(kHarfBuzzSubset, hb_subset_plan_destroy);
    TAVRIX_BIND(kHarfBuzzSubset, hb_subset_plan_execute_or_fail);
    TAVRIX_BIND(kHarfBuzzSubset, hb_subset_plan_old_to_new_glyph_mapping);

    TAVRIX_BIND(kFribidi, fribidi_get_bidi_types);
    TAVRIX_BIND(kFribidi, fribidi_get_bracket_types);
    TAVRIX_BIND(kFribidi, fribidi_get_par_embedding_levels_ex);
    TAVRIX_BIND(kFribidi, fribidi_reorder_line);

    TAVRIX_BIND(kFontconfig, FcInitBringUptoDate);
    TAVRIX_BIND(kFontconfig, FcConfigReference);
    TAVRIX_BIND(kFontconfig, FcConfigDestroy);
    TAVRIX_BIND(kFontconfig, FcConfigSubstitute);
    TAVRIX_BIND(kFontconfig, FcDefaultSubstitute);
    TAVRIX_BIND(kFontconfig, FcPatternCreate);
    TAVRIX_BIND(kFontconfig, FcPatternDestroy);
    TAVRIX_BIND(kFontconfig, FcPatternAddString);
    TAVRIX_BIND(kFontconfig, FcPatternAddInteger);
    TAVRIX_BIND(kFontconfig, FcPatternGetString);
    TAVRIX_BIND(kFontconfig, FcPatternGetInteger);
    TAVRIX_BIND(kFontconfig, FcPatternGetBool);
    TAVRIX_BIND(kFontconfig, FcPatternGetCharSet);
    TAVRIX_BIND(kFontconfig, FcFontSort);
    TAVRIX_BIND(kFontconfig, FcFontSetDestroy);
    TAVRIX_BIND(kFontconfig, FcCharSetHasChar);

    TAVRIX_BIND(kFreeType, FT_Init_FreeType);
    TAVRIX_BIND(kFreeType, FT_Done_FreeType);
    TAVRIX_BIND(kFreeType, FT_New_Memory_Face);
    TAVRIX_BIND(kFreeType, FT_Done_Face);
    TAVRIX_BIND(kFreeType, FT_Get_CID_Is_Internally_CID_Keyed);
    TAVRIX_BIND(kFreeType, FT_Get_CID_From_Glyph_Index);
    return table;
}

#undef TAVRIX_BIND

const FontLibraries& fontLibraries() {
    // Stamps on several threads may need the libraries at once; one loads them, the others wait
    // for it. A failed load is not remembered, so a later run finds a package installed since.
    static std::mutex loading;
    static std::unique_ptr<const FontLibraries> loaded;
    static std::atomic<const FontLibraries*> ready{nullptr};
    if (const FontLibraries* table = ready.load(std::memory_order_acquire)) return *table;
    const std::lock_guard lock(loading);
    if (!loaded) {
        loaded = loadFontLibraries(fontLibraryFiles());
        ready.store(loaded.get(), std::memory_order_release);
    }
    return *loaded;
}

} // namespace tavrix
