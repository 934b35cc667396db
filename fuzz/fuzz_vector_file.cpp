// libFuzzer harness for the vector files of `korvex mark`: the input is the file's text, read into
// an md array by parse_vector_text and walked by describe_drawing, as the tool does before marking.
// A VectorFileError naming a line of the file is the accepted outcome for a bad file; a drawing
// must account for every record it read.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vector_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const std::vector<double> md = korvex::tool::parse_vector_text(text, "fuzz.md");
        if (md.size() > size) __builtin_trap();  // every number takes at least one byte
        const korvex::tool::Drawing d = korvex::tool::describe_drawing(md);
        if (d.polylines.size() + d.dots.size() != d.records) __builtin_trap();
        if (d.complete != d.problem.empty()) __builtin_trap();
    } catch (const korvex::tool::VectorFileError& e) {
        if (e.line() < 1 || static_cast<std::size_t>(e.line()) > size) __builtin_trap();
    }
    return 0;
}
