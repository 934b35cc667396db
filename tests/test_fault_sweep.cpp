// The fault sweep: each representative host script runs clean once to count its fault points (the
// card's driver calls, or the bytes on the stand-alone controller's line), then once more for every
// point k with the k-th point failing. After every member the card is on its resting page and the
// laser gate is shut (as the machine sees the gate bit); the member the failure hit must end in a
// fault or a message, never in silent success; and once the failure is gone the same object brings
// the machine up and marks again. The sanitizer build checks the same runs for leaks at exit.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>

#include "host_script.hpp"
#include "host_script_runner.hpp"
#include "member_table.hpp"
#include "state/state.hpp"

using namespace korvex;
using namespace korvex::script;

namespace {

enum class Points { card, serial };

struct SweepScript {
    const char* name;
    Points points;
    std::string text;
    std::string setup = "";  // played once, clean, before the sweep (e_Initlize reads every font file)
};

std::string library_folder() {
    const std::string fonts = KORVEX_FONT_DIR;
    return fonts.substr(0, fonts.rfind('/'));
}

const std::string kDirectRecovery =
    "Marking_init_pci 128 0 0 1 0 [0,0,0,0] 1\n"
    "Marking_para 1000 3000 0 0 0 0 10 50 20 100 0\n"
    "marking_start\n"
    "Marking_data [2, 0,0, 1,0, 0]\n";

const std::string kStandaloneJob =
    "Marking_init_pci 0 0 1 0 0 [0x81, 0, 0, 0] 0\n"
    "Marking_para 1000 3000 100 200 300 400 10 50 20 100 300\n"
    "marking_start\n"
    "Marking_data [3, 0,0, 5,0, 5,5, 0]\n"
    "Marking_end 0 0 0 0 0 [0]\n"
    "Marking_end 0 1 3 1 -1 [0]\n";

std::vector<SweepScript> sweep_scripts() {
    const std::string folder = "@folder " + library_folder() + "\n";
    return {
        {"bring-up", Points::card,
         "@folder /nonexistent/korvex-sweep\n"
         "Marking_init_pci 128 0 0 1 0 [0,0,0,0] 1\n"
         "Marking_para 1000 3000 100 200 300 400 3.0 50 20 100 500\n"
         "marking_start\n"
         "port_Out_bit 10 1\n"
         "port_In_Bit 9\n"
         "Marking_DA 2.5 1\n"},
        {"drawing", Points::card,
         "@folder /nonexistent/korvex-sweep\n"
         "Marking_init_pci 128 0 0 1 0 [0,0,0,0] 1\n"
         "Marking_para 1000 3000 0 0 0 0 200 50 20 100 0\n"
         "marking_start\n"
         "Marking_data [3, 0,0, 2,0, 2,2, 2, -1,-1, -1,1, 1, 1,-1, 0]\n"},
        {"template pass", Points::card,
         "e_setPrintInfo \"" + std::string(KORVEX_SOURCE_DIR) + "/tests/golden/eartag_small\"\n"
                  "Marking_para 1000 3000 0 0 0 0 200 50 20 100 0\n"  // 200 um steps keep the pass short
                  "e_PrintEarMark [0x80 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0] "
                  "[\"1\"] [\"2\"] [1 32 32]\n",
         folder + "e_Initlize\n"},
        {"stand-alone download", Points::serial, "@controller 1 emulator\n" + kStandaloneJob},
    };
}

struct RunReport {
    uint64_t points = 0;  // fault points the clean run went through
    std::string problem;  // the first check that did not hold, empty when all held
};

// Plays `text` on a fresh library and machine; with fail_at > 0 the fail_at-th fault point fails.
// Then the failure is gone and the same object runs the recovery job.
// Runs follow each other on the same library state and machine (a fresh 23 MB state per run would
// cost more than the runs), each one after the previous run's recovery.
RunReport sweep_run(SimulatedMachine& machine, const SweepScript& script, uint64_t fail_at) {
    RunReport report;
    const uint64_t calls_before = machine.card().driver_calls();
    std::string text = script.text;
    if (script.points == Points::serial && fail_at > 0) {
        const std::string attach = "@controller 1 emulator";
        text.insert(text.find(attach) + attach.size(), " hang-up-at=" + std::to_string(fail_at));
    }
    {
        ScriptRunner runner(machine);
        if (script.points == Points::card) machine.card().fail_call(fail_at);
        auto failed = [&] {
            if (fail_at == 0) return false;
            if (script.points == Points::card) return !machine.card().failure_pending();
            const EmulatedController* c = machine.serial().emulator(1);
            return c && c->dead();
        };
        // Plays statements; `strict` wants every member to end without a fault (messages such as
        // the missing grid's warning belong to the clean run too).
        auto play = [&](const std::string& lines, bool strict, std::string& last_result) {
            for (const Statement& st : parse_script(lines)) {
                if (!report.problem.empty()) return;
                if (st.kind != Statement::Kind::call) {
                    runner.run_one(st);
                    continue;
                }
                const bool failed_before = failed();
                const std::size_t messages = machine.ui().shown().size();
                bool faulted = false;
                std::vector<Value> args = st.args;
                try {
                    last_result = find_member(st.name)->invoke(runner.current(), args);
                } catch (const Fault& f) {
                    faulted = true;
                    last_result = std::string("fault ") + fault_kind_name(f.kind()) + ": " + f.what();
                }
                const bool told = faulted || machine.ui().shown().size() > messages;
                const std::string at = st.name + " (line " + std::to_string(st.line) + "): ";
                if (!failed_before && failed() && !told) report.problem = at + "success reported after the failure";
                else if (failed() && !strict && st.name == "Marking_end" && last_result == "1")
                    report.problem = at + "download reported done on a line that failed";
                else if (strict && faulted) report.problem = at + "did not recover: " + last_result;
                else if (machine.card().page() != card_reg::kRestPage) report.problem = at + "card left off its resting page";
                else if (machine.gate_emitting()) report.problem = at + "laser gate left open";
            }
        };
        std::string result;
        play(text, fail_at == 0, result);
        if (script.points == Points::card) report.points = machine.card().driver_calls() - calls_before;
        else report.points = static_cast<uint64_t>(machine.serial().emulator(1)->line_bytes());

        // The failure is gone: the same object brings the machine up and marks again.
        machine.card().fail_call(0);
        if (script.points == Points::card) {
            const std::size_t lines_before = machine.marks().size();
            play(kDirectRecovery, true, result);
            const auto marks = machine.marks();
            const bool marked = marks.size() > lines_before && marks.back().kind == Mark::Kind::line;
            if (report.problem.empty() && !marked) report.problem = "recovery: no line marked";
        } else {
            play("@controller 1 emulator\n" + kStandaloneJob, true, result);
            const EmulatedController* c = machine.serial().emulator(1);
            if (report.problem.empty() && (result != "1" || c->runs() != 1 || c->marks().all().empty()))
                report.problem = "recovery: the download did not run (Marking_end " + result + ")";
        }
    }
    return report;
}

// Runs the clean script, then once per fault point; prints the figures docs/reliability.md quotes.
void sweep(const char* name) {
    for (const SweepScript& script : sweep_scripts()) {
        if (std::string(script.name) != name) continue;
        const auto start = std::chrono::steady_clock::now();
        korvex::testing::reset_thread_state();
        SimulatedMachine::Options options;
        options.trace = false;
        SimulatedMachine machine(options);
        if (!script.setup.empty()) {
            ScriptRunner runner(machine);
            runner.run(parse_script(script.setup));
        }
        const RunReport clean = sweep_run(machine, script, 0);
        ASSERT_EQ(clean.problem, "") << script.name << " (clean run)";
        ASSERT_GT(clean.points, 0u) << script.name;
        int problems = 0;
        for (uint64_t k = 1; k <= clean.points; ++k) {
            const RunReport r = sweep_run(machine, script, k);
            if (!r.problem.empty() && ++problems <= 5) ADD_FAILURE() << script.name << ", failure at point " << k << ": " << r.problem;
        }
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::cout << "[ sweep    ] " << script.name << ": " << clean.points << " fault points, " << problems
                  << " failed, " << s << " s\n";
        EXPECT_EQ(problems, 0) << script.name;
        korvex::testing::reset_thread_state();
    }
}

}  // namespace

TEST(FaultSweep, BringUp) { sweep("bring-up"); }
TEST(FaultSweep, Drawing) { sweep("drawing"); }
TEST(FaultSweep, TemplatePass) { sweep("template pass"); }
TEST(FaultSweep, StandaloneDownload) { sweep("stand-alone download"); }

// The two knobs as a script sets them: the N-th driver call fails once and is traced with "fail",
// and the member it hit ends in a device fault; the controller hangs up at the N-th line byte, a
// reply cut before it.
TEST(FaultSweep, KnobsCountAsDocumented) {
    EXPECT_THROW(parse_script("@card fail 0\n"), ScriptError);
    EXPECT_THROW(parse_script("@controller 1 emulator hang-up-at=0\n"), ScriptError);
    korvex::testing::reset_thread_state();
    {
        SimulatedMachine machine;
        ScriptRunner runner(machine);
        runner.run(parse_script("@card fail 3\nMarking_init_pci 128 0 0 1 0 [0,0,0,0] 1\nport_In_Bit 2\n"));
        const auto lines = machine.trace().lines();
        ASSERT_GE(lines.size(), 5u);
        EXPECT_EQ(lines[1], "card open ok");
        EXPECT_NE(lines[3].find(" fail"), std::string::npos) << lines[3];
        bool faulted = false;
        for (const std::string& l : lines) faulted |= l == "fault Marking_init_pci device";
        EXPECT_TRUE(faulted);
        EXPECT_EQ(lines.back(), "result port_In_Bit 0");  // one failure only: the next member works
    }
    korvex::testing::reset_thread_state();

    ControllerOptions options;
    std::string error;
    ASSERT_TRUE(parse_controller_options({"hang-up-at=7"}, options, error)) << error;
    EmulatedController c(options);
    for (int i = 0; i < 5; ++i) c.receive(i == 0 ? 1 : 0, 0.0);  // command 1: reply 55 00 00 00 00
    EmulatedController::Reply reply;
    ASSERT_TRUE(c.pop_reply(reply));
    EXPECT_EQ(reply.bytes, std::vector<uint8_t>{0x55});  // byte 6 went out, byte 7 did not
    EXPECT_TRUE(c.hung_up());
    EXPECT_EQ(c.line_bytes(), 7);
}
