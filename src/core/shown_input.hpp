// Input quoted back in a message: a bad token or name is cut to its first 40 characters and its
// control and invalid bytes are written as \xHH, so a huge or binary input never floods or garbles
// the terminal of whoever reads the error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvex {

inline constexpr std::size_t kShownInputChars = 40;
// File names are quoted back whole up to this length.
inline constexpr std::size_t kShownPathChars = 240;
// Messages that can quote input (a fault's text) are shown up to this length; a whole bad file is
// never echoed.
inline constexpr std::size_t kShownMessageChars = 400;

// `text` as it may appear in a message: valid UTF-8 characters other than controls kept, every
// other byte as \xHH, and after `max_chars` characters the rest replaced by "…".
std::string Shown_input(std::string_view text, std::size_t max_chars = kShownInputChars);

}  // namespace korvex
