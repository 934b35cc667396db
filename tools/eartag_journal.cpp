// The ear-tag batch's journal: the numbers sorted before the machine is touched, the plates
// recorded write-ahead while it marks.
#include "eartag_journal.hpp"

#include <ostream>
#include <unordered_map>

#include "core/shown_input.hpp"

namespace korvex::tool {

using station::NumberState;

std::optional<std::vector<std::string>> JournalLedger::begin_plate(const std::vector<std::string>& planned) {
    station::Plate p;
    if (planned.empty()) {
        auto claimed = journal_.claim(station_, order_);
        if (!claimed) return std::nullopt;
        p = std::move(*claimed);
    } else {
        p = journal_.claim_numbers(station_, template_name_, planned);
    }
    plate_id_ = p.id;
    std::vector<std::string> numbers;
    for (const station::PlateTag& t : p.numbers) numbers.push_back(t.number);
    return numbers;
}

void JournalLedger::plate_marked() { journal_.mark_done(plate_id_, station_); }

void JournalLedger::plate_stopped(const std::string& why) {
    journal_.interrupt(plate_id_, why.empty() ? "the print pass did not return" : Shown_input(why, 400), station_);
}

void JournalLedger::tag_read(int slot, const std::string& read) { journal_.record_read_back(plate_id_, slot, read, station_); }

BatchNumbers prepare_batch(station::Journal& journal, const station::Actor& who, const std::string& pool,
                           const std::vector<std::string>& numbers, const std::vector<std::string>& second) {
    BatchNumbers b;
    b.held = journal.recover_at_start(who);
    std::unordered_map<std::string, station::NumberRecord> known;
    for (station::NumberRecord& r : journal.find_numbers(numbers)) known.emplace(r.number, std::move(r));
    std::vector<std::string> fresh;
    for (const std::string& n : numbers)
        if (!known.contains(n)) fresh.push_back(n);
    if (!fresh.empty()) journal.add_numbers(pool, "", fresh, who);
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const auto it = known.find(numbers[i]);
        if (it == known.end() || it->second.state == NumberState::free) {
            b.to_mark.push_back(numbers[i]);
            if (!second.empty()) b.second.push_back(second[i]);
            continue;
        }
        const station::NumberRecord& r = it->second;
        const std::string where = "plate " + std::to_string(r.plate_id) + (r.station.empty() ? "" : ", station " + Shown_input(r.station));
        std::string why;
        switch (r.state) {
            case NumberState::marked:
            case NumberState::verified:
            case NumberState::unreadable:
                why = "already marked " + r.marked_at + " (" + where + ", " + station::state_name(r.state) + ")";
                break;
            case NumberState::voided:
                why = "voided " + r.voided_at + " by " + Shown_input(r.voided_by) + ": " + Shown_input(r.void_reason);
                break;
            case NumberState::interrupted:
                why = "interrupted on " + where + ", waiting for an operator's decision (korvex station confirm or void)";
                break;
            default:
                why = std::string(station::state_name(r.state)) + " on " + where + " since " + r.reserved_at;
                break;
        }
        b.skipped.push_back(r.number + ": " + why);
    }
    return b;
}

int run_eartag_journal(EartagOptions o, const JournalChoice& choice, std::ostream& out, std::ostream& err) {
    constexpr std::size_t kSkippedLines = 20;
    try {
        station::Journal journal = station::Journal::open(choice.target);
        const station::Actor who{choice.operator_name, choice.station};
        BatchNumbers b = prepare_batch(journal, who, choice.pool, o.numbers, o.second);
        for (std::size_t i = 0; i < b.skipped.size() && i < kSkippedLines; ++i) err << "korvex eartag: not marked again: " << b.skipped[i] << "\n";
        if (b.skipped.size() > kSkippedLines) err << "korvex eartag: ... and " << b.skipped.size() - kSkippedLines << " more numbers not marked again\n";
        for (const station::Plate& p : b.held)
            err << "korvex eartag: station " << Shown_input(who.station) << " holds plate " << p.id << " (" << station::state_name(p.state)
                << (p.note.empty() ? "" : ": " + Shown_input(p.note)) << "); decide on it first: korvex station confirm|void --plate " << p.id
                << " --db ...\n";
        if (b.to_mark.empty()) {
            out << "korvex eartag: nothing to mark: all " << o.numbers.size() << " numbers are in the journal "
                << journal.shown_target() << " as marked, voided or held\n";
            return b.held.empty() ? 0 : 1;
        }
        if (!b.held.empty()) return 1;
        if (!b.skipped.empty())
            err << "korvex eartag: " << b.to_mark.size() << " of " << o.numbers.size() << " numbers left to mark\n";
        o.numbers = std::move(b.to_mark);
        o.second = std::move(b.second);
        JournalLedger ledger(journal, who, o.base);
        o.ledger = &ledger;
        return run_eartag(o, out, err);
    } catch (const station::StationError& e) {
        err << "korvex eartag: journal: " << station::station_error_kind_name(e.kind()) << ": " << Shown_input(e.what(), 400)
            << "; nothing was marked\n";
        return e.kind() == station::StationError::Kind::bad_input ? 2 : 1;
    }
}

}  // namespace korvex::tool
