// The ear-tag print pass through the public object and the simulated machine's marks: turns driven
// by the bar-code cells, number cells marked lngPasses times, a missing font reported once per turn,
// entries kept from earlier calls, and bad host arrays refused before anything is marked. The text
// cases use a tiny stroke font written into a scratch library folder: every digit is one upright
// stroke, so a number of d digits marked p times is d x p lines.
#include "template_files.hpp"

#include <filesystem>

#include "font/font_catalogue.hpp"
#include "template/print_pass.hpp"

using namespace korvex;
using namespace tmpl_test;

namespace {

// romans.sl: glyphs 48-57 (the digits) are pen down, up 24 units, pen up, step 12 to the right.
// hz128f.sl exists but holds no glyph. Any other catalogued file is missing.
void write_fonts(const std::string& folder) {
    std::filesystem::create_directories(folder);
    std::string romans(3 * 58, '\0');
    const uint32_t p = static_cast<uint32_t>(romans.size()) + 1;  // 1-based position of the shape bytes
    for (int n = '0'; n <= '9'; ++n) {
        romans[static_cast<std::size_t>(3 * n)] = static_cast<char>(p & 0xFF);
        romans[static_cast<std::size_t>(3 * n + 1)] = static_cast<char>(p >> 8);
    }
    romans += std::string{1, 8, 0, 24, 2, 8, 12, static_cast<char>(-24), 0};
    write_file(folder + "/romans.sl", romans);
    write_file(folder + "/hz128f.sl", std::string(3, '\0'));
}

// A cell line with the cell's designed width replaced (the layout keeps its own).
std::string with_width(std::string line, const std::string& width) {
    const std::size_t at = line.find(" 8 8 ");
    return line.replace(at, 5, " " + width + " 8 ");
}

class PrintPassTest : public TemplateTest {
protected:
    void SetUp() override {
        TemplateTest::SetUp();
        machine.set_library_folder(dir);
        set_platform(machine.platform());
        host.Marking_init_pci(128, 0, 0, 1, 0, {0, 0, 0, 0}, 1);
        host.Marking_para(1000, 3000, 0, 0, 0, 0, 10.0, 50, 20, 100, 0);
        host.marking_start();
        mc1 = distinct_mc1();
        mc1.hw3[10] = mc1.hw3[11] = "1";  // D/A gains 1: marks in steps of 0.01 mm
        for (auto& pen : mc1.pens) pen[26] = "1";  // one pass
    }
    void fonts() {
        write_fonts(dir + "/font");
        Font_catalogue_init(state());
    }
    void choose(const std::vector<NamCell>& cells) {
        host.e_setPrintInfo(write_template("t", mc1, nam_text(cells)));
        machine.model().clear_marks();
    }
    // Line marks that start between x_lo and x_hi millimetres.
    int lines_in(double x_lo, double x_hi) const {
        int n = 0;
        for (const Mark& m : machine.marks())
            n += m.kind == Mark::Kind::line && m.x0 >= x_lo * 100 && m.x0 <= x_hi * 100;
        return n;
    }
    int lines() const { return lines_in(-1e6, 1e6); }
    static NamCell at(const std::string& line, double x) { return {line, {std::to_string(x), "0", "8", "8", "0"}}; }

    korvex_dll host;
    Mc1Text mc1;
    // Bitmap entries: the top-left module dark (one square at FillSpace 0.5 mm: 12 border + 4 lines).
    const std::vector<uint8_t> one_module = [] {
        std::vector<uint8_t> b(32, 0);
        b[0] = 0x80;
        return b;
    }();
};

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace

TEST_F(PrintPassTest, BeforeAnySetUpThePassMarksNothingAndReturnsZero) {
    machine.model().clear_marks();
    EXPECT_EQ(host.e_PrintEarMark(one_module, {"1"}, {"2"}, {1, 32}), 0);
    EXPECT_EQ(lines(), 0);
    EXPECT_EQ(host.e_isMarking(), 0);
    EXPECT_EQ(state().tmpl.tagNumber1.at(0), "1");  // the entries were copied all the same
}

TEST_F(PrintPassTest, BarCodeCellsDriveTheTurnsAndNumberCellsTakeThePensPasses) {
    fonts();
    mc1.pens[3][26] = "3";  // the number pen marks every number cell three times
    choose({at(cell_line("Barcode", "BAR01", 2, "x", "0.5"), -40),
            at(cell_line("Variable Text", "TAG28", 3), -20), at(cell_line("Variable Text", "TAG28", 3), 0),
            at(cell_line("Variable Text", "TAG28", 3), 20), at(cell_line("Variable Text", "TAG29", 1), 40),
            at(cell_line("TEXT", "TXT01", 1, "123"), 60)});
    const int turns_before = machine.ui().message_turns();
    const uint64_t closings_before = machine.gate_closings();
    EXPECT_EQ(host.e_PrintEarMark(one_module, {"12", "345", "678"}, {"9"}, {1, 32}), 0);
    EXPECT_EQ(lines_in(-45, -25), 16);     // the bar-code cell once
    EXPECT_EQ(lines_in(-21, -10), 2 * 3);  // first-number cell 1: two digits, three passes
    EXPECT_EQ(lines_in(-1, 30), 0);        // first-number cells 2 and 3: no turn of theirs
    EXPECT_EQ(lines_in(39, 50), 1);        // second-number cell 1 with pen 1: one pass
    EXPECT_EQ(lines_in(59, 80), 0);        // a fixed text is never marked
    // Every closing of the gate lets messages through; the turn adds its own two breaks.
    EXPECT_GE(static_cast<uint64_t>(machine.ui().message_turns() - turns_before), machine.gate_closings() - closings_before + 2);
    EXPECT_EQ(host.e_isMarking(), 0);
    EXPECT_FALSE(machine.gate_emitting());
    EXPECT_EQ(state().scan.lngPosX, 0);  // the scan state is reset after the pass
    EXPECT_EQ(state().para.lngCurPen, 1);  // the last cell's pen stays selected
}

TEST_F(PrintPassTest, AMissingFontIsReportedOncePerTurnAndTheTurnGoesOn) {
    fonts();
    std::string missing = cell_line("Variable Text", "TAG28", 3);
    missing.replace(missing.find("special_DFS"), 11, "special_DS");  // neither xc29.sl nor xc19.sl exists
    choose({at(cell_line("Barcode", "BAR01", 2, "x", "0.5"), -40), at(cell_line("Barcode", "BAR02", 2, "x", "0.5"), -60),
            at(missing, -20), at(missing, 0), at(cell_line("Variable Text", "TAG29", 1), 20),
            at(cell_line("Variable Text", "TAG29", 1), 40)});
    const std::size_t shown_before = machine.ui().shown().size();
    EXPECT_EQ(host.e_PrintEarMark(concat({one_module, one_module}), {"1", "2"}, {"3", "44"}, {2, 32, 32}), 0);
    const std::vector<ScriptedUi::Shown> shown(machine.ui().shown().begin() + static_cast<std::ptrdiff_t>(shown_before),
                                               machine.ui().shown().end());
    ASSERT_EQ(shown.size(), 2u);
    for (const auto& box : shown) {
        EXPECT_EQ(box.text, kNoFontText);
        EXPECT_EQ(box.title, kMessageTitle);
        EXPECT_EQ(box.icon, Icon::info);
        EXPECT_EQ(box.buttons, Buttons::ok);
    }
    EXPECT_EQ(lines_in(-25, 10), 0);  // the first-number cells were skipped
    EXPECT_EQ(lines_in(19, 30), 1);   // both second-number cells were marked
    EXPECT_EQ(lines_in(39, 50), 2);
    EXPECT_EQ(lines_in(-65, -30), 2 * 16);
}

TEST_F(PrintPassTest, NoEntriesMarkWithTheEntriesOfTheLastCall) {
    choose({at(cell_line("Barcode", "BAR01", 2, "x", "0.5"), -40)});
    std::vector<uint8_t> two_modules(32, 0);
    two_modules[0] = 0xC0;
    ASSERT_EQ(host.e_PrintEarMark(two_modules, {"1"}, {"2"}, {1, 32}), 0);
    const std::vector<Mark> first = machine.marks();
    EXPECT_EQ(lines(), 12 + 2 * 4);
    machine.model().clear_marks();
    EXPECT_EQ(host.e_PrintEarMark({}, {}, {}, {0}), 0);
    const std::vector<Mark> again = machine.marks();
    ASSERT_EQ(again.size(), first.size());
    for (std::size_t i = 0; i < again.size(); ++i) EXPECT_EQ(format_mark(again[i]), format_mark(first[i]));
}

TEST_F(PrintPassTest, BadHostArraysFaultBeforeAnythingIsMarkedAndTheNextPassWorks) {
    choose({at(cell_line("Barcode", "BAR01", 2, "x", "0.5"), -40)});
    ASSERT_EQ(host.e_PrintEarMark(one_module, {"1"}, {"2"}, {1, 32}), 0);
    std::vector<uint8_t> other(32, 0xFF);
    const std::vector<uint8_t> big(202 * 2, 0);
    struct Case {
        const char* what;
        std::vector<uint8_t> image;
        std::vector<std::string> n1, n2;
        std::vector<uint8_t> sizes;
    };
    const Case cases[] = {
        {"no entry count", other, {"7"}, {"7"}, {}},
        {"sizes shorter than N + 1", concat({other, other}), {"7", "7"}, {"7", "7"}, {2, 32}},
        {"bitmap bytes short of the sizes", concat({other, other}), {"7", "7"}, {"7", "7"}, {2, 32, 33}},
        {"first numbers short of N", concat({other, other}), {"7"}, {"7", "7"}, {2, 32, 32}},
        {"second numbers short of N", concat({other, other}), {"7", "7"}, {"7"}, {2, 32, 32}},
        {"N above 101", std::vector<uint8_t>(102 * 32, 0xFF), std::vector<std::string>(102, "7"),
         std::vector<std::string>(102, "7"), [] {
             std::vector<uint8_t> s(103, 32);
             s[0] = 102;
             return s;
         }()},
        {"an entry over 201 bytes", big, {"7", "7"}, {"7", "7"}, {2, 32, 202}},
    };
    for (const Case& c : cases) {
        machine.model().clear_marks();
        try {
            host.e_PrintEarMark(c.image, c.n1, c.n2, c.sizes);
            ADD_FAILURE() << c.what << ": no fault";
        } catch (const Fault& f) {
            EXPECT_EQ(f.kind(), FaultKind::index) << c.what;
        }
        EXPECT_EQ(lines(), 0) << c.what;
        EXPECT_FALSE(machine.gate_emitting()) << c.what;
        EXPECT_EQ(host.e_isMarking(), 0) << c.what;
        EXPECT_EQ(state().tmpl.tagBitmap.at(0, 1), 0) << c.what << ": entry 0 was overwritten";
        EXPECT_EQ(state().tmpl.tagNumber1.at(0), "1") << c.what;
    }
    machine.model().clear_marks();
    EXPECT_EQ(host.e_PrintEarMark(other, {"8"}, {"9"}, {1, 32}), 0);
    EXPECT_GT(lines(), 12);
}

TEST_F(PrintPassTest, AFaultInsideThePassLeavesTheBusyFlagSetUntilAPassCompletes) {
    // FillSpace 0 with a dark module: the square count divides by zero after the border.
    choose({at(cell_line("Barcode", "BAR01", 2, "x", "0"), -40)});
    EXPECT_THROW(host.e_PrintEarMark(one_module, {"1"}, {"2"}, {1, 32}), Fault);
    EXPECT_EQ(host.e_isMarking(), -1);
    EXPECT_FALSE(machine.gate_emitting());
    EXPECT_EQ(lines(), 12);  // the border marked before the fault stays marked
    choose({at(cell_line("Barcode", "BAR01", 2, "x", "0.5"), -40)});
    EXPECT_EQ(host.e_PrintEarMark(one_module, {"1"}, {"2"}, {1, 32}), 0);
    EXPECT_EQ(host.e_isMarking(), 0);
}

TEST_F(PrintPassTest, ANumberCellDesignedZeroWideIsADivisionFault) {
    fonts();
    choose({at(cell_line("Barcode", "BAR01", 2, "x", "0.5"), -40),
            at(with_width(cell_line("Variable Text", "TAG28", 3), "0"), -20)});
    try {
        host.e_PrintEarMark(one_module, {"1"}, {"2"}, {1, 32});
        FAIL() << "no fault";
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::division);
    }
    EXPECT_EQ(lines_in(-45, -25), 16);  // the bar-code cell of the turn was marked first
    EXPECT_FALSE(machine.gate_emitting());
}
