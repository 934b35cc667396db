// The options that choose what a job drives and how its thread is scheduled: --card simulated|real
// (KORVEX_CARD in the environment gives the default) and --rt with its priority and core.
#pragma once

#include <CLI/CLI.hpp>

#include <iosfwd>
#include <memory>
#include <string>

#include "korvex/real_time.hpp"

namespace korvex::tool {

struct CardChoice {
    std::string card = "simulated";  // or "real"
    bool real_time_settings = false;
    RealTimeSettings rt;
    bool real() const { return card == "real"; }
};

// KORVEX_CARD as it is set (checked by add_card_option), else "simulated".
std::string card_from_environment();

// --card, defaulting to KORVEX_CARD; a value that is no card, given or from the environment, is
// refused when the command line is read.
void add_card_option(CLI::App* cmd, CardChoice& choice);
// --rt-priority, --rt-cpu, --rt-no-mlock: how the real-time settings are made.
void add_real_time_tuning(CLI::App* cmd, CardChoice& choice);
// --card, --rt and the tuning: the job commands' set.
void add_card_options(CLI::App* cmd, CardChoice& choice);

// Applies the real-time settings for the scope's life when --rt was given (else does nothing) and
// reports each refused setting once on err.
std::unique_ptr<RealTimeScope> enter_real_time(const CardChoice& choice, const std::string& tool, std::ostream& err);

}  // namespace korvex::tool
