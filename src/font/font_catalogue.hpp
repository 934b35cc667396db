// The font catalogue: the 60 display keys templates use for their fonts, each mapped to a stroke
// font file in the library's font folder with the facts its glyph reader needs, and Font_load, which
// resolves a text cell's wide and narrow font names to a catalogued file, a file named directly, or
// a system outline face.
#pragma once

#include <array>

#include "state/state.hpp"

namespace korvex {

// One catalogue row as the library ships it (Font_catalogue_init copies the rows into the state).
struct FontCatalogueEntry {
    const char* key;
    const char* file;
    int16_t kind;       // 2 double-byte, 8 single-byte
    int16_t rows;       // design height, font units
    int16_t cols;       // design width, font units
    int16_t row_begin;  // first GB2312 row of a double-byte file
    int16_t extra1;
    int32_t extra2;
};
extern const std::array<FontCatalogueEntry, kFontCatalogueRows> kFontCatalogue;

// Sets strFontPath to the library folder + "font/" and builds the catalogue anew.
void Font_catalogue_init(State& s);

// Resolves FontWideWork and FontNarrowWork (each independently); on success copies both into
// curCell.FontWide and curCell.FontNarrow and returns True. Fails (False, the cell untouched) only
// when a name matched a catalogue key none of whose files exists. Builds the catalogue first when
// e_Initlize never did.
vbool Font_load(State& s);

}  // namespace korvex
