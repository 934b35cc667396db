// Pictures of marks, as the command line, the C interface and a station draw them (PNG, SVG, PDF
// through cairo). The simulated flatbed scan (picture/scan_render.hpp) stays apart, as it needs
// OpenCV and pictures do not.
#pragma once

#include "picture/mark_picture.hpp"
