// korvex eartag: number lists (lists, ranges keeping their width, files, refusals) and a batch on
// a plate of two codes: plates cut from the batch, a short last plate with a blank code, every
// code read back from the simulated marks, a picture per plate, and bad input refused early.
#include "template_files.hpp"

#include <filesystem>
#include <sstream>

#include "eartag_batch.hpp"

using namespace korvex;
using namespace korvex::tool;
using namespace tmpl_test;

TEST(EartagTool, NumberListsRangesAndFiles) {
    EXPECT_EQ(parse_number_list("12, 7 ,0042"), (std::vector<std::string>{"12", "7", "0042"}));
    EXPECT_EQ(parse_number_list("0098..0101,5"), (std::vector<std::string>{"0098", "0099", "0100", "0101", "5"}));
    EXPECT_EQ(parse_number_list("982000123456789..982000123456790").back(), "982000123456790");
    for (const char* bad : {"", "1,,2", "9..3", "a..b", "1 2", "1..99999999999", "@/nonexistent/list"})
        EXPECT_THROW(parse_number_list(bad), NumberListError) << bad;
    const std::string file = (std::filesystem::temp_directory_path() / "korvex-eartag-numbers.txt").string();
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
