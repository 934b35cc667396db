// --card and --rt for the job commands and the latency check.
#include "card_options.hpp"

#include <cstdlib>
#include <ostream>

#include "cli_ranges.hpp"
#include "core/shown_input.hpp"

namespace korvex::tool {

namespace {

constexpr const char* kCardVariable = "KORVEX_CARD";

bool is_card_name(const std::string& name) { return name == "simulated" || name == "real"; }

std::string not_a_card(const std::string& name) { return "\"" + Shown_input(name) + "\" is no card: simulated or real"; }

}  // namespace

std::string card_from_environment() {
    const char* v = std::getenv(kCardVariable);
    return v && *v ? v : "simulated";
}

void add_card_option(CLI::App* cmd, CardChoice& c) {
    c.card = card_from_environment();
    CLI::Option* option =
        cmd->add_option("--card", c.card, "the card to drive: simulated, or real (the CH365 card; default from KORVEX_CARD)")
            ->check(CLI::Validator([](std::string& v) { return is_card_name(v) ? std::string() : not_a_card(v); }, "CARD"))
            ->capture_default_str();
    // The environment's choice, when the command line leaves it, is checked as strictly: a
    // misspelt KORVEX_CARD must not quietly mean the simulated card.
    cmd->callback([option, &c] {
        if (option->count() == 0 && !is_card_name(c.card)) throw CLI::ValidationError(kCardVariable, not_a_card(c.card));
    });
}

void add_real_time_tuning(CLI::App* cmd, CardChoice& c) {
    cmd->add_option("--rt-priority", c.rt.fifo_priority, "SCHED_FIFO priority of the real-time settings, 1-99")
        ->check(in_range(1, 99))
        ->capture_default_str();
    cmd->add_option("--rt-cpu", c.rt.cpu, "core the real-time settings pin to (default: the last online core)")
        ->check(in_range(0));
    cmd->add_flag("--rt-no-mlock", [&c](int64_t) { c.rt.lock_memory = false; }, "real-time settings without locking memory");
}

void add_card_options(CLI::App* cmd, CardChoice& c) {
    add_card_option(cmd, c);
    cmd->add_flag("--rt", c.real_time_settings,
                  "real-time settings for the job: SCHED_FIFO, memory locked, pinned to one core (each where permitted)");
    add_real_time_tuning(cmd, c);
}

std::unique_ptr<RealTimeScope> enter_real_time(const CardChoice& c, const std::string& tool, std::ostream& err) {
    if (!c.real_time_settings) return nullptr;
    auto scope = std::make_unique<RealTimeScope>(c.rt);
    for (const std::string& refusal : scope->outcome().refusals) err << tool << ": " << refusal << "; going on without it\n";
    for (const std::string& warning : scope->outcome().warnings) err << tool << ": " << warning << "\n";
    return scope;
}

}  // namespace korvex::tool
