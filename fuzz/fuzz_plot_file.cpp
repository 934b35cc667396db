// libFuzzer harness for the plot file reader: any bytes must parse to a list of commands (or stop
// at a bad character) without reading outside the input; a Fault is an accepted outcome.
#include <cstddef>
#include <cstdint>
#include <span>

#include "korvex/fault.hpp"
#include "template/plot_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::size_t commands = 0;
    try {
        const korvex::PlotEnd end = korvex::Plot_parse(std::span<const uint8_t>(data, size),
                                                       [&](const korvex::PlotCommand&) { ++commands; });
        (void)end;
    } catch (const korvex::Fault&) {
    }
    // Every command begins with a 'P', so there can never be more commands than bytes.
    if (commands > size) __builtin_trap();
    return 0;
}
