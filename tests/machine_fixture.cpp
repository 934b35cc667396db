// Shared helpers of the machine tests.
#include "machine_fixture.hpp"

#include "device/timer.hpp"

void MachineTest::init_clock() {
    korvex::State& s = state();
    s.clock.dblTicksPerUs = korvex::Timer_ticks_per_us(s);
}
