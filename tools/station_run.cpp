// A station marking the journal's queue, order by order.
#include "station_run.hpp"

#include <chrono>
#include <ostream>
#include <thread>

#include "core/shown_input.hpp"
#include "eartag_journal.hpp"
#include "station_templates.hpp"

namespace korvex::tool {

namespace {

// The journal's ledger, and then a wait until the plate has taken plate_s seconds, as a station
// whose machine takes that long would.
class PacedLedger : public JournalLedger {
public:
    PacedLedger(station::Journal& j, const station::Actor& who, const std::string& tmpl, int64_t order, double plate_s,
                const std::atomic<bool>* hold, LivePlate* live)
        : JournalLedger(j, who, tmpl, order), plate_s_(plate_s), hold_(hold), live_(live) {}
    std::optional<std::vector<std::string>> begin_plate(const std::vector<std::string>& planned) override {
        if (hold_ && *hold_) return std::nullopt;
        started_ = std::chrono::steady_clock::now();
        auto begun = JournalLedger::begin_plate(planned);
        if (begun && live_) live_->begin(plate_id(), *begun);
        return begun;
    }
    void plate_marked() override {
        JournalLedger::plate_marked();
        if (plate_s_ > 0) std::this_thread::sleep_until(started_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                                    std::chrono::duration<double>(plate_s_)));
    }

private:
    double plate_s_;
    const std::atomic<bool>* hold_;
    LivePlate* live_;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace

int run_station(station::Journal& journal, const StationRunOptions& o, std::ostream& out, std::ostream& err) {
    const std::string name = "korvex station run";
    const auto held = journal.recover_at_start(o.station);
    for (const station::Plate& p : held)
        err << name << ": station " << Shown_input(o.station.station) << " holds plate " << p.id << " (" << station::state_name(p.state)
            << (p.note.empty() ? "" : ": " + Shown_input(p.note)) << "); decide on it first: korvex station confirm|void --plate " << p.id << "\n";
    if (!held.empty()) return 1;
    int plates = 0;
    while (!(o.hold && *o.hold)) {
        const auto next = journal.plates(station::PlateState::queued, {}, 1);
        if (next.empty()) break;
        const station::Plate& first = next[0];
        EartagOptions batch = o.batch;
        batch.numbers.clear();
        batch.second.clear();
        try {
            batch.base = station_template_base(o.templates, first.template_name);
        } catch (const station::StationError& e) {
            err << name << ": order " << first.order_id << ": " << e.what() << "\n";
            return 2;
        }
        PacedLedger ledger(journal, o.station, first.template_name, first.order_id, o.plate_s, o.hold, o.live);
        batch.ledger = &ledger;
        batch.live = o.live;
        EartagReport report;
        const int status = run_eartag(batch, out, err, &report);
        plates += report.plates_marked;
        if (status != 0) return status;
    }
    out << name << ": station " << Shown_input(o.station.station) << ": " << plates << " plates marked; the queue is empty\n";
    return 0;
}

}  // namespace korvex::tool
