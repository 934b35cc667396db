// Cells and cell lists: the field splitter and Cell_parse on descriptor lines (kind names with a
// blank taken whole), the leading-number rule, the .nam reader (count line, strict number lines,
// more than 3000 cells, missing file, code page 936 text) and the code page conversions.
#include "template_files.hpp"

#include "core/leading_number.hpp"
#include "core/code_page.hpp"
#include "template/cell_list.hpp"
#include "template/cells.hpp"
#include "template/template_file.hpp"

using namespace korvex;
using namespace tmpl_test;

TEST(LeadingNumber, TakesTheNumberTheTextStartsWith) {
    EXPECT_EQ(Leading_number("12"), 12.0);
    EXPECT_EQ(Leading_number("  12abc"), 12.0);
    EXPECT_EQ(Leading_number("abc"), 0.0);
    EXPECT_EQ(Leading_number(""), 0.0);
    EXPECT_EQ(Leading_number("-1.5e2x"), -150.0);
    EXPECT_EQ(Leading_number("1 2. 5"), 12.5);  // blanks inside the number are ignored
    EXPECT_EQ(Leading_number("3.4.5"), 3.4);
    EXPECT_EQ(Leading_number("12e"), 12.0);     // an exponent needs its digits
    EXPECT_EQ(Leading_number("12e+"), 12.0);
    EXPECT_EQ(Leading_number("+.5"), 0.5);
    EXPECT_EQ(Leading_number("-"), 0.0);
    EXPECT_EQ(Leading_number("028"), 28.0);
    EXPECT_EQ(Leading_number("1e-999"), 0.0);
    try {
        Leading_number("1e999");
        FAIL();
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::overflow);
    }
}

TEST(GetField, SplitsAtEverySingleBlank) {
    EXPECT_EQ(Get_field("12 abc  7", 3), "7");
    EXPECT_EQ(Get_field("12 abc  7", 2), "");
    EXPECT_EQ(Get_field("12 abc", 5), "abc");  // beyond the last: the last
    EXPECT_EQ(Get_field("12 abc", 0), "12");
    EXPECT_EQ(Get_field("", 3), "");
    EXPECT_EQ(Get_field("Variable Text 7", 0), "Variable");  // the splitter itself keeps its rule
    EXPECT_EQ(Get_field("a ", 1), "");
}

TEST(CellParse, ReadsEveryFieldByTheLeadingNumberRule) {
    auto owned = std::make_unique<State>();
    State& s = *owned;
    // flag index text mode W H arcD v7 arcA fillA fillS v11 v12 opt wide narrow fw fh fs rotD angle pen tag minX minY
    Cell_parse(s, "TEXT 2.5 HELLO 3.5 10.5 abc 12xyz 1 2 3 0.25 4 5 2 FW FN 1.5 2.5 0.5 30 45 7 TXT01 8 9");
    const CellRecord& c = s.tmpl.curCell;
    EXPECT_EQ(c.Flag, "TEXT");
    EXPECT_EQ(c.Index, 2);  // 2.5 rounds to even
    EXPECT_EQ(c.Text, "HELLO");
    EXPECT_EQ(c.Mode, 4);   // 3.5 rounds to even
    EXPECT_EQ(c.Width, 10.5f);
    EXPECT_EQ(c.Height, 0.0f);       // letters
    EXPECT_EQ(c.ArcDiameter, 12.0f); // 12 followed by letters
    EXPECT_EQ(c.Value7, 1.0f);
    EXPECT_EQ(c.ArcAngle, 2.0f);
    EXPECT_EQ(c.FillAngle, 3.0f);
    EXPECT_EQ(c.FillSpace, 0.25f);
    EXPECT_EQ(c.Value11, 4.0f);
    EXPECT_EQ(c.Value12, 5.0f);
    EXPECT_EQ(c.FontWide.Option, kTrue);
    EXPECT_EQ(c.FontNarrow.Option, kTrue);
    EXPECT_EQ(c.FontWide.Name, "FW");
    EXPECT_EQ(c.FontNarrow.Name, "FN");
    EXPECT_EQ(c.FontWide.Width, 1.5f);
    EXPECT_EQ(c.FontNarrow.Width, 1.5f);
    EXPECT_EQ(c.FontWide.Height, 2.5f);
    EXPECT_EQ(c.FontNarrow.Height, 2.5f);
    EXPECT_EQ(c.FontNarrow.Space, 0.5f);
    EXPECT_EQ(c.RotaryDiameter, 30.0f);
    EXPECT_EQ(c.Angle, 45.0f);
    EXPECT_EQ(c.Pen, 7);
    EXPECT_EQ(c.Tag, "TXT01");
    EXPECT_EQ(c.TextMinX, 8.0f);
    EXPECT_EQ(c.TextMinY, 9.0f);

    // Font fields the loader fills are left alone; a short line repeats its last field.
    s.tmpl.curCell.FontWide.Found = kTrue;
    s.tmpl.curCell.FontWide.File = "f.fnt";
    Cell_parse(s, "Date 1 abc");
    EXPECT_EQ(c.FontWide.Found, kTrue);
    EXPECT_EQ(c.FontWide.File, "f.fnt");
    EXPECT_EQ(c.Text, "abc");
    EXPECT_EQ(c.Tag, "abc");
    EXPECT_EQ(c.Pen, 0);
    EXPECT_EQ(c.FontWide.Option, kFalse);

    // A number beyond a 32-bit integer is an overflow, not a wrapped value.
    EXPECT_THROW(Cell_parse(s, "TEXT 1 x 1e10"), Fault);
}

TEST(CellParse, TakesKindNamesWithABlankWhole) {
    auto owned = std::make_unique<State>();
    State& s = *owned;
    const CellRecord& c = s.tmpl.curCell;
    Cell_parse(s, cell_line("Variable Text", "TAG28", 3, "000123"));
    EXPECT_EQ(c.Flag, "Variable Text");
    EXPECT_EQ(c.Index, 7);
    EXPECT_EQ(c.Text, "000123");
    EXPECT_EQ(c.FillSpace, 0.1f);
    EXPECT_EQ(c.FontNarrow.Name, "special_Romans");
    EXPECT_EQ(c.Pen, 3);
    EXPECT_EQ(c.Tag, "TAG28");

    Cell_parse(s, cell_line("Variable Text1", "T1", 4));
    EXPECT_EQ(c.Flag, "Variable Text1");  // not "Variable Text" with a field "1..."
    EXPECT_EQ(c.Pen, 4);
    Cell_parse(s, cell_line("Variable Text2", "T2", 5));
    EXPECT_EQ(c.Flag, "Variable Text2");
    for (const char* kind : {"plt file", "bmp file", "volatile number", "standard plot"}) {
        Cell_parse(s, cell_line(kind, "K", 6, "logo.plt"));
        EXPECT_EQ(c.Flag, kind);
        EXPECT_EQ(c.Text, "logo.plt");
        EXPECT_EQ(c.Tag, "K");
    }
    // A name only followed by more letters, or another case, is split as usual.
    Cell_parse(s, "Variable Textual 1 x");
    EXPECT_EQ(c.Flag, "Variable");
    Cell_parse(s, "PLT file 1 x");
    EXPECT_EQ(c.Flag, "PLT");
    Cell_parse(s, cell_line("Barcode", "B1", 2));
    EXPECT_EQ(c.Flag, "Barcode");
    EXPECT_EQ(c.Pen, 2);
}

TEST(CellList, StrictNumberLines) {
    EXPECT_EQ(Strict_single("1.5"), 1.5f);
    EXPECT_EQ(Strict_single("  -2e1 "), -20.0f);
    EXPECT_EQ(Strict_single(".5"), 0.5f);
    EXPECT_EQ(Strict_single("+3"), 3.0f);
    for (const char* bad : {"", " ", "12abc", "abc", "1.2.3", "1e", "1e50", "- 1", "1,5", "#TRUE#"})
        EXPECT_FALSE(Strict_single(bad).has_value()) << bad;
}

class CellListTest : public TemplateTest {};

TEST_F(CellListTest, ReadsCountAndCellsAndKeepsOldValuesForBadLines) {
    State& s = state();
    s.tmpl.namValues.at(1, 1) = 42.0f;
    s.tmpl.namLines.at(3) = "old";
    std::vector<NamCell> cells = {{cell_line("TEXT", "A"), {"1", "12abc", "3", "", "5"}},
                                  {cell_line("TEXT", "B"), {"6", "7", "8", "9", "10"}}};
    // Count "3 cells" reads 3, but only two cells follow: the third keeps its old line.
    write_file(path("c.nam"), nam_text(cells, "3 cells"));
    EXPECT_THROW(Cell_list_load(s, path("c.nam")), Fault);  // eof (suppressed by Template_load)
    EXPECT_EQ(s.tmpl.namLines.at(0), "3 cells");
    EXPECT_EQ(s.tmpl.namLines.at(2), cell_line("TEXT", "B"));
    EXPECT_EQ(s.tmpl.namLines.at(3), "old");
    EXPECT_EQ(s.tmpl.namValues.at(1, 0), 1.0f);
    EXPECT_EQ(s.tmpl.namValues.at(1, 1), 42.0f);  // "12abc" keeps the previous value
    EXPECT_EQ(s.tmpl.namValues.at(1, 3), 0.0f);   // "" too (it was 0)
    EXPECT_EQ(s.tmpl.namValues.at(2, 4), 10.0f);

    // A count of letters reads no cells; 2.5 rounds to 2, 3.5 to 4.
    write_file(path("d.nam"), nam_text(cells, "none"));
    s.tmpl.namLines.at(1) = "kept";
    Cell_list_load(s, path("d.nam"));
    EXPECT_EQ(s.tmpl.namLines.at(1), "kept");
    write_file(path("e.nam"), nam_text(cells, "2.5"));
    Cell_list_load(s, path("e.nam"));
    EXPECT_EQ(s.tmpl.namLines.at(1), cell_line("TEXT", "A"));

    // LF-only line ends read the same; a cell without its number lines keeps the old values.
    write_file(path("f.nam"), "1\n" + cell_line("Date", "D") + "\n9");
    EXPECT_THROW(Cell_list_load(s, path("f.nam")), Fault);  // eof after the first number line
    EXPECT_EQ(s.tmpl.namLines.at(1), cell_line("Date", "D"));
    EXPECT_EQ(s.tmpl.namValues.at(1, 0), 9.0f);
    EXPECT_EQ(s.tmpl.namValues.at(1, 2), 3.0f);

    // A missing file keeps everything (Template_load goes through the same step).
    Template_load(s, path("nothing"));
    EXPECT_EQ(s.tmpl.namLines.at(1), cell_line("Date", "D"));
}

TEST_F(CellListTest, StoresAtMostThreeThousandCells) {
    State& s = state();
    std::vector<NamCell> cells(3001, NamCell{cell_line("Date", "D")});
    cells.back().line = "last";
    write_file(path("big.nam"), nam_text(cells));
    try {
        Cell_list_load(s, path("big.nam"));
        FAIL() << "cell 3001 stored";
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::index);
    }
    EXPECT_EQ(s.tmpl.namLines.at(0), "3001");
    EXPECT_EQ(s.tmpl.namLines.at(3000), cell_line("Date", "D"));
    // Through the template load the fault is suppressed.
    EXPECT_NO_THROW(Template_load(s, path("big")));
}

TEST_F(CellListTest, DecodesCodePage936Text) {
    State& s = state();
    // "牧场" in code page 936, CR LF line ends.
    const std::string gbk_text = "\xC4\xC1\xB3\xA1";
    write_file(path("g.nam"), "1\r\nTEXT 1 " + gbk_text + " 0 8 8 0 0 0 0 0 0 0 0 a b 3 3 0 0 0 1 \xC5\xA3\xC5\xA3" "28 0 0\r\n1\r\n2\r\n3\r\n4\r\n5\r\n");
    Cell_list_load(s, path("g.nam"));
    Cell_parse(s, s.tmpl.namLines.at(1));
    EXPECT_EQ(s.tmpl.curCell.Text, "牧场");
    EXPECT_EQ(s.tmpl.curCell.Tag, "牛牛28");
    EXPECT_EQ(s.tmpl.namValues.at(1, 4), 5.0f);
}

TEST(CodePage, ConvertsBothWays) {
    EXPECT_EQ(Gbk_to_utf8("\xD6\xD0\xCE\xC4 ok"), "中文 ok");
    EXPECT_EQ(Gbk_to_utf8("a\xFF" "b"), "a?b");  // a byte the code page does not define
    EXPECT_EQ(Gbk_to_utf8("a\xD6"), "a?");       // a lead byte cut off at the end
    EXPECT_EQ(Code_page_code("A"), 65);
    EXPECT_EQ(Code_page_code("中"), 0xD6D0);
    EXPECT_EQ(Code_page_code("牛x"), 0xC5A3);   // the first character only
    EXPECT_EQ(Code_page_code("€"), 0x80);
    EXPECT_EQ(Code_page_code("😀"), '?');        // not in the code page: "?", one character
    EXPECT_EQ(Code_page_code("\xE4\xB8"), '?');  // broken UTF-8
    EXPECT_EQ(Code_page_code(""), '?');
    EXPECT_EQ(Utf8_from_char("牛牛牛28", 3), "28");
    EXPECT_EQ(Utf8_from_char("ab", 3), "");
}
