// The leading-number rule for numbers written in text (template cell lines, tags, counts): the
// number that the text starts with, and 0 when it starts with none. Used wherever the machine reads
// a number out of free text, so every such place agrees on what "12abc" or "abc" means.
#pragma once

#include <string_view>

namespace korvex {

// Skips leading blanks (space, tab), then takes the longest prefix that forms a decimal number:
// an optional sign, digits with at most one point, and an optional exponent (e or E, optional
// sign, digits). Blanks inside the number are ignored ("1 2.5" is 12.5). No number: 0.
// A number beyond the range of a Double is an overflow fault.
double Leading_number(std::string_view text);

}  // namespace korvex
