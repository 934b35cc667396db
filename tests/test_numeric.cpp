// The number rules every subsystem leans on: rounding half to even, range-checked narrowing,
// checked divisions, and the 16-bit Boolean.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/numeric.hpp"
#include "fault_of.hpp"

using namespace korvex;

TEST(Numeric, RoundsHalvesToEvenAndChecksRanges) {
    EXPECT_EQ(round_half_even(0.5), 0.0);
    EXPECT_EQ(round_half_even(1.5), 2.0);
    EXPECT_EQ(round_half_even(2.5), 2.0);
    EXPECT_EQ(round_half_even(-0.5), 0.0);
    EXPECT_EQ(round_half_even(-1.5), -2.0);
    EXPECT_EQ(to_byte(255.4), 255);
    EXPECT_EQ(to_byte(-0.5), 0);  // rounds to 0, fits
    EXPECT_EQ(fault_of([] { to_byte(255.5); }), FaultKind::overflow);  // 256
    EXPECT_EQ(fault_of([] { to_byte(int64_t{-1}); }), FaultKind::overflow);
    EXPECT_EQ(to_i16(-32768.4), -32768);
    EXPECT_EQ(fault_of([] { to_i16(32767.5); }), FaultKind::overflow);  // 32768
    EXPECT_EQ(to_i32(2147483647.0), 2147483647);
    EXPECT_EQ(fault_of([] { to_i32(2147483647.5); }), FaultKind::overflow);
    EXPECT_EQ(fault_of([] { to_i32(std::nan("")); }), FaultKind::invalid_float);
    EXPECT_EQ(fault_of([] { to_i16(std::numeric_limits<double>::infinity()); }), FaultKind::invalid_float);
}

TEST(Numeric, DivisionsAndNarrowingFaultInsteadOfProducingJunk) {
    EXPECT_EQ(int_div(-7, 2), -3);  // truncates toward zero
    EXPECT_EQ(int_mod(-7, 2), -1);  // sign of the dividend
    EXPECT_EQ(fault_of([] { int_div(1, 0); }), FaultKind::division);
    EXPECT_EQ(fault_of([] { int_mod(1, 0); }), FaultKind::division);
    EXPECT_EQ(fault_of([] { real_div(1.0, 0.0); }), FaultKind::division);
    EXPECT_EQ(fault_of([] { real_div(1e308, 1e-308); }), FaultKind::invalid_float);
    EXPECT_EQ(real_div(1.0, 4.0), 0.25);
    EXPECT_EQ(to_single(1.5), 1.5f);
    EXPECT_EQ(fault_of([] { to_single(1e39); }), FaultKind::overflow);
    EXPECT_EQ(fault_of([] { to_single(std::nan("")); }), FaultKind::invalid_float);
}

TEST(Numeric, SixteenBitBooleanNegatesBitwise) {
    EXPECT_EQ(vb_not(kTrue), kFalse);
    EXPECT_EQ(vb_not(kFalse), kTrue);
    EXPECT_EQ(to_vbool(true), -1);
    EXPECT_EQ(std::string(fault_kind_name(FaultKind::invalid_float)), "float");
}
