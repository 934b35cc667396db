// korvex eartag: number lists (lists, ranges keeping their width, files, refusals, the characters
// a number may hold) and a batch on a plate of two codes: plates cut from the batch, a short last
// plate with a blank code, every code read back from the simulated marks, a picture per plate, bad
// input and templates that cannot mark whole tags refused early, cells that left no marks found
// by the read-back, the logo found beside its template, and Ctrl-C said as what happened.
#include "template_files.hpp"

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "eartag_batch.hpp"
#include "font_files.hpp"
#include "job_interrupt.hpp"
#include "library_call.hpp"
#include "tag_code.hpp"
#include "template/plot_file.hpp"

using namespace korvex;
using namespace korvex::tool;
using namespace tmpl_test;

TEST(EartagTool, NumberListsRangesAndFiles) {
    EXPECT_EQ(parse_number_list("12, 7 ,0042"), (std::vector<std::string>{"12", "7", "0042"}));
    EXPECT_EQ(parse_number_list("0098..0101,5"), (std::vector<std::string>{"0098", "0099", "0100", "0101", "5"}));
    EXPECT_EQ(parse_number_list("982000123456789..982000123456790").back(), "982000123456790");
    for (const char* bad : {"", "1,,2", "9..3", "a..b", "1 2", "1..99999999999", "@/nonexistent/list"})
        EXPECT_THROW(parse_number_list(bad), NumberListError) << bad;
    const std::string file = (std::filesystem::temp_directory_path() / ("korvex-eartag-numbers-" + std::to_string(::getpid()) + ".txt")).string();
    write_file(file, "# lot 7\n101, 102\n200..201  # rest\n");
    EXPECT_EQ(parse_number_list("@" + file), (std::vector<std::string>{"101", "102", "200", "201"}));
    std::filesystem::remove(file);
}

TEST_F(TemplateTest, EartagBatchMarksPlatesAndReadsEveryCodeBack) {
    // The example's machine part with two 8 mm bar-code cells only.
    std::filesystem::copy_file(std::string(KORVEX_SOURCE_DIR) + "/examples/eartag_template.mc1", path("plate.mc1"));
    write_file(path("plate.nam"), nam_text({{cell_line("Barcode", "BAR01", 2, "c", "0.1"), {"-20", "5", "8", "8", "0"}},
                                            {cell_line("Barcode", "BAR02", 2, "c", "0.1"), {"-20", "-15", "8", "8", "0"}}}));
    EartagOptions o;
    o.base = path("plate");
    o.numbers = {"982000000000001", "982000000000002", "982000000000003"};
    o.bring_up = BringUp::direct;
    o.verify = true;
    o.picture.head_steps_per_mm = 0.0;
    std::ostringstream out, err;
    EartagReport report;
    ASSERT_EQ(run_eartag(o, out, err, &report), 0) << err.str();
    EXPECT_EQ(report.plates, 2);
    EXPECT_EQ(report.plates_marked, 2);
    EXPECT_TRUE(report.unreadable.empty());
    EXPECT_GT(report.laser_on_us, 0.0);
    EXPECT_LT(report.laser_on_us, report.machine_us);
    EXPECT_TRUE(std::filesystem::exists(path("plate_plate01.png")));
    EXPECT_TRUE(std::filesystem::exists(path("plate_plate02.png")));
    EXPECT_NE(out.str().find("read back: 3 of 3 codes read as their numbers"), std::string::npos) << out.str();
    // The short last plate: its second code is blank (border only), not the first plate's code.
    EXPECT_NE(err.str().find("plate 2: 982000000000003: machine"), std::string::npos) << err.str();

    // Refused before the machine is touched: a number no 14 x 14 code holds, a missing template.
    o.numbers = {"98200000000000123"};
    EXPECT_EQ(run_eartag(o, out, err), 2);
    o.numbers = {"1"};
    o.base = path("none");
    EXPECT_EQ(run_eartag(o, out, err), 2);
}

namespace {

// The message a number list is refused with ("" when it is taken).
std::string refusal(const std::string& list, const std::string& chars = kTagNumberDigits) {
    try {
        parse_number_list(list, chars);
    } catch (const NumberListError& e) {
        return e.what();
    }
    return "";
}

std::string example_mc1() {
    std::ifstream in(std::string(KORVEX_SOURCE_DIR) + "/examples/eartag_template.mc1", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(EartagTool, TagNumbersAreDigitsUnlessNumberCharsNameOthers) {
    // Refused with their place and their value, control bytes escaped.
    EXPECT_NE(refusal("1,ABC").find("item 2: \"ABC\" is not a tag number (digits only"), std::string::npos) << refusal("1,ABC");
    for (const char* bad : {"-5", "1.5", "12\xF0\x9F\x90\x84", "+7"}) EXPECT_NE(refusal(bad).find("is not a tag number"), std::string::npos) << bad;
    EXPECT_NE(refusal("12\x1B[2J").find("\"12\\x1B[2J\""), std::string::npos) << refusal("12\x1B[2J");
    // From a file: a NUL on line 2; a byte-order mark at its start.
    const std::string file = (std::filesystem::temp_directory_path() / ("korvex-eartag-bad-numbers-" + std::to_string(::getpid()) + ".txt")).string();
    write_file(file, std::string("101\n10\0" "2\n", 8));
    EXPECT_NE(refusal("@" + file).find(".txt line 2: \"10\\x002\""), std::string::npos) << refusal("@" + file);
    write_file(file, "\xEF\xBB\xBF" "101\n");
    EXPECT_NE(refusal("@" + file).find("line 1: starts with a byte-order mark"), std::string::npos) << refusal("@" + file);
    std::filesystem::remove(file);
    // Other alphabets on request; the set is printable ASCII without the lists' own separators.
    EXPECT_EQ(parse_number_list("AB12,C3", "0123456789ABC"), (std::vector<std::string>{"AB12", "C3"}));
    EXPECT_NE(refusal("AB12,D3", "0123456789ABC").find("item 2: \"D3\""), std::string::npos);
    for (const char* set : {"", "0123456789,", "01 2", "0#", "0\x7F", "0\xC3\xA9"}) EXPECT_FALSE(check_number_chars(set).empty()) << set;
}

TEST_F(TemplateTest, EartagRefusesATemplateThatCannotMarkWholeTags) {
    const std::string mc1 = example_mc1();
    const std::string code = cell_line("Barcode", "BAR01", 2, "c", "0.1");
    const NamCell code_cell{code, {"-20", "5", "8", "8", "0"}};
    const NamCell number_cell{cell_line("Variable Text", "TAG28", 3, "1"), {"-8", "5", "20", "3", "0"}};
    EartagOptions o;
    o.base = path("plate");
    o.numbers = {"982000000000001"};
    o.bring_up = BringUp::direct;
    o.verify = true;
    o.picture.head_steps_per_mm = 0.0;
    const auto refused = [&](const std::string& mc1_text, const std::string& nam, const std::string& problem) {
        korvex::testing::reset_thread_state();  // as in a fresh process: no cells left from a load before
        std::filesystem::remove(path("plate.mc1"));
        if (!mc1_text.empty()) write_file(path("plate.mc1"), mc1_text);
        write_file(path("plate.nam"), nam);
        std::ostringstream out, err;
        EXPECT_EQ(run_eartag(o, out, err), 2) << problem;
        EXPECT_NE(err.str().find(problem), std::string::npos) << err.str();
        EXPECT_NE(err.str().find("nothing was marked"), std::string::npos) << err.str();
        EXPECT_FALSE(std::filesystem::exists(path("plate_plate01.png")));
    };
    const std::string whole = nam_text({code_cell, number_cell});
    refused("", whole, "plate.mc1 is missing");
    refused("Tarvel mark" + mc1.substr(11), whole, "does not start with the line \"Tarvel Mark File Ver1.0\"");
    refused("\xEF\xBB\xBF" + mc1, whole, "plate.mc1 starts with a byte-order mark");
    // A cell list cut after two lines, or with CR CR LF line ends: the code cell has no size, and
    // reading it back would have aborted inside the decoder.
    refused(mc1, "1\r\n" + code + "\r\n", "plate.nam ends before its last line: 1 cells take 7 lines, it has 2 (cell 1 has 1 of its 6)");
    refused(mc1, "1\r\n" + code + "\r\n", "cell 1 (bar-code cell 1): the code cell is empty (0 x 0 mm)");
    EXPECT_EQ(read_marked_code({}, 0, 0, 0, 0, 10), "");
    std::string cr_cr_lf = nam_text({code_cell});
    for (std::size_t at = 0; (at = cr_cr_lf.find("\r\n", at)) != std::string::npos; at += 3) cr_cr_lf.insert(at, "\r");
    refused(mc1, cr_cr_lf, "plate.nam line 3: the X of cell 1, \"-20\\x0D\", is not a number");
    // A number cell whose pen marks it 0 times; a logo cut short by a bad byte after "PD".
    std::string no_passes = mc1;
    std::size_t pen3 = 0;
    for (int line = 0; line < 4; ++line) pen3 = no_passes.find('\n', pen3) + 1;  // magic, pens 0-2
    std::size_t field = pen3;
    for (int f = 1; f < 27; ++f) field = no_passes.find(',', field) + 1;      // PenPasses: the 27th value
    no_passes.replace(field, no_passes.find(',', field) - field, "0");
    refused(no_passes, whole, "cell 2 (first-number cell 1): its pen 3 has Passes 0");
    write_file(path("cut.plt"), "PU0,0;PD100,0;PD\x01" "100,100;");
    const NamCell logo{cell_line("plt file", "LOGO1", 4, "cut.plt", "0.1", 0x10), {"-20", "15", "8", "8", "0"}};
    refused(mc1, nam_text({code_cell, logo}), "its plot file " + path("cut.plt") + " is cut at byte 17 of 25 (line 1, column 17): after \"PD\" comes \"\\x01\"");
}

TEST_F(TemplateTest, EartagVerifyFindsANumberCellThatLeftNoMarksAndEscapesWhatItEchoes) {
    // A stroke font whose digits draw nothing: the code reads, the number cell stays blank.
    const std::string library = path("library");
    std::filesystem::create_directories(library + "/font");
    std::map<int64_t, std::vector<uint8_t>> blank_digits;
    for (int digit = '0'; digit <= '9'; ++digit) blank_digits[digit] = {2, 0x10, 0};  // pen up, a step, end
    const std::vector<uint8_t> font = font_test::stroke_font(blank_digits);
    write_file(library + "/font/romans.sl", std::string(font.begin(), font.end()));
    std::string number = cell_line("Variable Text", "TAG28", 3, "1");
    number.replace(number.find("special_DFS"), 11, "DejaVuSans");  // the wide font: any outline face
    // A template named with a control character: shown escaped wherever the output names it.
    std::filesystem::copy_file(std::string(KORVEX_SOURCE_DIR) + "/examples/eartag_template.mc1", path("pl\x07te.mc1"));
    write_file(path("pl\x07te.nam"), nam_text({{cell_line("Barcode", "BAR01", 2, "c", "0.1"), {"-20", "5", "8", "8", "0"}},
                                               {number, {"-8", "5", "20", "3", "0"}}}));
    EartagOptions o;
    o.base = path("pl\x07te");
    o.numbers = {"982000000000001"};
    o.bring_up = BringUp::direct;
    o.library_folder = library;
    o.verify = true;
    o.pictures = false;
    o.picture.head_steps_per_mm = 0.0;
    std::ostringstream out, err;
    EartagReport report;
    EXPECT_EQ(run_eartag(o, out, err, &report), 1) << err.str();
    EXPECT_TRUE(report.unreadable.empty());
    ASSERT_EQ(report.unmarked.size(), 1u);
    EXPECT_NE(report.unmarked[0].find("plate 1 tag 1 (982000000000001): the first-number cell 1 left no marks in its box (x -8.00 to 12.00 mm"),
              std::string::npos) << report.unmarked[0];
    EXPECT_NE(out.str().find("0 of 1 number and plot cells left marks in their boxes"), std::string::npos) << out.str();
    EXPECT_NE(err.str().find("pl\\x07te)"), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find('\x07'), std::string::npos) << err.str();
    // Numbers handed in directly are checked the same way as a list.
    o.numbers = {"98200000000000A"};
    std::ostringstream out2, err2;
    EXPECT_EQ(run_eartag(o, out2, err2), 2);
    EXPECT_NE(err2.str().find("number 1: \"98200000000000A\" is not a tag number"), std::string::npos) << err2.str();
}

TEST_F(TemplateTest, EartagFindsTheLogoBesideItsTemplateFromAnyWorkingFolder) {
    // The example names its logo "eartag_logo.plt", beside the template; run from elsewhere.
    const auto working = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    EartagOptions o;
    o.base = std::string(KORVEX_SOURCE_DIR) + "/examples/eartag_template";
    o.library_folder = std::filesystem::path(KORVEX_FONT_DIR).parent_path().string();
    o.numbers = {"982000123456001", "982000123456002"};
    o.verify = true;
    o.pictures = false;
    std::ostringstream out, err;
    const int status = run_eartag(o, out, err);
    std::filesystem::current_path(working);
    EXPECT_EQ(status, 0) << err.str();
    EXPECT_NE(out.str().find("read back: 2 of 2 codes read as their numbers; 6 of 6 number and plot cells left marks"), std::string::npos)
        << out.str();
    // A name not beside the template is still looked up in the working folder, as stored templates expect.
    State& s = state();
    s.tmpl.strCategoryFolder = dir;
    write_file(path("beside.plt"), "PU0,0;");
    EXPECT_EQ(Plot_cell_path(s, "beside.plt"), path("beside.plt"));
    EXPECT_EQ(Plot_cell_path(s, "elsewhere/logo.plt"), "elsewhere/logo.plt");
    EXPECT_EQ(Plot_cell_path(s, "/abs/logo.plt"), "/abs/logo.plt");
}

TEST_F(TemplateTest, CtrlCDuringAPrintPassIsSaidAsTheStopTheLibraryTook) {
    // The pass clears the library's abort flag on its way out; the stop it took must still be said.
    std::filesystem::copy_file(std::string(KORVEX_SOURCE_DIR) + "/examples/eartag_template.mc1", path("plate.mc1"));
    write_file(path("plate.nam"), nam_text({{cell_line("Barcode", "BAR01", 2, "c", "0.1"), {"-20", "5", "8", "8", "0"}}}));
    korvex_dll dll;
    dll.Marking_init_pci(128, 0, 0, 1, 0, std::vector<uint8_t>{0, 0, 0, 0}, 1);
    dll.Marking_para(1000, 3000, 100, 50, 100, 50, 10.0, 50, 20, 100, 100);
    dll.marking_start();
    dll.e_setPrintInfo(path("plate"));
    JobInterrupt interrupt;
    machine.ui().set_shift_source(interrupt.shift_flag());
    std::ostringstream err;
    std::string failure, stop;
    bool interrupted = false;
    {
        CtrlCAtGateOpening ctrl_c(machine, 2);  // in the second border of the code
        LibraryCaller call(machine, &interrupt, err, "korvex eartag", failure, interrupted, stop);
        const std::vector<uint8_t> image(32, 0xFF), sizes{1, 32};
        EXPECT_FALSE(call("e_PrintEarMark", [&] { dll.e_PrintEarMark(image, {"1"}, {"1"}, sizes); }));
        ASSERT_TRUE(ctrl_c.sent());
        EXPECT_TRUE(call.stop_taken());
    }
    machine.ui().set_shift_source(nullptr);
    EXPECT_TRUE(interrupted);
    EXPECT_EQ(machine.model().gate_openings(), 2u);  // the pass stopped at the next switching
    EXPECT_EQ(stop, "stopped by Ctrl-C: the library stopped e_PrintEarMark the next time the laser switched; the laser is off");
}

TEST_F(TemplateTest, EartagRefusesADamagedMachineFileBeforeMarking) {
    Mc1Text m = distinct_mc1();
    m.pens[2][20] = "fast";  // PenMarkSpeed of pen 2
    EartagOptions o;
    o.base = write_template("damaged", m, nam_text({{cell_line("Barcode", "BAR01", 2, "c", "0.1"), {"-20", "5", "8", "8", "0"}}}));
    o.numbers = {"982000000000001"};
    o.bring_up = BringUp::direct;
    o.pictures = false;
    std::ostringstream out, err;
    EartagReport report;
    EXPECT_EQ(run_eartag(o, out, err, &report), 1);
    EXPECT_EQ(report.plates_marked, 0);
    EXPECT_NE(err.str().find("pen 2: PenMarkSpeed: 'fast' is not a number (line 4)"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("damaged.mc1 is damaged (see the message above); nothing was marked"), std::string::npos) << err.str();
}
