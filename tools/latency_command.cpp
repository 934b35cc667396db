// korvex latency: whether this PC can pace a galvo. It spins against the stepping cycle the library
// would use (a given period, or the one a speed and step size give), once plainly and once with
// the real-time settings, and prints how late the cycles ended (p50, p99, p99.9, max) and the
// measured / planned time. With the real card it makes each step's card writes too.
#include <cmath>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "card_options.hpp"
#include "cli_ranges.hpp"
#include "korvex/fault.hpp"
#include "korvex/machine_view.hpp"
#include "mark_command.hpp"
#include "platform/ch365_card.hpp"
#include "platform/monotonic_clock.hpp"
#include "platform/spin_pacing.hpp"
#include "tool_command.hpp"

namespace korvex::tool {

namespace {

struct LatencyOptions {
    double period_us = 14.0;  // the scanner's update budget, the shortest cycle the library plans
    float speed_mm_s = 0.0f;  // > 0: the cycle of this speed and the step size instead
    double step_um = 10.0;
    double seconds = 2.0;     // per run
    CardChoice card;
};

// The fewest cycles a run measures.
constexpr double kMinCycles = 1000.0;

// The cycle is held when no step ended a whole cycle late (a dwell the laser would burn in) and
// the job's time stays within 1% of its plan.
bool holds(const SpinPacing& r) { return r.max_us < r.period_us && r.ratio() <= 1.01; }

void print_run(const char* name, const SpinPacing& r, std::ostream& out) {
    out << name << " lateness p50 " << format_number(r.p50_us, 2) << " us, p99 " << format_number(r.p99_us, 2)
        << " us, p99.9 " << format_number(r.p999_us, 2) << " us, max " << format_number(r.max_us, 2)
        << " us; measured/planned " << format_number(r.ratio(), 5) << " (" << r.cycles << " cycles)\n";
}

// Microseconds per card write, from a burst of step writes.
double card_write_us(IoCard& card) {
    MonotonicClock clock;
    constexpr int kSteps = 2000;
    const uint64_t t0 = clock.counter();
    for (int i = 0; i < kSteps; ++i) Step_card_writes(card);
    return static_cast<double>(clock.counter() - t0) / 1000.0 / (kSteps * kCardWritesPerCycle);
}

int run_latency(LatencyOptions o, std::ostream& out, std::ostream& err) {
    if (o.speed_mm_s > 0.0f) {
        try {
            o.period_us = planned_step_cycle(static_cast<float>(1000.0 / o.step_um), o.speed_mm_s, "--speed").period_us;
        } catch (const Fault& f) {
            err << "korvex latency: no stepping cycle for that speed and step size: " << f.what() << "\n";
            return 2;
        }
    }
    if (!(o.period_us >= 1.0 && o.period_us <= 1e6) || !(o.seconds > 0.0 && o.seconds <= 3600.0)) {
        err << "korvex latency: the cycle must be 1 us to 1 s and the run up to an hour\n";
        return 2;
    }
    // Fewer cycles say nothing of the 99.9th percentile.
    if (o.seconds * 1e6 / o.period_us < kMinCycles) {
        err << "korvex latency: a run of " << plain_number(o.seconds) << " s holds fewer than " << kMinCycles << " cycles of "
            << format_number(o.period_us, 0) << " us; give --seconds " << plain_number(kMinCycles * o.period_us / 1e6)
            << " or more\n";
        return 2;
    }
    std::unique_ptr<Ch365Card> card;
    std::string card_note = "none (the loop alone)";
    if (o.card.real()) {
        card = std::make_unique<Ch365Card>();
        if (card->open()) {
            Spin_card_rest(*card);
            card_note = card->found().address + " by " + access_name(card->access()) + ", " +
                        format_number(card_write_us(*card), 3) + " us a write, " + std::to_string(kCardWritesPerCycle) +
                        " writes a cycle";
        } else {
            card_note = "none: " + card->failure() + "; measuring the loop alone";
            card.reset();
        }
    }
    const auto cycles = static_cast<uint64_t>(std::ceil(o.seconds * 1e6 / o.period_us));
    out << "korvex latency: stepping cycle " << format_number(o.period_us, 0) << " us, " << format_number(o.seconds, 1)
        << " s a run; card: " << card_note << "\n";
    std::vector<float> lateness;
    lateness.reserve(cycles);
    const SpinPacing plain = Spin_pacing(o.period_us, cycles, card.get(), lateness);
    print_run("plain:    ", plain, out);
    SpinPacing rt;
    {
        RealTimeScope scope(o.card.rt);
        for (const std::string& refusal : scope.outcome().refusals) out << "real-time: " << refusal << "\n";
        for (const std::string& warning : scope.outcome().warnings) out << "real-time: " << warning << "\n";
        rt = Spin_pacing(o.period_us, cycles, card.get(), lateness);
    }
    print_run("real-time:", rt, out);
    const std::string cycle = format_number(o.period_us, 0) + " us cycle";
    if (holds(plain) || holds(rt)) {
        out << "verdict: this PC can hold the " << cycle
            << (holds(plain) ? " even without the real-time settings\n" : " with the real-time settings (--rt)\n");
        return 0;
    }
    const SpinPacing& best = rt.max_us <= plain.max_us ? rt : plain;
    out << "verdict: this PC cannot hold the " << cycle << ": at best a step ended " << format_number(best.max_us, 1)
        << " us late (" << format_number(best.max_us / o.period_us, 1) << " cycles) and the job took "
        << format_number(best.ratio(), 4) << " x its plan\n";
    return 1;
}

}  // namespace

ToolCommand add_latency_command(CLI::App& app) {
    auto o = std::make_shared<LatencyOptions>();
    ToolCommand c;
    c.sub = app.add_subcommand("latency", "Check whether this PC can pace the stepping cycle (plain and real-time)");
    c.sub->footer(
        "Exit status 0 when the cycle is held (no step a whole cycle late, time within 1% of plan), 1 when not.");
    c.sub->add_option("--period-us", o->period_us, "stepping cycle, us")->check(in_range(1, 1e6))->capture_default_str();
    c.sub->add_option("--speed", o->speed_mm_s, "marking speed, mm/s: use the cycle the library plans for it")
        ->check(more_than(0));
    c.sub->add_option("--step-um", o->step_um, "D/A step size with --speed, micrometres")
        ->check(more_than(0))
        ->capture_default_str();
    c.sub->add_option("--seconds", o->seconds, "length of each run, s (at least 1000 cycles)")
        ->check(more_than(0, 3600))
        ->capture_default_str();
    add_card_option(c.sub, o->card);
    add_real_time_tuning(c.sub, o->card);
    c.run = [o] { return run_latency(*o, std::cout, std::cerr); };
    return c;
}

}  // namespace korvex::tool
