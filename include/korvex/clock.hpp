// Clock: the high-resolution counter the library paces every wait against, plus a hint the wait
// loops give on every turn so a virtual clock can jump to the deadline instead of spinning.
#pragma once

#include <cstdint>

#include "korvex/export.h"

namespace korvex {

class KORVEX_API Clock {
public:
    virtual ~Clock() = default;
    // Counter ticks per second.
    virtual uint64_t frequency() = 0;
    // Current counter value; reading it never changes the machine's time.
    virtual uint64_t counter() = 0;
    // A wait loop is spinning until the counter reaches `deadline`. A real clock ignores this
    // (the loop keeps polling); a virtual one moves its time forward.
    virtual void idle_until(uint64_t deadline) = 0;
};

}  // namespace korvex
