// `korvex station serve`: the station as a service. An HTTP JSON API under /api/ over the
// production journal (pools, orders, the queue, plates, an operator's decisions, the report) and
// a marking runner thread that marks the queue on the simulated machine, pausable between plates.
// It binds 127.0.0.1 unless told; any other address needs a token file, and every mutating
// request must then carry the token (Authorization: Bearer TOKEN). Requests are checked whole
// before anything changes: a body over 1 MiB, bad JSON, an unknown field, a template outside the
// template folder or numbers outside a pool get a 4xx with a clear message. The operator page
// (www/) is served at /; /api/feed carries the journal's changes and the plate being marked.
#pragma once

#include <iosfwd>
#include <string>

namespace korvex::tool {

struct ServeOptions {
    std::string db;
    std::string listen = "127.0.0.1:8080";
    std::string templates = ".";
    std::string token_file;
    std::string operator_name, station;
    bool demo = false;  // a demo pool and an order's template ready, for a first look
    bool run = true;    // mark the queue (false: the journal's API only)
    bool real_time = false;  // the simulated machine paces with the monotonic clock (a plate takes its machine time)
    double plate_s = 0.0;    // > 0: each plate takes at least this long (wall)
    std::string www;    // the operator page's folder; empty: installed beside the program, else the source tree's
};

int serve_station(const ServeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace korvex::tool
