// The .mc1 reader: the comma-separated values in eight sections (magic, 256 pens of 30 values,
// 68 hardware values, zone row count and rows, default fonts, preview scale, 5 hardware values),
// then pen 1 re-selected and the .nam cell list read. Values are stored as they are read, so a step
// that fails half way keeps what it stored before the failure.
#include "template/template_file.hpp"

#include <memory>
#include <optional>

#include "core/value_reader.hpp"
#include "interface/fault_boundary.hpp"
#include "core/code_page.hpp"
#include "device/laser_signals.hpp"
#include "template/cell_list.hpp"
#include "template/pens.hpp"

namespace korvex {

namespace {

// Runs one load step; a fault ends only that step. A pen selection that faulted while the card was
// on the laser controller's page would leave it there, so the card goes back to its resting page
// (the same cleanup a fault leaving a public member gets).
template <class Step>
bool Step_run(State& s, Step&& step) {
    try {
        step();
        return true;
    } catch (const Fault&) {
        cleanup_after_fault(s);
        return false;
    }
}

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

void Raise_to_one(HardwareRecord& record) {
    const HardwareField& f = hardware_field(kHardwareAtLeastOne);
    if (hardware_field_value(record, f) < 1.0) hardware_field_store(record, f, 1.0);
}

// Sections 2 to 8 of a file whose magic matched.
void Machine_part_read(State& s, ValueReader& in) {
    Step_run(s, [&] {
        for (int pen = 0; pen < kPenFilePens; ++pen) {
            PenRecord& p = s.tmpl.penTable.at(pen);
            for (const PenField& f : Pen_fields_in_file_order()) Pen_field_read(p, f, in);
        }
    });
    Step_run(s, [&] { Raise_to_one(s.hw); });
    const int16_t gate_bit = s.hw.intGateBit;
    const vbool gate_level = s.hw.blnGateLevel;
    Step_run(s, [&] {
        for (int16_t number : kHardwareSection3) Hardware_value_read(s.hw, number, in);
    });
    // The output byte still holds the gate closed under the old bit and level; under a new level
    // (or on a new bit) that same byte may read as open, and the next jump would be marked. So the
    // gate is closed at once under the new ones.
    if (s.hw.intGateBit != gate_bit || s.hw.blnGateLevel != gate_level) Step_run(s, [&] { Gate_write(s, false); });
    Step_run(s, [&] { Raise_to_one(s.hw); });
    Step_run(s, [&] {
        s.hw.lngZoneCount = in.read_i32();
        const int64_t rows = s.hw.lngZoneCount;
        for (int64_t row = 0; row < rows; ++row) {
            for (int col : kZoneColumnOrder) {
                const float v = in.read_single();
                if (row < kZoneRows) s.scan.zoneTable.at(row, col) = v;  // rows past 300 are dropped
            }
        }
    });
    Step_run(s, [&] {
        TemplateGroup& t = s.tmpl;
        t.FontWideWork.Name = std::string(in.read_string());
        t.FontNarrowWork.Name = std::string(in.read_string());
        t.FontWideWork.Height = in.read_single();
        t.FontWideWork.Width = in.read_single();
        t.FontWideWork.Space = in.read_single();
        if (t.FontWideWork.Name.empty()) {
            t.FontWideWork.Name = kDefaultWideFont;
            t.FontWideWork.Height = 3.0f;
            t.FontWideWork.Width = 3.0f;
            t.FontWideWork.Space = 0.0f;
        }
        if (t.FontNarrowWork.Name.empty()) t.FontNarrowWork.Name = kDefaultNarrowFont;
    });
    // The file's preview scale is not used: the preview always draws at the same scale.
    Step_run(s, [&] { (void)in.read_i32(); });
    s.tmpl.lngPreviewScale = kPreviewScale;
    Step_run(s, [&] {
        for (int16_t number : kHardwareSection8) Hardware_value_read(s.hw, number, in);
    });
}

}  // namespace

void Template_load(State& s, const std::string& base) {
    // The whole file is read (and closed) at once; its text is decoded from the code page so string
    // values such as font names arrive as UTF-8. Separators and quotes are never GBK trail bytes.
    std::optional<std::string> text;
    std::optional<ValueReader> in;
    const bool magic = Step_run(s, [&] {
        text = Gbk_to_utf8(FileText(base + ".mc1").view());
        in.emplace(*text);
        if (in->read_string() != kTemplateMagic) in.reset();
    });
    if (magic && in) Machine_part_read(s, *in);

    s.para.lngCurPen = -1;
    Step_run(s, [&] { Pen_select(s, 1); });
    Step_run(s, [&] { Cell_list_load(s, base + ".nam"); });
}

}  // namespace korvex
