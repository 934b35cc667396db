// The simulated machine as hosts and tools take it: the machine (card, clock, model, marks, trace,
// scripted operator, emulated controllers on its serial ports), the emulated controller on a pty of
// its own, and the marks with their summary. What a program that wants a simulated machine includes.
#pragma once

#include "sim/emulated_controller.hpp"
#include "sim/emulated_controller_pty.hpp"
#include "sim/landed_marks.hpp"
#include "sim/marks.hpp"
#include "sim/simulated_machine.hpp"
