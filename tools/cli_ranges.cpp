// The ranged option checks: the value read as a number (NaN and infinities are not numbers here)
// and compared, the message quoting it escaped and the range in plain numbers.
#include "cli_ranges.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/shown_input.hpp"

namespace korvex::tool {

namespace {

// The value of an option's text as a finite number, or nothing.
bool finite_number(const std::string& text, double& v) {
    char* end = nullptr;
    v = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(v);
}

CLI::Validator number_check(double lo, bool lo_included, double hi, const std::string& range) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            double v = 0.0;
            const bool in = finite_number(text, v) && (lo_included ? v >= lo : v > lo) && v <= hi;
            return in ? std::string() : "must be " + range + ", not " + Shown_input(text);
        },
        range);
}

}  // namespace

std::string plain_number(double v) {
    char buf[64];
    if (std::fabs(v) < 1e15 && v == std::trunc(v)) std::snprintf(buf, sizeof buf, "%.0f", v);
    else std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

CLI::Validator in_range(double lo, double hi) {
    const std::string range = std::isinf(hi) ? plain_number(lo) + " or more" : plain_number(lo) + " to " + plain_number(hi);
    return number_check(lo, true, hi, range);
}

CLI::Validator more_than(double lo, double hi) {
    const std::string range = "more than " + plain_number(lo) + (std::isinf(hi) ? "" : " and at most " + plain_number(hi));
    return number_check(lo, false, hi, range);
}

}  // namespace korvex::tool
