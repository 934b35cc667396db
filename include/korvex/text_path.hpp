// TextPath: the platform's outline-font renderer. It draws one character of a named face into a
// path, flattens the curves into straight segments and hands back the points with their types,
// plus the character's advance, all in device units of a 2000-point font.
#pragma once

#include <cstdint>
#include <string_view>

#include "korvex/export.h"

namespace korvex {

// A path point: type 6 starts a figure (move to), 2 is a line to, 3 a line to that closes the figure.
struct TextPathPoint {
    int32_t x = 0;
    int32_t y = 0;
    uint8_t type = 0;
};

class KORVEX_API TextPath {
public:
    virtual ~TextPath() = default;
    // Renders `character` (one Unicode character, UTF-8) of face `face_name` (or the platform's
    // substitute) at 2000 points, the top-left of its character cell at (0, 0) and y growing
    // downward. Writes at most `capacity` points into `points` and returns how many points the
    // flattened path has (which may exceed `capacity`); `advance` receives the advance width.
    virtual int32_t character_path(std::string_view face_name, bool bold, bool italic, std::string_view character,
                                   TextPathPoint* points, int32_t capacity, int32_t& advance) = 0;
};

}  // namespace korvex
