// Number checks of the command-line options, with the range said plainly ("1 to 99", "more than
// 0"): every command's ranged options use these, never a bound printed as a 309-digit number.
#pragma once

#include <CLI/CLI.hpp>

#include <limits>
#include <string>

namespace korvex::tool {

// A number from lo to hi, both included; hi infinite: lo or more.
CLI::Validator in_range(double lo, double hi = std::numeric_limits<double>::infinity());
// A number greater than lo and at most hi.
CLI::Validator more_than(double lo, double hi = std::numeric_limits<double>::infinity());

// v for a message: an integer whole, anything else with up to 6 significant digits.
std::string plain_number(double v);

}  // namespace korvex::tool
