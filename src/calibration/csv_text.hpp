// The calibration's small CSV files (pattern.csv, measured coordinates): read through the library's
// regular-file reader, split into rows of fields, "#" lines kept apart as comments; numbers parsed
// strictly. Errors name the file and line, with the input shown safely. Also the calibration's
// other text helpers: writing a text file, numbers for messages.
#pragma once

#include <string>
#include <vector>

namespace korvex::calibration {

struct CsvRow {
    int line = 0;
    std::vector<std::string> fields;  // trimmed of blanks
};

struct CsvText {
    std::string path;
    std::vector<std::string> comments;  // the text after "#", trimmed
    std::vector<CsvRow> rows;           // blank lines left out

    // The number in row field `index`, or a CalibrationError naming the line.
    double number(const CsvRow& row, std::size_t index, const char* what) const;
    [[noreturn]] void fail(const CsvRow& row, const std::string& why) const;
};

// Reads a CSV file of at most 16 MiB; CalibrationError when it cannot be read.
CsvText read_csv_text(const std::string& path, const char* what);

// v with `decimals` digits after the point, for messages and reports.
std::string fixed(double v, int decimals);

// Writes `text` to `path` (whole, then closed); CalibrationError when it cannot.
void write_text_file(const std::string& path, const std::string& text);

}  // namespace korvex::calibration
