// The SQLite back end: the embedded journal, one file beside the station, nothing to install or
// start. Every committed transaction is on the disk before commit returns (WAL with
// synchronous=FULL), so a plate set to `marking` survives the PC losing power before the first pulse.
#include <sqlite3.h>

#include "core/shown_input.hpp"
#include "station/sql_connection.hpp"
#include "station/station_error.hpp"

namespace korvex::station {

namespace {

class SqliteConnection : public SqlConnection {
public:
    SqliteConnection(const std::string& path, int busy_timeout_ms) : path_(path) {
        if (path.empty()) throw StationError(StationError::Kind::bad_input, "no journal file named");
        const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            const std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
            sqlite3_close(db_);
            db_ = nullptr;
            throw StationError(StationError::Kind::database, "cannot open the journal " + Shown_input(path, 200) + ": " + why);
        }
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, busy_timeout_ms);
        std::string mode;
        run("PRAGMA journal_mode=WAL", {}, [&](const SqlRow& r) { mode = r.at(0).value_or(""); });
        if (mode != "wal")
            throw StationError(StationError::Kind::database,
                               "the journal " + Shown_input(path, 200) + " cannot use a write-ahead log (journal mode \"" + mode + "\")");
        run_script("PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;");
    }
    ~SqliteConnection() override { sqlite3_close(db_); }

    Backend backend() const override { return Backend::sqlite; }
    const SqlDialect& dialect() const override {
        static const SqlDialect d{"INTEGER PRIMARY KEY AUTOINCREMENT", "", "", "number NOT GLOB '*[^0-9]*'"};
        return d;
    }

    // A writer takes the lock before it reads, so what it read stays true until it commits; the
    // busy timeout makes it queue behind another station's transaction.
    void begin(bool write) override { run_script(write ? "BEGIN IMMEDIATE" : "BEGIN"); }
    void commit() override { run_script("COMMIT"); }
    void rollback() noexcept override {
        if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }

    int64_t run(const std::string& sql, const std::vector<SqlValue>& params, const RowSink& sink) override {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &st, nullptr) != SQLITE_OK) fail("prepare");
        struct Finalize {
            sqlite3_stmt* st;
            ~Finalize() { sqlite3_finalize(st); }
        } finalize{st};
        if (static_cast<std::size_t>(sqlite3_bind_parameter_count(st)) != params.size())
            throw StationError(StationError::Kind::database, "statement takes " + std::to_string(sqlite3_bind_parameter_count(st)) +
                                                                 " values, given " + std::to_string(params.size()));
        for (std::size_t i = 0; i < params.size(); ++i) {
            const int at = static_cast<int>(i + 1);
            const int rc = params[i] ? sqlite3_bind_text(st, at, params[i]->data(), static_cast<int>(params[i]->size()), SQLITE_TRANSIENT)
                                     : sqlite3_bind_null(st, at);
            if (rc != SQLITE_OK) fail("bind");
        }
        SqlRow row;
        while (true) {
            const int rc = sqlite3_step(st);
            if (rc == SQLITE_DONE) break;
            if (rc != SQLITE_ROW) fail("step");
            const int n = sqlite3_column_count(st);
            row.assign(static_cast<std::size_t>(n), std::nullopt);
            for (int c = 0; c < n; ++c) {
                if (sqlite3_column_type(st, c) == SQLITE_NULL) continue;
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                row[static_cast<std::size_t>(c)] = std::string(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(st, c)));
            }
            if (sink) sink(row);
        }
        return sqlite3_stmt_readonly(st) ? 0 : sqlite3_changes64(db_);
    }

    void run_script(const std::string& sql) override {
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) fail("run");
    }

    bool has_table(const std::string& name) override {
        return !query("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?", {name}).empty();
    }
    void lock_for_migration() override {}  // BEGIN IMMEDIATE holds the only write lock already

private:
    [[noreturn]] void fail(const char* step) {
        const int code = sqlite3_extended_errcode(db_);
        const std::string why = sqlite3_errmsg(db_);
        const int primary = code & 0xFF;
        StationError::Kind kind = StationError::Kind::database;
        if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) kind = StationError::Kind::busy;
        if (primary == SQLITE_CONSTRAINT) kind = StationError::Kind::refused;
        throw StationError(kind, kind == StationError::Kind::refused ? "the journal refused the change: " + why
                                                                     : "journal " + Shown_input(path_, 200) + ": " + step + ": " + why);
    }

    std::string path_;
    sqlite3* db_ = nullptr;
};

}  // namespace

std::unique_ptr<SqlConnection> open_sqlite(const std::string& path, int busy_timeout_ms) {
    return std::make_unique<SqliteConnection>(path, busy_timeout_ms);
}

}  // namespace korvex::station
