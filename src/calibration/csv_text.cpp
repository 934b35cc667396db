// Reading and writing the calibration's CSV files.
#include "calibration/csv_text.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "calibration/vec2.hpp"
#include "core/regular_file.hpp"
#include "core/shown_input.hpp"
#include "korvex/fault.hpp"

namespace korvex::calibration {

namespace {

constexpr std::size_t kMaxCsvBytes = std::size_t{16} << 20;

std::string trimmed(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    const std::size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

}  // namespace

double CsvText::number(const CsvRow& row, std::size_t index, const char* what) const {
    if (index >= row.fields.size()) fail(row, std::string("no ") + what);
    const std::string& f = row.fields[index];
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(f.c_str(), &end);
    if (f.empty() || end != f.c_str() + f.size() || errno == ERANGE || !std::isfinite(v))
        fail(row, std::string(what) + " '" + Shown_input(f) + "' is not a number");
    return v;
}

void CsvText::fail(const CsvRow& row, const std::string& why) const {
    throw CalibrationError(path + ":" + std::to_string(row.line) + ": " + why);
}

CsvText read_csv_text(const std::string& path, const char* what) {
    CsvText csv;
    csv.path = path;
    std::string text;
    try {
        text = Regular_file_read(path, kMaxCsvBytes, what);
    } catch (const Fault& f) {
        throw CalibrationError(f.what());
    }
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const std::string t = trimmed(line);
        if (t.empty()) continue;
        if (t[0] == '#') {
            csv.comments.push_back(trimmed(t.substr(1)));
            continue;
        }
        CsvRow row;
        row.line = number;
        std::size_t i = 0;
        while (true) {
            const std::size_t comma = t.find(',', i);
            row.fields.push_back(trimmed(t.substr(i, comma == std::string::npos ? std::string::npos : comma - i)));
            if (comma == std::string::npos) break;
            i = comma + 1;
        }
        csv.rows.push_back(std::move(row));
    }
    return csv;
}

std::string fixed(double v, int decimals) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

void write_text_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw CalibrationError("cannot write " + path + ": " + std::strerror(errno));
}

}  // namespace korvex::calibration
