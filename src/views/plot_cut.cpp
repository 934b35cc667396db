// The stop position of the library's own plot reader, turned into a line and column: the library
// keeps the reader's rule and says nothing, the tools say where a file was cut.
#include "korvex/template_view.hpp"

#include <algorithm>

#include "core/shown_input.hpp"
#include "template/plot_file.hpp"

namespace korvex {

std::string plot_cut_text(std::span<const uint8_t> bytes) {
    std::size_t stop = 0;
    if (Plot_parse(bytes, [](const PlotCommand&) {}, &stop) != PlotEnd::bad_character || stop < 2) return "";
    const auto before = bytes.first(stop);
    const std::size_t line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), uint8_t{'\n'}));
    const auto last_lf = std::find(before.rbegin(), before.rend(), uint8_t{'\n'});
    const std::size_t column = static_cast<std::size_t>(last_lf - before.rbegin()) + 1;
    const std::string command{static_cast<char>(bytes[stop - 2]), static_cast<char>(bytes[stop - 1])};
    const std::string bad(1, static_cast<char>(bytes[stop]));
    return "cut at byte " + std::to_string(stop + 1) + " of " + std::to_string(bytes.size()) + " (line " +
           std::to_string(line) + ", column " + std::to_string(column) + "): after \"" + command + "\" comes \"" +
           Shown_input(bad) + "\"";
}

std::string plot_file_cut_text(const std::string& path) { return plot_cut_text(Plot_file_read(path)); }

}  // namespace korvex
