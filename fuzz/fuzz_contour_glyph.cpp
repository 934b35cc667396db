// libFuzzer harness for contour font files: the whole input is the font file, its first two bytes
// (little-endian) the character code measured. Every offset and count comes from the input, so
// any read outside it must become a Fault, never a stray read.
#include <cstddef>
#include <cstdint>
#include <span>

#include "font/contour_glyph.hpp"
#include "korvex/fault.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const uint16_t code = static_cast<uint16_t>(data[0] | data[1] << 8);
    try {
        const korvex::GlyphBox box = korvex::Contour_glyph_box(std::span<const uint8_t>(data, size), code);
        if (box.width < 0.0 || box.height < 0.0) __builtin_trap();
    } catch (const korvex::Fault&) {
    }
    return 0;
}
