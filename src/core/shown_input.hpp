// Input quoted back in a message: a bad token or name is cut to its first 40 characters and its
// control and invalid bytes are written as \xHH, so a huge or binary input never floods or garbles
// the terminal of whoever reads the error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvex {

inline constexpr std::size_t kShownInputChars = 40;
// Paths are quoted longer: a message must still say which file it means.
inline constexpr std::size_t kShownPathMaxChars = 240;

// `text` as it may appear in a message: valid UTF-8 characters other than controls kept, every
// other byte as \xHH, and after `max_chars` characters the rest replaced by "…".
std::string Shown_input(std::string_view text, std::size_t max_chars = kShownInputChars);

}  // namespace korvex
