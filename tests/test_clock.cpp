// The microsecond clock and the two busy waits: frequency conversion, Single comparison of spans,
// the fault before initialization, and waits that cost exactly their span on the virtual clock.
#include "machine_fixture.hpp"

#include "device/timer.hpp"
#include "fault_of.hpp"

using namespace korvex;

TEST_F(MachineTest, ClockCannotBeReadBeforeInitialization) {
    State& s = state();
    try {
        Timer_now_us(s);
        FAIL();
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::division);
    }
    EXPECT_THROW(Wait_until_us(s, 0.0, 0.0f), Fault);  // always takes its final reading
    EXPECT_THROW(Delay_us(s, 1.0f), Fault);
    Delay_us(s, 0.0f);  // no reading at all for spans of 0 or less
    Delay_us(s, -5.0f);
}

TEST_F(MachineTest, WaitsLastExactlyTheirSpanOnTheVirtualClock) {
    init_clock();
    State& s = state();
    EXPECT_DOUBLE_EQ(s.clock.dblTicksPerUs, 10.0);
    const double t0 = Timer_now_us(s);
    Delay_us(s, 100.0f);
    EXPECT_DOUBLE_EQ(Timer_now_us(s) - t0, 100.0);
    // A start time older than the span returns at once with the current time.
    const double now = Timer_now_us(s);
    EXPECT_DOUBLE_EQ(Wait_until_us(s, now - 500.0, 100.0f), now);
    // Pacing against a running reference: time spent since the reference counts.
    machine.virtual_clock()->advance_us(30.0);
    EXPECT_DOUBLE_EQ(Wait_until_us(s, now, 100.0f), now + 100.0);
    // A fractional span ends at the first reading whose difference reaches it as a Single.
    const double t1 = Timer_now_us(s);
    Delay_us(s, 0.25f);
    EXPECT_NEAR(Timer_now_us(s) - t1, 0.3, 1e-9);  // 10 ticks per us: 3 ticks is the first >= 0.25
    // A wait ending beyond the counter's range would never end: an overflow fault, no time spent.
    const double t2 = Timer_now_us(s);
    EXPECT_EQ(fault_of([&] { Delay_us(s, 1e30f); }), FaultKind::overflow);
    EXPECT_EQ(fault_of([&] { Wait_until_us(s, t2, 1e30f); }), FaultKind::overflow);
    EXPECT_DOUBLE_EQ(Timer_now_us(s), t2);
}

TEST(Clock, FrequencyAboveTwoToThe31StaysPositiveAndHighCounterHalfCounts) {
    korvex::testing::reset_thread_state();
    VirtualClock clock(3'000'000'000ull);
    Platform p;
    p.clock = &clock;
    set_platform(p);
    korvex_dll o;
    State& s = thread_state();
    s.clock.dblTicksPerUs = Timer_ticks_per_us(s);
    EXPECT_DOUBLE_EQ(s.clock.dblTicksPerUs, 3000.0);
    clock.set_counter((1ull << 32) + 3000);  // high half 1, low half 3000
    EXPECT_DOUBLE_EQ(Timer_now_us(s), (4294967296.0 + 3000.0) / 3000.0);
    // Only the low 32 bits of the frequency count, as the counter query gives them.
    VirtualClock wide((1ull << 32) + 2'000'000);
    p.clock = &wide;
    set_platform(p);
    EXPECT_DOUBLE_EQ(Timer_ticks_per_us(s), 2.0);
    korvex::testing::reset_thread_state();
}
