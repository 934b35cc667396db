// The quoting of strings in trace lines.
#include "platform/trace_lines.hpp"

namespace korvex {

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

}  // namespace korvex
