// `korvex template show BASE`: what a marking template will do, before marking with it: the pens
// its cells use, the hardware values it changes, its zone rows and every cell with its kind, tag,
// text, place, size, pen and option bits, and how the print set-up sorts the cells.
#pragma once

#include <ostream>
#include <string>

namespace korvex::tool {

// Loads the template at `base` (a trailing ".mc1" or ".nam" is dropped) into a private machine
// state on a simulated card and prints it to `out`. Returns 0, or 1 (message on `err`) when
// neither file of the pair exists or the machine file is damaged (records not taken over).
int template_show(const std::string& base, std::ostream& out, std::ostream& err);

}  // namespace korvex::tool
