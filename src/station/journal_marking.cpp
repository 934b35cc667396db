// The marking runner's side of the journal, in write-ahead order: a plate is claimed (numbers
// reserved, plate and numbers `marking`, committed) before the first pulse, `marked` after the
// pass returned, each tag's read-back after verification. A plate left in `marking` by a station
// that stopped is `interrupted` when the station starts again, never re-marked and never freed.
#include "core/shown_input.hpp"
#include "station/journal.hpp"
#include "station/journal_rows.hpp"

namespace korvex::station {

namespace {

const std::string kRestartNote = "the station started again while this plate was being marked";

}  // namespace

void Journal::move_plate(int64_t id, PlateState to, NumberState numbers_from, NumberState numbers_to, const char* time_column,
                         const std::string& note, const Actor& who, const std::string& now) {
    const std::string stamp = time_column ? std::string(", ") + time_column + " = ?" : "";
    std::vector<SqlValue> n{state_name(numbers_to), who.operator_name, now, text_or_null(note)};
    if (time_column) n.push_back(now);
    n.insert(n.end(), {value_of(id), state_name(numbers_from)});
    c_->execute("UPDATE numbers SET state = ?, operator_name = ?, updated_at = ?, note = ?" + stamp + " WHERE plate_id = ? AND state = ?", n);
    std::vector<SqlValue> p{state_name(to), who.operator_name, now, text_or_null(note)};
    if (time_column) p.push_back(now);
    p.push_back(value_of(id));
    c_->execute("UPDATE plates SET state = ?, operator_name = ?, updated_at = ?, note = ?" + stamp + " WHERE id = ?", p);
}

void Journal::start_plate(const SqlValue& plate_id, const std::vector<std::string>& numbers, const Actor& who, const std::string& now) {
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const int64_t changed = c_->execute("UPDATE numbers SET state = 'reserved', plate_id = ?, slot = ?, station = ?, operator_name = ?,"
                                            " reserved_at = ?, updated_at = ?, note = NULL WHERE number = ? AND state = 'free'",
                                            {plate_id, value_of(static_cast<int64_t>(i + 1)), who.station, who.operator_name, now, now,
                                             numbers[i]});
        if (changed != 1) throw StationError(StationError::Kind::busy, "number " + numbers[i] + " was taken meanwhile");
    }
    c_->execute("UPDATE numbers SET state = 'marking', updated_at = ? WHERE plate_id = ? AND state = 'reserved'", {now, plate_id});
    if (c_->execute("UPDATE plates SET state = 'marking', station = ?, operator_name = ?, claimed_at = ?, updated_at = ?, note = NULL"
                    " WHERE id = ? AND state = 'queued'",
                    {who.station, who.operator_name, now, now, plate_id}) != 1)
        throw StationError(StationError::Kind::busy, "plate " + text_of(plate_id) + " was taken meanwhile");
}

void Journal::check_station_free(const Actor& who) {
    const auto held = c_->query("SELECT id, state FROM plates WHERE station = ? AND state IN ('marking', 'interrupted') ORDER BY id LIMIT 1",
                                {who.station});
    if (!held.empty())
        throw StationError(StationError::Kind::refused, "station " + who.station + " holds plate " + text_of(held[0][0]) + " (" +
                                                            text_of(held[0][1]) + "): recover it and have an operator decide first");
}

std::optional<Plate> Journal::claim(const Actor& who, std::optional<int64_t> order) {
    return in_write([&]() -> std::optional<Plate> {
        const std::string now = now_text();
        touch(who, true, now);
        check_station_free(who);
        if (order && c_->query("SELECT id FROM orders WHERE id = ?", {value_of(*order)}).empty())
            throw StationError(StationError::Kind::not_found, "no order " + std::to_string(*order));
        // Another station may hold the first queued plate (PostgreSQL): take the next one instead.
        std::vector<SqlValue> params;
        std::string sql = "SELECT id, order_id, tags FROM plates WHERE state = 'queued'";
        if (order) {
            sql += " AND order_id = ?";
            params.push_back(value_of(*order));
        }
        const auto plate = c_->query(sql + " ORDER BY order_id, seq LIMIT 1" + c_->dialect().lock_free_rows, params);
        if (plate.empty()) return std::nullopt;
        const SqlValue plate_id = plate[0][0];
        const int64_t tags = int_of(plate[0][2]);
        const auto pool = c_->query("SELECT o.pool_id, p.name FROM orders o JOIN pools p ON p.id = o.pool_id WHERE o.id = ?", {plate[0][1]});
        const auto free = c_->query("SELECT number FROM numbers WHERE pool_id = ? AND state = 'free' ORDER BY pool_index LIMIT ?" +
                                        c_->dialect().lock_free_rows,
                                    {pool.at(0).at(0), value_of(tags)});
        if (static_cast<int64_t>(free.size()) < tags)
            throw StationError(StationError::Kind::refused, "pool " + Shown_input(text_of(pool[0][1])) + " has " + std::to_string(free.size()) +
                                                                " free numbers left; plate " + text_of(plate_id) + " needs " + std::to_string(tags));
        std::vector<std::string> numbers;
        for (const SqlRow& r : free) numbers.push_back(text_of(r[0]));
        start_plate(plate_id, numbers, who, now);
        return read_plate(int_of(plate_id), false);
    });
}

Plate Journal::mark_done(int64_t id, const Actor& who) {
    return on_plate(id, who, true, [&](const Plate& p, const std::string& now) {
        if (p.state != PlateState::marking)
            throw StationError(StationError::Kind::refused, "plate " + std::to_string(id) + " is " + state_name(p.state) + ", not being marked");
        if (p.station != who.station)
            throw StationError(StationError::Kind::refused, "plate " + std::to_string(id) + " is being marked by station " + p.station + ", not " + who.station);
        move_plate(id, PlateState::marked, NumberState::marking, NumberState::marked, "marked_at", "", who, now);
        return read_plate(id, false);
    });
}

NumberState Journal::record_read_back(int64_t id, int slot, const std::string& read, const Actor& who) {
    return on_plate(id, who, true, [&](const Plate& p, const std::string& now) {
        if (p.state != PlateState::marked && p.state != PlateState::unreadable)
            throw StationError(StationError::Kind::refused, "plate " + std::to_string(id) + " is " + state_name(p.state) +
                                                                ": its codes are read back once it is marked");
        const PlateTag* tag = nullptr;
        for (const PlateTag& t : p.numbers)
            if (t.slot == slot) tag = &t;
        if (!tag) throw StationError(StationError::Kind::not_found, "plate " + std::to_string(id) + " has no tag " + std::to_string(slot));
        if (tag->state != NumberState::marked && tag->state != NumberState::unreadable)
            throw StationError(StationError::Kind::refused, "number " + tag->number + " is " + state_name(tag->state) + ", not waiting for its read-back");
        const NumberState result = read == tag->number ? NumberState::verified : NumberState::unreadable;
        c_->execute("UPDATE numbers SET state = ?, read_back = ?, read_at = ?, operator_name = ?, updated_at = ?, note = NULL WHERE number = ?",
                    {state_name(result), Shown_input(read, 64), now, who.operator_name, now, tag->number});
        int64_t waiting = 0, unreadable = 0;
        c_->run("SELECT state, count(*) FROM numbers WHERE plate_id = ? GROUP BY state", {value_of(id)}, [&](const SqlRow& r) {
            if (text_of(r[0]) == "marked") waiting = int_of(r[1]);
            if (text_of(r[0]) == "unreadable") unreadable = int_of(r[1]);
        });
        const PlateState plate_to = unreadable ? PlateState::unreadable : PlateState::verified;
        if (waiting == 0 && plate_to != p.state)
            c_->execute("UPDATE plates SET state = ?, read_at = ?, operator_name = ?, updated_at = ?, note = NULL WHERE id = ?",
                        {state_name(plate_to), now, who.operator_name, now, value_of(id)});
        return result;
    });
}

Plate Journal::interrupt(int64_t id, const std::string& why, const Actor& who) {
    check_text("reason", why, kMaxTextBytes);
    return on_plate(id, who, true, [&](const Plate& p, const std::string& now) {
        if (p.state != PlateState::marking || p.station != who.station)
            throw StationError(StationError::Kind::refused, "plate " + std::to_string(id) + " is not being marked by station " + who.station);
        move_plate(id, PlateState::interrupted, NumberState::marking, NumberState::interrupted, nullptr, why, who, now);
        return read_plate(id, false);
    });
}

std::vector<Plate> Journal::recover_at_start(const Actor& who) {
    return in_write([&] {
        const std::string now = now_text();
        touch(who, true, now);
        for (const SqlRow& r : c_->query("SELECT id FROM plates WHERE station = ? AND state = 'marking' ORDER BY id" + c_->dialect().lock_rows,
                                         {who.station}))
            move_plate(int_of(r[0]), PlateState::interrupted, NumberState::marking, NumberState::interrupted, nullptr, kRestartNote, who, now);
        std::vector<Plate> held;
        for (const SqlRow& r : c_->query("SELECT id FROM plates WHERE station = ? AND state = 'interrupted' ORDER BY id", {who.station}))
            held.push_back(read_plate(int_of(r[0]), false));
        return held;
    });
}

}  // namespace korvex::station
