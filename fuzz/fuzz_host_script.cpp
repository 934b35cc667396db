// libFuzzer harness for host scripts: the input is a `korvex run` script, parsed whole by
// parse_script as the runner does before running anything; every argument of every statement is
// then printed the way the trace prints it. A ScriptError naming a line of the script is the
// accepted outcome for a bad script; any other exception or a crash is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host_script.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const std::vector<korvex::script::Statement> script = korvex::script::parse_script(text);
        for (const korvex::script::Statement& st : script) {
            if (st.line < 1 || static_cast<std::size_t>(st.line) > size) __builtin_trap();
            for (const korvex::script::Value& v : st.args) (void)korvex::script::format_value(v);
        }
    } catch (const korvex::script::ScriptError& e) {
        if (e.line() < 1 || static_cast<std::size_t>(e.line()) > size + 1) __builtin_trap();
    }
    return 0;
}
