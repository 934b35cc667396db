// The station service: the journal's HTTP JSON API and the marking runner thread.
#include "station_serve.hpp"

#include <httplib.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <ostream>
#include <set>
#include <cmath>
#include <sstream>
#include <thread>

#include "core/shown_input.hpp"
#include "job_interrupt.hpp"
#include "plate_live.hpp"
#include "station_run.hpp"
#include "station_templates.hpp"
#include "korvex/template_view.hpp"

namespace korvex::tool {

namespace {

using nlohmann::json;
using station::Actor;
using station::Journal;
using station::StationError;

constexpr std::size_t kMaxBodyBytes = std::size_t{1} << 20;

// A request the service refuses: its HTTP status and message.
struct Refusal {
    int status;
    std::string message;
};

int status_of(StationError::Kind k) {
    switch (k) {
        case StationError::Kind::bad_input: return 400;
        case StationError::Kind::not_found: return 404;
        case StationError::Kind::refused: return 409;
        case StationError::Kind::busy: return 503;
        case StationError::Kind::database: return 500;
    }
    return 500;
}

// The body as a JSON object of only the `allowed` fields.
json body_of(const httplib::Request& req, const std::set<std::string>& allowed) {
    json j = req.body.empty() ? json::object() : json::parse(req.body, nullptr, false);
    if (j.is_discarded() || !j.is_object()) throw Refusal{400, "the body is no JSON object"};
    for (const auto& [key, value] : j.items())
        if (!allowed.contains(key)) throw Refusal{400, "unknown field \"" + Shown_input(key, 64) + "\""};
    return j;
}

std::string text_field(const json& j, const std::string& name, bool required = true) {
    if (!j.contains(name)) {
        if (required) throw Refusal{400, "field \"" + name + "\" is missing"};
        return "";
    }
    if (!j[name].is_string()) throw Refusal{400, "field \"" + name + "\" must be a string"};
    return j[name].get<std::string>();
}

int64_t count_field(const json& j, const std::string& name) {
    if (!j.contains(name) || !j[name].is_number_integer()) throw Refusal{400, "field \"" + name + "\" must be a whole number"};
    return j[name].get<int64_t>();
}

json counts_json(const station::StateCounts& c) {
    json j = json::object();
    for (station::NumberState s : station::kNumberStates) j[station::state_name(s)] = c[s];
    return j;
}

json plate_json(const station::Plate& p) {
    json tags = json::array();
    for (const station::PlateTag& t : p.numbers)
        tags.push_back({{"slot", t.slot}, {"number", t.number}, {"state", station::state_name(t.state)}, {"read_back", t.read_back}});
    return {{"id", p.id},           {"order", p.order_id},     {"seq", p.seq},           {"tags", p.tags},
            {"state", station::state_name(p.state)},  {"template", p.template_name}, {"pool", p.pool},
            {"station", p.station}, {"operator", p.operator_name}, {"claimed_at", p.claimed_at}, {"marked_at", p.marked_at},
            {"read_at", p.read_at}, {"voided_at", p.voided_at}, {"void_reason", p.void_reason}, {"note", p.note},
            {"reprint_of", p.reprint_of}, {"numbers", tags}};
}

json event_json(const station::JournalEvent& e) {
    return {{"id", e.id},           {"at", e.happened_at}, {"kind", e.kind}, {"number", e.number}, {"plate", e.plate_id},
            {"station", e.station}, {"operator", e.operator_name}, {"from", e.from_state}, {"to", e.to_state}, {"note", e.note}};
}

bool loopback(const std::string& host) { return host == "127.0.0.1" || host == "localhost" || host == "::1"; }

class Service {
public:
    Service(const ServeOptions& o, std::ostream& err) : o_(o), err_(err), journal_(Journal::open(o.db)) {}

    void routes(httplib::Server& s, const std::string& token) {
        s.set_payload_max_length(kMaxBodyBytes);
        s.set_pre_routing_handler([token](const httplib::Request& req, httplib::Response& res) {
            if (token.empty() || req.method == "GET") return httplib::Server::HandlerResponse::Unhandled;
            const std::string given = req.get_header_value("Authorization");
            if (given.size() == token.size() + 7 && given.compare(0, 7, "Bearer ") == 0 && equal_in_time(given.substr(7), token))
                return httplib::Server::HandlerResponse::Unhandled;
            reply_error(res, 401, "this request needs the service's token (Authorization: Bearer TOKEN)");
            return httplib::Server::HandlerResponse::Handled;
        });
        get(s, "/api/status", [this](const httplib::Request&) { return status(); });
        get(s, "/api/queue", [this](const httplib::Request&) {
            json j = json::object();
            for (auto st : {station::PlateState::marking, station::PlateState::interrupted, station::PlateState::queued}) {
                json list = json::array();
                for (const station::Plate& p : journal_.plates(st, {}, 200)) list.push_back(plate_json(p));
                j[station::state_name(st)] = list;
            }
            return j;
        });
        get(s, R"(/api/plates/(\d+))", [this](const httplib::Request& r) { return plate_json(journal_.plate(id_of(r))); });
        get(s, "/api/events", [this](const httplib::Request& r) {
            const int64_t after = r.has_param("after") ? std::strtoll(r.get_param_value("after").c_str(), nullptr, 10) : 0;
            json list = json::array();
            for (const station::JournalEvent& e : journal_.events_after(after, 500)) list.push_back(event_json(e));
            return list;
        });
        // Server-sent events, every 50 ms: the journal's changes as they are committed, each one
        // `data: {json}` with its event id, from the event after ?after=N (or the Last-Event-ID a
        // reconnecting browser sends); `event: live` with the plate being marked (its new marks in
        // field mm, machine time, gate) when it changed; `event: message` per station message.
        s.Get("/api/feed", [this](const httplib::Request& req, httplib::Response& res) {
            std::string from = req.has_param("after") ? req.get_param_value("after") : req.get_header_value("Last-Event-ID");
            struct Feed {
                int64_t after = 0;
                LiveCursor cursor;
                int tick = 0;
                std::string last_live;
            };
            const auto feed = std::make_shared<Feed>();
            feed->after = from.empty() || from.size() > 18 || from.find_first_not_of("0123456789") != std::string::npos ? 0 : std::stoll(from);
            res.set_header("Cache-Control", "no-cache");
            res.set_chunked_content_provider("text/event-stream", [this, feed](std::size_t, httplib::DataSink& sink) {
                std::string chunk;
                if (feed->tick++ % 5 == 0) {
                    std::lock_guard lock(mutex_);
                    for (const station::JournalEvent& e : journal_.events_after(feed->after, 200)) {
                        feed->after = e.id;
                        chunk += "id: " + std::to_string(e.id) + "\ndata: " + event_json(e).dump() + "\n\n";
                    }
                }
                const LivePlate::Snapshot now = live_.since(feed->cursor);
                for (const auto& [n, line] : now.new_messages)
                    chunk += "event: message\ndata: " + json{{"n", n}, {"text", line}}.dump(-1, ' ', false, json::error_handler_t::replace) + "\n\n";
                json l = live_json(now);
                const std::string state = l.dump();
                if (!now.new_marks.empty() || state != feed->last_live) {
                    feed->last_live = state;
                    json marks = json::array();
                    for (const LiveMark& m : now.new_marks) {
                        const auto r = [](float v) { return std::round(v * 1000.0) / 1000.0; };
                        marks.push_back(m.dot ? json::array({r(m.x0_mm), r(m.y0_mm)}) : json::array({r(m.x0_mm), r(m.y0_mm), r(m.x1_mm), r(m.y1_mm)}));
                    }
                    l["new_marks"] = marks;
                    l["from_start"] = now.new_marks.size() == now.marks;
                    chunk += "event: live\ndata: " + l.dump() + "\n\n";
                }
                if (chunk.empty() && feed->tick % 20 == 0) chunk = ": idle\n\n";  // finds a closed connection
                if (!chunk.empty() && !sink.write(chunk.data(), chunk.size())) return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                return !quit_.load();
            });
        });
        s.Get("/api/report", [this](const httplib::Request&, httplib::Response& res) {
            std::ostringstream csv;
            {
                std::lock_guard lock(mutex_);
                journal_.write_report_csv(csv);
            }
            res.set_header("Content-Disposition", "attachment; filename=\"report.csv\"");
            res.set_content(csv.str(), "text/csv");
        });
        post(s, "/api/pools", {"name", "owner", "numbers"}, [this](const json& b, const httplib::Request&) {
            std::vector<std::string> numbers;
            try {
                numbers = parse_number_list(text_field(b, "numbers"));
            } catch (const NumberListError& e) {
                throw Refusal{400, e.what()};
            }
            const auto p = journal_.add_numbers(text_field(b, "name"), text_field(b, "owner", false), numbers, who());
            return json{{"name", p.name}, {"counts", counts_json(p.counts)}};
        });
        post(s, "/api/orders", {"pool", "template", "count"}, [this](const json& b, const httplib::Request&) {
            const std::string name = text_field(b, "template");
            const int tags = template_tags_per_plate(station_template_base(o_.templates, name));
            if (tags < 1) throw Refusal{400, "template \"" + Shown_input(name) + "\" has no bar-code cells"};
            const auto order = journal_.add_order({text_field(b, "pool"), name, count_field(b, "count"), tags}, who());
            return json{{"id", order.id}, {"tags", order.tag_count}, {"tags_per_plate", order.tags_per_plate}};
        });
        post(s, R"(/api/plates/(\d+)/void)", {"reason"}, [this](const json& b, const httplib::Request& r) {
            return plate_json(journal_.void_plate(id_of(r), text_field(b, "reason"), who()));
        });
        post(s, R"(/api/plates/(\d+)/confirm)", {}, [this](const json&, const httplib::Request& r) {
            return plate_json(journal_.confirm(id_of(r), who()));
        });
        post(s, R"(/api/plates/(\d+)/reprint)", {}, [this](const json&, const httplib::Request& r) {
            return plate_json(journal_.reprint(id_of(r), who()));
        });
        post(s, "/api/numbers/void", {"numbers", "reason"}, [this](const json& b, const httplib::Request&) {
            if (!b.contains("numbers") || !b["numbers"].is_array()) throw Refusal{400, "field \"numbers\" must be a list of numbers"};
            std::vector<std::string> numbers;
            for (const json& n : b["numbers"]) {
                if (!n.is_string()) throw Refusal{400, "field \"numbers\" must be a list of strings"};
                numbers.push_back(n.get<std::string>());
            }
            journal_.void_numbers(numbers, text_field(b, "reason"), who());
            return json{{"voided", numbers.size()}};
        });
        post(s, "/api/pause", {}, [this](const json&, const httplib::Request&) {
            paused_ = true;
            return json{{"paused", true}};
        });
        // The library's stop: the operator's stop key held in the running call (the library takes
        // it when the laser next switches: the gate closes, the call returns and the plate becomes
        // `interrupted`, held for a decision), and no further plate begun until resumed.
        post(s, "/api/stop", {}, [this](const json&, const httplib::Request&) {
            paused_ = true;
            JobInterrupt::request_stop();
            return json{{"stopping", true}, {"paused", true}};
        });
        post(s, "/api/resume", {}, [this](const json&, const httplib::Request&) {
            paused_ = false;
            return json{{"paused", false}};
        });
    }

    // Marks the queue until quit: between plates it looks at the pause, and while the station
    // holds a plate waiting for a decision it waits for the operator.
    void run_queue() {
        try {
            Journal journal = Journal::open(o_.db);
            StationRunOptions r;
            r.templates = o_.templates;
            r.station = {o_.operator_name, o_.station};
            r.batch.bring_up = BringUp::direct;
            r.batch.pictures = false;
            r.batch.verify = true;
            r.batch.picture.head_steps_per_mm = 0.0;
            r.hold = &paused_;
            r.live = &live_;
            r.batch.real_time = o_.real_time;
            r.plate_s = o_.plate_s;
            LiveMessageBuf messages(err_.rdbuf(), live_);
            std::ostream err(&messages);
            while (!quit_) {
                if (!paused_) {
                    std::ostringstream out;
                    run_station(journal, r, out, err);
                }
                JobInterrupt::clear_stop();  // a stop asked for during that run took effect there, or found nothing marking
                for (int i = 0; i < 10 && !quit_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        } catch (const std::exception& e) {
            err_ << "korvex station serve: the marking runner stopped: " << e.what() << "\n";
        }
    }
    void quit() { quit_ = true; }

private:
    using Answer = std::function<json(const httplib::Request&)>;
    using Change = std::function<json(const json&, const httplib::Request&)>;

    static bool equal_in_time(const std::string& a, const std::string& b) {
        unsigned char diff = 0;
        for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
        return diff == 0;
    }
    static void reply_error(httplib::Response& res, int status, const std::string& message) {
        res.status = status;
        res.set_content(json{{"error", message}}.dump(), "application/json");
    }
    static int64_t id_of(const httplib::Request& r) {
        const std::string digits = r.matches[1];
        if (digits.size() > 18) throw Refusal{404, "no plate " + digits};
        return std::stoll(digits);
    }
    Actor who() const { return {o_.operator_name, ""}; }

    // Each handler runs with the journal to itself; refusals and journal errors become 4xx/5xx.
    template <typename F>
    void answer(httplib::Response& res, F&& f) {
        try {
            std::lock_guard lock(mutex_);
            res.set_content(f().dump(), "application/json");
        } catch (const Refusal& r) {
            reply_error(res, r.status, r.message);
        } catch (const StationError& e) {
            reply_error(res, status_of(e.kind()), Shown_input(e.what(), 400));
        }
    }
    void get(httplib::Server& s, const char* path, Answer f) {
        s.Get(path, [this, f](const httplib::Request& req, httplib::Response& res) { answer(res, [&] { return f(req); }); });
    }
    void post(httplib::Server& s, const char* path, std::set<std::string> allowed, Change f) {
        s.Post(path, [this, f, allowed](const httplib::Request& req, httplib::Response& res) {
            answer(res, [&] { return f(body_of(req, allowed), req); });
        });
    }
    json status() {
        json pools = json::array(), orders = json::array();
        for (const auto& p : journal_.pools()) pools.push_back({{"name", p.name}, {"owner", p.owner}, {"counts", counts_json(p.counts)}});
        for (const auto& o : journal_.orders()) {
            json plates = json::object();
            for (station::PlateState st : station::kPlateStates) plates[station::state_name(st)] = o.plates[static_cast<std::size_t>(st)];
            orders.push_back({{"id", o.id}, {"pool", o.pool}, {"template", o.template_name}, {"tags", o.tag_count}, {"plates", plates}});
        }
        LiveCursor none;
        return {{"station", o_.station}, {"paused", paused_.load()}, {"stopping", JobInterrupt::stop_requested()},
                {"live", live_json(live_.since(none))}, {"pools", pools}, {"orders", orders}};
    }
    static json live_json(const LivePlate::Snapshot& l) {
        return {{"plate", l.plate}, {"run", l.run}, {"tags", l.tags}, {"marking", l.marking}, {"gate", l.gate_emitting ? "open" : "closed"},
                {"machine_us", std::round(l.machine_us)}, {"marks", l.marks}, {"expected_marks", l.expected_marks}};
    }

    const ServeOptions& o_;
    std::ostream& err_;
    std::mutex mutex_;
    Journal journal_;
    std::atomic<bool> paused_{false}, quit_{false};
    LivePlate live_;
};

// The operator page's folder: installed beside the program (BIN/../share/korvex/www, wherever the
// installation was moved), at the configured install path, else the source tree's www/.
std::string operator_page_folder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::vector<std::filesystem::path> places;
    if (!ec) places.push_back(exe.parent_path().parent_path() / "share/korvex/www");
    places.push_back(KORVEX_WWW_INSTALL_DIR);
    places.push_back(KORVEX_WWW_SOURCE_DIR);
    for (const auto& p : places)
        if (std::filesystem::exists(p / "index.html", ec)) return p.string();
    return "";
}

}  // namespace

int serve_station(const ServeOptions& given, std::ostream& out, std::ostream& err) {
    const std::string name = "korvex station serve";
    ServeOptions o = given;
    if (o.www.empty()) o.www = operator_page_folder();
    const std::size_t colon = o.listen.rfind(':');
    std::string host = colon == std::string::npos ? o.listen : o.listen.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    const std::string port_text = colon == std::string::npos ? "" : o.listen.substr(colon + 1);
    if (host.empty() || port_text.empty() || port_text.size() > 5 || port_text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(port_text) > 65535) {
        err << name << ": --listen \"" << Shown_input(o.listen) << "\" is no HOST:PORT\n";
        return 2;
    }
    std::string token;
    if (!o.token_file.empty()) {
        std::ifstream in(o.token_file);
        std::getline(in, token);
        while (!token.empty() && (token.back() == '\r' || token.back() == ' ')) token.pop_back();
        if (token.size() < 16) {
            err << name << ": the token file " << Shown_input(o.token_file, kShownPathChars) << " holds no token of 16 characters or more\n";
            return 2;
        }
    } else if (!loopback(host)) {
        err << name << ": listening on " << Shown_input(host) << " needs --token-file (every mutating request must carry it)\n";
        return 2;
    }
    if (o.demo && o.templates == "." && std::ifstream("examples/eartag_template.nam")) o.templates = "examples";
    try {
        Service service(o, err);
        if (o.demo) {
            Journal j = Journal::open(o.db);
            bool have = false;
            for (const auto& p : j.pools()) have = have || p.name == "demo";
            if (!have) j.add_numbers("demo", "demo farm", parse_number_list("982000000000001..982000000000100"), {o.operator_name, ""});
            station_template_base(o.templates, "eartag_template");
        }
        httplib::Server server;
        service.routes(server, token);
        if (o.www.empty() || !server.set_mount_point("/", o.www))
            err << name << ": the operator page's folder " << (o.www.empty() ? "was not found" : Shown_input(o.www, kShownPathChars) + " cannot be served")
                << "; the API is served alone\n";
        const int port = std::stoi(port_text);
        if (!server.bind_to_port(host, port)) {
            err << name << ": cannot listen on " << Shown_input(o.listen) << "\n";
            return 1;
        }
        out << name << ": the station's page is at http://" << (host.find(':') != std::string::npos ? "[" + host + "]" : host) << ":" << port
            << "/ (journal " << Journal::open(o.db).shown_target() << ", templates " << Shown_input(o.templates, kShownPathChars) << ")"
            << std::endl;
        std::thread runner;
        if (o.run) runner = std::thread([&] { service.run_queue(); });
        server.listen_after_bind();
        service.quit();
        if (runner.joinable()) runner.join();
        return 0;
    } catch (const StationError& e) {
        err << name << ": " << station::station_error_kind_name(e.kind()) << ": " << Shown_input(e.what(), 400) << "\n";
        return e.kind() == StationError::Kind::bad_input ? 2 : 1;
    }
}

}  // namespace korvex::tool
