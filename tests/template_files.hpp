// Test helpers for templates: a .mc1 file as its sections of value texts (so a test can damage any
// one value), a distinct value for every pen and hardware field, cell lines of 25 fields, .nam
// files, and a fixture with a scratch folder for the files.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "machine_fixture.hpp"

namespace tmpl_test {

struct Mc1Text {
    std::string magic = "Tarvel Mark File Ver1.0";
    std::array<std::array<std::string, 30>, 256> pens;  // values in file order
    std::array<std::string, 68> hw3;
    std::string zone_count = "1";
    std::vector<std::array<std::string, 8>> zones = {{"1", "1", "1", "1", "1", "1", "1", "1"}};
    std::array<std::string, 5> fonts = {"\"wide\"", "\"narrow\"", "4.5", "3.5", "0.25"};
    std::string preview = "7";
    std::array<std::string, 5> hw8 = {"3", "50", "15", "8", "0.5"};
    bool truncate_after_pens = false;

    std::string text() const;  // values joined by commas, a line per record, CR LF line ends
};

// Pen p's value at file position j (1-30): p * 100 + j, the name at position 15 "pen<p>", the
// pulse width (26) 0 and the passes (27) (p mod 10) * 100 + 27.
// Hardware field f: its number (+ 0.5 for Single and Double fields), Booleans True for even
// numbers, except the fields a working machine needs (turn 0, gate bit 7, steps 100/mm, ...).
Mc1Text distinct_mc1();
// The value distinct_mc1 writes for hardware field `number` (as the record then holds it).
double distinct_hw_value(int number);

struct NamCell {
    std::string line;
    std::array<std::string, 5> values = {"0", "0", "8", "8", "0"};
};
// A descriptor line of 25 fields.
std::string cell_line(const std::string& flag, const std::string& tag, int pen = 1, const std::string& text = "x",
                      const std::string& fill_space = "0.1", int mode = 0);
// Count line (N, unless `count` is given), then six lines per cell, CR LF.
std::string nam_text(const std::vector<NamCell>& cells, const std::string& count = "");

void write_file(const std::string& path, const std::string& bytes);

}  // namespace tmpl_test

// A fresh machine and a scratch folder, removed after the test.
class TemplateTest : public MachineTest {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string path(const std::string& name) const { return dir + "/" + name; }
    // Writes base.mc1 and base.nam (when nam is not empty) into the scratch folder; returns the base.
    std::string write_template(const std::string& base, const tmpl_test::Mc1Text& mc1, const std::string& nam);
    std::string dir;
};
