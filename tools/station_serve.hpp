// `korvex station serve`: the station as a service. An HTTP JSON API under /api/ over the
// production journal (pools, orders, the queue, plates, an operator's decisions, the report) and
// a marking runner thread that marks the queue on the simulated machine, pausable between plates.
// It binds 127.0.0.1 unless told; any other address needs a token file, and every mutating
// request must then carry the token (Authorization: Bearer TOKEN). Requests are checked whole
// before anything changes: a body over 1 MiB, bad JSON, an unknown field, a template outside the
// template folder or numbers outside a pool get a 4xx with a clear message.
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
};

int serve_station(const ServeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace korvex::tool
