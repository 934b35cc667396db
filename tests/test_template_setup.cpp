// Print set-up: Strip_extension, the tag rule and the five categories, e_setPrintInfo through the
// public object (its Empty result, overflows that fail the call and leave no usable lists), the
// example template through a host script, and the template report.
#include "template_files.hpp"

#include <filesystem>
#include <sstream>

#include "host_script.hpp"
#include "host_script_runner.hpp"
#include "template/cells.hpp"
#include "template/print_setup.hpp"
#include "korvex/template_view.hpp"

using namespace korvex;
using namespace tmpl_test;

namespace {

const std::string kExample = std::string(KORVEX_SOURCE_DIR) + "/examples/eartag_template";

class PrintSetupTest : public TemplateTest {
protected:
    void bring_up() {
        host.Marking_init_pci(128, 0, 0, 1, 0, {0, 0, 0, 0}, 1);
        host.Marking_para(1000, 3000, 0, 0, 0, 0, 10.0, 50, 20, 100, 0);
        host.marking_start();
    }
    std::string count(int k) { return state().tmpl.catLines.at(k, 0); }
    korvex_dll host;
};

}  // namespace

TEST(PrintSetup, StripExtensionCutsAtTheLastDotOfTheWholeString) {
    EXPECT_EQ(Strip_extension("dir/tmpl.mc1"), "dir/tmpl");
    EXPECT_EQ(Strip_extension("dir.v2/tmpl.mc1"), "dir.v2/tmpl");
    EXPECT_EQ(Strip_extension("dir.v2/tmpl"), "dir");  // a dotted folder loses everything from its dot
    EXPECT_EQ(Strip_extension("noext"), "noext");
    EXPECT_EQ(Strip_extension(".mc1"), "");
    EXPECT_EQ(Strip_extension("a.b.c"), "a.b");
    EXPECT_EQ(Strip_extension(""), "");
}

TEST(PrintSetup, TagNumbersFromTheFourthCharacterOn) {
    EXPECT_TRUE(Tag_number_is("TAG28", 28));
    EXPECT_TRUE(Tag_number_is("TAG29", 29));
    EXPECT_FALSE(Tag_number_is("TAG30", 28));
    EXPECT_FALSE(Tag_number_is("TAG30", 29));
    EXPECT_TRUE(Tag_number_is("TAG028", 28));
    EXPECT_FALSE(Tag_number_is("TAG28.5", 28));
    EXPECT_TRUE(Tag_number_is("TAG28.0", 28));
    EXPECT_TRUE(Tag_number_is("TAG2.8e1", 28));
    EXPECT_TRUE(Tag_number_is("XYZ28abc", 28));
    EXPECT_TRUE(Tag_number_is("TAG 28", 28));
    EXPECT_FALSE(Tag_number_is("T28", 28));  // three characters or fewer: 0
    EXPECT_FALSE(Tag_number_is("", 28));
    EXPECT_TRUE(Tag_number_is("TAG", 0));
    EXPECT_TRUE(Tag_number_is("牛牛牛28", 28));  // characters, not bytes
    EXPECT_FALSE(Tag_number_is("牛28", 28));
}

TEST_F(PrintSetupTest, SortsCellsIntoTheFiveCategories) {
    bring_up();
    std::vector<NamCell> cells = {
        {cell_line("Date", "D1")},
        {cell_line("Variable Text", "TAG29", 3, "222"), {"1", "2", "3", "4", "5"}},
        {cell_line("Barcode", "BAR01", 2), {"-22", "-4", "8", "8", "0"}},
        {cell_line("Variable Text", "TAG28", 3, "111"), {"6", "7", "8", "9", "10"}},
        {cell_line("Variable Text", "TAG30", 3, "333")},
        {cell_line("Variable Text1", "TAG28", 3)},
        {cell_line("TEXT", "TXT01")},
        {cell_line("plt file", "P1", 4, "logo.plt"), {"11", "12", "13", "14", "15"}},
        {cell_line("bmp file", "B1", 4, "pic.bmp")},
        {cell_line("Barcode", "BAR02", 2), {"16", "17", "18", "19", "20"}},
    };
    write_template("t", distinct_mc1(), nam_text(cells));
    EXPECT_EQ(host.e_setPrintInfo(path("t.mc1")), Empty{});
    TemplateGroup& t = state().tmpl;
    EXPECT_EQ(count(kCategoryBarcode), "2");
    EXPECT_EQ(count(kCategoryNumber1), "1");
    EXPECT_EQ(count(kCategoryNumber2), "1");
    EXPECT_EQ(count(kCategoryText), "1");
    EXPECT_EQ(count(kCategoryPlot), "2");
    EXPECT_EQ(t.catLines.at(kCategoryBarcode, 1), cells[2].line);
    EXPECT_EQ(t.catLines.at(kCategoryBarcode, 2), cells[9].line);
    EXPECT_EQ(t.catLines.at(kCategoryNumber1, 1), cells[3].line);
    EXPECT_EQ(t.catLines.at(kCategoryNumber2, 1), cells[1].line);
    EXPECT_EQ(t.catLines.at(kCategoryPlot, 1), cells[7].line);
    EXPECT_EQ(t.catLines.at(kCategoryPlot, 2), cells[8].line);  // bitmap files take a plot slot
    EXPECT_EQ(t.catValues.at(kCategoryBarcode).at(1, kValueX), -22.0f);
    EXPECT_EQ(t.catValues.at(kCategoryBarcode).at(2, kValueAngle), 20.0f);
    EXPECT_EQ(t.catValues.at(kCategoryNumber1).at(1, kValueHeight), 9.0f);
    EXPECT_EQ(t.catValues.at(kCategoryPlot).at(1, kValueY), 12.0f);
    EXPECT_EQ(t.curCell.Tag, "BAR02");  // the last cell parsed

    // A template without cells: "0" everywhere; without a .nam file the old cells stay.
    write_template("empty", distinct_mc1(), "0\r\n");
    host.e_setPrintInfo(path("empty"));
    for (int k = 0; k < kCategories; ++k) EXPECT_EQ(count(k), "0");
    write_template("nonam", distinct_mc1(), "");
    host.e_setPrintInfo(path("nonam.mc1"));
    for (int k = 0; k < kCategories; ++k) EXPECT_EQ(count(k), "0");
    host.e_setPrintInfo(path("t.mc1"));
    host.e_setPrintInfo(path("nonam.mc1"));
    EXPECT_EQ(count(kCategoryBarcode), "2");
}

TEST_F(PrintSetupTest, ADottedFolderLosesTheNameWhenNoExtensionIsGiven) {
    bring_up();
    std::filesystem::create_directory(path("lot.v2"));
    write_file(path("lot.v2/tag.mc1"), distinct_mc1().text());
    write_file(path("lot.v2/tag.nam"), nam_text({{cell_line("Barcode", "B")}}));
    write_file(path("lot.nam"), nam_text({{cell_line("TEXT", "T")}, {cell_line("TEXT", "U")}}));
    host.e_setPrintInfo(path("lot.v2/tag"));  // looks for <dir>/lot.mc1 and <dir>/lot.nam
    EXPECT_EQ(count(kCategoryText), "2");
    EXPECT_EQ(count(kCategoryBarcode), "0");
    host.e_setPrintInfo(path("lot.v2/tag.mc1"));
    EXPECT_EQ(count(kCategoryBarcode), "1");
}

TEST_F(PrintSetupTest, OverflowingListsFailTheCallAndLeaveNothingToMark) {
    bring_up();
    write_template("good", distinct_mc1(), nam_text({{cell_line("Barcode", "B")}}));
    host.e_setPrintInfo(path("good"));
    EXPECT_EQ(count(kCategoryBarcode), "1");

    // 101 bar-code cells: the 101st has no slot.
    std::vector<NamCell> many(101, NamCell{cell_line("Barcode", "B")});
    write_template("many", distinct_mc1(), nam_text(many));
    try {
        host.e_setPrintInfo(path("many"));
        FAIL() << "101 bar-code cells accepted";
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::index);
    }
    for (int k = 0; k < kCategories; ++k) EXPECT_EQ(count(k), "0") << k;
    EXPECT_EQ(state().card.page_selected, 0xFF);

    // 100 fit.
    many.pop_back();
    write_template("hundred", distinct_mc1(), nam_text(many));
    host.e_setPrintInfo(path("hundred"));
    EXPECT_EQ(count(kCategoryBarcode), "100");

    // More than 3000 cells: the list holds 3000, sorting reaches cell 3001 and fails.
    std::vector<NamCell> cells(3001, NamCell{cell_line("Date", "D")});
    write_template("huge", distinct_mc1(), nam_text(cells));
    EXPECT_THROW(host.e_setPrintInfo(path("huge")), Fault);
    for (int k = 0; k < kCategories; ++k) EXPECT_EQ(count(k), "0");

    // A count line beyond 32 bits and a cell line with an absurd number fail the same way.
    write_template("absurd", distinct_mc1(), "1e12\r\n");
    EXPECT_THROW(host.e_setPrintInfo(path("absurd")), Fault);
    host.e_setPrintInfo(path("good"));
    write_template("badcell", distinct_mc1(), nam_text({{cell_line("Barcode", "B")}, {"TEXT 1 x 1e300"}}));
    EXPECT_THROW(host.e_setPrintInfo(path("badcell")), Fault);
    EXPECT_EQ(count(kCategoryBarcode), "0");
}

TEST_F(PrintSetupTest, GarbageTemplatesNeverReadOutsideTheirTables) {
    bring_up();
    const std::string junk[] = {
        "Tarvel Mark File Ver1.0\n-5\n",
        std::string("\0\0\0\xFF\xFE", 5),
        "Tarvel Mark File Ver1.0," + std::string(5000, ','),
        "Tarvel Mark File Ver1.0\n\"" + std::string(1000, 'x'),
    };
    const std::string nams[] = {"-3\r\n", "\xFF\xFE\r\n\r\n", "2\r\nBarcode\r\n", "abc", ""};
    int n = 0;
    for (const std::string& mc1 : junk) {
        for (const std::string& nam : nams) {
            const std::string base = path("junk" + std::to_string(n++));
            write_file(base + ".mc1", mc1);
            if (!nam.empty()) write_file(base + ".nam", nam);
            try {
                host.e_setPrintInfo(base);
            } catch (const Fault&) {
                for (int k = 0; k < kCategories; ++k) EXPECT_EQ(count(k), "0");
            }
        }
    }
}

TEST_F(PrintSetupTest, HostScriptChoosesTheExampleTemplate) {
    const std::string text = "Marking_init_pci 128 0 0 1 0 [0,0,0,0] 1\n"
                             "Marking_para 1000 3000 100 200 300 400 10.0 50 20 100 500\n"
                             "marking_start\n"
                             "e_setPrintInfo \"" + kExample + ".mc1\"\n";
    {
        script::ScriptRunner runner(machine);
        runner.run(script::parse_script(text));
    }
    const Lines lines = trace_lines();
    EXPECT_EQ(lines.back(), "result e_setPrintInfo Empty");
    const State& s = state();
    EXPECT_EQ(s.tmpl.catLines.at(kCategoryBarcode, 0), "2");  // a plate of two tags
    EXPECT_EQ(s.tmpl.catLines.at(kCategoryNumber1, 0), "2");
    EXPECT_EQ(s.tmpl.catLines.at(kCategoryNumber2, 0), "2");
    EXPECT_EQ(s.tmpl.catLines.at(kCategoryText, 0), "1");
    EXPECT_EQ(s.tmpl.catLines.at(kCategoryPlot, 0), "2");  // a logo per tag
    EXPECT_EQ(s.hw.sngStepsPerMm, 100.0f);
    EXPECT_EQ(s.para.lngCurPen, 1);
    EXPECT_EQ(s.tmpl.curPen.PenName, "text");
}

TEST_F(PrintSetupTest, TemplateShowPrintsPensHardwareZonesAndCells) {
    std::ostringstream out, err;
    ASSERT_EQ(korvex::template_show(kExample, out, err), 0) << err.str();
    const std::string text = out.str();
    for (const char* want : {"machine part read", "9 cells", "pens in use: 1 (selected when the template loads), 2, 3",
                             "PenMarkSpeed", "\"code\"", "lngFieldSizeX", "sngStepsPerMm", "intLaserType",
                             "Barcode", "tag BAR01", "bar-code cell 1, dot matrix from bitmap entry 0",
                             "bar-code cell 2, dot matrix from bitmap entry 1",
                             "4 squares per dark module", "first-number cell 1, text of strNumber1(0)",
                             "first-number cell 2, text of strNumber1(1)", "second-number cell 2", "text \"牧场\"",
                             "text cell 1, never marked", "2 bar-code cell", "plot cell 2", "mode 0x10 (fill)"})
        EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
    // Defaults are not listed as differences.
    EXPECT_EQ(text.find("lngDaMode"), std::string::npos);

    std::ostringstream none_out, none_err;
    EXPECT_EQ(korvex::template_show(path("nothing"), none_out, none_err), 1);
    EXPECT_NE(none_err.str().find("no template"), std::string::npos);
}

TEST_F(PrintSetupTest, TemplateShowNamesWhatFailedAndNeverAborts) {
    Mc1Text mc1 = distinct_mc1();
    mc1.pens[3][4] = "x";  // the pen section fails at pen 3
    const std::string base = write_template("bad", mc1,
                                            nam_text({{cell_line("Variable Text", "TAG1e999")},
                                                      {cell_line("Barcode", "BAR01", 1, "x", "1e-30")}}));
    std::ostringstream out, err;
    ASSERT_EQ(korvex::template_show(base, out, err), 1) << err.str();  // a damaged machine file
    EXPECT_NE(err.str().find("bad.mc1 is damaged: 1 record was not taken over"), std::string::npos) << err.str();
    const std::string text = out.str();
    for (const char* want : {"machine part read in part", "step \"pen 3\" failed (type: PenOffHold: 'x' is not a number (line 5))",
                             "1   cannot be read: overflow fault: number in text out of range",
                             "marking a dark module faults (overflow fault", "e_setPrintInfo fails with this template (overflow"})
        EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
    EXPECT_EQ(text.find("squares per dark module"), std::string::npos) << text;
}
