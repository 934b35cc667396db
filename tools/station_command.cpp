// `korvex station`: the production journal from scripts. Every sub-command takes --db, a SQLite
// file (created with its schema when missing) or a postgresql:// URI:
//   pool add NAME LIST [--owner O]     numbers FIRST..LAST, A,B,C or @FILE into a pool
//   order --pool P --template T --count N   an order, cut into plates of the template's tags
//   status / report [--csv FILE]       what the journal holds / one row per number
//   void, confirm, reprint, recover    an operator's decisions on plates and numbers
//   migrate                            bring the database's schema up to date
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "core/shown_input.hpp"
#include "eartag_batch.hpp"
#include "korvex/fault.hpp"
#include "station/journal.hpp"
#include "korvex/template_view.hpp"
#include "station_names.hpp"
#include "station_run.hpp"
#include "station_serve.hpp"
#include "station_templates.hpp"
#include "tool_command.hpp"

namespace korvex::tool {

using station::Actor;
using station::Journal;
using station::StationError;

namespace {

struct StationArgs {
    std::string db, operator_name;
    std::string pool, owner, numbers, template_name, templates = ".", csv, reason, station;
    int64_t count = 0, plate = 0;
    int tags_per_plate = 0;
    double plate_s = 0.0;
    bool verify = false;
    ServeOptions serve;
};

std::string counts_text(const station::StateCounts& c) {
    std::string s;
    for (station::NumberState st : station::kNumberStates)
        if (c[st]) s += (s.empty() ? "" : ", ") + std::to_string(c[st]) + " " + station::state_name(st);
    return s.empty() ? "none" : s;
}

std::string plate_line(const station::Plate& p) {
    std::string s = "plate " + std::to_string(p.id) + " (order " + std::to_string(p.order_id) + ", plate " + std::to_string(p.seq) +
                    ", template " + Shown_input(p.template_name) + ")";
    if (!p.station.empty()) s += " on station " + Shown_input(p.station);
    if (!p.claimed_at.empty()) s += " since " + p.claimed_at;
    std::string numbers;
    for (const station::PlateTag& t : p.numbers) numbers += (numbers.empty() ? "" : ", ") + t.number;
    return s + (numbers.empty() ? "" : ": " + numbers);
}

void print_status(Journal& j, std::ostream& out) {
    out << "journal " << j.shown_target() << " (" << (j.backend() == station::Backend::sqlite ? "SQLite" : "PostgreSQL") << ", schema "
        << j.schema_version() << ")\n";
    const auto pools = j.pools();
    out << "pools:" << (pools.empty() ? " none" : "") << "\n";
    for (const auto& p : pools)
        out << "  " << Shown_input(p.name) << (p.owner.empty() ? "" : " (" + Shown_input(p.owner) + ")") << ": " << p.counts.total()
            << " numbers: " << counts_text(p.counts) << "\n";
    const auto orders = j.orders();
    out << "orders:" << (orders.empty() ? " none" : "") << "\n";
    for (const auto& o : orders) {
        out << "  order " << o.id << ": " << o.tag_count << " tags of pool " << Shown_input(o.pool) << ", template "
            << Shown_input(o.template_name) << ", " << o.tags_per_plate << " a plate; plates:";
        for (station::PlateState st : station::kPlateStates)
            if (o.plates[static_cast<std::size_t>(st)]) out << " " << o.plates[static_cast<std::size_t>(st)] << " " << station::state_name(st);
        out << "\n";
    }
    for (const auto& p : j.plates(station::PlateState::marking)) out << "being marked: " << plate_line(p) << "\n";
    for (const auto& p : j.plates(station::PlateState::interrupted))
        out << "waiting for a decision (confirm or void): " << plate_line(p) << "\n";
}

// Writes the CSV beside FILE first and renames it over FILE once whole ("-": standard output).
void write_csv(Journal& j, const std::string& file, const std::optional<std::string>& pool) {
    if (file == "-") {
        j.write_report_csv(std::cout, pool);
        return;
    }
    const std::string partial = file + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (!out) throw StationError(StationError::Kind::bad_input, "cannot write " + Shown_input(partial, 200));
        j.write_report_csv(out, pool);
        out.flush();
        if (!out) throw StationError(StationError::Kind::database, "writing " + Shown_input(partial, 200) + " failed");
    }
    std::error_code ec;
    std::filesystem::rename(partial, file, ec);
    if (ec) throw StationError(StationError::Kind::database, "cannot rename " + Shown_input(partial, 200) + ": " + ec.message());
}

// The template's tags a plate, from TEMPLATES/NAME (a name inside the folder, no way out of it).
int tags_of_template(const StationArgs& a) {
    const std::string base = station_template_base(a.templates, a.template_name);
    const int tags = template_tags_per_plate(base);
    if (tags < 1) throw StationError(StationError::Kind::bad_input, "template " + Shown_input(base, 200) + " has no bar-code cells");
    return tags;
}

}  // namespace

ToolCommand add_station_command(CLI::App& app) {
    auto a = std::make_shared<StationArgs>();
    a->operator_name = default_operator();
    ToolCommand c;
    c.sub = app.add_subcommand("station", "The production journal: pools of numbers, orders, plates, decisions and reports");
    c.sub->require_subcommand(1);
    const auto add = [&](CLI::App* parent, const char* name, const char* help) {
        CLI::App* s = parent->add_subcommand(name, help);
        s->add_option("--db", a->db, "the journal: a SQLite file, or a postgresql:// URI")->required();
        s->add_option("--operator", a->operator_name, "who does this (default: KORVEX_OPERATOR or the login name)");
        return s;
    };
    CLI::App* pool = c.sub->add_subcommand("pool", "Pools of numbers");
    pool->require_subcommand(1);
    CLI::App* pool_add = add(pool, "add", "Add numbers to a pool (created when missing)");
    pool_add->add_option("NAME", a->pool, "pool name")->required();
    pool_add->add_option("NUMBERS", a->numbers, "FIRST..LAST (leading zeros kept), A,B,C, or @FILE (one or more a line, '#' comments)")->required();
    pool_add->add_option("--owner", a->owner, "whose numbers these are");
    CLI::App* order = add(c.sub, "order", "Queue an order: COUNT tags of a template with numbers of a pool");
    order->add_option("--pool", a->pool, "pool name")->required();
    order->add_option("--template", a->template_name, "template name in the template folder (NAME.mc1 / NAME.nam)")->required();
    order->add_option("--count", a->count, "number of tags")->required()->check(CLI::Range(int64_t{1}, int64_t{1'000'000}));
    order->add_option("--templates", a->templates, "the template folder")->capture_default_str();
    order->add_option("--tags-per-plate", a->tags_per_plate, "tags a plate (default: the template's bar-code cells)")
        ->check(CLI::Range(1, 101));
    CLI::App* status = add(c.sub, "status", "Pools, orders, plates being marked and plates waiting for a decision");
    CLI::App* report = add(c.sub, "report", "Numbers per pool and state; with --csv one row per number");
    report->add_option("--csv", a->csv, "write every number (state, plate, station, times, read-back) to FILE ('-': standard output)");
    report->add_option("--pool", a->pool, "only this pool");
    CLI::App* void_cmd = add(c.sub, "void", "Void a plate (its tags are scrap) or numbers (never to be marked)");
    void_cmd->add_option("--plate", a->plate, "plate id");
    void_cmd->add_option("--numbers", a->numbers, "numbers: FIRST..LAST, A,B,C or @FILE");
    void_cmd->add_option("--reason", a->reason, "why (kept with every number)")->required();
    CLI::App* confirm = add(c.sub, "confirm", "An interrupted plate was marked after all: set it marked (verify it next)");
    confirm->add_option("--plate", a->plate, "plate id")->required();
    CLI::App* reprint = add(c.sub, "reprint", "Queue a plate's unreadable tags again with new numbers (the old ones voided)");
    reprint->add_option("--plate", a->plate, "plate id")->required();
    CLI::App* recover = add(c.sub, "recover", "What a station does at start: its plates still being marked become interrupted");
    recover->add_option("--station", a->station, "station name")->required();
    CLI::App* run = add(c.sub, "run", "Mark the queued plates on the simulated machine until the queue is empty");
    a->station = default_station();
    run->add_option("--station", a->station, "this station's name (default: KORVEX_STATION or the host name)");
    run->add_option("--templates", a->templates, "the template folder")->capture_default_str();
    run->add_flag("--verify", a->verify, "read every code back from the simulated marks and record it");
    run->add_option("--plate-s", a->plate_s, "each plate takes at least this many seconds (a fixed pacing)")->check(CLI::Range(0.0, 3600.0));
    CLI::App* serve = add(c.sub, "serve", "The station as a service: the journal's HTTP JSON API and a runner marking the queue");
    serve->add_option("--listen", a->serve.listen, "HOST:PORT (an address other than the loopback needs --token-file)")->capture_default_str();
    serve->add_option("--templates", a->templates, "the template folder (orders name templates inside it only)");
    serve->add_option("--token-file", a->serve.token_file, "a file whose first line is the token mutating requests must carry");
    serve->add_option("--station", a->station, "this station's name (default: KORVEX_STATION or the host name)");
    serve->add_flag("--demo", a->serve.demo, "add a demo pool of 100 numbers; the templates default to ./examples");
    serve->add_flag("--real-time", a->serve.real_time, "pace the simulated machine with the monotonic clock (a plate takes its machine time)");
    serve->add_option("--plate-s", a->serve.plate_s, "each plate takes at least this many seconds (a fixed pacing)")->check(CLI::Range(0.0, 3600.0));
    serve->add_option("--www", a->serve.www, "the operator page's folder (default: the installed one, else the source tree's www/)");
    serve->add_flag("--no-run", [a](int64_t) { a->serve.run = false; }, "do not mark (the journal's API only)");
    CLI::App* migrate = add(c.sub, "migrate", "Bring the journal's schema up to date (creates it in an empty database)");

    c.run = [a, pool_add, order, status, report, void_cmd, confirm, reprint, recover, run, serve, migrate] {
        std::ostream& out = std::cout;
        const std::string name = "korvex station";
        const Actor who{a->operator_name, ""};
        try {
            if (*migrate) {
                Journal j = Journal::open(a->db, {.create = false, .require_current = false});
                const auto r = j.migrate();
                out << "journal " << j.shown_target() << ": schema version " << r.from_version
                    << (r.from_version == r.to_version ? ", up to date" : " -> " + std::to_string(r.to_version)) << "\n";
                return 0;
            }
            if (*serve) {
                ServeOptions o = a->serve;
                o.db = a->db;
                o.templates = a->templates;
                o.operator_name = a->operator_name;
                o.station = a->station;
                return serve_station(o, out, std::cerr);
            }
            Journal j = Journal::open(a->db);
            if (*pool_add) {
                const auto s = j.add_numbers(a->pool, a->owner, parse_number_list(a->numbers), who);
                out << "pool " << Shown_input(s.name) << ": " << s.counts.total() << " numbers: " << counts_text(s.counts) << "\n";
            } else if (*order) {
                const int tags = a->tags_per_plate ? a->tags_per_plate : tags_of_template(*a);
                const auto o = j.add_order({a->pool, a->template_name, a->count, tags}, who);
                out << "order " << o.id << ": " << o.tag_count << " tags of pool " << Shown_input(o.pool) << " on "
                    << o.plates[static_cast<std::size_t>(station::PlateState::queued)] << " plates of " << o.tags_per_plate << "\n";
            } else if (*status) {
                print_status(j, out);
            } else if (*report) {
                const std::optional<std::string> pool = a->pool.empty() ? std::nullopt : std::optional(a->pool);
                if (!a->csv.empty()) {
                    write_csv(j, a->csv, pool);
                } else {
                    for (const auto& p : j.pools())
                        if (!pool || p.name == *pool)
                            out << Shown_input(p.name) << ": " << p.counts.total() << " numbers: " << counts_text(p.counts) << "\n";
                }
            } else if (*void_cmd) {
                if ((a->plate != 0) == !a->numbers.empty())
                    throw StationError(StationError::Kind::bad_input, "give either --plate or --numbers");
                if (a->plate) {
                    const station::Plate p = j.void_plate(a->plate, a->reason, who);
                    out << "voided " << plate_line(p) << "\n";
                } else {
                    const auto numbers = parse_number_list(a->numbers);
                    j.void_numbers(numbers, a->reason, who);
                    out << "voided " << numbers.size() << " number" << (numbers.size() == 1 ? "" : "s") << "\n";
                }
            } else if (*confirm) {
                const station::Plate p = j.confirm(a->plate, who);
                out << "marked: " << plate_line(p) << "\n";
            } else if (*reprint) {
                const station::Plate p = j.reprint(a->plate, who);
                out << "queued " << plate_line(p) << "\n";
            } else if (*run) {
                StationRunOptions r;
                r.templates = a->templates;
                r.station = {a->operator_name, a->station};
                r.batch.bring_up = BringUp::direct;  // no MarkConfig from whatever folder the station started in
                r.batch.pictures = false;
                r.batch.picture.head_steps_per_mm = 0.0;  // the template's
                r.batch.verify = a->verify;
                r.plate_s = a->plate_s;
                return run_station(j, r, out, std::cerr);
            } else if (*recover) {
                const auto held = j.recover_at_start({a->operator_name, a->station});
                out << "station " << Shown_input(a->station) << ": " << held.size() << " plate" << (held.size() == 1 ? "" : "s")
                    << " waiting for a decision\n";
                for (const auto& p : held) out << "  " << plate_line(p) << "\n";
            }
            return 0;
        } catch (const StationError& e) {
            std::cerr << name << ": " << station::station_error_kind_name(e.kind()) << ": " << Shown_input(e.what(), 400) << "\n";
            return e.kind() == StationError::Kind::bad_input ? 2 : 1;
        } catch (const NumberListError& e) {
            std::cerr << name << ": bad input: " << e.what() << "\n";
            return 2;
        }
    };
    return c;
}

}  // namespace korvex::tool
