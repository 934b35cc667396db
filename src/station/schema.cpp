// The journal's schema, version by version. The tables and the conditions of the triggers are one
// text for both databases; only the trigger bodies differ (SQLite's WHEN ... RAISE, PostgreSQL's
// PL/pgSQL functions). {ID} and {DIGITS} stand for the dialect's id column and digits check.
#include "station/schema.hpp"

#include "station/station_error.hpp"

namespace korvex::station {

namespace {

constexpr const char* kVersionTable =
    "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER PRIMARY KEY, applied_at TEXT NOT NULL)";

constexpr const char* kTablesV1 = R"SQL(
CREATE TABLE transitions (
    kind TEXT NOT NULL CHECK (kind IN ('number', 'plate')),
    from_state TEXT NOT NULL,
    to_state TEXT NOT NULL,
    PRIMARY KEY (kind, from_state, to_state)
);
INSERT INTO transitions (kind, from_state, to_state) VALUES
    ('number', 'new', 'free'),
    ('number', 'free', 'reserved'), ('number', 'free', 'voided'),
    ('number', 'reserved', 'marking'), ('number', 'reserved', 'voided'),
    ('number', 'marking', 'marked'), ('number', 'marking', 'interrupted'),
    ('number', 'marked', 'verified'), ('number', 'marked', 'unreadable'), ('number', 'marked', 'voided'),
    ('number', 'unreadable', 'verified'), ('number', 'unreadable', 'voided'),
    ('number', 'verified', 'voided'),
    ('number', 'interrupted', 'marked'), ('number', 'interrupted', 'voided'),
    ('plate', 'new', 'queued'),
    ('plate', 'queued', 'marking'),
    ('plate', 'marking', 'marked'), ('plate', 'marking', 'interrupted'),
    ('plate', 'marked', 'verified'), ('plate', 'marked', 'unreadable'), ('plate', 'marked', 'voided'),
    ('plate', 'unreadable', 'verified'), ('plate', 'unreadable', 'voided'),
    ('plate', 'verified', 'voided'),
    ('plate', 'interrupted', 'marked'), ('plate', 'interrupted', 'voided');
CREATE TABLE operators (
    name TEXT PRIMARY KEY CHECK (name <> ''),
    first_seen TEXT NOT NULL
);
CREATE TABLE stations (
    name TEXT PRIMARY KEY CHECK (name <> ''),
    first_seen TEXT NOT NULL,
    last_seen TEXT NOT NULL
);
CREATE TABLE pools (
    id {ID},
    name TEXT NOT NULL UNIQUE CHECK (name <> ''),
    owner TEXT NOT NULL,
    created_at TEXT NOT NULL,
    created_by TEXT NOT NULL REFERENCES operators (name)
);
CREATE TABLE orders (
    id {ID},
    pool_id BIGINT NOT NULL REFERENCES pools (id),
    template_name TEXT NOT NULL CHECK (template_name <> ''),
    tag_count INTEGER NOT NULL CHECK (tag_count > 0),
    tags_per_plate INTEGER NOT NULL CHECK (tags_per_plate BETWEEN 1 AND 101),
    created_at TEXT NOT NULL,
    created_by TEXT NOT NULL REFERENCES operators (name)
);
CREATE TABLE plates (
    id {ID},
    order_id BIGINT NOT NULL REFERENCES orders (id),
    seq INTEGER NOT NULL CHECK (seq > 0),
    tags INTEGER NOT NULL CHECK (tags BETWEEN 1 AND 101),
    state TEXT NOT NULL CHECK (state IN ('queued', 'marking', 'marked', 'verified', 'unreadable', 'interrupted', 'voided')),
    station TEXT REFERENCES stations (name),
    operator_name TEXT NOT NULL REFERENCES operators (name),
    reprint_of BIGINT REFERENCES plates (id),
    claimed_at TEXT,
    marked_at TEXT,
    read_at TEXT,
    voided_at TEXT,
    void_reason TEXT,
    note TEXT,
    updated_at TEXT NOT NULL,
    UNIQUE (order_id, seq),
    CHECK ((state = 'queued') = (station IS NULL)),
    CHECK ((state = 'voided') = (voided_at IS NOT NULL AND void_reason IS NOT NULL AND void_reason <> ''))
);
CREATE INDEX plates_by_state ON plates (state, order_id, seq);
CREATE INDEX plates_by_station ON plates (station, state);
CREATE TABLE numbers (
    number TEXT PRIMARY KEY CHECK (length(number) BETWEEN 1 AND 32 AND {DIGITS}),
    pool_id BIGINT NOT NULL REFERENCES pools (id),
    pool_index INTEGER NOT NULL CHECK (pool_index > 0),
    state TEXT NOT NULL CHECK (state IN ('free', 'reserved', 'marking', 'marked', 'verified', 'unreadable', 'voided', 'interrupted')),
    plate_id BIGINT REFERENCES plates (id),
    slot INTEGER CHECK (slot BETWEEN 1 AND 101),
    station TEXT REFERENCES stations (name),
    operator_name TEXT NOT NULL REFERENCES operators (name),
    reserved_at TEXT,
    marked_at TEXT,
    read_at TEXT,
    read_back TEXT,
    voided_at TEXT,
    voided_by TEXT REFERENCES operators (name),
    void_reason TEXT,
    note TEXT,
    updated_at TEXT NOT NULL,
    UNIQUE (pool_id, pool_index),
    UNIQUE (plate_id, slot),
    CHECK ((plate_id IS NULL) = (slot IS NULL)),
    CHECK (state <> 'free' OR plate_id IS NULL),
    CHECK (state IN ('free', 'voided') OR plate_id IS NOT NULL),
    CHECK ((state = 'voided') = (voided_at IS NOT NULL AND voided_by IS NOT NULL AND void_reason IS NOT NULL AND void_reason <> ''))
);
CREATE INDEX numbers_by_state ON numbers (pool_id, state, pool_index);
CREATE TABLE events (
    id {ID},
    happened_at TEXT NOT NULL,
    kind TEXT NOT NULL,
    number TEXT REFERENCES numbers (number),
    plate_id BIGINT REFERENCES plates (id),
    station TEXT,
    operator_name TEXT NOT NULL,
    from_state TEXT NOT NULL,
    to_state TEXT NOT NULL,
    note TEXT,
    FOREIGN KEY (kind, from_state, to_state) REFERENCES transitions (kind, from_state, to_state),
    CHECK ((kind = 'number') = (number IS NOT NULL))
);
CREATE INDEX events_by_number ON events (number);
CREATE INDEX events_by_plate ON events (plate_id);
)SQL";

// A change the journal never makes: another number or pool, a plate or slot given other than when
// a free number is reserved, or a change of state the transitions table does not list.
constexpr const char* kNumberRefused =
    "NEW.number <> OLD.number OR NEW.pool_id <> OLD.pool_id OR NEW.pool_index <> OLD.pool_index"
    " OR ((NEW.plate_id IS DISTINCT FROM OLD.plate_id OR NEW.slot IS DISTINCT FROM OLD.slot)"
    "     AND NOT (OLD.state = 'free' AND NEW.state = 'reserved'))"
    " OR (NEW.state <> OLD.state AND NOT EXISTS (SELECT 1 FROM transitions t"
    "     WHERE t.kind = 'number' AND t.from_state = OLD.state AND t.to_state = NEW.state))";
constexpr const char* kPlateRefused =
    "NEW.order_id <> OLD.order_id OR NEW.seq <> OLD.seq OR NEW.tags <> OLD.tags"
    " OR NEW.reprint_of IS DISTINCT FROM OLD.reprint_of"
    " OR (NEW.station IS DISTINCT FROM OLD.station AND NOT (OLD.state = 'queued' AND NEW.state = 'marking'))"
    " OR (NEW.state <> OLD.state AND NOT EXISTS (SELECT 1 FROM transitions t"
    "     WHERE t.kind = 'plate' AND t.from_state = OLD.state AND t.to_state = NEW.state))";

// The triggers of a table whose rows have a state ({TABLE} numbers or plates, {KIND} number or
// plate): refuse a change {REFUSED} names, write an event for every row added and every change
// of state, refuse deleting rows.
constexpr const char* kStateTriggersSqlite = R"SQL(
CREATE TRIGGER {TABLE}_guard BEFORE UPDATE ON {TABLE} WHEN {REFUSED}
BEGIN SELECT RAISE(ABORT, 'the journal refuses this change of a {KIND} (its state may only follow the transitions)'); END;
CREATE TRIGGER {TABLE}_new AFTER INSERT ON {TABLE} BEGIN
    INSERT INTO events (happened_at, kind, number, plate_id, station, operator_name, from_state, to_state, note)
    VALUES (NEW.updated_at, '{KIND}', {EVENT_NUMBER}, {EVENT_PLATE}, NEW.station, NEW.operator_name, 'new', NEW.state, NEW.note);
END;
CREATE TRIGGER {TABLE}_log AFTER UPDATE OF state ON {TABLE} WHEN NEW.state <> OLD.state BEGIN
    INSERT INTO events (happened_at, kind, number, plate_id, station, operator_name, from_state, to_state, note)
    VALUES (NEW.updated_at, '{KIND}', {EVENT_NUMBER}, {EVENT_PLATE}, NEW.station, NEW.operator_name, OLD.state, NEW.state, NEW.note);
END;
CREATE TRIGGER {TABLE}_kept BEFORE DELETE ON {TABLE} BEGIN SELECT RAISE(ABORT, '{TABLE} are never deleted from the journal'); END;
)SQL";

constexpr const char* kStateTriggersPostgresql = R"SQL(
CREATE FUNCTION journal_{KIND}_guard() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF {REFUSED} THEN
        RAISE EXCEPTION 'the journal refuses this change of {KIND} % (% -> %)', {OLD_KEY}, OLD.state, NEW.state;
    END IF;
    RETURN NEW;
END $$;
CREATE FUNCTION journal_{KIND}_log() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP = 'INSERT' OR NEW.state <> OLD.state THEN
        INSERT INTO events (happened_at, kind, number, plate_id, station, operator_name, from_state, to_state, note)
        VALUES (NEW.updated_at, '{KIND}', {EVENT_NUMBER}, {EVENT_PLATE}, NEW.station, NEW.operator_name,
                CASE WHEN TG_OP = 'INSERT' THEN 'new' ELSE OLD.state END, NEW.state, NEW.note);
    END IF;
    RETURN NULL;
END $$;
CREATE TRIGGER {TABLE}_guard BEFORE UPDATE ON {TABLE} FOR EACH ROW EXECUTE FUNCTION journal_{KIND}_guard();
CREATE TRIGGER {TABLE}_log AFTER INSERT OR UPDATE ON {TABLE} FOR EACH ROW EXECUTE FUNCTION journal_{KIND}_log();
CREATE TRIGGER {TABLE}_kept BEFORE DELETE OR TRUNCATE ON {TABLE} FOR EACH STATEMENT
    EXECUTE FUNCTION journal_refuse('{TABLE} are never deleted from the journal');
)SQL";

// The event table is append-only; the transitions change only by migration.
constexpr const char* kKeptTablesSqlite = R"SQL(
CREATE TRIGGER events_kept_u BEFORE UPDATE ON events BEGIN SELECT RAISE(ABORT, 'the event table is append-only'); END;
CREATE TRIGGER events_kept_d BEFORE DELETE ON events BEGIN SELECT RAISE(ABORT, 'the event table is append-only'); END;
CREATE TRIGGER transitions_kept_i BEFORE INSERT ON transitions BEGIN SELECT RAISE(ABORT, 'the transitions change only by migration'); END;
CREATE TRIGGER transitions_kept_u BEFORE UPDATE ON transitions BEGIN SELECT RAISE(ABORT, 'the transitions change only by migration'); END;
CREATE TRIGGER transitions_kept_d BEFORE DELETE ON transitions BEGIN SELECT RAISE(ABORT, 'the transitions change only by migration'); END;
)SQL";

constexpr const char* kKeptTablesPostgresql = R"SQL(
CREATE FUNCTION journal_refuse() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN RAISE EXCEPTION '%', TG_ARGV[0]; END $$;
CREATE TRIGGER events_kept BEFORE UPDATE OR DELETE OR TRUNCATE ON events FOR EACH STATEMENT
    EXECUTE FUNCTION journal_refuse('the event table is append-only');
CREATE TRIGGER transitions_kept BEFORE INSERT OR UPDATE OR DELETE OR TRUNCATE ON transitions FOR EACH STATEMENT
    EXECUTE FUNCTION journal_refuse('the transitions change only by migration');
)SQL";

void replace_all(std::string& text, const std::string& token, const std::string& with) {
    for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + with.size()))
        text.replace(at, token.size(), with);
}

std::string state_triggers(bool sqlite, const char* table, const char* kind, const char* refused, const char* old_key,
                           const char* event_number, const char* event_plate) {
    std::string t = sqlite ? kStateTriggersSqlite : kStateTriggersPostgresql;
    replace_all(t, "{REFUSED}", refused);
    replace_all(t, "{TABLE}", table);
    replace_all(t, "{KIND}", kind);
    replace_all(t, "{OLD_KEY}", old_key);
    replace_all(t, "{EVENT_NUMBER}", event_number);
    replace_all(t, "{EVENT_PLATE}", event_plate);
    return t;
}

// The statements of version `v` for this connection's database.
std::string version_script(int v, SqlConnection& c) {
    const bool sqlite = c.backend() == Backend::sqlite;
    std::string s;
    if (v == 1)
        s = std::string(kTablesV1) + (sqlite ? kKeptTablesSqlite : kKeptTablesPostgresql) +
            state_triggers(sqlite, "numbers", "number", kNumberRefused, "OLD.number", "NEW.number", "NEW.plate_id") +
            state_triggers(sqlite, "plates", "plate", kPlateRefused, "OLD.id", "NULL", "NEW.id");
    replace_all(s, "{ID}", c.dialect().id_column);
    replace_all(s, "{DIGITS}", c.dialect().digits_only);
    return s;
}

int stored_version(SqlConnection& c) {
    if (!c.has_table("schema_version")) return 0;
    const auto rows = c.query("SELECT max(version) FROM schema_version");
    return rows.empty() || !rows[0][0] ? 0 : std::stoi(*rows[0][0]);
}

}  // namespace

int schema_target_version() { return 1; }

int schema_version(SqlConnection& c) {
    SqlTransaction t(c, false);
    const int v = stored_version(c);
    t.commit();
    return v;
}

MigrationResult migrate_schema(SqlConnection& c, const std::string& now) {
    SqlTransaction t(c, true);
    c.lock_for_migration();
    c.run_script(kVersionTable);
    MigrationResult r;
    r.from_version = r.to_version = stored_version(c);
    if (r.from_version > schema_target_version())
        throw StationError(StationError::Kind::database, "the journal's schema is version " + std::to_string(r.from_version) +
                                                             ", newer than this program's " + std::to_string(schema_target_version()) +
                                                             ": use a newer korvex");
    for (int v = r.from_version + 1; v <= schema_target_version(); ++v) {
        c.run_script(version_script(v, c));
        c.execute("INSERT INTO schema_version (version, applied_at) VALUES (?, ?)", {std::to_string(v), now});
        r.to_version = v;
    }
    t.commit();
    return r;
}

}  // namespace korvex::station
