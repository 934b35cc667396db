// run_guarded: the catch clauses every subcommand runs under.
#include "guarded_command.hpp"

#include <exception>

#include "core/shown_input.hpp"
#include "korvex/fault.hpp"

namespace korvex::tool {

int run_guarded(const std::string& name, std::ostream& err, const std::function<int()>& command) {
    try {
        return command();
    } catch (const Fault& f) {
        err << name << ": " << fault_kind_name(f.kind()) << " fault: " << Shown_input(f.what(), kShownMessageChars) << "\n";
    } catch (const std::exception& e) {
        err << name << ": error: " << Shown_input(e.what(), kShownMessageChars) << "\n";
    } catch (...) {
        err << name << ": error of an unknown kind\n";
    }
    return kEscapedFaultStatus;
}

}  // namespace korvex::tool
