// Template test helpers: file texts built from sections of value texts, and the scratch folder.
#include "template_files.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "state/hardware_record.hpp"

namespace tmpl_test {

namespace {

// Fields a loaded template must keep usable for marking in the tests that follow a load.
bool working_value(int number, double& v) {
    switch (number) {
        case 1: v = 0; return true;        // lngFieldTurn
        case 2: case 3: v = 110; return true;
        case 9: v = 3; return true;        // laser type (section 8 position 1 sets it anyway)
        case 23: v = 10; return true;      // lngDaMode
        case 24: v = 0; return true;       // no standby switching
        case 29: v = -1; return true;      // gate opens at 0
        case 33: case 34: case 35: case 36: v = 0; return true;
        case 37: v = 1; return true;       // zone count (section 4 overwrites it)
        case 40: v = 100; return true;     // steps per mm
        case 61: v = 1; return true;
        case 62: v = 0; return true;
        case 65: v = 7; return true;       // gate bit
        case 66: v = 4; return true;
        case 68: v = 4; return true;
        case 69: v = 3; return true;
        default: return false;
    }
}

std::string number_text(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

}  // namespace

double distinct_hw_value(int number) {
    double v = 0;
    if (working_value(number, v)) return v;
    const korvex::HardwareField& f = korvex::hardware_field(number);
    switch (f.type) {
        case korvex::HardwareFieldType::single:
        case korvex::HardwareFieldType::dbl: return number + 0.5;
        case korvex::HardwareFieldType::boolean: return number % 2 == 0 ? -1 : 0;
        default: return number;
    }
}

Mc1Text distinct_mc1() {
    Mc1Text m;
    for (int p = 0; p < 256; ++p)
        for (int j = 1; j <= 30; ++j) m.pens[p][j - 1] = j == 15 ? "\"pen" + std::to_string(p) + "\"" : std::to_string(p * 100 + j);
    // Position 2 is a 16-bit value; the pen's laser values must program a type-3 laser: power
    // (16) and frequency (18) are clamped, pulse width (26) 0 keeps gate mode.
    for (int p = 0; p < 256; ++p) m.pens[p][25] = "0";
    // PenPasses (27) stays within its 1000 passes: (p mod 10) * 100 + 27.
    for (int p = 0; p < 256; ++p) m.pens[p][26] = std::to_string(p % 10 * 100 + 27);
    // Section 3 by its field numbers (the order of the file).
    static constexpr int kSection3[68] = {1,  2,  3,  4,  7,  5,  6,  13, 14, 15, 16, 17, 18, 19, 20, 21, 22,
                                          23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39,
                                          40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56,
                                          57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73};
    for (int pos = 0; pos < 68; ++pos) {
        const int number = kSection3[pos];
        const double v = distinct_hw_value(number);
        const korvex::HardwareField& f = korvex::hardware_field(number);
        if (f.type == korvex::HardwareFieldType::boolean) m.hw3[pos] = v != 0 ? "#TRUE#" : "#FALSE#";
        else m.hw3[pos] = number_text(v);
    }
    return m;
}

std::string Mc1Text::text() const {
    std::string out = magic + "\r\n";
    for (const auto& pen : pens) {
        for (std::size_t j = 0; j < pen.size(); ++j) out += (j ? "," : "") + pen[j];
        out += "\r\n";
    }
    if (truncate_after_pens) return out;
    for (std::size_t j = 0; j < hw3.size(); ++j) out += (j ? "," : "") + hw3[j];
    out += "\r\n" + zone_count + "\r\n";
    for (const auto& row : zones) {
        for (std::size_t j = 0; j < row.size(); ++j) out += (j ? "," : "") + row[j];
        out += "\r\n";
    }
    for (std::size_t j = 0; j < fonts.size(); ++j) out += (j ? "," : "") + fonts[j];
    out += "\r\n" + preview + "\r\n";
    for (std::size_t j = 0; j < hw8.size(); ++j) out += (j ? "," : "") + hw8[j];
    return out + "\r\n";
}

std::string cell_line(const std::string& flag, const std::string& tag, int pen, const std::string& text,
                      const std::string& fill_space, int mode) {
    // flag index text mode W H arcD v7 arcA fillA fillS v11 v12 opt wide narrow fw fh fs rotD angle pen tag minX minY
    return flag + " 7 " + text + " " + std::to_string(mode) + " 8 8 0 0 0 0 " + fill_space +
           " 0 0 1 special_DFS special_Romans 3 4 0.5 0 0 " + std::to_string(pen) + " " + tag + " 0 0";
}

std::string nam_text(const std::vector<NamCell>& cells, const std::string& count) {
    std::string out = (count.empty() ? std::to_string(cells.size()) : count) + "\r\n";
    for (const NamCell& c : cells) {
        out += c.line + "\r\n";
        for (const std::string& v : c.values) out += v + "\r\n";
    }
    return out;
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

}  // namespace tmpl_test

void TemplateTest::SetUp() {
    MachineTest::SetUp();
    std::string pattern = (std::filesystem::temp_directory_path() / "korvex-tmpl-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
}

void TemplateTest::TearDown() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    MachineTest::TearDown();
}

std::string TemplateTest::write_template(const std::string& base, const tmpl_test::Mc1Text& mc1, const std::string& nam) {
    tmpl_test::write_file(path(base + ".mc1"), mc1.text());
    if (!nam.empty()) tmpl_test::write_file(path(base + ".nam"), nam);
    return path(base);
}
