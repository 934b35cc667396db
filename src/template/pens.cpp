// Pen values in file order and pen selection. The pens' unused values (name, PenValueNN) are kept
// with the selected pen in tmpl.curPen, where nothing reads them.
#include "template/pens.hpp"

#include <cstdio>

#include "device/marking_params.hpp"
#include "device/timer.hpp"

namespace korvex {

const std::array<PenField, kPenFileValues> kPenFields = {{
    {"PenName", 15, "", &PenRecord::PenName},
    {"PenValue2", 14, "", &PenRecord::PenValue2},
    {"PenValue3", 1, "", &PenRecord::PenValue3},
    {"PenMarkSpeed", 21, "mm/s", &PenRecord::PenMarkSpeed},
    {"PenMarkSpeed2", 22, "mm/s", &PenRecord::PenMarkSpeed2},
    {"PenAxisSpeed", 23, "", &PenRecord::PenAxisSpeed},
    {"PenValue7", 28, "", &PenRecord::PenValue7},
    {"PenValue8", 29, "", &PenRecord::PenValue8},
    {"PenValue9", 30, "", &PenRecord::PenValue9},
    {"PenJumpSpeed", 20, "mm/s", &PenRecord::PenJumpSpeed},
    {"PenStepTime", 10, "us/step", &PenRecord::PenStepTime},
    {"PenStepTimeMax", 11, "us", &PenRecord::PenStepTimeMax},
    {"PenJumpDelay", 9, "us", &PenRecord::PenJumpDelay},
    {"PenJumpDelayRate", 8, "0.1 us/step", &PenRecord::PenJumpDelayRate},
    {"PenAxisSettle", 13, "ms", &PenRecord::PenAxisSettle},
    {"PenOnDelay", 4, "us", &PenRecord::PenOnDelay},
    {"PenOnHold", 7, "us", &PenRecord::PenOnHold},
    {"PenOffDelay", 6, "us", &PenRecord::PenOffDelay},
    {"PenOffHold", 5, "us", &PenRecord::PenOffHold},
    {"PenPulseCount", 2, "", &PenRecord::PenPulseCount},
    {"PenLaserPower", 16, "", &PenRecord::PenLaserPower},
    {"PenLaserFreq", 18, "kHz", &PenRecord::PenLaserFreq},
    {"PenPulseWidth", 26, "us", &PenRecord::PenPulseWidth},
    {"PenPulseStep", 3, "steps", &PenRecord::PenPulseStep},
    {"PenValue25", 17, "", &PenRecord::PenValue25},
    {"PenSettle", 19, "ms", &PenRecord::PenSettle},
    {"PenValue27", 25, "", &PenRecord::PenValue27},
    {"PenValue28", 24, "", &PenRecord::PenValue28},
    {"PenValue29", 12, "", &PenRecord::PenValue29},
    {"PenPasses", 27, "", &PenRecord::PenPasses},
}};

const std::array<PenField, kPenFileValues>& Pen_fields_in_file_order() {
    static const std::array<PenField, kPenFileValues> order = [] {
        std::array<PenField, kPenFileValues> out = kPenFields;
        for (const PenField& f : kPenFields) out.at(static_cast<std::size_t>(f.file_position - 1)) = f;
        return out;
    }();
    return order;
}

namespace {
template <class... F>
struct Overload : F... {
    using F::operator()...;
};
template <class... F>
Overload(F...) -> Overload<F...>;
}  // namespace

void Pen_field_read(PenRecord& pen, const PenField& field, ValueReader& reader) {
    std::visit(Overload{
                   [&](int16_t PenRecord::*m) { pen.*m = reader.read_i16(); },
                   [&](int32_t PenRecord::*m) { pen.*m = reader.read_i32(); },
                   [&](float PenRecord::*m) { pen.*m = reader.read_single(); },
                   [&](std::string PenRecord::*m) { pen.*m = std::string(reader.read_string()); },
               },
               field.member);
    if (field.member == PenField::Member{&PenRecord::PenPulseWidth} &&
        !(pen.PenPulseWidth >= 0.0f && pen.PenPulseWidth <= kMaxPulseWidthUs)) {
        char text[160];
        std::snprintf(text, sizeof text, "%.10g us is outside 0 to %g us, the longest pulse (one period at the laser's lowest frequency)",
                      static_cast<double>(pen.PenPulseWidth), static_cast<double>(kMaxPulseWidthUs));
        raise_fault(FaultKind::overflow, text);
    }
    if (field.member == PenField::Member{&PenRecord::PenPasses} && pen.PenPasses > kMaxPenPasses)
        raise_fault(FaultKind::overflow, Pen_field_text(pen, field) + " is above the " +
                                             std::to_string(kMaxPenPasses) + " passes a cell may be marked");
}

std::string Pen_field_text(const PenRecord& pen, const PenField& field) {
    return std::visit(Overload{
                          [&](int16_t PenRecord::*m) { return std::to_string(pen.*m); },
                          [&](int32_t PenRecord::*m) { return std::to_string(pen.*m); },
                          [&](float PenRecord::*m) {
                              char buf[32];
                              std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(pen.*m));
                              return std::string(buf);
                          },
                          [&](std::string PenRecord::*m) { return "\"" + pen.*m + "\""; },
                      },
                      field.member);
}

void Pen_select(State& s, int32_t pen) {
    if (pen == s.para.lngCurPen) return;
    const PenRecord& p = s.tmpl.penTable.at(pen);
    MarkingGroup& m = s.para;
    m.sngMarkSpeed = p.PenMarkSpeed;
    m.sngMarkSpeed2 = p.PenMarkSpeed2;
    m.sngAxisSpeed = p.PenAxisSpeed;
    m.sngJumpSpeed = p.PenJumpSpeed;
    m.sngStepTime = p.PenStepTime;
    m.sngStepTimeMax = p.PenStepTimeMax;
    m.lngJumpDelay = p.PenJumpDelay;
    m.lngJumpDelayRate = p.PenJumpDelayRate;
    m.lngAxisSettle = p.PenAxisSettle;
    m.lngOnDelay = p.PenOnDelay;
    m.lngOnHold = p.PenOnHold;
    m.lngOffDelay = p.PenOffDelay;
    m.lngOffHold = p.PenOffHold;
    m.intPulseCount = p.PenPulseCount;
    m.sngLaserPower = p.PenLaserPower;
    m.sngLaserFreq = p.PenLaserFreq;
    m.sngPulseWidth = p.PenPulseWidth;
    m.lngPulseStep = p.PenPulseStep;
    m.sngPenSettle = p.PenSettle;
    m.lngPasses = p.PenPasses;
    s.tmpl.curPen = p;
    m.lngCurPen = pen;
    Speed_apply(s);
    // A settle time beyond the longest wait is an overflow fault, never an endless wait.
    Delay_us(s, Wait_span_checked(static_cast<double>(m.sngPenSettle) * 1000.0, "PenSettle"));
}

}  // namespace korvex
