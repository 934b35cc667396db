// `korvex station run`: a station that marks the journal's queue on the simulated machine until
// no plate is left: it recovers first (its plates left `marking` become `interrupted`, and while
// it holds one it marks nothing), then takes the queued plates order by order, each order with
// its template from the station's template folder, through the ear-tag batch with the journal as
// its ledger. Several stations on one PostgreSQL journal share the queue.
#pragma once

#include <atomic>
#include <iosfwd>
#include <string>

#include "eartag_batch.hpp"
#include "station/journal.hpp"

namespace korvex::tool {

struct StationRunOptions {
    std::string templates = ".";  // the template folder
    station::Actor station;
    EartagOptions batch;          // how each plate is marked (no numbers: the queue's)
    const std::atomic<bool>* hold = nullptr;  // while set, no plate is begun (a pause between plates)
    double plate_s = 0.0;         // > 0: each plate takes at least this long (wall), a fixed pacing
    LivePlate* live = nullptr;    // the plate being marked, for the operator page
};

// Exit status 0 when the queue is empty, 1 when the station holds plates waiting for a decision
// or a plate failed, 2 for a template the journal names that cannot be used, 130 interrupted.
int run_station(station::Journal& journal, const StationRunOptions& options, std::ostream& out, std::ostream& err);

}  // namespace korvex::tool
