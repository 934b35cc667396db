// Plays a parsed host script against the simulated machine: creates the host objects, calls their
// members, applies directives, and writes call/result/fault lines into the machine's trace.
#pragma once

#include <memory>
#include <vector>

#include "host_script.hpp"
#include "korvex/korvex_dll.hpp"

namespace korvex::script {

class ScriptRunner {
public:
    explicit ScriptRunner(SimulatedMachine& machine);
    ~ScriptRunner();
    void run(const std::vector<Statement>& script);
    void run_one(const Statement& st);
    // The object later calls go to (the last one created).
    korvex_dll& current();

private:
    SimulatedMachine& machine_;
    std::vector<std::unique_ptr<korvex_dll>> objects_;
};

}  // namespace korvex::script
