// The leading-number rule: one left-to-right pass that collects the characters of the number
// (without the blanks inside it) and converts them once.
#include "core/leading_number.hpp"

#include <charconv>
#include <cmath>
#include <string>

#include "korvex/fault.hpp"

namespace korvex {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double Leading_number(std::string_view text) {
    if (text.empty()) return 0.0;  // most fields of a sparse cell list are empty
    std::string digits;  // the number without its blanks
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto skip_blanks = [&] {
        while (i < n && is_blank(text[i])) ++i;
    };
    skip_blanks();
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') digits.push_back('-');
        ++i;
    }
    bool any_digit = false, point = false;
    for (;;) {
        skip_blanks();
        if (i >= n) break;
        if (is_digit(text[i])) {
            digits.push_back(text[i++]);
            any_digit = true;
        } else if (text[i] == '.' && !point) {
            digits.push_back('.');
            point = true;
            ++i;
        } else {
            break;
        }
    }
    if (!any_digit) return 0.0;
    // The exponent counts only when digits follow it; "12e" is 12.
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        auto skip = [&] {
            while (j < n && is_blank(text[j])) ++j;
        };
        skip();
        if (j < n && (text[j] == '+' || text[j] == '-')) exponent.push_back(text[j++]);
        bool exp_digit = false;
        for (;;) {
            skip();
            if (j < n && is_digit(text[j])) {
                exponent.push_back(text[j++]);
                exp_digit = true;
            } else {
                break;
            }
        }
        if (exp_digit) digits += exponent;
    }
    double value = 0.0;
    const char* first = digits.data();
    const char* last = first + digits.size();
    auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Too small for a Double reads as 0; too large is an overflow.
        double probe = std::strtod(digits.c_str(), nullptr);
        if (std::isinf(probe)) raise_fault(FaultKind::overflow, "number in text out of range");
        return 0.0;
    }
    if (ec != std::errc()) return 0.0;
    return value;
}

}  // namespace korvex
