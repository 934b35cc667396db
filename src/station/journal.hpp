// Journal: the production journal of a marking station, on SQLite (a file path, the default) or
// PostgreSQL (a postgresql:// URI, one database for a hall of stations). It holds pools of official
// numbers, orders (template + pool + count) cut into plates, the stations and operators, every
// number's state and an append-only event per change.
//
// A marking runner uses it write-ahead:
//   recover_at_start(station)   plates this station left in `marking` become `interrupted` and wait
//   claim(station)              the next plate: its numbers reserved and plate + numbers set to
//                               `marking` in one committed transaction, before the first pulse
//   mark_done(plate)            after e_PrintEarMark returned 1: plate and numbers `marked`
//   record_read_back(plate, slot, read)   each tag: `verified` when it read as its number
// and an operator decides on interrupted plates (confirm: they were marked; void: scrap), voids
// numbers or plates, and reprints a plate's unreadable tags on a new plate with new numbers.
// Every call is one transaction; every failure is a StationError. One Journal serves one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "station/schema.hpp"
#include "station/sql_connection.hpp"
#include "station/states.hpp"
#include "station/station_error.hpp"

namespace korvex::station {

struct JournalOptions {
    int busy_timeout_ms = 10'000;  // SQLite: how long to wait for another station's write lock
    bool create = true;            // an empty database gets the schema on opening
    bool require_current = true;   // refuse a schema of another version (false: to migrate it)
};

// Who does something: the operator (always) and the station (for what a station does).
struct Actor {
    std::string operator_name;
    std::string station;  // empty: an operator's decision made away from a station
};

struct PoolSummary {
    int64_t id = 0;
    std::string name, owner, created_at;
    StateCounts counts;
};

struct OrderRequest {
    std::string pool;
    std::string template_name;  // as the station's template folder names it
    int64_t tag_count = 0;
    int tags_per_plate = 0;     // the template's bar-code cells
};

struct OrderSummary {
    int64_t id = 0;
    std::string pool, template_name, created_at, created_by;
    int64_t tag_count = 0;
    int tags_per_plate = 0;
    std::array<int64_t, kPlateStates.size()> plates{};  // count per PlateState
};

struct PlateTag {
    int slot = 0;  // 1 = the plate's first bar-code cell
    std::string number;
    NumberState state = NumberState::marking;
    std::string read_back;  // what the code read as, once read
};

struct Plate {
    int64_t id = 0, order_id = 0, reprint_of = 0;  // reprint_of 0: not a reprint
    int seq = 0, tags = 0;                         // seq: the plate's number within its order
    PlateState state = PlateState::queued;
    std::string template_name, pool, station, operator_name;
    std::string claimed_at, marked_at, read_at, voided_at, void_reason, note;
    std::vector<PlateTag> numbers;  // by slot; empty while queued
};

// One number as the report shows it.
struct NumberRecord {
    std::string number, pool;
    NumberState state = NumberState::free;
    int64_t order_id = 0, plate_id = 0;
    int plate_seq = 0, slot = 0;
    std::string station, operator_name, reserved_at, marked_at, read_at, read_back, voided_at, voided_by, void_reason,
        updated_at;
};

struct JournalEvent {
    int64_t id = 0, plate_id = 0;
    std::string happened_at, kind, number, station, operator_name, from_state, to_state, note;
};

class Journal {
public:
    // A file path (SQLite) or a postgresql:// URI. An empty database gets the schema (when
    // options.create); a database of an older schema must be migrated first, a newer one is refused.
    static Journal open(const std::string& target, const JournalOptions& options = {});
    Journal(Journal&&) noexcept;
    Journal& operator=(Journal&&) noexcept;
    ~Journal();

    Backend backend() const;
    const std::string& shown_target() const { return shown_target_; }
    int schema_version();
    MigrationResult migrate();

    // Pools. Numbers are digit strings, kept exactly (leading zeros, 15-digit ear tags); a pool
    // that does not exist is created with `owner`; an existing one gets the numbers appended (its
    // owner must then match, or be empty). A number already in any pool refuses the whole call.
    PoolSummary add_numbers(const std::string& pool, const std::string& owner, const std::vector<std::string>& numbers,
                            const Actor& who);
    std::vector<PoolSummary> pools();

    // Orders: cut into plates of tags_per_plate (the last one shorter), all queued. The pool must
    // have the numbers free that this and every earlier order's queued plates still need.
    OrderSummary add_order(const OrderRequest& order, const Actor& who);
    std::vector<OrderSummary> orders();

    Plate plate(int64_t id);
    // Plates in claim order (by order, then by plate), optionally of one state and one order.
    std::vector<Plate> plates(std::optional<PlateState> state = {}, std::optional<int64_t> order = {}, int limit = 1000);

    // The marking runner. claim() returns nothing when no plate is queued; it refuses while the
    // station has a plate in `marking` or `interrupted` (recover and decide first).
    std::optional<Plate> claim(const Actor& station, std::optional<int64_t> order = {});
    // A plate of these very numbers (a batch given its numbers, `korvex eartag --journal`): in one
    // transaction an order of its own for template_name, one plate, claimed as claim() does. Every
    // number must be free and of one pool; else nothing changes.
    Plate claim_numbers(const Actor& station, const std::string& template_name, const std::vector<std::string>& numbers);
    Plate mark_done(int64_t plate, const Actor& station);
    // `read` is what the tag's code decoded as (empty: nothing); returns verified or unreadable.
    // When every tag of the plate is read, the plate is verified, or unreadable if one is.
    NumberState record_read_back(int64_t plate, int slot, const std::string& read, const Actor& station);
    // The plate being marked was stopped: `interrupted`, held for an operator.
    Plate interrupt(int64_t plate, const std::string& why, const Actor& station);
    // At start: this station's plates in `marking` become `interrupted`. Returns every plate of the
    // station that waits for a decision.
    std::vector<Plate> recover_at_start(const Actor& station);

    // Operator decisions.
    Plate confirm(int64_t plate, const Actor& who);  // interrupted -> marked (verify it next)
    Plate void_plate(int64_t plate, const std::string& reason, const Actor& who);
    // Each number is voided, or the call refuses them all (one marking, already voided, unknown).
    void void_numbers(const std::vector<std::string>& numbers, const std::string& reason, const Actor& who);
    // An unreadable plate: its unreadable numbers are voided and a new plate with as many tags is
    // queued in the same order; it will get new numbers when claimed. Returns the new plate.
    Plate reprint(int64_t plate, const Actor& who);

    // Reports.
    void for_each_number(const std::optional<std::string>& pool, const std::function<void(const NumberRecord&)>& each);
    std::vector<NumberRecord> find_numbers(const std::vector<std::string>& numbers);  // unknown ones left out
    // One row per number: number, pool, state, order, plate, plate_in_order, slot, station,
    // operator, reserved_at, marked_at, read_at, read_back, voided_at, voided_by, void_reason.
    void write_report_csv(std::ostream& out, const std::optional<std::string>& pool = {});
    // Events after `after_id`, oldest first (a feed of state changes).
    std::vector<JournalEvent> events_after(int64_t after_id, int limit = 1000);

    // The connection, for tests that check what the schema itself refuses.
    SqlConnection& connection() { return *c_; }

private:
    Journal(std::unique_ptr<SqlConnection> c, std::string shown);
    template <typename F>
    auto in_write(F&& f) -> decltype(f());
    // One write transaction on plate `id`, read and locked first: returns f(plate, now).
    template <typename F>
    auto on_plate(int64_t id, const Actor& who, bool station_needed, F&& f) -> decltype(f(std::declval<const Plate&>(), std::string()));
    void touch(const Actor& who, bool station_needed, const std::string& now);
    // Refuses while the station holds a plate in `marking` or `interrupted`.
    void check_station_free(const Actor& who);
    // Reserves `numbers` (free) for queued plate `plate_id` in slot order, then plate and numbers
    // `marking`.
    void start_plate(const SqlValue& plate_id, const std::vector<std::string>& numbers, const Actor& who, const std::string& now);
    Plate read_plate(int64_t id, bool lock);
    // Plate `id` to `to`, and its numbers in `numbers_from` to `numbers_to`; `time_column` (one of
    // the tables' *_at columns, or nullptr) is set to `now` on both.
    void move_plate(int64_t id, PlateState to, NumberState numbers_from, NumberState numbers_to, const char* time_column,
                    const std::string& note, const Actor& who, const std::string& now);
    // Refuses when the pool has fewer free numbers than its queued plates and `more` need.
    void check_pool_covers(const SqlValue& pool_id, const std::string& pool, int64_t more);

    std::unique_ptr<SqlConnection> c_;
    std::string shown_target_;
};

}  // namespace korvex::station
