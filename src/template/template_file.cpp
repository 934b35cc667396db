// The .mc1 reader: the comma-separated values in eight sections (magic, 256 pens of 30 values,
// 68 hardware values, zone row count and rows, default fonts, preview scale, 5 hardware values),
// then pen 1 re-selected and the .nam cell list read. The machine part is read record by record (a
// pen, the hardware values, a zone row, ...): a record is taken over only when it was read whole,
// and once a record shows that the file's values have slipped out of step, nothing after it is read,
// so no value is ever taken for another record's. The operator is told what was damaged.
#include "template/template_file.hpp"

#include <memory>
#include <optional>

#include "core/code_page.hpp"
#include "core/shown_input.hpp"
#include "core/value_reader.hpp"
#include "device/laser_signals.hpp"
#include "interface/fault_boundary.hpp"
#include "template/cell_list.hpp"
#include "template/pens.hpp"

namespace korvex {

namespace {

// Runs one load step; a fault ends only that step and is noted in the report. A pen selection that
// faulted while the card was on the laser controller's page would leave it there, so the card goes
// back to its resting page (the same cleanup a fault leaving a public member gets). A failed driver
// call is no fault of the file: the laser was not programmed as the template asks, so it ends the
// whole load.
template <class Step>
bool Step_run(State& s, TemplateLoadReport& report, const char* name, Step&& step) {
    try {
        step();
        return true;
    } catch (const Fault& f) {
        cleanup_after_fault(s);
        if (f.kind() == FaultKind::device) throw;
        report.failed.push_back({name, f.kind(), f.what(), 0});
        return false;
    }
}

// The records of a machine file. The layout editor writes each record on a line of its own (a file
// may also break a record over several lines), so every record ends at a line end. A value that does
// not convert, or lies outside its bounds, spoils only its record: the rest of the record's values
// are passed over and the next record is read in step. A record that does not end at a line end had
// a value too many or too few (a damaged separator, a stray quote) and every later value would be
// read as another's: the file is not read past it.
class RecordReader {
public:
    RecordReader(ValueReader& in, TemplateLoadReport& report) : in_(in), report_(report) {}

    // Reads one record of `count` values, value i through read_value(i) (its name from
    // value_name(i) for the report). True when the record was read whole and may be taken over.
    template <class ReadValue, class ValueName>
    bool read(const std::string& record, int64_t count, ReadValue&& read_value, ValueName&& value_name) {
        if (lost_) return false;
        const std::size_t start = in_.next_value_offset();
        std::size_t last = start;
        std::string failure;
        std::size_t failure_line = 0;
        FaultKind kind = FaultKind::type;
        int64_t i = 0;
        try {
            for (; i < count; ++i) {
                last = in_.next_value_offset();
                read_value(i);
            }
        } catch (const Fault& f) {
            if (f.kind() == FaultKind::eof) return ends_file(record, start);
            failure_line = in_.line_at(last);
            failure = value_name(i) + ": " + With_line(f.what(), failure_line);
            kind = f.kind();
            try {
                for (++i; i < count; ++i) {
                    last = in_.next_value_offset();
                    (void)in_.read_string();
                }
            } catch (const Fault&) {
                return ends_file(record, start, failure + "; ");
            }
        }
        if (!in_.at_line_end()) {
            const std::size_t line = in_.line_at(start);
            const std::size_t end_line = in_.line_at(last);
            std::string what = (failure.empty() ? "" : failure + "; ") + "its " + std::to_string(count) +
                               (count == 1 ? " value" : " values") + " from line " + std::to_string(line) +
                               " end inside line " + std::to_string(end_line) +
                               (end_line > line ? ": its line holds fewer (a separator or a quote damaged)"
                                                : ": its line holds more (a separator damaged)");
            stop(record, FaultKind::file, what, line);
            return false;
        }
        if (!failure.empty()) {
            damaged(record, kind, failure, failure_line);
            return false;
        }
        return true;
    }

    // After a record that had to end the file's reading although it stayed in step (the zone row
    // count, which says how many records follow).
    void stop_after_last() {
        if (lost_ || report_.failed.empty()) return;
        lost_ = true;
        report_.failed.back().message += kNotReadPast;
    }
    // The magic line, read before: it too must end its line.
    void magic_line_read() {
        if (!in_.at_line_end()) {
            const std::size_t line = in_.line_at(in_.offset_bytes());
            stop("magic line", FaultKind::file, "the magic text's line holds more values (line " + std::to_string(line) + ")", line);
        }
    }
    bool lost() const { return lost_; }

private:
    static constexpr const char* kNotReadPast = "; the file is not read past it";

    // A value's fault names its line; one raised after the value was read (a bound) gets it here.
    static std::string With_line(const std::string& what, std::size_t line) {
        const std::string suffix = " (line " + std::to_string(line) + ")";
        return what.ends_with(suffix) ? what : what + suffix;
    }

    void damaged(const std::string& record, FaultKind kind, const std::string& message, std::size_t line) {
        report_.failed.push_back({record, kind, message, static_cast<int32_t>(line)});
        ++report_.damaged_records;
    }
    void stop(const std::string& record, FaultKind kind, const std::string& message, std::size_t line) {
        damaged(record, kind, message + kNotReadPast, line);
        lost_ = true;
    }
    bool ends_file(const std::string& record, std::size_t start, const std::string& before = "") {
        stop(record, FaultKind::eof, before + "the file ends before its values do (line " + std::to_string(in_.line_at(start)) + " on)",
             in_.line_at(start));
        return false;
    }

    ValueReader& in_;
    TemplateLoadReport& report_;
    bool lost_ = false;
};

void Hardware_value_read(HardwareRecord& record, int16_t number, ValueReader& in) {
    const HardwareField& f = hardware_field(number);
    double v = 0.0;
    switch (f.type) {
        case HardwareFieldType::i16: v = in.read_i16(); break;
        case HardwareFieldType::i32: v = in.read_i32(); break;
        case HardwareFieldType::single: v = in.read_single(); break;
        case HardwareFieldType::dbl: v = in.read_double(); break;
        case HardwareFieldType::boolean: v = in.read_bool(); break;  // always -1 or 0
    }
    hardware_field_store(record, f, v);
}

std::string Hardware_value_name(int16_t number) {
    return std::string(hardware_field(number).name) + " (field " + std::to_string(number) + ")";
}

// Reads a record of hardware fields into a copy of the record, which replaces it when read whole.
template <std::size_t N>
bool Hardware_record_read(HardwareRecord& hw, RecordReader& records, ValueReader& in, const char* record,
                          const std::array<int16_t, N>& numbers) {
    HardwareRecord staged = hw;
    if (!records.read(record, N, [&](int64_t i) { Hardware_value_read(staged, numbers[i], in); },
                      [&](int64_t i) { return Hardware_value_name(numbers[i]); }))
        return false;
    hw = staged;
    return true;
}

void Raise_to_one(HardwareRecord& record) {
    const HardwareField& f = hardware_field(kHardwareAtLeastOne);
    if (hardware_field_value(record, f) < 1.0) hardware_field_store(record, f, 1.0);
}

// The electrical level that opens the gate: Out_bit_set drives an active bit low.
int Gate_open_line_level(vbool level) { return level != 0 ? 0 : 1; }

// The output byte still holds the gate closed under the old bit and level; under a new level (or on
// a new bit) that same byte may read as open, and the next jump would be marked. So the gate is
// closed at once under the new ones, and the operator is told once: a station wired the other way is
// set up by exactly such a template, but on a laser wired for the old level the gate now emits.
void Gate_setting_take_over(State& s, TemplateLoadReport& r, int16_t old_bit, vbool old_level) {
    const int16_t bit = s.hw.intGateBit;
    const vbool level = s.hw.blnGateLevel;
    if (bit == old_bit && level == old_level) return;
    Step_run(s, r, "gate closed under the new level", [&] { Gate_write(s, false); });
    const std::string text = "The template sets the laser gate to open at level " + std::to_string(Gate_open_line_level(level)) +
                             " of output " + std::to_string(bit) + "; the setting in force opened it at level " +
                             std::to_string(Gate_open_line_level(old_level)) + " of output " + std::to_string(old_bit) +
                             ". The gate is now held at level " + std::to_string(1 - Gate_open_line_level(level)) +
                             ": a laser wired for the old setting emits.";
    s.platform.ui->message_box(text, kMessageTitle, Buttons::ok, Icon::info);
}

// Sections 2 to 8 of a file whose magic matched.
void Machine_part_read(State& s, ValueReader& in, TemplateLoadReport& r) {
    RecordReader records(in, r);
    records.magic_line_read();

    const auto& pen_fields = Pen_fields_in_file_order();
    for (int pen = 0; pen < kPenFilePens && !records.lost(); ++pen) {
        PenRecord staged = s.tmpl.penTable.at(pen);
        if (records.read("pen " + std::to_string(pen), kPenFileValues,
                         [&](int64_t i) { Pen_field_read(staged, pen_fields.at(static_cast<std::size_t>(i)), in); },
                         [&](int64_t i) { return std::string(pen_fields.at(static_cast<std::size_t>(i)).name); }))
            s.tmpl.penTable.at(pen) = std::move(staged);
    }

    Raise_to_one(s.hw);
    const int16_t gate_bit = s.hw.intGateBit;
    const vbool gate_level = s.hw.blnGateLevel;
    r.hardware_read = Hardware_record_read(s.hw, records, in, "hardware values", kHardwareSection3);
    if (r.hardware_read) Gate_setting_take_over(s, r, gate_bit, gate_level);
    Raise_to_one(s.hw);

    int32_t zone_count = 0;
    if (records.read("zone row count", 1, [&](int64_t) { zone_count = in.read_i32(); },
                     [](int64_t) { return std::string("lngZoneCount"); })) {
        s.hw.lngZoneCount = zone_count;
        for (int64_t row = 0; row < zone_count && !records.lost(); ++row) {
            std::array<float, kZoneColumnOrder.size()> values{};
            const bool whole = records.read("zone row " + std::to_string(row), values.size(),
                                            [&](int64_t i) { values.at(static_cast<std::size_t>(i)) = in.read_single(); },
                                            [&](int64_t i) { return "column " + std::to_string(kZoneColumnOrder.at(static_cast<std::size_t>(i))); });
            if (whole && row < kZoneRows)  // rows past 300 are dropped
                for (std::size_t i = 0; i < values.size(); ++i) s.scan.zoneTable.at(row, kZoneColumnOrder[i]) = values[i];
        }
    } else {
        records.stop_after_last();  // how many rows follow is not known
    }

    TemplateGroup& t = s.tmpl;
    FontRecord wide = t.FontWideWork, narrow = t.FontNarrowWork;
    static const char* const kFontValues[] = {"wide font name", "narrow font name", "wide font height", "wide font width", "wide font spacing"};
    if (records.read("default fonts", 5,
                     [&](int64_t i) {
                         switch (i) {
                             case 0: wide.Name = std::string(in.read_string()); break;
                             case 1: narrow.Name = std::string(in.read_string()); break;
                             case 2: wide.Height = in.read_single(); break;
                             case 3: wide.Width = in.read_single(); break;
                             default: wide.Space = in.read_single(); break;
                         }
                     },
                     [](int64_t i) { return std::string(kFontValues[i]); })) {
        if (wide.Name.empty()) {
            wide.Name = kDefaultWideFont;
            wide.Height = 3.0f;
            wide.Width = 3.0f;
            wide.Space = 0.0f;
        }
        if (narrow.Name.empty()) narrow.Name = kDefaultNarrowFont;
        t.FontWideWork = std::move(wide);
        t.FontNarrowWork = std::move(narrow);
    }
    // The file's preview scale is not used: the preview always draws at the same scale.
    records.read("preview scale", 1, [&](int64_t) { (void)in.read_i32(); }, [](int64_t) { return std::string("preview scale"); });
    t.lngPreviewScale = kPreviewScale;
    Hardware_record_read(s.hw, records, in, "last hardware values", kHardwareSection8);
}

// The operator's message about a damaged machine file: the first few damaged records with their
// lines and what was wrong.
void Damage_message(State& s, const std::string& base, const TemplateLoadReport& r) {
    constexpr int kListed = 3;
    std::string text = Shown_input(base + ".mc1", 200) +
                       " is damaged; what it holds there was not taken over and keeps its previous values:";
    int listed = 0;
    for (const TemplateStepFault& f : r.failed) {
        if (f.line == 0) continue;  // a load step, not a record of the file
        if (listed++ == kListed) break;
        text += "\n" + f.step + ": " + Shown_input(f.message, 300);
    }
    if (r.damaged_records > kListed) text += "\nand " + std::to_string(r.damaged_records - kListed) + " more damaged records";
    s.platform.ui->message_box(text, kMessageTitle, Buttons::ok, Icon::critical);
}

}  // namespace

void Template_load(State& s, const std::string& base, TemplateLoadReport* report) {
    TemplateLoadReport& r = s.tmpl.load_report;
    r = {};
    // The whole file is read (and closed) at once; its text is decoded from the code page so string
    // values such as font names arrive as UTF-8. Separators and quotes are never GBK trail bytes.
    std::optional<std::string> text;
    std::optional<ValueReader> in;
    const bool magic = Step_run(s, r, "machine file", [&] {
        text = Gbk_to_utf8(FileText(base + ".mc1").view());
        in.emplace(*text);
        if (in->read_string() != kTemplateMagic) in.reset();
    });
    r.magic = magic && in;
    if (r.magic) Machine_part_read(s, *in, r);
    if (r.machine_file_damaged()) Damage_message(s, base, r);

    s.para.lngCurPen = -1;
    Step_run(s, r, "pen 1 selection", [&] { Pen_select(s, 1); });
    Step_run(s, r, "cell list", [&] { Cell_list_load(s, base + ".nam"); });
    if (report) *report = r;
}

}  // namespace korvex
