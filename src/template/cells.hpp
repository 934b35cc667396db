// Template cells: the cell kind names, the field splitter of a descriptor line, and Cell_parse,
// which turns one descriptor line of a cell list into the current cell record every cell marker
// works on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "state/state.hpp"

namespace korvex {

// The cell kinds, compared exactly and case-sensitively with CellRecord::Flag.
class CellFlagConst {
public:
    static constexpr std::string_view AddFlag() { return "volatile number"; }
    static constexpr std::string_view FixDrawFlag() { return "standard plot"; }
    static constexpr std::string_view VariableTextFlag1() { return "Variable Text1"; }
    static constexpr std::string_view VariableTextFlag2() { return "Variable Text2"; }
    static constexpr std::string_view VariableTextFlag() { return "Variable Text"; }
    static constexpr std::string_view BmpFlag() { return "bmp file"; }
    static constexpr std::string_view DateFlag() { return "Date"; }
    static constexpr std::string_view TimeFlag() { return "Time"; }
    static constexpr std::string_view VinFlag() { return "vin"; }
    static constexpr std::string_view WordFlag() { return "TEXT"; }
    static constexpr std::string_view PltFlag() { return "plt file"; }
    static constexpr std::string_view BarFlag() { return "Barcode"; }
};

inline constexpr int kCellFields = 25;  // fields 0-24 of a descriptor line

// Reads the fields of a line one after the other, fields separated by single blanks: two blanks in
// a row give an empty field, and a field beyond the last gives the last one. The fields are views
// into the line, which must outlive the reader.
class FieldReader {
public:
    explicit FieldReader(std::string_view line) : rest_(line) {}
    std::string_view next();

private:
    std::string_view rest_;
    std::string_view last_;
    bool at_end_ = false;
};

// Field n (from 0) of s, by FieldReader's rule; a negative n gives "".
std::string Get_field(const std::string& s, int16_t n);

// The kind name a descriptor line starts with when that name itself holds a blank ("Variable Text",
// "plt file", ...) and is followed by a blank; "" otherwise. Such a line's later fields are counted
// from after the name.
std::string_view Kind_with_blank(std::string_view line);

// Overwrites every field of curCell that the line describes (all but the fonts' Found, File and
// catalogue values). Numbers are read by the leading-number rule, integers rounded half to even.
void Cell_parse(State& s, const std::string& line);

}  // namespace korvex
