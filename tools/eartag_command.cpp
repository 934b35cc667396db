// `korvex eartag BASE --numbers LIST`: the options of the ear-tag batch; the batch itself is in
// eartag_batch.cpp.
#include <iostream>

#include "cli_usage.hpp"
#include "eartag_batch.hpp"
#include "eartag_journal.hpp"
#include "station_names.hpp"
#include "output_options.hpp"
#include "tool_command.hpp"

namespace korvex::tool {

ToolCommand add_eartag_command(CLI::App& app) {
    struct Args {
        EartagOptions options;
        std::string numbers, second, bring_up = "initlize";
        bool no_pictures = false;
        JournalChoice journal{.target = "", .station = default_station(), .pool = "eartag", .operator_name = default_operator()};
    };
    auto args = std::make_shared<Args>();
    EartagOptions& o = args->options;
    o.picture.head_steps_per_mm = 0.0;  // the template's
    o.picture.field_mm = 80.0;          // a 50 x 60 mm plate with room around it and its caption
    ToolCommand c;
    c.sub = app.add_subcommand("eartag", "Mark a batch of ear tags from a template on the simulated machine");
    c.sub->add_option("BASE", o.base, "template base path (BASE.mc1 and BASE.nam)")->required();
    c.sub->add_option("--numbers", args->numbers,
                      "tag numbers: a comma list, a range FIRST..LAST, or @FILE (one code each)")->required();
    c.sub->add_option("--second", args->second,
                      "second numbers, one per tag, same syntax (default: the last 5 characters of each number)");
    c.sub->add_option("--number-chars", o.number_chars,
                      "the characters tag numbers may hold, all listed (printable ASCII but blank, ',' and '#')")
        ->capture_default_str();
    c.sub->add_option("--bring-up", args->bring_up,
                      "initlize: e_Initlize (MarkConfig from the current directory if present, fonts); direct: "
                      "Marking_init_pci, Marking_para, marking_start only (no MarkConfig)")
        ->check(CLI::IsMember({"initlize", "direct"}))
        ->capture_default_str();
    c.sub->add_option("--library", o.library_folder, std::string("library folder holding font/ and the grid (default: ") + kLibraryFolderDefault + ")");
    c.sub->add_option("--out", o.out_dir, "folder for the plates' PNGs (default: beside the template)")
        ->check(output_folder());
    c.sub->add_option("--pdf", o.pdf_path, "draw all plates into one PDF, a page per plate, instead of PNGs")
        ->check(output_path());
    c.sub->add_flag("--no-pictures", args->no_pictures, "draw nothing");
    c.sub->add_flag("--verify", o.verify, "read every code back from the simulated marks; exit 1 if one does not read");
    c.sub->add_flag("--real-time", o.real_time, "pace with the monotonic clock instead of the virtual one");
    add_card_options(c.sub, o.card);
    c.sub->add_option("--journal", args->journal.target,
                      "record the batch in a production journal (a SQLite file, or a postgresql:// URI); numbers it "
                      "knows as marked are not marked again");
    c.sub->add_option("--station", args->journal.station, "this station's name in the journal (default: KORVEX_STATION or the host name)");
    c.sub->add_option("--pool", args->journal.pool, "the journal's pool for numbers new to it")->capture_default_str();
    c.sub->add_option("--operator", args->journal.operator_name, "who marks (default: KORVEX_OPERATOR or the login name)");
    c.sub->add_option("--spot-mm", o.picture.spot_mm, "laser line width in the pictures and the read-back, mm")
        ->capture_default_str();
    c.sub->add_option("--field-mm", o.picture.field_mm, "size of the field the pictures frame, mm")->capture_default_str();
    c.sub->add_option("--px-per-mm", o.picture.png_px_per_mm, "PNG resolution, pixels per mm")->capture_default_str();
    c.sub->add_flag("--no-jumps", [args](int64_t) { args->options.picture.jumps = false; }, "leave the jumps out of the pictures");
    c.sub->add_option("--head-steps-per-mm", o.picture.head_steps_per_mm,
                      "scale of the simulated head, D/A units per mm (default: the template's steps per mm)");
    c.run = [args] {
        EartagOptions& opts = args->options;
        try {
            opts.numbers = parse_number_list(args->numbers, opts.number_chars);
            if (!args->second.empty()) opts.second = parse_number_list(args->second, opts.number_chars);
        } catch (const NumberListError& e) {
            std::cerr << "korvex eartag: " << e.what() << "\n";
            return 2;
        }
        opts.bring_up = args->bring_up == "direct" ? BringUp::direct : BringUp::initlize;
        opts.pictures = !args->no_pictures;
        if (opts.card.real() && (opts.pictures || opts.verify)) {
            // The simulated machine sees nothing of what the real card marks.
            std::cerr << "korvex eartag: on the real card nothing is drawn or read back (--no-pictures, no --verify)\n";
            opts.pictures = false;
            opts.verify = false;
        }
        if (!args->journal.target.empty()) return run_eartag_journal(opts, args->journal, std::cout, std::cerr);
        return run_eartag(opts, std::cout, std::cerr);
    };
    return c;
}

}  // namespace korvex::tool
