// SqlConnection: the one small interface between the journal and its two databases. The journal
// writes every statement once, in the SQL both databases speak, with `?` placeholders bound in
// order (values are text or NULL; the database converts them to the column's type); a back end
// only runs statements and transactions and names the few phrases where the two differ (row
// locks, id columns, triggers). One connection serves one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvex::station {

using SqlValue = std::optional<std::string>;  // nullopt is SQL NULL
using SqlRow = std::vector<SqlValue>;

enum class Backend { sqlite, postgresql };

// What differs between the two databases' SQL.
struct SqlDialect {
    std::string id_column;         // an integer primary key the database numbers itself
    std::string lock_rows;         // appended to a SELECT whose rows the transaction will change
    std::string lock_free_rows;    // ... whose rows another station may already hold: skip those
    std::string digits_only;       // a condition that column `number` holds digits only
};

class SqlConnection {
public:
    using RowSink = std::function<void(const SqlRow&)>;

    virtual ~SqlConnection() = default;
    virtual Backend backend() const = 0;
    virtual const SqlDialect& dialect() const = 0;

    // A transaction. `write` takes the database's write lock at once where the database has one
    // (SQLite's BEGIN IMMEDIATE), so two stations never both read and then both try to write.
    virtual void begin(bool write) = 0;
    virtual void commit() = 0;
    virtual void rollback() noexcept = 0;

    // Runs one statement with its parameters; each result row goes to `sink` as it arrives.
    // Returns the number of rows the statement changed (0 for a query).
    virtual int64_t run(const std::string& sql, const std::vector<SqlValue>& params, const RowSink& sink) = 0;
    // Several statements without parameters (schema changes).
    virtual void run_script(const std::string& sql) = 0;
    // Whether the table exists (the schema's version table before the first migration).
    virtual bool has_table(const std::string& name) = 0;
    // Held from here to the end of the transaction, so two stations never migrate at once.
    virtual void lock_for_migration() = 0;

    // run() collecting the rows.
    std::vector<SqlRow> query(const std::string& sql, const std::vector<SqlValue>& params = {});
    int64_t execute(const std::string& sql, const std::vector<SqlValue>& params = {});
};

// A transaction that rolls back unless committed.
class SqlTransaction {
public:
    SqlTransaction(SqlConnection& c, bool write) : c_(c) { c_.begin(write); }
    ~SqlTransaction() {
        if (!done_) c_.rollback();
    }
    SqlTransaction(const SqlTransaction&) = delete;
    SqlTransaction& operator=(const SqlTransaction&) = delete;
    void commit() {
        done_ = true;
        c_.commit();
    }

private:
    SqlConnection& c_;
    bool done_ = false;
};

// A SQLite file (created when missing): write-ahead log, synchronous=FULL, foreign keys on, and
// waiting up to busy_timeout_ms for another station's write lock.
std::unique_ptr<SqlConnection> open_sqlite(const std::string& path, int busy_timeout_ms);
// A PostgreSQL database named by a postgresql:// (or postgres://) URI.
std::unique_ptr<SqlConnection> open_postgresql(const std::string& uri);

// The target as it may appear in a message: a URI's password replaced by "***", controls escaped.
std::string shown_target(const std::string& target);

}  // namespace korvex::station
