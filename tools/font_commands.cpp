// korvex fonts: the font catalogue and which of its files the library folder holds.
// korvex fontc: compiles a Hershey stroke font or an outline font into a stroke font file, or every
// catalogue file that has a source into a folder.
#include <sys/stat.h>

#include <iomanip>
#include <iostream>
#include <memory>
#include <thread>

#include "fontc/catalogue_sources.hpp"
#include "fontc/hershey_source.hpp"
#include "fontc/outline_source.hpp"
#include "platform/default_platform.hpp"
#include "tool_command.hpp"

namespace korvex::tool {

namespace {

// Size in bytes of a regular file, or nothing when there is none.
std::optional<long long> file_size(const std::string& path) {
    struct stat st{};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<long long>(st.st_size);
}

int list_fonts(const std::string& library_folder) {
    const std::string font_folder = library_folder + "/font/";
    std::cout << "font folder " << font_folder << "\n";
    int present = 0;
    for (std::size_t i = 0; i < kFontCatalogue.size(); ++i) {
        const FontCatalogueEntry& e = kFontCatalogue[i];
        const auto size = file_size(font_folder + e.file);
        present += size ? 1 : 0;
        std::cout << std::setw(2) << i << "  " << std::left << std::setw(16) << e.key << std::setw(11) << e.file
                  << std::setw(8) << (size ? "present" : "missing")
                  << (e.kind == kFontKindDoubleByte ? "double-byte " : "single-byte ") << std::right << std::setw(3)
                  << e.cols << " x " << std::left << std::setw(3) << e.rows << std::right;
        if (e.kind == kFontKindDoubleByte) std::cout << "  rows from " << std::setw(2) << e.row_begin;
        if (size) std::cout << "  " << *size << " bytes";
        std::cout << "\n";
    }
    std::cout << present << " of " << kFontCatalogue.size() << " catalogue files present\n";
    return 0;
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
    fontc::Write_file(o.output, bytes);
    std::size_t count = 0;
    for (const auto& g : glyphs) count += g ? 1 : 0;
    std::cout << o.output << ": " << count << " glyphs, " << bytes.size() << " bytes\n";
    return 0;
}

}  // namespace

ToolCommand add_fonts_command(CLI::App& app) {
    auto folder = std::make_shared<std::string>();
    ToolCommand c;
    c.sub = app.add_subcommand("fonts", "List the font catalogue and which of its files the font folder holds");
    c.sub->add_option("--folder", *folder, "library folder (fonts in its font/; default: KORVEX_HOME, else the program's folder)");
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
        ->check(CLI::Range(1, 255));
    c.sub->add_option("--row-begin", o->row_begin, "first GB2312 row the double-byte file holds")
        ->capture_default_str()
        ->check(CLI::Range(1, 94));
    c.sub->add_flag("--fixed-pitch", o->fixed_pitch, "single-byte: centre every glyph in a cell of the design size");
    c.sub->add_option("-o,--output", o->output, "stroke font file to write");
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
