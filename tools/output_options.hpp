// The output options of every command (--png, --svg, --pdf, --marks, --trace, -o, ...): checked when
// the command line is read, so a device, FIFO or folder given as an output, or a name in a missing
// folder, is refused before any work; and written through one OutputFile each, so nothing but a
// complete regular file ever appears under the name.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <ostream>
#include <string>

namespace korvex::tool {

// Checks an output option's value as the output file will (Output_path_check); with
// standard_output, "-" (standard output) is taken too.
CLI::Validator output_path(bool standard_output = false);
// Checks an option that names a folder outputs go into: it must be an existing folder.
CLI::Validator output_folder();

// Writes a text output: "-" is `out`, any other name an OutputFile filled by `write`. A file that
// cannot be written is said on err as "<tool>: <why>" and gives false.
bool write_text_output(const std::string& path, const char* what, std::ostream& out, std::ostream& err,
                       const std::string& tool, const std::function<void(std::ostream&)>& write);

}  // namespace korvex::tool
