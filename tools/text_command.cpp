// korvex text: brings the simulated machine up, fills the current cell from the options, resolves
// its fonts with the font loader and marks it with the text layout, all inside one library call,
// then writes the marks and the picture like korvex mark.
#include "text_command.hpp"

#include <cmath>
#include <iostream>
#include <memory>

#include "cli_ranges.hpp"
#include "cli_usage.hpp"
#include "core/shown_input.hpp"
#include "job_interrupt.hpp"
#include "job_options.hpp"
#include "korvex/cell_marking.hpp"
#include "korvex/platform.hpp"
#include "interface/default_platform.hpp"
#include "tool_command.hpp"

namespace korvex::tool {

namespace {

// The text cell the options describe.
TextCell text_cell(const TextCommand& c) {
    TextCell cell;
    cell.text = c.text;
    cell.narrow_font = c.narrow_font;
    cell.wide_font = c.wide_font;
    cell.width_mm = c.width_mm;
    cell.height_mm = c.height_mm;
    cell.spacing_mm = c.spacing_mm;
    cell.angle_deg = c.angle_deg;
    cell.vertical = c.vertical;
    cell.arc_diameter_mm = c.arc_diameter_mm;
    cell.arc_start_deg = c.arc_start_deg;
    cell.arc_direction = c.arc_direction;
    cell.arc_orientation = c.arc_orientation;
    cell.x_mm = c.x_mm;
    cell.y_mm = c.y_mm;
    cell.fill_mm = c.fill_mm;
    cell.bold = c.bold;
    cell.italic = c.italic;
    cell.outline_off = c.outline_off;
    return cell;
}

}  // namespace

int run_text_command(TextCommand c, std::ostream& out, std::ostream& err) {
    if (c.outputs.picture.caption.empty()) c.outputs.picture.caption = c.text;
    double head_steps_per_mm = 0.0;
    if (!prepare_job("korvex text", "text", c.params, head_steps_per_mm, c.outputs, err)) return 2;  // text.png
    if (const std::string bad = check_fill_option(c.fill_mm); !bad.empty()) {
        err << "korvex text: " << bad << "\n";
        return 2;
    }
    for (float v : {c.width_mm, c.height_mm, c.spacing_mm, c.angle_deg, c.arc_diameter_mm, c.arc_start_deg, c.x_mm, c.y_mm,
                    c.fill_mm}) {
        if (!std::isfinite(v)) {
            err << "korvex text: sizes, angles and positions must be numbers\n";
            return 2;
        }
    }
    if (c.text.empty()) {
        err << "korvex text: nothing to mark (empty text)\n";
        return 2;
    }
    // No size or place beyond the scan field can be marked (the D/A converter spans 65536 steps).
    const double field_mm = 65536.0 * c.params.step_um / 1000.0;
    const std::pair<const char*, float> lengths[] = {{"--width", c.width_mm}, {"--height", c.height_mm},
                                                     {"--spacing", c.spacing_mm}, {"--arc", c.arc_diameter_mm},
                                                     {"--x", c.x_mm}, {"--y", c.y_mm}, {"--fill", c.fill_mm}};
    for (const auto& [option, mm] : lengths) {
        if (std::fabs(mm) > field_mm) {
            err << "korvex text: " << option << " " << plain_number(mm) << " mm is larger than the scan field (" << plain_number(field_mm)
                << " mm across at " << plain_number(c.params.step_um) << " um a step)\n";
            return 2;
        }
    }
    // The library folder holds the fonts (font/) as well as the grid.
    const MachineJobSetup setup{c.real_time, c.folder.empty() ? default_library_folder() : c.folder, head_steps_per_mm,
                                c.outputs, c.card};
    return run_machine_job("korvex text", setup, [&](SimulatedMachine& machine, JobInterrupt& interrupt) {
        JobCalls calls(machine, &interrupt, err, "korvex text");
        korvex_dll dll;
        if (!bring_up(calls, dll, c.params)) return calls.report;
        TextCellMarked marked;
        calls.report.completed = calls.call("Text_mark", [&] { mark_text_cell(text_cell(c), marked); });
        const bool fonts_found = marked.fonts_found;
        const std::string& fonts_used = marked.fonts_used;
        const std::string& font_folder = marked.font_folder;
        if (!fonts_used.empty()) err << "korvex text: fonts " << fonts_used << "\n";
        if (!fonts_found) {
            calls.report.failure = "无相应字库！ (a font key whose file is not in " + Shown_input(font_folder, kShownPathChars) + ")";
            err << "korvex text: " << calls.report.failure << "\n";
            calls.report.completed = false;
        }
        return calls.report;
    }, out, err);
}

ToolCommand add_text_command(CLI::App& app) {
    auto command = std::make_shared<TextCommand>();
    TextCommand& c = *command;
    ToolCommand t;
    auto* cmd = t.sub = app.add_subcommand(
        "text", "Mark a text on the simulated machine as a template's text cell is marked, and draw it");
    cmd->footer(
        "Fonts: a catalogue key (special_Romans, ...), a file in FOLDER/font/, or any other name as a system outline\n"
        "face (fontconfig picks it or its substitute). Single-byte characters use --narrow, double-byte ones --wide;\n"
        "both take their size and spacing from --width, --height and --spacing. Without any output option the\n"
        "picture goes to text.png in the current directory.");
    cmd->add_option("TEXT", c.text, "the text (UTF-8)")->required();
    cmd->add_option("--narrow", c.narrow_font, "font of single-byte characters: KEY, FILE or FACE (default: special_Romans "
                                                 "when its file is there, else DejaVu Sans)");
    cmd->add_option("--wide", c.wide_font, "font of double-byte characters: KEY, FILE or FACE (default: special_DFS when "
                                             "its file is there, else AR PL UMing CN)");
    cmd->add_option("--width", c.width_mm, "character width, mm")->capture_default_str();
    cmd->add_option("--height", c.height_mm, "character height, mm")->capture_default_str();
    cmd->add_option("--spacing", c.spacing_mm, "gap between characters, mm")->capture_default_str();
    cmd->add_option("--angle", c.angle_deg, "rotation of straight or vertical text, degrees")->capture_default_str();
    cmd->add_flag("--vertical", c.vertical, "stack the characters, the first on top");
    cmd->add_option("--arc", c.arc_diameter_mm, "lay the text on an arc of this diameter, mm");
    cmd->add_option("--arc-start", c.arc_start_deg, "angle on the circle where the text starts, degrees")
        ->capture_default_str();
    cmd->add_flag("--arc-direction", c.arc_direction, "run the arc text the other way round (counter-clockwise)");
    cmd->add_flag("--arc-orientation", c.arc_orientation, "turn the characters to face the other way on the arc");
    cmd->add_option("--x", c.x_mm, "x of the text block's lower-left corner (arc: the circle's centre), mm")
        ->capture_default_str();
    cmd->add_option("--y", c.y_mm, "y of the text block's lower-left corner (arc: the circle's centre), mm")
        ->capture_default_str();
    cmd->add_option("--fill", c.fill_mm, "fill outline-font characters with hatch lines this far apart, mm")
        ->check(in_range(0, kMaxFillMm));
    cmd->add_flag("--bold", c.bold, "bold outline-font characters");
    cmd->add_flag("--italic", c.italic, "italic outline-font characters");
    cmd->add_flag("--outline-off", c.outline_off, "with --fill: mark the hatch lines only, not the outline");
    add_mark_parameter_options(cmd, c.params);
    cmd->add_option("--folder", c.folder, std::string("library folder with the fonts in font/ (default: ") + kLibraryFolderDefault + ")");
    cmd->add_flag("--real-time", c.real_time, "pace with the monotonic clock instead of the virtual one");
    add_card_options(cmd, c.card);
    add_output_options(cmd, c.outputs);
    t.run = [command] { return run_text_command(*command, std::cout, std::cerr); };
    return t;
}

}  // namespace korvex::tool
