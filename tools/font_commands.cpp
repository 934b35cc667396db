// korvex fonts: the font catalogue and which of its files the library folder holds.
// korvex fontc: compiles a Hershey stroke font or an outline font into a stroke font file, or every
// catalogue file that has a source into a folder.
#include <iomanip>
#include <iostream>
#include <memory>
#include <thread>

#include "cli_ranges.hpp"
#include "cli_usage.hpp"
#include "core/shown_input.hpp"
#include "font/font_file_cache.hpp"
#include "font/stroke_glyph.hpp"
#include "fontc/catalogue_sources.hpp"
#include "fontc/hershey_source.hpp"
#include "fontc/outline_source.hpp"
#include "interface/default_platform.hpp"
#include "output_options.hpp"
#include "tool_command.hpp"

namespace korvex::tool {

namespace {

// "present", "missing" or "damaged" for a catalogue file, with its size or why it is damaged, as
// the library finds it when it loads the file.
struct FileState {
    const char* word = "missing";
    std::string note;
};

FileState font_file_state(const std::string& path) {
    if (!Font_file_present(path)) return {};
    try {
        const auto bytes = Font_file_bytes(path);
        const std::string problem = Stroke_font_problem(*bytes);
        if (!problem.empty()) return {"damaged", problem};
        return {"present", std::to_string(bytes->size()) + " bytes"};
    } catch (const Fault& f) {
        return {"damaged", f.what()};
    }
}

int list_fonts(const std::string& library_folder) {
    const std::string font_folder = library_folder + "/font/";
    std::cout << "font folder " << Shown_input(font_folder, kShownPathChars) << "\n";
    int present = 0, damaged = 0;
    for (std::size_t i = 0; i < kFontCatalogue.size(); ++i) {
        const FontCatalogueEntry& e = kFontCatalogue[i];
        const FileState state = font_file_state(font_folder + e.file);
        present += state.word == std::string_view("present") ? 1 : 0;
        damaged += state.word == std::string_view("damaged") ? 1 : 0;
        std::cout << std::setw(2) << i << "  " << std::left << std::setw(16) << e.key << std::setw(11) << e.file
                  << std::setw(8) << state.word << (e.kind == kFontKindDoubleByte ? "double-byte " : "single-byte ")
                  << std::right << std::setw(3) << e.cols << " x " << std::left << std::setw(3) << e.rows << std::right;
        if (e.kind == kFontKindDoubleByte) std::cout << "  rows from " << std::setw(2) << e.row_begin;
        if (!state.note.empty()) std::cout << "  " << Shown_input(state.note, kShownMessageChars);
        std::cout << "\n";
    }
    std::cout << present << " of " << kFontCatalogue.size() << " catalogue files present";
    if (damaged) std::cout << ", " << damaged << " damaged";
    std::cout << "\n";
    return damaged ? 1 : 0;
}

struct FontcOptions {
    std::string hershey;
    std::string outline;
    std::string face;
    std::string catalogue;
    std::string output;
    int32_t size = 0;
    int32_t row_begin = 1;
    bool fixed_pitch = false;
};

// Whether a glyph of the font file leaves a line when marked.
bool draws_anything(const std::vector<uint8_t>& font, std::size_t glyphs) {
    GlyphBuffer glyph;
    for (std::size_t n = 0; n < glyphs; ++n) {
        Glyph_read_strokes_from(font, static_cast<int64_t>(n), 0, 0, glyph);
        if (Stroke_glyph_draws(glyph)) return true;
    }
    return false;
}

int compile_fonts(const FontcOptions& o) {
    if (!o.catalogue.empty()) {
        std::vector<std::string> sources;
        for (const auto& f : fontc::Compile_catalogue(o.catalogue, std::thread::hardware_concurrency(), sources))
            std::cout << f.file << ": " << f.glyphs << " glyphs, " << f.bytes << " bytes\n";
        return 0;
    }
    if (o.hershey.empty() == o.outline.empty() || o.output.empty()) {
        std::cerr << "korvex fontc: give --hershey or --outline with --output, or --catalogue\n";
        return 2;
    }
    const auto glyphs = !o.hershey.empty()
                            ? fontc::Compile_hershey_font(o.hershey, o.size ? o.size : fontc::kHersheyDesignSize, o.fixed_pitch)
                            : fontc::Compile_outline_font(o.outline, o.face, o.size ? o.size : 128, o.row_begin);
    const std::vector<uint8_t> bytes = fontc::Assemble_font(glyphs);
    // A font the marker would refuse is not written: one without a glyph that draws anything (an
    // empty or blank source), or with a glyph longer than the glyph buffer.
    std::string problem = Stroke_font_problem(bytes);
    if (problem.empty() && !draws_anything(bytes, glyphs.size())) problem = "no glyph draws anything";
    if (!problem.empty()) {
        std::cerr << "korvex fontc: " << Shown_input(!o.hershey.empty() ? o.hershey : o.outline, kShownPathChars)
                  << " makes no usable font (" << problem << "); nothing was written\n";
        return 1;
    }
    fontc::Write_file(o.output, bytes);
    std::size_t count = 0;
    for (const auto& g : glyphs) count += g ? 1 : 0;
    std::cout << Shown_input(o.output, kShownPathChars) << ": " << count << " glyphs, " << bytes.size() << " bytes\n";
    return 0;
}

}  // namespace

ToolCommand add_fonts_command(CLI::App& app) {
    auto folder = std::make_shared<std::string>();
    ToolCommand c;
    c.sub = app.add_subcommand("fonts", "List the font catalogue and which of its files the font folder holds");
    c.sub->add_option("--folder", *folder, std::string("library folder (fonts in its font/; default: ") + kLibraryFolderDefault + ")");
    c.run = [folder] { return list_fonts(folder->empty() ? default_library_folder() : *folder); };
    return c;
}

ToolCommand add_fontc_command(CLI::App& app) {
    auto o = std::make_shared<FontcOptions>();
    ToolCommand c;
    c.sub = app.add_subcommand("fontc", "Compile a stroke font file (single-byte from a Hershey .jhf font, "
                                        "double-byte GB2312 from an outline font), or the catalogue's files");
    auto* hershey = c.sub->add_option("--hershey", o->hershey, "Hershey font (.jhf): a single-byte font, glyph = code");
    auto* outline = c.sub->add_option("--outline", o->outline, "outline font (.ttf, .otf, .ttc): a double-byte GB2312 font");
    auto* catalogue = c.sub->add_option("--catalogue", o->catalogue, "write every catalogue file that has a source into this folder");
    hershey->excludes(outline)->excludes(catalogue);
    outline->excludes(catalogue);
    c.sub->add_option("--face", o->face, "family name of the face in the outline font (default: its first face)");
    c.sub->add_option("--size", o->size, "design size in font units (default 24 single-byte, 128 double-byte)")
        ->check(in_range(1, 255));
    c.sub->add_option("--row-begin", o->row_begin, "first GB2312 row the double-byte file holds")
        ->capture_default_str()
        ->check(in_range(1, 94));
    c.sub->add_flag("--fixed-pitch", o->fixed_pitch, "single-byte: centre every glyph in a cell of the design size");
    c.sub->add_option("-o,--output", o->output, "stroke font file to write")->check(output_path());
    c.run = [o] {
        try {
            return compile_fonts(*o);
        } catch (const Fault& f) {
            std::cerr << "korvex fontc: " << f.what() << "\n";
            return 1;
        }
    };
    return c;
}

}  // namespace korvex::tool
