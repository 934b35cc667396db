// The machine's text code page (code page 936, GBK, whose codes equal GB2312's) on a UTF-8 system:
// template cell lists written by the layout editor are GBK bytes and are decoded to UTF-8 on reading;
// text layout needs each character's code in the code page. Also the few UTF-8 helpers for
// counting characters (not bytes) in such texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvex {

// Decodes GBK bytes to UTF-8. A byte or byte pair that the code page does not define becomes "?"
// (one "?" per undecodable byte), so a damaged file still reads line by line.
std::string Gbk_to_utf8(std::string_view bytes);

// The code of the first character of `utf8` in code page 936: the byte for a single-byte character
// (0-127), lead byte x 256 + trail byte for a double-byte one. A character the code page cannot hold,
// an empty text or a broken UTF-8 sequence gives the code of "?" (63), never several characters.
uint16_t Code_page_code(std::string_view utf8);

// Bytes of the UTF-8 character that `text` starts with (1 for a stray or broken byte, 0 for "").
std::size_t Utf8_char_bytes(std::string_view text);
// The text from its character number `n` on (0-based, counted as characters); "" when it has fewer.
std::string_view Utf8_from_char(std::string_view text, std::size_t n);

}  // namespace korvex
