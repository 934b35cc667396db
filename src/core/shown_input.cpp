// Quoting input back in messages: UTF-8 decoding just far enough to tell a printable character
// from a control or a stray byte.
#include "core/shown_input.hpp"

#include <cstdint>

namespace korvex {

namespace {

// Length of the valid UTF-8 sequence at text[at] that encodes a printable character, or 0.
std::size_t printable_length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t b = byte(at);
    if (b < 0x80) return b >= 0x20 && b != 0x7F ? 1 : 0;
    std::size_t n;
    uint32_t cp;
    if (b >= 0xC2 && b <= 0xDF) n = 2, cp = b & 0x1Fu;
    else if (b >= 0xE0 && b <= 0xEF) n = 3, cp = b & 0x0Fu;
    else if (b >= 0xF0 && b <= 0xF4) n = 4, cp = b & 0x07u;
    else return 0;
    if (text.size() - at < n) return 0;
    for (std::size_t i = 1; i < n; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (byte(at + i) & 0x3Fu);
    }
    const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    const bool c1_control = cp >= 0x80 && cp <= 0x9F;
    if (overlong || surrogate || c1_control || cp > 0x10FFFF) return 0;
    return n;
}

}  // namespace

std::string Shown_input(std::string_view text, std::size_t max_chars) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    std::size_t chars = 0, at = 0;
    while (at < text.size()) {
        if (chars == max_chars) {
            out += "\xE2\x80\xA6";  // …
            break;
        }
        if (const std::size_t n = printable_length(text, at)) {
            out.append(text, at, n);
            at += n;
        } else {
            const auto b = static_cast<uint8_t>(text[at++]);
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        }
        ++chars;
    }
    return out;
}

}  // namespace korvex
