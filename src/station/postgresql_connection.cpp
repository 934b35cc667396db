// The PostgreSQL back end: one database shared by a hall of stations. The journal's `?`
// placeholders become $1, $2, ...; a station waits at most 10 s for a row another station holds
// (lock_timeout) and then reports the journal busy. A commit whose outcome the connection lost is
// an error, never taken for success: the runner must not mark a plate it is not sure it holds.
#include <pqxx/pqxx>

#include "core/shown_input.hpp"
#include "station/sql_connection.hpp"
#include "station/station_error.hpp"

namespace korvex::station {

namespace {

constexpr int64_t kMigrationLockKey = 0x6b6f7276'65780001;  // "korvex" + 1: the journal's schema

// `?` placeholders as $1, $2, ... (none of the journal's statements has a `?` inside a literal).
std::string numbered_placeholders(const std::string& sql) {
    std::string out;
    out.reserve(sql.size() + 16);
    int n = 0;
    bool quoted = false;
    for (char c : sql) {
        if (c == '\'') quoted = !quoted;
        if (c == '?' && !quoted) {
            out += '$' + std::to_string(++n);
        } else {
            out += c;
        }
    }
    return out;
}

// The server's message without its "ERROR:" prefix and the lines of context after it.
std::string server_message(const std::exception& e) {
    std::string m = e.what();
    if (m.rfind("ERROR:", 0) == 0) m.erase(0, m.find_first_not_of(' ', 6));
    const std::size_t line = m.find('\n');
    return line == std::string::npos ? m : m.substr(0, line);
}

class PostgresqlConnection : public SqlConnection {
public:
    explicit PostgresqlConnection(const std::string& uri) try : conn_(uri) {
        run_script("SET client_min_messages = warning; SET lock_timeout = '10s'; SET TIME ZONE 'UTC'");
    } catch (const pqxx::broken_connection& e) {
        throw StationError(StationError::Kind::database, "cannot reach the journal " + shown_target(uri) + ": " + server_message(e));
    } catch (const pqxx::failure& e) {
        throw StationError(StationError::Kind::database, "cannot open the journal " + shown_target(uri) + ": " + server_message(e));
    }

    Backend backend() const override { return Backend::postgresql; }
    const SqlDialect& dialect() const override {
        static const SqlDialect d{"BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY", " FOR UPDATE", " FOR UPDATE SKIP LOCKED",
                                  "number ~ '^[0-9]+$'"};
        return d;
    }

    void begin(bool) override {
        guarded([&] { work_ = std::make_unique<pqxx::work>(conn_); });
    }
    void commit() override {
        if (!work_) throw StationError(StationError::Kind::database, "commit outside a transaction");
        guarded([&] {
            auto w = std::move(work_);
            w->commit();
        });
    }
    void rollback() noexcept override {
        try {
            if (work_) work_->abort();
        } catch (...) {
        }
        work_.reset();
    }

    int64_t run(const std::string& sql, const std::vector<SqlValue>& params, const RowSink& sink) override {
        std::vector<const char*> values;
        values.reserve(params.size());
        for (const SqlValue& p : params) values.push_back(p ? p->c_str() : nullptr);
        pqxx::result r;
        guarded([&] {
            r = in_transaction([&](pqxx::transaction_base& t) {
                return t.exec_params(numbered_placeholders(sql), pqxx::prepare::make_dynamic_params(values));
            });
        });
        if (sink) {
            SqlRow row;
            for (const auto& rec : r) {
                row.assign(rec.size(), std::nullopt);
                for (std::size_t c = 0; c < rec.size(); ++c)
                    if (!rec[static_cast<int>(c)].is_null()) row[c] = std::string(rec[static_cast<int>(c)].c_str(), rec[static_cast<int>(c)].size());
                sink(row);
            }
        }
        return static_cast<int64_t>(r.affected_rows());
    }

    void run_script(const std::string& sql) override {
        guarded([&] { in_transaction([&](pqxx::transaction_base& t) { return t.exec(sql); }); });
    }

    bool has_table(const std::string& name) override {
        return !query("SELECT 1 FROM information_schema.tables WHERE table_schema = current_schema() AND table_name = ?", {name}).empty();
    }
    void lock_for_migration() override { execute("SELECT pg_advisory_xact_lock(" + std::to_string(kMigrationLockKey) + ")"); }

private:
    template <typename F>
    pqxx::result in_transaction(F&& f) {
        if (work_) return f(*work_);
        pqxx::nontransaction once(conn_);
        return f(once);
    }

    template <typename F>
    void guarded(F&& f) {
        try {
            f();
        } catch (const pqxx::in_doubt_error& e) {
            work_.reset();
            throw StationError(StationError::Kind::database, "the connection was lost during a commit; whether it took is unknown: " +
                                                                 server_message(e));
        } catch (const pqxx::broken_connection& e) {
            work_.reset();
            throw StationError(StationError::Kind::database, "the connection to the journal was lost: " + server_message(e));
        } catch (const pqxx::sql_error& e) {
            const std::string state = e.sqlstate();
            StationError::Kind kind = StationError::Kind::database;
            if (state.rfind("23", 0) == 0 || state == "P0001") kind = StationError::Kind::refused;
            if (state == "40001" || state == "40P01" || state == "55P03") kind = StationError::Kind::busy;
            throw StationError(kind, kind == StationError::Kind::refused ? "the journal refused the change: " + server_message(e)
                                                                         : "journal: " + server_message(e));
        } catch (const pqxx::failure& e) {
            throw StationError(StationError::Kind::database, "journal: " + server_message(e));
        }
    }

    pqxx::connection conn_;
    std::unique_ptr<pqxx::work> work_;
};

}  // namespace

std::unique_ptr<SqlConnection> open_postgresql(const std::string& uri) { return std::make_unique<PostgresqlConnection>(uri); }

}  // namespace korvex::station
