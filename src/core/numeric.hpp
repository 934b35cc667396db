// The machine's number rules: reals become integers by rounding half to even and must fit their
// target; divisions by zero and NaN/infinity are faults, never silent values reaching a device.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "korvex/fault.hpp"

namespace korvex {

// The 16-bit Boolean of the host interface and of stored formats.
using vbool = int16_t;
inline constexpr vbool kTrue = -1;
inline constexpr vbool kFalse = 0;
inline constexpr vbool to_vbool(bool b) { return b ? kTrue : kFalse; }
// Bitwise NOT, as the host language's Not works on its 16-bit Booleans (Not -1 = 0, Not 0 = -1).
inline constexpr vbool vb_not(vbool b) { return static_cast<vbool>(~b); }

// Rounds to the nearest integer, halves to the even neighbour. NaN or infinity is a float fault.
inline double round_half_even(double x) {
    if (!std::isfinite(x)) raise_fault(FaultKind::invalid_float, "not a finite number");
    return std::nearbyint(x);  // default rounding mode: to nearest, ties to even
}

// The overflow fault of a value that does not fit its target ("a byte", "32 bits"): the message
// gives the value, so whoever reads it can tell which input it came from.
[[noreturn]] inline void value_does_not_fit(double x, const char* target) {
    char text[96];
    std::snprintf(text, sizeof text, "value %.7g does not fit %s", x, target);
    raise_fault(FaultKind::overflow, text);
}

// Range-checked conversions of a real (rounded half to even) or an integer to a narrower type.
inline int64_t to_integer_in(double x, int64_t lo, int64_t hi, const char* target) {
    double r = round_half_even(x);
    if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) value_does_not_fit(x, target);
    return static_cast<int64_t>(r);
}
inline uint8_t to_byte(double x) { return static_cast<uint8_t>(to_integer_in(x, 0, 255, "a byte")); }
inline int16_t to_i16(double x) { return static_cast<int16_t>(to_integer_in(x, INT16_MIN, INT16_MAX, "16 bits")); }
inline int32_t to_i32(double x) { return static_cast<int32_t>(to_integer_in(x, INT32_MIN, INT32_MAX, "32 bits")); }
inline uint8_t to_byte(int64_t x) {
    if (x < 0 || x > 255) value_does_not_fit(static_cast<double>(x), "a byte");
    return static_cast<uint8_t>(x);
}
inline uint8_t to_byte(int32_t x) { return to_byte(static_cast<int64_t>(x)); }
inline int16_t to_i16(int64_t x) {
    if (x < INT16_MIN || x > INT16_MAX) value_does_not_fit(static_cast<double>(x), "16 bits");
    return static_cast<int16_t>(x);
}
inline int32_t to_i32(int64_t x) {
    if (x < INT32_MIN || x > INT32_MAX) value_does_not_fit(static_cast<double>(x), "32 bits");
    return static_cast<int32_t>(x);
}

// Narrows a Double to Single: out of Single's range is an overflow fault, NaN a float fault.
inline float to_single(double x) {
    if (std::isnan(x)) raise_fault(FaultKind::invalid_float, "not a number");
    if (std::isfinite(x) && std::fabs(x) > static_cast<double>(FLT_MAX)) value_does_not_fit(x, "a Single");
    return static_cast<float>(x);
}

// Integer division truncating toward zero; a zero divisor is a division fault.
inline int64_t int_div(int64_t a, int64_t b) {
    if (b == 0) raise_fault(FaultKind::division, "integer division by zero");
    if (a == INT64_MIN && b == -1) raise_fault(FaultKind::overflow, "integer division overflows");
    return a / b;
}
// Remainder with the sign of the dividend (the host language's Mod); zero divisor is a fault.
inline int64_t int_mod(int64_t a, int64_t b) {
    if (b == 0) raise_fault(FaultKind::division, "integer division by zero");
    if (b == -1) return 0;
    return a % b;
}

// Floating-point division: a zero divisor is a division fault, a NaN or infinite result a float fault.
inline double real_div(double a, double b) {
    if (b == 0.0) raise_fault(FaultKind::division, "division by zero");
    double q = a / b;
    if (!std::isfinite(q)) raise_fault(FaultKind::invalid_float, "division gives no finite number");
    return q;
}

}  // namespace korvex
