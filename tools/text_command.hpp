// `korvex text`: a text marked on the simulated machine the way a template's text cell is, through
// the font loader and the text layout, in stroke fonts or the system's outline faces.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "mark_command.hpp"

namespace korvex::tool {

struct TextCommand {
    std::string text;
    std::string narrow_font;  // single-byte characters; empty: special_Romans, or DejaVu Sans without it
    std::string wide_font;    // double-byte characters; empty: special_DFS, or AR PL UMing CN without it
    float width_mm = 5.0f;
    float height_mm = 5.0f;
    float spacing_mm = 0.5f;
    float angle_deg = 0.0f;
    bool vertical = false;
    float arc_diameter_mm = 0.0f;  // > 0: text on an arc of this diameter
    float arc_start_deg = 90.0f;
    bool arc_direction = false;    // bit 0x100
    bool arc_orientation = false;  // bit 0x2
    float x_mm = 0.0f;
    float y_mm = 0.0f;
    float fill_mm = 0.0f;  // > 0: fill outline characters with hatch lines this far apart
    bool bold = false;
    bool italic = false;
    bool outline_off = false;  // filled characters without their outline
    MarkParameters params;
    std::string folder;  // library folder (fonts in FOLDER/font/); empty: KORVEX_HOME or the program's
    bool real_time = false;
    JobOutputs outputs;  // no output named: text.png in the current directory
    CardChoice card;
};

// 0 marked and written; 1 a call faulted, a font is missing or an output could not be written;
// 2 bad options; 130 interrupted.
int run_text_command(TextCommand command, std::ostream& out, std::ostream& err);

}  // namespace korvex::tool
