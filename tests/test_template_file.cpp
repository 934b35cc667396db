// Template files: every .mc1 section lands in its field (pen field order, hardware fields by number,
// zone column order, fonts, preview scale), damaged files keep what each damaged record held, never
// fault, never move the gate and are shown to the operator, pen values beyond their bounds, zone
// counts of 0 and above 301, Boolean spellings, pen selection, waits beyond the longest one, and
// the gate closed under a level a template changes.
#include "template_files.hpp"

#include <fstream>
#include <iterator>
#include <random>

#include "device/timer.hpp"
#include "scan/vector_stepping.hpp"
#include "template/pens.hpp"
#include "template/template_file.hpp"

using namespace korvex;
using namespace tmpl_test;

namespace {

class TemplateFileTest : public TemplateTest {
protected:
    void bring_up() {
        host.Marking_init_pci(128, 0, 0, 1, 0, {0, 0, 0, 0}, 1);
        host.Marking_para(1000, 3000, 0, 0, 0, 0, 10.0, 50, 20, 100, 0);
    }
    korvex_dll host;
};

double pen_value(const PenRecord& pen, const PenField& f) {
    return std::visit([&](auto m) -> double {
        if constexpr (std::is_same_v<decltype(m), std::string PenRecord::*>) return -1;
        else return static_cast<double>(pen.*m);
    }, f.member);
}

std::array<std::string, 8> zone_row(int base) {
    std::array<std::string, 8> r;
    for (int i = 0; i < 8; ++i) r[i] = std::to_string(base + i + 1);
    return r;
}

}  // namespace

TEST_F(TemplateFileTest, EverySectionLandsInItsField) {
    bring_up();
    Mc1Text m = distinct_mc1();
    m.zone_count = "2";
    m.zones = {zone_row(10), zone_row(20)};
    const std::string base = write_template("t", m, nam_text({{cell_line("TEXT", "TXT01"), {"1.5", "-2", "8", "4", "90"}}}));
    State& s = state();
    s.scan.zoneTable.at(2, 0) = 7.0f;  // a row beyond the count keeps its value
    Template_load(s, base);

    // Pens: the value at file position j of pen p is p * 100 + j, whatever the record order.
    for (int p : {0, 1, 17, 255}) {
        const PenRecord& pen = s.tmpl.penTable.at(p);
        EXPECT_EQ(pen.PenName, "pen" + std::to_string(p));
        for (const PenField& f : kPenFields) {
            if (f.file_position == 15) continue;
            const double want = f.file_position == 26 ? 0 : f.file_position == 27 ? p % 10 * 100 + 27 : p * 100 + f.file_position;
            EXPECT_EQ(pen_value(pen, f), want) << "pen " << p << " " << f.name;
        }
    }
    EXPECT_EQ(s.tmpl.penTable.at(0).PenValue3, 1);          // position 1
    EXPECT_EQ(s.tmpl.penTable.at(0).PenPasses, 27);         // position 27
    EXPECT_EQ(s.tmpl.penTable.at(256).PenMarkSpeed, 0.0f);  // not in the file

    // Hardware record: sections 3 and 8 by field number.
    for (int number = 1; number <= kHardwareFieldCount; ++number) {
        const double want = number == 8 ? 0.5 : number == 9 ? 3 : number == 10 ? 15 : number == 11 ? 50
                          : number == 12 ? 8 : number == 37 ? 2 : distinct_hw_value(number);
        const double got = hardware_field_value(s.hw, hardware_field(number));
        EXPECT_FLOAT_EQ(got, want) << "field " << number << " " << hardware_field(number).name;
    }

    // Zone rows: the eight values go to columns 0, 4, 1, 5, 2, 6, 3, 7.
    const int columns[8] = {0, 4, 1, 5, 2, 6, 3, 7};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(s.scan.zoneTable.at(0, columns[i]), 11 + i);
        EXPECT_EQ(s.scan.zoneTable.at(1, columns[i]), 21 + i);
    }
    EXPECT_EQ(s.scan.zoneTable.at(2, 0), 7.0f);

    // Default fonts: names, then the wide font's height, width and spacing.
    EXPECT_EQ(s.tmpl.FontWideWork.Name, "wide");
    EXPECT_EQ(s.tmpl.FontNarrowWork.Name, "narrow");
    EXPECT_EQ(s.tmpl.FontWideWork.Height, 4.5f);
    EXPECT_EQ(s.tmpl.FontWideWork.Width, 3.5f);
    EXPECT_EQ(s.tmpl.FontWideWork.Space, 0.25f);
    EXPECT_EQ(s.tmpl.FontNarrowWork.Height, 0.0f);
    EXPECT_EQ(s.tmpl.lngPreviewScale, 100);

    // Pen 1 is selected afresh (Marking_para had made 1 current already).
    EXPECT_EQ(s.para.lngCurPen, 1);
    EXPECT_EQ(s.para.sngMarkSpeed, 121.0f);
    EXPECT_EQ(s.para.sngJumpSpeed, 120.0f);
    EXPECT_EQ(s.para.lngOnDelay, 104);
    EXPECT_EQ(s.para.lngOffHold, 105);
    EXPECT_EQ(s.para.intPulseCount, 102);
    EXPECT_EQ(s.para.lngPasses, 127);
    EXPECT_EQ(s.para.sngLaserPower, 15.0f);  // 116, clamped to the template's maximum power
    EXPECT_EQ(s.tmpl.curPen.PenValue9, 130.0f);

    // The cell list.
    EXPECT_EQ(s.tmpl.namLines.at(0), "1");
    EXPECT_EQ(s.tmpl.namLines.at(1), cell_line("TEXT", "TXT01"));
    EXPECT_EQ(s.tmpl.namValues.at(1, 0), 1.5f);
    EXPECT_EQ(s.tmpl.namValues.at(1, 4), 90.0f);
}

TEST_F(TemplateFileTest, BooleansAreNormalisedWhateverTheirSpelling) {
    bring_up();
    Mc1Text m = distinct_mc1();
    m.hw3[22] = "1";        // field 28
    m.hw3[23] = "#true#";   // field 29
    m.hw3[33] = "2.5";      // field 39
    m.hw3[15] = "#FALSE#";  // field 21
    m.hw3[19] = "0";        // field 25
    Template_load(state(), write_template("b", m, ""));
    const HardwareRecord& hw = state().hw;
    EXPECT_EQ(hw.blnAxisDirLevel, kTrue);
    EXPECT_EQ(hw.blnGateLevel, kTrue);
    EXPECT_EQ(hw.blnDaSlow, kTrue);
    EXPECT_EQ(vb_not(hw.blnDaSlow), kFalse);
    EXPECT_EQ(hw.unused21, kFalse);
    EXPECT_EQ(hw.unused25, kFalse);
}

TEST_F(TemplateFileTest, WrongMagicKeepsTheMachinePartButReappliesPenOneAndReadsTheCells) {
    bring_up();
    State& s = state();
    Template_load(s, write_template("a", distinct_mc1(), nam_text({{cell_line("TEXT", "A")}})));
    Mc1Text other = distinct_mc1();
    other.magic = "tarvel Mark File Ver1.0";
    for (auto& pen : other.pens) pen[20] = "999";
    other.zones = {zone_row(50)};
    s.para.sngMarkSpeed = 5.0f;
    s.para.lngCurPen = 1;  // re-selection happens even though pen 1 is current
    Template_load(s, write_template("b", other, nam_text({{cell_line("Barcode", "B")}})));
    EXPECT_EQ(s.tmpl.penTable.at(1).PenMarkSpeed, 121.0f);
    EXPECT_EQ(s.para.sngMarkSpeed, 121.0f);
    EXPECT_EQ(s.scan.zoneTable.at(0, 0), 1.0f);
    EXPECT_EQ(s.tmpl.namLines.at(1), cell_line("Barcode", "B"));

    // No .mc1 at all: the same, silently.
    Template_load(s, path("missing"));
    EXPECT_EQ(s.para.lngCurPen, 1);
    EXPECT_EQ(s.tmpl.namLines.at(1), cell_line("Barcode", "B"));  // no .nam either: cells kept
}

TEST_F(TemplateFileTest, DamagedFilesKeepWhatWasReadAndNeverFault) {
    bring_up();
    State& s = state();
    const float gain = s.hw.sngDaGain0;

    // Short file: the pens are read, every later step finds no values.
    Mc1Text m = distinct_mc1();
    m.truncate_after_pens = true;
    s.tmpl.lngPreviewScale = 0;
    EXPECT_NO_THROW(Template_load(s, write_template("short", m, "")));
    EXPECT_EQ(s.tmpl.penTable.at(255).PenValue9, 25530.0f);
    EXPECT_EQ(s.hw.sngDaGain0, gain);
    EXPECT_EQ(s.tmpl.FontWideWork.Name, "");
    EXPECT_EQ(s.tmpl.lngPreviewScale, 100);

    // A bad number in pen 3 spoils pen 3 alone: it keeps all its previous values, pen 4 and the
    // sections after it are read.
    s.tmpl.penTable.at(3).PenValue3 = -3;
    s.tmpl.penTable.at(4).PenValue3 = -4;
    m = distinct_mc1();
    m.pens[3][5] = "abc";
    EXPECT_NO_THROW(Template_load(s, write_template("bad", m, "")));
    EXPECT_EQ(s.tmpl.penTable.at(3).PenValue3, -3);
    EXPECT_EQ(s.tmpl.penTable.at(4).PenValue3, 401);
    EXPECT_EQ(s.hw.sngDaGain0, 16.5f);

    // A value too large for its 16-bit field spoils the hardware values alone: all keep theirs.
    m = distinct_mc1();
    m.hw3[7] = "70000";  // field 13
    s.hw.unused06 = -6;
    s.tmpl.FontWideWork.Name = "";
    EXPECT_NO_THROW(Template_load(s, write_template("big", m, "")));
    EXPECT_EQ(s.hw.unused06, -6);
    EXPECT_EQ(s.tmpl.FontWideWork.Name, "wide");

    // Garbage and an empty file.
    write_file(path("junk.mc1"), "Tarvel Mark File Ver1.0\n\"unclosed, 1e999, #maybe#, ,,,\n\x01\x02");
    EXPECT_NO_THROW(Template_load(s, path("junk")));
    write_file(path("empty.mc1"), "");
    EXPECT_NO_THROW(Template_load(s, path("empty")));
    EXPECT_EQ(s.para.lngCurPen, 1);
}

TEST_F(TemplateFileTest, FieldThirtyEightIsRaisedToOneBeforeAndAfterSectionThree) {
    bring_up();
    State& s = state();
    Mc1Text m = distinct_mc1();
    m.hw3[32] = "0";
    Template_load(s, write_template("z", m, ""));
    EXPECT_EQ(s.hw.unused38, 1);
    m.hw3[32] = "-7";
    Template_load(s, write_template("n", m, ""));
    EXPECT_EQ(s.hw.unused38, 1);
    // The test before the section: a file that ends after its pens still leaves it at 1 or more.
    s.hw.unused38 = 0;
    m.truncate_after_pens = true;
    Template_load(s, write_template("p", m, ""));
    EXPECT_EQ(s.hw.unused38, 1);
}

TEST_F(TemplateFileTest, ZoneCountsOfZeroAndAboveTheTable) {
    bring_up();
    State& s = state();
    s.scan.zoneTable.at(0, 0) = 3.0f;
    Mc1Text m = distinct_mc1();
    m.zone_count = "0";
    m.zones.clear();
    Template_load(s, write_template("zero", m, ""));
    EXPECT_EQ(s.hw.lngZoneCount, 0);
    EXPECT_EQ(s.scan.zoneTable.at(0, 0), 3.0f);
    EXPECT_EQ(s.tmpl.FontWideWork.Name, "wide");  // the sections after it read in step

    // 305 rows: rows 0-300 stored, the surplus read and dropped, the rest of the file in step.
    m.zone_count = "305";
    for (int r = 0; r < 305; ++r) m.zones.push_back(zone_row(r * 10));
    m.fonts[0] = "\"after\"";
    Template_load(s, write_template("many", m, ""));
    EXPECT_EQ(s.hw.lngZoneCount, 305);
    EXPECT_EQ(s.scan.zoneTable.at(300, 0), 3001.0f);
    EXPECT_EQ(s.scan.zoneTable.at(300, 7), 3008.0f);
    EXPECT_EQ(s.tmpl.FontWideWork.Name, "after");
    EXPECT_EQ(s.hw.sngLaserMaxFreq, 50.0f);

    // A huge count with few rows runs out of values and stops there.
    m.zone_count = "2000000000";
    m.zones = {zone_row(90)};
    EXPECT_NO_THROW(Template_load(s, write_template("huge", m, "")));
    EXPECT_EQ(s.scan.zoneTable.at(0, 0), 91.0f);
}

TEST_F(TemplateFileTest, EmptyFontNamesTakeTheDefaults) {
    bring_up();
    State& s = state();
    Mc1Text m = distinct_mc1();
    m.fonts = {"\"\"", "", "9", "8", "7"};
    s.tmpl.FontNarrowWork.Height = 2.0f;
    Template_load(s, write_template("f", m, ""));
    EXPECT_EQ(s.tmpl.FontWideWork.Name, "special_DFS");
    EXPECT_EQ(s.tmpl.FontWideWork.Height, 3.0f);
    EXPECT_EQ(s.tmpl.FontWideWork.Width, 3.0f);
    EXPECT_EQ(s.tmpl.FontWideWork.Space, 0.0f);
    EXPECT_EQ(s.tmpl.FontNarrowWork.Name, "special_Romans");
    EXPECT_EQ(s.tmpl.FontNarrowWork.Height, 2.0f);

    m.fonts = {"\"only\"", "\"\"", "9", "8", "7"};
    Template_load(s, write_template("g", m, ""));
    EXPECT_EQ(s.tmpl.FontWideWork.Height, 9.0f);
    EXPECT_EQ(s.tmpl.FontNarrowWork.Name, "special_Romans");
}

TEST_F(TemplateFileTest, PenSelectionAppliesOnlyOnChangeAndChecksThePenNumber) {
    bring_up();
    State& s = state();
    Template_load(s, write_template("p", distinct_mc1(), ""));

    // The current pen again: nothing at all, not even time passes.
    const std::size_t lines = trace_lines().size();
    const double t0 = Timer_now_us(s);
    Pen_select(s, 1);
    EXPECT_EQ(trace_lines().size(), lines);
    EXPECT_EQ(Timer_now_us(s), t0);

    // Another pen: its values, the laser programmed, its settle time waited.
    Pen_select(s, 2);
    EXPECT_EQ(s.para.lngCurPen, 2);
    EXPECT_EQ(s.para.sngMarkSpeed, 221.0f);
    EXPECT_EQ(s.para.lngJumpDelay, 209);
    EXPECT_EQ(s.para.lngAxisSettle, 213);
    EXPECT_EQ(s.tmpl.curPen.PenName, "pen2");
    const Lines after = trace_since(lines);
    EXPECT_NE(std::find(after.begin(), after.end(), "card page 7B"), after.end());
    EXPECT_GE(Timer_now_us(s) - t0, 219.0 * 1000.0);

    Pen_select(s, 256);
    EXPECT_EQ(s.para.lngCurPen, 256);
    try {
        Pen_select(s, 257);
        FAIL() << "pen 257 accepted";
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::index);
    }
    EXPECT_THROW(Pen_select(s, -2), Fault);
}

TEST_F(TemplateFileTest, AFailedPenSelectionPutsTheCardBackOnItsRestingPage) {
    bring_up();
    State& s = state();
    Mc1Text m = distinct_mc1();
    m.hw8[2] = "0";  // maximum power 0: programming the laser divides by zero on page 0x7B
    EXPECT_NO_THROW(Template_load(s, write_template("p", m, "")));
    EXPECT_EQ(s.card.page_selected, 0xFF);
    EXPECT_EQ(trace_lines().back(), "card page FF");
}

TEST_F(TemplateFileTest, LoadsBeforeTheMachineIsUpWithoutFaulting) {
    // No clock yet: the pen's settle wait faults inside the load and is suppressed.
    State& s = state();
    EXPECT_NO_THROW(Template_load(s, write_template("early", distinct_mc1(), nam_text({{cell_line("TEXT", "A")}}))));
    EXPECT_EQ(s.para.lngCurPen, 1);
    EXPECT_EQ(s.tmpl.namLines.at(0), "1");
}

TEST_F(TemplateFileTest, WaitsFromAPenBeyondTheLongestWaitFaultInsteadOfSpinning) {
    bring_up();
    State& s = state();
    Mc1Text m = distinct_mc1();
    m.pens[1][18] = "1E+15";  // pen 1: PenSettle (file position 19) 1e15 ms
    m.pens[2][19] = "0";      // pen 2: jumps in one move (PenJumpSpeed 0) ...
    m.pens[2][9] = "1E+30";   // ... settling PenStepTime per step,
    m.pens[2][10] = "1E+30";  // ... at most PenStepTimeMax
    const double t0 = Timer_now_us(s);
    Template_load(s, write_template("p", m, ""));  // pen 1's settle faults inside the load
    EXPECT_LT(Timer_now_us(s) - t0, kLongestWaitUs);
    Pen_select(s, 2);
    auto expect_overflow = [](auto&& call, const char* named) {
        try {
            call();
            FAIL() << "no fault";
        } catch (const Fault& f) {
            EXPECT_EQ(f.kind(), FaultKind::overflow);
            EXPECT_NE(std::string(f.what()).find(named), std::string::npos) << f.what();
        }
    };
    expect_overflow([&] { Scan_vector(s, 0, 0, 10, 0); }, "PenStepTimeMax");
    expect_overflow([&] { Pen_select(s, 1); }, "PenSettle");
    expect_overflow([&] { Delay_us(s, 1e18f); }, "wait");
    expect_overflow([&] { Wait_until_us(s, Timer_now_us(s), 1e30f); }, "wait");
    EXPECT_LT(Timer_now_us(s) - t0, 2 * kLongestWaitUs);
}

TEST_F(TemplateFileTest, ATemplateThatTurnsTheGateLevelClosesTheGateUnderTheNewLevel) {
    bring_up();                     // laser_sw 1: the gate opens at the active level
    machine.set_gate_wiring(7, 1);  // this machine's laser emits at the other one, as its template says
    ASSERT_TRUE(machine.gate_emitting());
    Mc1Text m = distinct_mc1();
    m.hw3[23] = "#FALSE#";  // field 29, blnGateLevel
    const std::string base = write_template("p", m, "");
    const auto& shown = machine.ui().shown();
    const std::size_t before = shown.size();
    Template_load(state(), base);
    EXPECT_EQ(state().hw.blnGateLevel, kFalse);
    EXPECT_FALSE(machine.gate_emitting());
    // The operator is told once, with both settings; loading it again changes nothing and says nothing.
    ASSERT_EQ(shown.size(), before + 1);
    EXPECT_EQ(shown.back().text, "The template sets the laser gate to open at level 1 of output 7; the setting in force opened "
                                 "it at level 0 of output 7. The gate is now held at level 0: a laser wired for the old setting emits.");
    Template_load(state(), base);
    EXPECT_EQ(shown.size(), before + 1);
    std::vector<double> md{2, 5, 0, 10, 0, 0};
    host.Marking_data(md);
    int lines = 0, lines_on_the_jump = 0;
    for (const Mark& mk : machine.marks()) {
        if (mk.kind != Mark::Kind::line) continue;
        ++lines;
        lines_on_the_jump += std::min(mk.x0, mk.x1) < 8250;  // the vector starts at 5 mm (8250 D/A)
    }
    EXPECT_GE(lines, 1);
    EXPECT_EQ(lines_on_the_jump, 0);  // the jump to the start is no line
    EXPECT_FALSE(machine.gate_emitting());
}

TEST_F(TemplateFileTest, ADamagedPenLineNeverReachesTheGateAndTheOperatorIsToldWhere) {
    bring_up();
    State& s = state();
    const auto& shown = machine.ui().shown();
    auto last_message = [&] { return shown.empty() ? std::string() : shown.back().text; };
    auto failed = [&](std::size_t i) { return s.tmpl.load_report.failed.at(i); };

    // A non-number in pen 3 (line 5): the field is named, pen 3 keeps its values, the rest is read.
    s.tmpl.penTable.at(3).PenMarkSpeed = -3.0f;
    Mc1Text m = distinct_mc1();
    m.pens[3][20] = "x7";  // PenMarkSpeed
    Template_load(s, write_template("nan", m, ""));
    EXPECT_EQ(s.tmpl.penTable.at(3).PenMarkSpeed, -3.0f);
    EXPECT_TRUE(s.tmpl.load_report.hardware_read);
    EXPECT_EQ(s.tmpl.load_report.damaged_records, 1);
    EXPECT_NE(last_message().find("pen 3: PenMarkSpeed: 'x7' is not a number (line 5)"), std::string::npos) << last_message();

    // A separator lost in pen 3: its values run into pen 4's line. Nothing after it is read, so
    // the gate bit and level the file goes on to give are never taken for the template's.
    s.tmpl.penTable.at(4).PenValue3 = -4;
    m = distinct_mc1();
    m.hw3[23] = "#FALSE#";  // field 29, blnGateLevel
    m.hw3[59] = "3";        // field 65, intGateBit
    std::string text = m.text();
    text.replace(text.find(",306,"), 5, "306,");
    write_file(path("slip.mc1"), text);
    const std::size_t messages = shown.size();
    Template_load(s, path("slip"));
    EXPECT_EQ(s.hw.blnGateLevel, kTrue);
    EXPECT_EQ(s.hw.intGateBit, 7);
    EXPECT_FALSE(machine.gate_emitting());
    EXPECT_EQ(s.tmpl.penTable.at(4).PenValue3, -4);
    EXPECT_FALSE(s.tmpl.load_report.hardware_read);
    EXPECT_EQ(failed(0).line, 5);
    EXPECT_NE(failed(0).message.find("its 30 values from line 5 end inside line 6: its line holds fewer (a separator or a quote "
                                     "damaged); the file is not read past it"),
              std::string::npos)
        << failed(0).message;
    EXPECT_EQ(shown.size(), messages + 1);  // one message for the whole file
    EXPECT_EQ(shown.back().icon, Icon::critical);

    // A pulse longer than the laser's longest period and a cell marked 60 001 times: each named with
    // its bound, and their pens keep their values (a pass would take for ever).
    m = distinct_mc1();
    m.pens[3][25] = "2147483648";  // PenPulseWidth
    m.pens[2][26] = "60001";       // PenPasses
    Template_load(s, write_template("long", m, ""));
    EXPECT_EQ(s.tmpl.load_report.damaged_records, 2);
    EXPECT_EQ(failed(0).message, "PenPasses: 60001 is above the 1000 passes a cell may be marked (line 4)");
    EXPECT_EQ(failed(1).message, "PenPulseWidth: 2147483648 us is outside 0 to 2000 us, the longest pulse (one period at "
                                 "the laser's lowest frequency) (line 5)");
    EXPECT_EQ(s.tmpl.penTable.at(3).PenPulseWidth, 0.0f);
    EXPECT_EQ(s.tmpl.penTable.at(2).PenPasses, 227);
    EXPECT_TRUE(s.tmpl.load_report.hardware_read);

    // A whole file shows nothing.
    const std::size_t before = shown.size();
    Template_load(s, write_template("whole", distinct_mc1(), ""));
    EXPECT_FALSE(s.tmpl.load_report.machine_file_damaged());
    EXPECT_EQ(shown.size(), before);
}

TEST_F(TemplateFileTest, RandomByteFlipsInTheExampleNeverMoveTheGate) {
    bring_up();
    State& s = state();
    std::ifstream in(std::string(KORVEX_SOURCE_DIR) + "/examples/eartag_template.mc1", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The bytes of the gate's own two values (hardware line positions 24 and 60): flipping those is
    // an edit of the gate, not damage elsewhere.
    std::size_t line_start = 0;
    for (int line = 1; line < 258; ++line) line_start = text.find('\n', line_start) + 1;
    auto value_bytes = [&](int position) {
        std::size_t b = line_start;
        for (int i = 1; i < position; ++i) b = text.find(',', b) + 1;
        return std::pair{b, text.find(',', b)};
    };
    const auto level = value_bytes(24), bit = value_bytes(60);
    ASSERT_EQ(text.substr(level.first, level.second - level.first), "#TRUE#");
    ASSERT_EQ(text.substr(bit.first, bit.second - bit.first), "7");

    std::mt19937 random(20);
    for (int flip = 0; flip < 800; ++flip) {
        std::size_t at;
        do at = random() % text.size();
        while ((at >= level.first && at < level.second) || (at >= bit.first && at < bit.second));
        std::string damaged = text;
        damaged[at] = static_cast<char>(damaged[at] ^ (1 + random() % 255));
        write_file(path("f.mc1"), damaged);
        Template_load(s, path("f"));
        ASSERT_EQ(s.hw.intGateBit, 7) << "byte " << at << " flipped to " << int(static_cast<uint8_t>(damaged[at]));
        ASSERT_EQ(s.hw.blnGateLevel, kTrue) << "byte " << at << " flipped to " << int(static_cast<uint8_t>(damaged[at]));
        ASSERT_FALSE(machine.gate_emitting());
    }
}
