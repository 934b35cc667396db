// A plate of given numbers: a batch that brings its own numbers (`korvex eartag --journal`) marks
// them in the order given rather than taking a pool's next free ones. Each such plate is an order
// of its own, made and claimed in one transaction, so a batch killed between plates leaves no
// queued plate behind that would hold numbers of the pool.
#include "core/shown_input.hpp"
#include "station/journal.hpp"
#include "station/journal_rows.hpp"

namespace korvex::station {

Plate Journal::claim_numbers(const Actor& who, const std::string& template_name, const std::vector<std::string>& numbers) {
    check_text("template name", template_name, kMaxTextBytes);
    if (numbers.empty() || numbers.size() > 101)
        throw StationError(StationError::Kind::bad_input, "a plate holds 1 to 101 tags, not " + std::to_string(numbers.size()));
    for (const std::string& n : numbers) check_number(n);
    return in_write([&] {
        const std::string now = now_text();
        touch(who, true, now);
        check_station_free(who);
        SqlValue pool_id;
        for (const std::string& n : numbers) {
            const auto row = c_->query("SELECT n.state, n.pool_id, p.name FROM numbers n JOIN pools p ON p.id = n.pool_id WHERE n.number = ?" +
                                           c_->dialect().lock_rows,
                                       {n});
            if (row.empty()) throw StationError(StationError::Kind::not_found, "number " + n + " is in no pool");
            if (text_of(row[0][0]) != "free")
                throw StationError(StationError::Kind::refused, "number " + n + " is " + text_of(row[0][0]) + ", not free");
            if (pool_id && *pool_id != *row[0][1])
                throw StationError(StationError::Kind::bad_input, "the numbers of one plate must be of one pool; " + n + " is of pool " +
                                                                      Shown_input(text_of(row[0][2])));
            pool_id = row[0][1];
        }
        const SqlValue order_id = c_->query("INSERT INTO orders (pool_id, template_name, tag_count, tags_per_plate, created_at, created_by)"
                                            " VALUES (?, ?, ?, ?, ?, ?) RETURNING id",
                                            {pool_id, template_name, value_of(static_cast<int64_t>(numbers.size())),
                                             value_of(static_cast<int64_t>(numbers.size())), now, who.operator_name})
                                      .at(0)
                                      .at(0);
        const SqlValue plate_id = c_->query("INSERT INTO plates (order_id, seq, tags, state, operator_name, updated_at)"
                                            " VALUES (?, 1, ?, 'queued', ?, ?) RETURNING id",
                                            {order_id, value_of(static_cast<int64_t>(numbers.size())), who.operator_name, now})
                                      .at(0)
                                      .at(0);
        start_plate(plate_id, numbers, who, now);
        return read_plate(int_of(plate_id), false);
    });
}

}  // namespace korvex::station
