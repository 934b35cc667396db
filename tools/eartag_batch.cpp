// The ear-tag batch: numbers read and encoded before the machine is touched (a number no code can
// hold stops the batch before anything is marked), then plate by plate: the machine model's marks
// cleared, one e_PrintEarMark, the plate's marks drawn and read back. The laser-on time comes from
// a card listener of the tool's own that watches the modelled gate, never from the library.
#include "eartag_batch.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "core/regular_file.hpp"
#include "core/shown_input.hpp"
#include "korvex/machine_view.hpp"
#include "korvex/template_view.hpp"
#include "job_interrupt.hpp"
#include "korvex/korvex_dll.hpp"
#include "library_call.hpp"
#include "mark_command.hpp"
#include "interface/default_platform.hpp"
#include "sim/sim.hpp"
#include "tag_code.hpp"

namespace korvex::tool {

namespace {

constexpr std::size_t kMaxTags = 1'000'000;
constexpr std::size_t kNumberListMaxBytes = std::size_t{64} << 20;  // a million 20-digit numbers and more
constexpr std::size_t kSecondDigits = 5;  // the default second number: the tag's last 5 characters
constexpr int kPerPlateLines = 20;        // batches up to this many plates report every plate

bool all_digits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Where an item of a list stands, for the messages: "item 3" of a list given inline, "FILE line 7"
// of a list read from a file.
std::string item_place(const std::string& file, std::size_t line, std::size_t item) {
    return file.empty() ? "item " + std::to_string(item) : Shown_input(file, kShownPathChars) + " line " + std::to_string(line);
}

void add_item(std::vector<std::string>& out, const std::string& item, const std::string& number_chars, const std::string& place) {
    if (item.empty()) throw NumberListError(place + ": an empty item in the number list");
    const std::size_t dots = item.find("..");
    if (dots == std::string::npos) {
        if (const std::string bad = check_tag_number(item, number_chars, place); !bad.empty()) throw NumberListError(bad);
        out.push_back(item);
    } else {
        const std::string first = item.substr(0, dots), last = item.substr(dots + 2);
        if (!all_digits(first) || !all_digits(last) || first.size() > 19 || last.size() > 19)
            throw NumberListError(place + ": range \"" + Shown_input(item) + "\": FIRST..LAST must be numbers of at most 19 digits");
        const uint64_t a = std::stoull(first), b = std::stoull(last);
        if (b < a) throw NumberListError(place + ": range \"" + Shown_input(item) + "\" counts down");
        if (b - a >= kMaxTags - out.size()) throw NumberListError(place + ": range \"" + Shown_input(item) + "\" holds too many tags");
        for (uint64_t v = a;; ++v) {
            std::string text = std::to_string(v);
            if (text.size() < first.size()) text.insert(0, first.size() - text.size(), '0');
            out.push_back(std::move(text));
            if (v == b) break;
        }
    }
    if (out.size() > kMaxTags) throw NumberListError("more than 1000000 tags");
}

// Time the modelled laser gate has been emitting, from the model's state after every card write.
class LaserMeter : public CardListener {
public:
    explicit LaserMeter(SimulatedMachine& machine) : machine_(machine), on_(machine.gate_emitting()), since_us_(machine.now_us()) {
        machine_.card().add_listener(this);
    }
    ~LaserMeter() override { machine_.card().remove_listener(this); }
    double total_us() { return total_us_ + (on_ ? machine_.now_us() - since_us_ : 0.0); }

private:
    void on_write(uint8_t, uint8_t, uint8_t) override {
        const bool emitting = machine_.gate_emitting();
        if (emitting == on_) return;
        const double now = machine_.now_us();
        if (on_) total_us_ += now - since_us_;
        since_us_ = now;
        on_ = emitting;
    }
    SimulatedMachine& machine_;
    bool on_;
    double since_us_;
    double total_us_ = 0.0;
};

// Where plate k's PNG goes: DIR/STEM_plateNNN.png, DIR the --out folder or the template's own.
std::string plate_png(const EartagOptions& o, int plate, int plates) {
    const std::filesystem::path base(template_base_name(o.base));
    const std::filesystem::path dir = o.out_dir.empty() ? base.parent_path() : std::filesystem::path(o.out_dir);
    std::string number = std::to_string(plate);
    const std::size_t width = std::max<std::size_t>(2, std::to_string(plates).size());
    if (number.size() < width) number.insert(0, width - number.size(), '0');
    return (dir / (base.filename().string() + "_plate" + number + ".png")).string();
}

// The code area of bar-code cell g as the print set-up sorted it, in millimetres.
struct CodeArea {
    double x_mm, y_mm, w_mm, h_mm;
};

// Whether a laser line or dot of `marks` (D/A units) has its middle in the box (mm), grown by half
// the spot.
bool marks_in_box(const std::vector<Mark>& marks, const CellBox& box, double head, double spot_units) {
    const double x0 = box.x0_mm * head - spot_units / 2, x1 = box.x1_mm * head + spot_units / 2;
    const double y0 = box.y0_mm * head - spot_units / 2, y1 = box.y1_mm * head + spot_units / 2;
    return std::any_of(marks.begin(), marks.end(), [&](const Mark& m) {
        if (m.kind != Mark::Kind::line && m.kind != Mark::Kind::dot) return false;
        const double x = m.kind == Mark::Kind::dot ? m.x0 : (static_cast<double>(m.x0) + m.x1) / 2;
        const double y = m.kind == Mark::Kind::dot ? m.y0 : (static_cast<double>(m.y0) + m.y1) / 2;
        return x >= x0 && x <= x1 && y >= y0 && y <= y1;
    });
}

// The second number a tag gets unless given: its last characters (the animal's management number).
std::string default_second(const std::string& number) {
    return number.size() > kSecondDigits ? number.substr(number.size() - kSecondDigits) : number;
}

// A call to the batch's ledger; false (and the failure said) when it threw.
template <typename F>
bool ledger_call(EartagReport& report, std::ostream& err, F&& f) {
    try {
        f();
        return true;
    } catch (const std::exception& e) {
        report.failure = std::string("journal: ") + e.what();
        err << "korvex eartag: " << report.failure << "\n";
        return false;
    }
}

}  // namespace

std::string check_tag_number(const std::string& number, const std::string& number_chars, const std::string& place) {
    if (!number.empty() && number.find_first_not_of(number_chars) == std::string::npos) return "";
    const std::string allowed = number_chars == kTagNumberDigits ? "digits only" : "only the characters " + number_chars;
    return place + ": \"" + Shown_input(number) + "\" is not a tag number (" + allowed +
           "; --number-chars names the characters a tag number may hold)";
}

std::string check_number_chars(const std::string& chars) {
    if (chars.empty()) return "--number-chars names no character";
    for (char c : chars) {
        if (c <= ' ' || c > '~' || c == ',' || c == '#')
            return "--number-chars \"" + Shown_input(chars) + "\": only printable ASCII characters other than the blank, ',' and '#'";
    }
    return "";
}

std::vector<std::string> parse_number_list(const std::string& list, const std::string& number_chars) {
    if (const std::string bad = check_number_chars(number_chars); !bad.empty()) throw NumberListError(bad);
    std::vector<std::string> out;
    if (!list.empty() && list[0] == '@') {
        const std::string file = list.substr(1);
        std::string text;
        try {
            text = Regular_file_read(file, kNumberListMaxBytes, "number list");
        } catch (const Fault& f) {
            throw NumberListError(f.what());
        }
        // An editor's byte-order mark would become part of the first tag's code.
        if (text.starts_with("\xEF\xBB\xBF"))
            throw NumberListError(Shown_input(file, kShownPathChars) + " line 1: starts with a byte-order mark (EF BB BF); save it as plain text without one");
        std::istringstream in(text);
        std::string line;
        for (std::size_t number = 1; std::getline(in, line); ++number) {
            line = line.substr(0, line.find('#'));
            std::replace(line.begin(), line.end(), ',', ' ');
            // Items end at blanks and line ends only; any other byte belongs to the item, so that
            // the number check sees it.
            std::size_t at = 0;
            while (true) {
                at = line.find_first_not_of(" \t\r", at);
                if (at == std::string::npos) break;
                const std::size_t end = std::min(line.find_first_of(" \t\r", at), line.size());
                add_item(out, line.substr(at, end - at), number_chars, item_place(file, number, 0));
                at = end;
            }
        }
    } else {
        std::size_t from = 0;
        for (std::size_t number = 1;; ++number) {
            const std::size_t comma = list.find(',', from);
            std::string item = list.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
            const std::size_t b = item.find_first_not_of(" \t"), e = item.find_last_not_of(" \t");
            add_item(out, b == std::string::npos ? std::string() : item.substr(b, e - b + 1), number_chars,
                     item_place("", 0, number));
            if (comma == std::string::npos) break;
            from = comma + 1;
        }
    }
    if (out.empty()) throw NumberListError("no numbers in the list");
    return out;
}

int run_eartag(const EartagOptions& o, std::ostream& out, std::ostream& err, EartagReport* report_out) {
    EartagReport report;
    struct Publish {
        EartagReport& r;
        EartagReport* to;
        ~Publish() {
            if (to) *to = r;
        }
    } publish{report, report_out};

    // Everything the batch needs is checked before the machine is touched: the template first, as
    // the library would load it, since the library itself marks what it can without a word.
    const std::string base = template_base_name(o.base);
    const std::string shown_base = Shown_input(base, kShownPathChars);
    // Fonts come from the library folder, never from whatever folder the batch is started in.
    const std::string library_folder = o.library_folder.empty() ? default_library_folder() : o.library_folder;
    const EartagTemplateCheck check = check_eartag_template(base, library_folder);
    if (!check.problems.empty()) {
        for (const std::string& p : check.problems) err << "korvex eartag: " << p << "\n";
        err << "korvex eartag: the template " << shown_base << " cannot mark whole tags; nothing was marked\n";
        return 2;
    }
    if (const std::string bad = check_number_chars(o.number_chars); !bad.empty()) {
        err << "korvex eartag: " << bad << "\n";
        return 2;
    }
    for (const auto* list : {&o.numbers, &o.second}) {
        for (std::size_t i = 0; i < list->size(); ++i) {
            const std::string place = std::string(list == &o.numbers ? "number " : "second number ") + std::to_string(i + 1);
            if (const std::string bad = check_tag_number((*list)[i], o.number_chars, place); !bad.empty()) {
                err << "korvex eartag: " << bad << "; nothing was marked\n";
                return 2;
            }
        }
    }
    if (!o.second.empty() && o.second.size() != o.numbers.size()) {
        err << "korvex eartag: " << o.numbers.size() << " first numbers but " << o.second.size() << " second numbers\n";
        return 2;
    }
    std::vector<TagCodeBitmap> codes;
    codes.reserve(o.numbers.size());
    try {
        for (const std::string& n : o.numbers) codes.push_back(tag_code_bitmap(n));
    } catch (const TagCodeError& e) {
        err << "korvex eartag: " << e.what() << "; nothing was marked\n";
        return 2;
    }
    try {
        PictureOptions checked = o.picture;
        if (checked.head_steps_per_mm == 0.0) checked.head_steps_per_mm = 100.0;  // 0: the template's, known later
        checked.caption = "plate";  // every plate's PNG has a caption band
        check_picture_options(checked, o.pictures && o.pdf_path.empty());
    } catch (const PictureError& e) {
        err << "korvex eartag: " << e.what() << "\n";
        return 2;
    }

    SimulatedMachine::Options mopts;
    mopts.real_time = o.real_time;
    mopts.trace = false;
    SimulatedMachine machine(mopts);
    machine.set_library_folder(library_folder);
    PlatformReset platform_reset;
    set_platform(machine.platform());
    JobInterrupt interrupt;
    machine.ui().set_shift_source(interrupt.shift_flag());
    struct ShiftSourceOff {
        ScriptedUi& ui;
        ~ShiftSourceOff() { ui.set_shift_source(nullptr); }
    } shift_source_off{machine.ui()};
    if (o.card.real() && !use_real_card(machine, "korvex eartag", err)) return 1;
    const auto rt = enter_real_time(o.card, "korvex eartag", err);
    LibraryCaller call(machine, &interrupt, err, "korvex eartag", report.failure, report.interrupted, report.stop);
    const auto stopped = [&] {
        if (report.interrupted) err << "korvex eartag: " << report.stop << "\n";
        return report.interrupted ? 130 : 1;
    };

    korvex_dll dll;
    if (o.bring_up == BringUp::initlize) {
        if (!call("e_Initlize", [&] { dll.e_Initlize(); })) return stopped();
    } else {
        if (!call("Marking_init_pci", [&] { dll.Marking_init_pci(128, 0, 0, 1, 0, std::vector<uint8_t>{0, 0, 0, 0}, 1); }) ||
            !call("Marking_para", [&] { dll.Marking_para(1000, 3000, 100, 50, 100, 50, 10.0, 50, 20, 100, 100); }) ||
            !call("marking_start", [&] { dll.marking_start(); }))
            return stopped();
    }
    if (!call("e_setPrintInfo", [&] { dll.e_setPrintInfo(o.base); })) return stopped();
    if (machine_reading().template_machine_damaged) {
        err << "korvex eartag: " << shown_base << ".mc1 is damaged (see the message above); nothing was marked\n";
        return 1;
    }

    // What the template asks for, as the print set-up sorted it.
    const std::vector<CodeCellArea> cells = template_code_cells();
    const int per_plate = static_cast<int>(cells.size());
    if (per_plate < 1) {
        err << "korvex eartag: " << shown_base << " has no bar-code cells, so a pass would mark nothing\n";
        return 2;
    }
    std::vector<CodeArea> areas;
    for (const CodeCellArea& c : cells) areas.push_back({c.x_mm, c.y_mm, c.width_mm, c.height_mm});
    PictureOptions picture = o.picture;
    const double steps_per_mm = machine_reading().head_steps_per_mm;
    if (picture.head_steps_per_mm == 0.0) picture.head_steps_per_mm = steps_per_mm > 0 ? steps_per_mm : 100.0;
    const double head = picture.head_steps_per_mm;

    report.tags = static_cast<int>(o.numbers.size());
    report.plates = (report.tags + per_plate - 1) / per_plate;
    if (o.ledger && o.numbers.empty())
        err << "korvex eartag: the journal's queued plates of " << per_plate << " (" << shown_base << ")\n";
    else
        err << "korvex eartag: " << report.tags << " tags on " << report.plates << " plates of " << per_plate << " (" << shown_base << ")\n";

    std::optional<PdfBook> book;
    if (o.pictures && !o.pdf_path.empty()) {
        try {
            book.emplace(o.pdf_path, picture);
        } catch (const PictureError& e) {
            err << "korvex eartag: " << e.what() << "\n";
            return 1;
        }
    }
    PngCanvas canvas;  // one surface for every plate's PNG
    bool written = true;
    int read_back = 0, cells_tried = 0;
    LaserMeter meter(machine);
    const auto wall_start = std::chrono::steady_clock::now();
    auto next_progress = wall_start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                          std::chrono::duration<double>(o.progress_interval_s));

    std::optional<LiveMarksFeed> live;
    if (o.live) live.emplace(machine, *o.live, head);
    std::vector<uint8_t> image, sizes;
    std::vector<std::string> first(static_cast<std::size_t>(per_plate)), second(static_cast<std::size_t>(per_plate));
    const bool queue = o.ledger && o.numbers.empty();  // the ledger's queue chooses the plates
    for (int plate = 1; queue || plate <= report.plates; ++plate) {
        const int from = (plate - 1) * per_plate;
        std::vector<std::string> tags;
        std::vector<TagCodeBitmap> tag_codes;
        if (!queue) {
            const int n = std::min(per_plate, report.tags - from);
            tags.assign(o.numbers.begin() + from, o.numbers.begin() + from + n);
            tag_codes.assign(codes.begin() + from, codes.begin() + from + n);
        }
        if (o.ledger) {
            // Committed before the first pulse: a crash from here on leaves the plate `marking`.
            try {
                auto begun = o.ledger->begin_plate(tags);
                if (!begun) break;
                tags = std::move(*begun);
                if (queue) {
                    tag_codes.clear();
                    for (const std::string& n : tags) tag_codes.push_back(tag_code_bitmap(n));
                    report.tags += static_cast<int>(tags.size());
                    report.plates = plate;
                }
            } catch (const TagCodeError& e) {
                report.failure = e.what();
                err << "korvex eartag: " << report.failure << "; plate " << plate << " was not marked\n";
                try {
                    o.ledger->plate_stopped(report.failure + "; nothing was marked");
                } catch (const std::exception& j) {
                    err << "korvex eartag: journal: " << j.what() << "\n";
                }
                break;
            } catch (const std::exception& e) {
                report.failure = std::string("journal: ") + e.what();
                err << "korvex eartag: " << report.failure << "; plate " << plate << " was not marked\n";
                break;
            }
        }
        const int count = static_cast<int>(tags.size());
        if (count > per_plate) {
            // An order cut for another template: marking would drop tags the journal calls marked.
            report.failure = "plate " + std::to_string(plate) + " holds " + std::to_string(count) + " tags but " + shown_base + " has " +
                             std::to_string(per_plate) + " bar-code cells; nothing was marked";
            err << "korvex eartag: " << report.failure << "\n";
            ledger_call(report, err, [&] { o.ledger->plate_stopped(report.failure); });
            break;
        }
        // A plate with fewer tags than cells: the rest get a blank code (border only) and no numbers,
        // never the entries an earlier plate left in the library's tables.
        image.assign(static_cast<std::size_t>(per_plate) * kTagCodeBytes, 0);
        sizes.assign(static_cast<std::size_t>(per_plate) + 1, kTagCodeBytes);
        sizes[0] = static_cast<uint8_t>(per_plate);
        for (int t = 0; t < per_plate; ++t) {
            const bool used = t < count;
            const auto i = static_cast<std::size_t>(t);
            if (used) std::copy(tag_codes[i].begin(), tag_codes[i].end(), image.begin() + t * kTagCodeBytes);
            first[i] = used ? tags[i] : "";
            second[i] = used ? (queue || o.second.empty() ? default_second(tags[i]) : o.second[static_cast<std::size_t>(from + t)]) : "";
        }

        machine.model().clear_marks();
        const double t0 = machine.now_us(), on0 = meter.total_us();
        if (live) live->start();
        const bool ok = call("e_PrintEarMark", [&] { dll.e_PrintEarMark(image, first, second, sizes); });
        if (live) live->end();
        bool go_on = ok;
        if (o.ledger && !ledger_call(report, err, [&] {
                if (ok)
                    o.ledger->plate_marked();
                else
                    o.ledger->plate_stopped(report.interrupted ? report.stop : report.failure);
            }))
            go_on = false;
        const double plate_us = machine.now_us() - t0, plate_on_us = meter.total_us() - on0;
        report.machine_us += plate_us;
        report.last_plate_us = plate_us;
        report.laser_on_us += plate_on_us;
        if (ok) ++report.plates_marked;
        const std::vector<Mark> marks = machine.marks();

        std::string tags_text;
        for (int t = 0; t < count; ++t) tags_text += (t ? ", " : "") + Shown_input(tags[static_cast<std::size_t>(t)]);
        const std::string caption = "plate " + std::to_string(plate) + "/" + std::to_string(report.plates) + ": " + tags_text;
        std::string written_to;
        if (o.pictures) {
            try {
                PictureOptions p = picture;
                p.caption = caption;
                if (book) {
                    book->add_page(marks, caption);
                } else {
                    written_to = plate_png(o, plate, report.plates);
                    canvas.write(marks, written_to, p);
                }
            } catch (const PictureError& e) {
                err << "korvex eartag: " << e.what() << "\n";
                written = false;
            }
        }
        if (o.verify) {
            for (int t = 0; t < count; ++t) {
                const CodeArea& a = areas[static_cast<std::size_t>(t)];
                const std::string& want = tags[static_cast<std::size_t>(t)];
                const std::string got = read_marked_code(marks, a.x_mm * head, a.y_mm * head, a.w_mm * head, a.h_mm * head,
                                                         picture.spot_mm * head);
                const std::string tag = "plate " + std::to_string(plate) + " tag " + std::to_string(t + 1) + " (" + Shown_input(want) + ")";
                if (o.ledger && !ledger_call(report, err, [&] { o.ledger->tag_read(t + 1, got); })) go_on = false;
                if (got == want) {
                    ++read_back;
                } else {
                    report.unreadable.push_back(tag + ": read " + (got.empty() ? "nothing" : "\"" + Shown_input(got) + "\""));
                    err << "korvex eartag: code does not read back: " << report.unreadable.back() << "\n";
                }
                // The codes are not all of a tag: its numbers and logo must have left marks too.
                for (const CellBox& box : check.boxes) {
                    if (box.tag != t + 1) continue;
                    ++cells_tried;
                    if (marks_in_box(marks, box, head, picture.spot_mm * head)) continue;
                    report.unmarked.push_back(tag + ": the " + box.name + " left no marks in its box (x " + format_number(box.x0_mm, 2) +
                                              " to " + format_number(box.x1_mm, 2) + " mm, y " + format_number(box.y0_mm, 2) + " to " +
                                              format_number(box.y1_mm, 2) + " mm)");
                    err << "korvex eartag: " << report.unmarked.back() << "\n";
                }
            }
        }

        const auto now = std::chrono::steady_clock::now();
        if (report.plates <= kPerPlateLines) {
            err << "korvex eartag: plate " << plate << ": " << tags_text << ": machine " << format_number(plate_us / 1e6, 2)
                << " s, laser on " << format_number(plate_on_us / 1e6, 2) << " s"
                << (written_to.empty() ? "" : ", " + Shown_input(written_to, kShownPathChars)) << "\n";
        } else if (now >= next_progress || plate == report.plates) {
            next_progress = now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(o.progress_interval_s));
            err << "korvex eartag: plate " << plate << " of " << report.plates << ", "
                << std::min(report.tags, plate * per_plate) << " tags, machine time "
                << format_number(report.machine_us / 1e6, 1) << " s, wall "
                << format_number(std::chrono::duration<double>(now - wall_start).count(), 0) << " s" << std::endl;
        }
        if (!go_on) break;
    }
    if (book) {
        try {
            book->finish();
            err << "korvex eartag: " << book->pages() << " plates drawn in " << Shown_input(o.pdf_path, kShownPathChars) << "\n";
        } catch (const PictureError& e) {
            err << "korvex eartag: " << e.what() << "\n";
            written = false;
        }
    }
    report.wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();

    // The summary.
    const double plates_done = std::max(1, report.plates_marked);
    out << "korvex eartag: " << report.tags << " tags, " << report.plates_marked << " of " << report.plates << " plates marked ("
        << per_plate << " tags a plate)\n";
    out << "machine time " << format_number(report.machine_us / 1e6, 2) << " s, "
        << format_number(report.machine_us / 1e6 / plates_done, 2) << " s a plate; laser on "
        << format_number(report.laser_on_us / 1e6, 2) << " s ("
        << format_number(report.machine_us > 0 ? 100.0 * report.laser_on_us / report.machine_us : 0.0, 0) << "%)\n";
    if (o.verify) {
        const int tried = read_back + static_cast<int>(report.unreadable.size());
        out << "read back: " << read_back << " of " << tried << " codes read as their numbers; " << cells_tried - static_cast<int>(report.unmarked.size())
            << " of " << cells_tried << " number and plot cells left marks in their boxes\n";
    }
    out << "wall time " << format_number(report.wall_s, 2) << " s ("
        << format_number(report.wall_s > 0 ? std::min(report.tags, report.plates_marked * per_plate) / report.wall_s : 0.0, 1)
        << " tags/s)" << std::endl;

    if (report.interrupted) {
        err << "korvex eartag: " << report.stop << "; plate " << report.plates_marked + 1
            << (call.stop_taken() ? " was cut after " : " was marked to its end in ") << format_number(report.last_plate_us / 1e6, 2)
            << " s of machine time and later plates were not marked\n";
        return 130;
    }
    if (!report.failure.empty() || !written || !report.unreadable.empty() || !report.unmarked.empty()) return 1;
    return 0;
}

}  // namespace korvex::tool
