// An operator's decisions: an interrupted plate was marked after all (confirm) or is scrap
// (void); numbers that will never be marked are written off (void); a plate's unreadable tags are
// marked again on a new plate with new numbers (reprint), the old numbers voided.
#include "core/shown_input.hpp"
#include "station/journal.hpp"
#include "station/journal_rows.hpp"

namespace korvex::station {

namespace {

std::string plate_is(const Plate& p) {
    return "plate " + std::to_string(p.id) + " is " + state_name(p.state) + (p.station.empty() ? "" : " on station " + p.station);
}

}  // namespace

Plate Journal::confirm(int64_t id, const Actor& who) {
    return on_plate(id, who, false, [&](const Plate& p, const std::string& now) {
        if (p.state != PlateState::interrupted)
            throw StationError(StationError::Kind::refused, plate_is(p) + ": only an interrupted plate is confirmed marked");
        move_plate(id, PlateState::marked, NumberState::interrupted, NumberState::marked, "marked_at", "confirmed marked by an operator", who, now);
        return read_plate(id, false);
    });
}

Plate Journal::void_plate(int64_t id, const std::string& reason, const Actor& who) {
    check_text("reason", reason, kMaxTextBytes);
    return on_plate(id, who, false, [&](const Plate& p, const std::string& now) {
        if (p.state == PlateState::queued)
            throw StationError(StationError::Kind::refused, plate_is(p) + ": nothing of it was marked, nothing to void");
        if (p.state == PlateState::marking)
            throw StationError(StationError::Kind::refused, plate_is(p) + ": stop it, or let the station recover it, before voiding it");
        if (p.state == PlateState::voided) throw StationError(StationError::Kind::refused, plate_is(p) + " already");
        c_->execute("UPDATE numbers SET state = 'voided', voided_at = ?, voided_by = ?, void_reason = ?, operator_name = ?, updated_at = ?,"
                    " note = ? WHERE plate_id = ? AND state <> 'voided'",
                    {now, who.operator_name, reason, who.operator_name, now, reason, value_of(id)});
        c_->execute("UPDATE plates SET state = 'voided', voided_at = ?, void_reason = ?, operator_name = ?, updated_at = ?, note = ? WHERE id = ?",
                    {now, reason, who.operator_name, now, reason, value_of(id)});
        return read_plate(id, false);
    });
}

void Journal::void_numbers(const std::vector<std::string>& numbers, const std::string& reason, const Actor& who) {
    check_text("reason", reason, kMaxTextBytes);
    if (numbers.empty()) throw StationError(StationError::Kind::bad_input, "no numbers to void");
    for (const std::string& n : numbers) check_number(n);
    in_write([&] {
        const std::string now = now_text();
        touch(who, false, now);
        for (const std::string& n : numbers) {
            const auto row = c_->query("SELECT state, plate_id FROM numbers WHERE number = ?" + c_->dialect().lock_rows, {n});
            if (row.empty()) throw StationError(StationError::Kind::not_found, "number " + n + " is in no pool; nothing was voided");
            const NumberState s = number_state_from(text_of(row[0][0]));
            if (s == NumberState::marking || s == NumberState::reserved || s == NumberState::voided)
                throw StationError(StationError::Kind::refused, "number " + n + " is " + state_name(s) +
                                                                    (row[0][1] ? " on plate " + text_of(row[0][1]) : "") + "; nothing was voided");
            c_->execute("UPDATE numbers SET state = 'voided', voided_at = ?, voided_by = ?, void_reason = ?, operator_name = ?, updated_at = ?,"
                        " note = ? WHERE number = ?",
                        {now, who.operator_name, reason, who.operator_name, now, reason, n});
        }
    });
}

Plate Journal::reprint(int64_t id, const Actor& who) {
    return on_plate(id, who, false, [&](const Plate& p, const std::string& now) {
        int64_t unreadable = 0;
        for (const PlateTag& t : p.numbers) unreadable += t.state == NumberState::unreadable;
        if (p.state != PlateState::unreadable || unreadable == 0)
            throw StationError(StationError::Kind::refused, plate_is(p) + ": only a plate with unreadable tags is reprinted");
        const auto order = c_->query("SELECT o.pool_id, p.name FROM orders o JOIN pools p ON p.id = o.pool_id WHERE o.id = ?" + c_->dialect().lock_rows,
                                     {value_of(p.order_id)});
        check_pool_covers(order.at(0).at(0), text_of(order[0][1]), unreadable);
        const int64_t seq = int_of(c_->query("SELECT max(seq) FROM plates WHERE order_id = ?", {value_of(p.order_id)}).at(0).at(0)) + 1;
        const std::string note = "reprint of the unreadable tags of plate " + std::to_string(id);
        const int64_t new_id = int_of(c_->query("INSERT INTO plates (order_id, seq, tags, state, operator_name, reprint_of, note, updated_at)"
                                                " VALUES (?, ?, ?, 'queued', ?, ?, ?, ?) RETURNING id",
                                                {value_of(p.order_id), value_of(seq), value_of(unreadable), who.operator_name, value_of(id), note, now})
                                          .at(0)
                                          .at(0));
        const std::string reason = "unreadable; reprinted on plate " + std::to_string(new_id);
        c_->execute("UPDATE numbers SET state = 'voided', voided_at = ?, voided_by = ?, void_reason = ?, operator_name = ?, updated_at = ?,"
                    " note = ? WHERE plate_id = ? AND state = 'unreadable'",
                    {now, who.operator_name, reason, who.operator_name, now, reason, value_of(id)});
        return read_plate(new_id, false);
    });
}

}  // namespace korvex::station
