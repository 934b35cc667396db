// The journal: opening and migrating it, pools, orders and reading plates back. The marking
// runner's calls are in journal_marking.cpp, the operator's decisions in journal_decisions.cpp,
// the reports in journal_report.cpp.
#include "station/journal.hpp"

#include <unordered_set>

#include "core/shown_input.hpp"
#include "station/journal_rows.hpp"

namespace korvex::station {

namespace {

constexpr int64_t kMaxOrderTags = 1'000'000;
constexpr std::size_t kMaxPoolNumbers = 10'000'000;
constexpr std::size_t kRowsPerInsert = 200;  // rows of one INSERT: well inside both databases' parameter limits

constexpr const char* kPlateColumns =
    "SELECT p.id, p.order_id, p.reprint_of, p.seq, p.tags, p.state, o.template_name, pl.name, p.station, p.operator_name,"
    " p.claimed_at, p.marked_at, p.read_at, p.voided_at, p.void_reason, p.note"
    " FROM plates p JOIN orders o ON o.id = p.order_id JOIN pools pl ON pl.id = o.pool_id";

Plate plate_of(const SqlRow& r) {
    Plate p;
    p.id = int_of(r[0]);
    p.order_id = int_of(r[1]);
    p.reprint_of = int_of(r[2]);
    p.seq = static_cast<int>(int_of(r[3]));
    p.tags = static_cast<int>(int_of(r[4]));
    p.state = plate_state_from(text_of(r[5]));
    p.template_name = text_of(r[6]);
    p.pool = text_of(r[7]);
    p.station = text_of(r[8]);
    p.operator_name = text_of(r[9]);
    p.claimed_at = text_of(r[10]);
    p.marked_at = text_of(r[11]);
    p.read_at = text_of(r[12]);
    p.voided_at = text_of(r[13]);
    p.void_reason = text_of(r[14]);
    p.note = text_of(r[15]);
    return p;
}

void read_tags(SqlConnection& c, Plate& p) {
    p.numbers.clear();
    c.run("SELECT slot, number, state, read_back FROM numbers WHERE plate_id = ? ORDER BY slot", {value_of(p.id)}, [&](const SqlRow& r) {
        p.numbers.push_back({static_cast<int>(int_of(r[0])), text_of(r[1]), number_state_from(text_of(r[2])), text_of(r[3])});
    });
}

std::string placeholders(std::size_t n, const std::string& one) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += (i ? "," : "") + one;
    return s;
}

}  // namespace

Journal::Journal(std::unique_ptr<SqlConnection> c, std::string shown) : c_(std::move(c)), shown_target_(std::move(shown)) {}
Journal::Journal(Journal&&) noexcept = default;
Journal& Journal::operator=(Journal&&) noexcept = default;
Journal::~Journal() = default;

Journal Journal::open(const std::string& target, const JournalOptions& options) {
    const bool postgres = target.rfind("postgresql://", 0) == 0 || target.rfind("postgres://", 0) == 0;
    Journal j(postgres ? open_postgresql(target) : open_sqlite(target, options.busy_timeout_ms), station::shown_target(target));
    int version = j.schema_version();
    if (version == 0 && options.create) version = j.migrate().to_version;
    if (options.require_current && version != schema_target_version())
        throw StationError(StationError::Kind::database,
                           "the journal " + j.shown_target_ + " has schema version " + std::to_string(version) + ", this program needs " +
                               std::to_string(schema_target_version()) +
                               (version < schema_target_version() ? ": run korvex station migrate --db ..." : ": use a newer korvex"));
    return j;
}

Backend Journal::backend() const { return c_->backend(); }

int Journal::schema_version() {
    return retrying([&] { return station::schema_version(*c_); });
}

MigrationResult Journal::migrate() {
    return retrying([&] { return migrate_schema(*c_, now_text()); });
}

// The operator (and station) are rows of their own tables, added when first seen.
void Journal::touch(const Actor& who, bool station_needed, const std::string& now) {
    check_text("operator name", who.operator_name, kMaxNameBytes);
    c_->execute("INSERT INTO operators (name, first_seen) VALUES (?, ?) ON CONFLICT (name) DO NOTHING", {who.operator_name, now});
    if (station_needed || !who.station.empty()) {
        check_text("station name", who.station, kMaxNameBytes);
        c_->execute("INSERT INTO stations (name, first_seen, last_seen) VALUES (?, ?, ?)"
                    " ON CONFLICT (name) DO UPDATE SET last_seen = excluded.last_seen",
                    {who.station, now, now});
    }
}

PoolSummary Journal::add_numbers(const std::string& pool, const std::string& owner, const std::vector<std::string>& numbers,
                                 const Actor& who) {
    check_text("pool name", pool, kMaxNameBytes);
    check_text("owner", owner, kMaxTextBytes, true);
    if (numbers.empty()) throw StationError(StationError::Kind::bad_input, "no numbers for pool " + Shown_input(pool));
    if (numbers.size() > kMaxPoolNumbers) throw StationError(StationError::Kind::bad_input, "more than 10000000 numbers at once");
    std::unordered_set<std::string> seen;
    for (const std::string& n : numbers) {
        check_number(n);
        if (!seen.insert(n).second) throw StationError(StationError::Kind::bad_input, "number " + n + " is given twice");
    }
    in_write([&] {
        const std::string now = now_text();
        touch(who, false, now);
        const auto found = c_->query("SELECT id, owner FROM pools WHERE name = ?" + c_->dialect().lock_rows, {pool});
        int64_t pool_id;
        if (found.empty()) {
            pool_id = int_of(c_->query("INSERT INTO pools (name, owner, created_at, created_by) VALUES (?, ?, ?, ?) RETURNING id",
                                       {pool, owner, now, who.operator_name})
                                 .at(0)
                                 .at(0));
        } else {
            pool_id = int_of(found[0][0]);
            if (!owner.empty() && owner != text_of(found[0][1]))
                throw StationError(StationError::Kind::refused, "pool " + Shown_input(pool) + " belongs to " + Shown_input(text_of(found[0][1])) +
                                                                    ", not " + Shown_input(owner));
        }
        int64_t index = int_of(c_->query("SELECT max(pool_index) FROM numbers WHERE pool_id = ?", {value_of(pool_id)}).at(0).at(0));
        for (std::size_t from = 0; from < numbers.size(); from += kRowsPerInsert) {
            const std::size_t n = std::min(kRowsPerInsert, numbers.size() - from);
            const std::vector<SqlValue> batch(numbers.begin() + static_cast<std::ptrdiff_t>(from),
                                              numbers.begin() + static_cast<std::ptrdiff_t>(from + n));
            const auto taken = c_->query("SELECT n.number, p.name FROM numbers n JOIN pools p ON p.id = n.pool_id WHERE n.number IN (" +
                                             placeholders(n, "?") + ") LIMIT 1",
                                         batch);
            if (!taken.empty())
                throw StationError(StationError::Kind::refused, "number " + text_of(taken[0][0]) + " is already in pool " +
                                                                    Shown_input(text_of(taken[0][1])) + "; nothing was added");
            std::vector<SqlValue> values;
            values.reserve(n * 5);
            for (std::size_t i = 0; i < n; ++i) {
                values.insert(values.end(), {numbers[from + i], value_of(pool_id), value_of(++index), who.operator_name, now});
            }
            c_->execute("INSERT INTO numbers (number, pool_id, pool_index, state, operator_name, updated_at) VALUES " +
                            placeholders(n, "(?, ?, ?, 'free', ?, ?)"),
                        values);
        }
    });
    for (const PoolSummary& s : pools())
        if (s.name == pool) return s;
    throw StationError(StationError::Kind::database, "pool " + Shown_input(pool) + " vanished after it was written");
}

std::vector<PoolSummary> Journal::pools() {
    std::vector<PoolSummary> out;
    SqlTransaction t(*c_, false);
    c_->run("SELECT p.id, p.name, p.owner, p.created_at, n.state, count(n.number) FROM pools p LEFT JOIN numbers n ON n.pool_id = p.id"
            " GROUP BY p.id, p.name, p.owner, p.created_at, n.state ORDER BY p.name",
            {}, [&](const SqlRow& r) {
                if (out.empty() || out.back().id != int_of(r[0])) out.push_back({int_of(r[0]), text_of(r[1]), text_of(r[2]), text_of(r[3]), {}});
                if (r[4]) out.back().counts[number_state_from(*r[4])] = int_of(r[5]);
            });
    t.commit();
    return out;
}

OrderSummary Journal::add_order(const OrderRequest& o, const Actor& who) {
    check_text("pool name", o.pool, kMaxNameBytes);
    check_text("template name", o.template_name, kMaxTextBytes);
    if (o.tag_count < 1 || o.tag_count > kMaxOrderTags)
        throw StationError(StationError::Kind::bad_input, "an order counts 1 to 1000000 tags, not " + std::to_string(o.tag_count));
    if (o.tags_per_plate < 1 || o.tags_per_plate > 101)
        throw StationError(StationError::Kind::bad_input, "a plate holds 1 to 101 tags, not " + std::to_string(o.tags_per_plate));
    const int64_t id = in_write([&] {
        const std::string now = now_text();
        touch(who, false, now);
        const auto pool = c_->query("SELECT id FROM pools WHERE name = ?" + c_->dialect().lock_rows, {o.pool});
        if (pool.empty()) throw StationError(StationError::Kind::not_found, "no pool " + Shown_input(o.pool));
        const SqlValue pool_id = pool[0][0];
        check_pool_covers(pool_id, o.pool, o.tag_count);
        const int64_t order_id = int_of(c_->query("INSERT INTO orders (pool_id, template_name, tag_count, tags_per_plate, created_at, created_by)"
                                                  " VALUES (?, ?, ?, ?, ?, ?) RETURNING id",
                                                  {pool_id, o.template_name, value_of(o.tag_count), value_of(o.tags_per_plate), now,
                                                   who.operator_name})
                                            .at(0)
                                            .at(0));
        const int64_t plates = (o.tag_count + o.tags_per_plate - 1) / o.tags_per_plate;
        for (int64_t from = 1; from <= plates; from += static_cast<int64_t>(kRowsPerInsert)) {
            const int64_t n = std::min<int64_t>(static_cast<int64_t>(kRowsPerInsert), plates - from + 1);
            std::vector<SqlValue> values;
            for (int64_t seq = from; seq < from + n; ++seq) {
                const int64_t tags = std::min<int64_t>(o.tags_per_plate, o.tag_count - (seq - 1) * o.tags_per_plate);
                values.insert(values.end(), {value_of(order_id), value_of(seq), value_of(tags), who.operator_name, now});
            }
            c_->execute("INSERT INTO plates (order_id, seq, tags, state, operator_name, updated_at) VALUES " +
                            placeholders(static_cast<std::size_t>(n), "(?, ?, ?, 'queued', ?, ?)"),
                        values);
        }
        return order_id;
    });
    for (const OrderSummary& s : orders())
        if (s.id == id) return s;
    throw StationError(StationError::Kind::database, "order " + std::to_string(id) + " vanished after it was written");
}

void Journal::check_pool_covers(const SqlValue& pool_id, const std::string& pool, int64_t more) {
    const int64_t free = int_of(c_->query("SELECT count(*) FROM numbers WHERE pool_id = ? AND state = 'free'", {pool_id}).at(0).at(0));
    const int64_t promised = int_of(c_->query("SELECT sum(p.tags) FROM plates p JOIN orders o ON o.id = p.order_id"
                                              " WHERE o.pool_id = ? AND p.state = 'queued'",
                                              {pool_id})
                                        .at(0)
                                        .at(0));
    if (free - promised < more)
        throw StationError(StationError::Kind::refused, "pool " + Shown_input(pool) + " has " + std::to_string(free) + " free numbers, " +
                                                            std::to_string(promised) + " of them for plates already queued; " +
                                                            std::to_string(more) + " more are needed");
}

std::vector<OrderSummary> Journal::orders() {
    std::vector<OrderSummary> out;
    SqlTransaction t(*c_, false);
    c_->run("SELECT o.id, p.name, o.template_name, o.tag_count, o.tags_per_plate, o.created_at, o.created_by, pl.state, count(pl.id)"
            " FROM orders o JOIN pools p ON p.id = o.pool_id LEFT JOIN plates pl ON pl.order_id = o.id"
            " GROUP BY o.id, p.name, o.template_name, o.tag_count, o.tags_per_plate, o.created_at, o.created_by, pl.state ORDER BY o.id",
            {}, [&](const SqlRow& r) {
                if (out.empty() || out.back().id != int_of(r[0])) {
                    OrderSummary s;
                    s.id = int_of(r[0]);
                    s.pool = text_of(r[1]);
                    s.template_name = text_of(r[2]);
                    s.tag_count = int_of(r[3]);
                    s.tags_per_plate = static_cast<int>(int_of(r[4]));
                    s.created_at = text_of(r[5]);
                    s.created_by = text_of(r[6]);
                    out.push_back(s);
                }
                if (r[7]) out.back().plates[static_cast<std::size_t>(plate_state_from(*r[7]))] = int_of(r[8]);
            });
    t.commit();
    return out;
}

Plate Journal::read_plate(int64_t id, bool lock) {
    if (lock && c_->query("SELECT id FROM plates WHERE id = ?" + c_->dialect().lock_rows, {value_of(id)}).empty())
        throw StationError(StationError::Kind::not_found, "no plate " + std::to_string(id));
    const auto rows = c_->query(std::string(kPlateColumns) + " WHERE p.id = ?", {value_of(id)});
    if (rows.empty()) throw StationError(StationError::Kind::not_found, "no plate " + std::to_string(id));
    Plate p = plate_of(rows[0]);
    read_tags(*c_, p);
    return p;
}

Plate Journal::plate(int64_t id) {
    SqlTransaction t(*c_, false);
    Plate p = read_plate(id, false);
    t.commit();
    return p;
}

std::vector<Plate> Journal::plates(std::optional<PlateState> state, std::optional<int64_t> order, int limit) {
    std::string sql = kPlateColumns;
    std::vector<SqlValue> params;
    if (state) {
        sql += " WHERE p.state = ?";
        params.push_back(state_name(*state));
    }
    if (order) {
        sql += state ? " AND p.order_id = ?" : " WHERE p.order_id = ?";
        params.push_back(value_of(*order));
    }
    sql += " ORDER BY p.order_id, p.seq LIMIT ?";
    params.push_back(value_of(std::max(limit, 0)));
    SqlTransaction t(*c_, false);
    std::vector<Plate> out;
    c_->run(sql, params, [&](const SqlRow& r) { out.push_back(plate_of(r)); });
    for (Plate& p : out) read_tags(*c_, p);
    t.commit();
    return out;
}

}  // namespace korvex::station
