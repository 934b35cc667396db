// The journal's reports: every number with its state, plate, station, times and read-back (as
// records or as CSV), numbers looked up by value, and the event feed.
#include <ostream>

#include "station/journal.hpp"
#include "station/journal_rows.hpp"

namespace korvex::station {

namespace {

constexpr const char* kNumberColumns =
    "SELECT n.number, p.name, n.state, pl.order_id, n.plate_id, pl.seq, n.slot, n.station, n.operator_name, n.reserved_at, n.marked_at,"
    " n.read_at, n.read_back, n.voided_at, n.voided_by, n.void_reason, n.updated_at"
    " FROM numbers n JOIN pools p ON p.id = n.pool_id LEFT JOIN plates pl ON pl.id = n.plate_id";

NumberRecord record_of(const SqlRow& r) {
    NumberRecord n;
    n.number = text_of(r[0]);
    n.pool = text_of(r[1]);
    n.state = number_state_from(text_of(r[2]));
    n.order_id = int_of(r[3]);
    n.plate_id = int_of(r[4]);
    n.plate_seq = static_cast<int>(int_of(r[5]));
    n.slot = static_cast<int>(int_of(r[6]));
    n.station = text_of(r[7]);
    n.operator_name = text_of(r[8]);
    n.reserved_at = text_of(r[9]);
    n.marked_at = text_of(r[10]);
    n.read_at = text_of(r[11]);
    n.read_back = text_of(r[12]);
    n.voided_at = text_of(r[13]);
    n.voided_by = text_of(r[14]);
    n.void_reason = text_of(r[15]);
    n.updated_at = text_of(r[16]);
    return n;
}

// A CSV field: quoted when it holds a comma, a quote or a line end (quotes doubled).
std::string csv(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

std::string id_or_blank(int64_t id) { return id ? std::to_string(id) : ""; }

}  // namespace

void Journal::for_each_number(const std::optional<std::string>& pool, const std::function<void(const NumberRecord&)>& each) {
    SqlTransaction t(*c_, false);
    std::vector<SqlValue> params;
    if (pool) params.push_back(*pool);
    c_->run(std::string(kNumberColumns) + (pool ? " WHERE p.name = ?" : "") + " ORDER BY p.name, n.pool_index", params,
            [&](const SqlRow& r) { each(record_of(r)); });
    t.commit();
}

std::vector<NumberRecord> Journal::find_numbers(const std::vector<std::string>& numbers) {
    std::vector<NumberRecord> out;
    SqlTransaction t(*c_, false);
    for (const std::string& n : numbers) {
        check_number(n);
        c_->run(std::string(kNumberColumns) + " WHERE n.number = ?", {n}, [&](const SqlRow& r) { out.push_back(record_of(r)); });
    }
    t.commit();
    return out;
}

void Journal::write_report_csv(std::ostream& out, const std::optional<std::string>& pool) {
    out << "number,pool,state,order,plate,plate_in_order,slot,station,operator,reserved_at,marked_at,read_at,read_back,voided_at,voided_by,"
           "void_reason\n";
    for_each_number(pool, [&](const NumberRecord& n) {
        out << n.number << ',' << csv(n.pool) << ',' << state_name(n.state) << ',' << id_or_blank(n.order_id) << ',' << id_or_blank(n.plate_id)
            << ',' << id_or_blank(n.plate_seq) << ',' << id_or_blank(n.slot) << ',' << csv(n.station) << ',' << csv(n.operator_name) << ','
            << n.reserved_at << ',' << n.marked_at << ',' << n.read_at << ',' << csv(n.read_back) << ',' << n.voided_at << ','
            << csv(n.voided_by) << ',' << csv(n.void_reason) << '\n';
    });
}

std::vector<JournalEvent> Journal::events_after(int64_t after_id, int limit) {
    std::vector<JournalEvent> out;
    SqlTransaction t(*c_, false);
    c_->run("SELECT id, plate_id, happened_at, kind, number, station, operator_name, from_state, to_state, note FROM events"
            " WHERE id > ? ORDER BY id LIMIT ?",
            {value_of(after_id), value_of(std::max(limit, 0))}, [&](const SqlRow& r) {
                out.push_back({int_of(r[0]), int_of(r[1]), text_of(r[2]), text_of(r[3]), text_of(r[4]), text_of(r[5]), text_of(r[6]),
                               text_of(r[7]), text_of(r[8]), text_of(r[9])});
            });
    t.commit();
    return out;
}

}  // namespace korvex::station
