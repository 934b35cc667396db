// Which catalogue font files can be made from fonts a Debian system carries, and making them: the
// single-byte files from Hershey stroke fonts, the double-byte ones from CJK outline fonts. Design
// size, kind and first row of each file come from the library's own catalogue rows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "font/font_catalogue.hpp"

namespace korvex::fontc {

enum class SourceKind { hershey, outline };

struct CatalogueSource {
    const char* file;    // catalogue file name in the font folder
    SourceKind kind;
    const char* source;  // .jhf file or outline font file
    const char* face;    // outline face family ("" for Hershey sources)
    bool fixed_pitch;    // Hershey only: every glyph centred in a cell of the design size
};

// Every catalogue file that has a source, the outline ones (the slow ones) first.
const std::vector<CatalogueSource>& Catalogue_sources();

// The catalogue row of `file` (the first one naming it). An unknown file is an index fault.
const FontCatalogueEntry& Catalogue_entry(const std::string& file);

// The glyphs of one catalogue file, made from its source at the row's design size.
std::vector<std::optional<std::vector<uint8_t>>> Compile_catalogue_file(const CatalogueSource& source);

struct CompiledFont {
    std::string file;    // path written
    std::size_t glyphs = 0;
    std::size_t bytes = 0;
};

// Writes every catalogue file that has a source into `folder` (made when missing), working on up to
// `workers` files at once. `sources_read` receives every source file used.
std::vector<CompiledFont> Compile_catalogue(const std::string& folder, unsigned workers,
                                            std::vector<std::string>& sources_read);

}  // namespace korvex::fontc
