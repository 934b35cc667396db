// The production journal on both databases (a SQLite file; a PostgreSQL cluster the tests start):
// the state machine and its refusals, what the schema refuses whatever the code does, recovery of
// a killed station's plate, claims from several processes at once, reports and migrations.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "postgres_cluster.hpp"
#include "station/journal.hpp"

using namespace korvex::station;

namespace {

using Kind = StationError::Kind;

const Actor kAnn{"ann", ""};
const Actor kStation1{"ann", "station-1"};
const Actor kStation2{"bob", "station-2"};

std::vector<std::string> tags(int first, int n) {  // 15-digit ear-tag numbers 982000000000FIRST...
    std::vector<std::string> out;
    for (int i = first; i < first + n; ++i) {
        std::string s = std::to_string(i);
        out.push_back("982000000" + std::string(6 - s.size(), '0') + s);
    }
    return out;
}

template <typename F>
Kind kind_of(F&& f) {
    try {
        f();
    } catch (const StationError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no StationError";
    return Kind::database;
}

class JournalTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        if (GetParam() == Backend::postgresql) {
            std::string why;
            station_test::PostgresCluster* cluster = station_test::PostgresCluster::get(why);
            if (!cluster) GTEST_SKIP() << "PostgreSQL: " << why;
            target_ = cluster->new_database();
        } else {
            folder_ = std::filesystem::temp_directory_path() / ("korvex-journal-" + std::to_string(getpid()));
            std::filesystem::remove_all(folder_);
            std::filesystem::create_directories(folder_);
            target_ = (folder_ / "tags.db").string();
        }
    }
    void TearDown() override {
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }
    Journal open(JournalOptions o = {}) { return Journal::open(target_, o); }
    // Runs `child` in `n` processes at once (each opens the journal itself); true when all exit 0.
    bool in_processes(int n, const std::function<void(int)>& child) {
        std::vector<pid_t> pids;
        for (int i = 0; i < n; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                int status = 0;
                try {
                    child(i);
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "process %d: %s\n", i, e.what());
                    status = 1;
                }
                _exit(status);
            }
            pids.push_back(pid);
        }
        bool ok = true;
        for (pid_t p : pids) {
            int status = 0;
            waitpid(p, &status, 0);
            ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        return ok;
    }

    std::filesystem::path folder_;
    std::string target_;
};

TEST_P(JournalTest, StateMachineWalksAndRefuses) {
    Journal j = open();
    std::vector<std::string> numbers = tags(1, 6);
    numbers.push_back("0042");  // leading zeros kept
    EXPECT_EQ(j.add_numbers("lot 7", "farm A", numbers, kAnn).counts[NumberState::free], 7);
    EXPECT_EQ(kind_of([&] { j.add_numbers("other", "", {"12a"}, kAnn); }), Kind::bad_input);
    EXPECT_EQ(kind_of([&] { j.add_numbers("other", "", {"5", "5"}, kAnn); }), Kind::bad_input);
    EXPECT_EQ(kind_of([&] { j.add_numbers("other", "", {"9", "0042"}, kAnn); }), Kind::refused);  // in lot 7 already
    EXPECT_EQ(j.pools().size(), 1u);                                                             // nothing of it was added
    EXPECT_EQ(kind_of([&] { j.add_numbers("lot 7", "farm B", {"9"}, kAnn); }), Kind::refused);  // not farm B's pool

    const OrderSummary order = j.add_order({"lot 7", "cattle", 5, 2}, kAnn);
    EXPECT_EQ(order.plates[static_cast<int>(PlateState::queued)], 3);
    EXPECT_EQ(kind_of([&] { j.add_order({"lot 7", "cattle", 3, 2}, kAnn); }), Kind::refused);  // 2 left unpromised
    EXPECT_EQ(kind_of([&] { j.add_order({"none", "cattle", 1, 2}, kAnn); }), Kind::not_found);

    const Plate p1 = j.claim(kStation1).value();
    ASSERT_EQ(p1.numbers.size(), 2u);
    EXPECT_EQ(p1.state, PlateState::marking);
    EXPECT_EQ(p1.numbers[0].number, "982000000000001");
    EXPECT_EQ(p1.numbers[1].state, NumberState::marking);
    EXPECT_EQ(kind_of([&] { j.claim(kStation1); }), Kind::refused);        // one plate at a time
    EXPECT_EQ(kind_of([&] { j.mark_done(p1.id, kStation2); }), Kind::refused);  // not station 2's
    EXPECT_EQ(kind_of([&] { j.void_plate(p1.id, "dropped", kAnn); }), Kind::refused);
    EXPECT_EQ(kind_of([&] { j.void_numbers({p1.numbers[0].number}, "x", kAnn); }), Kind::refused);
    EXPECT_EQ(kind_of([&] { j.record_read_back(p1.id, 1, p1.numbers[0].number, kStation1); }), Kind::refused);
    EXPECT_EQ(j.mark_done(p1.id, kStation1).state, PlateState::marked);
    EXPECT_EQ(kind_of([&] { j.mark_done(p1.id, kStation1); }), Kind::refused);
    EXPECT_EQ(kind_of([&] { j.confirm(p1.id, kAnn); }), Kind::refused);  // only interrupted plates

    EXPECT_EQ(j.record_read_back(p1.id, 1, "982000000000001", kStation1), NumberState::verified);
    EXPECT_EQ(j.plate(p1.id).state, PlateState::marked);  // one tag still to read
    EXPECT_EQ(j.record_read_back(p1.id, 2, "98200000000000", kStation1), NumberState::unreadable);
    EXPECT_EQ(j.plate(p1.id).state, PlateState::unreadable);

    // Reprint: the unreadable number is voided, a new plate of one tag queued; it gets a new number.
    const Plate again = j.reprint(p1.id, kAnn);
    EXPECT_EQ(again.tags, 1);
    EXPECT_EQ(again.reprint_of, p1.id);
    EXPECT_EQ(j.plate(p1.id).numbers[1].state, NumberState::voided);
    EXPECT_EQ(kind_of([&] { j.reprint(p1.id, kAnn); }), Kind::refused);  // nothing unreadable left

    // The queue goes on in order: plates 2 and 3, then the reprint, then nothing.
    std::set<std::string> seen{p1.numbers[0].number, p1.numbers[1].number};
    for (int expected_seq : {2, 3, 4}) {
        const Plate p = j.claim(expected_seq == 3 ? kStation2 : kStation1).value();
        EXPECT_EQ(p.seq, expected_seq);
        for (const PlateTag& t : p.numbers) EXPECT_TRUE(seen.insert(t.number).second) << t.number;
        j.mark_done(p.id, p.station == "station-1" ? kStation1 : kStation2);
    }
    EXPECT_FALSE(j.claim(kStation1).has_value());
    EXPECT_FALSE(seen.count("0042"));  // the one number the order did not need

    // Voiding: a marked plate (its tags are scrap), and refusals that void nothing.
    const Plate v = j.void_plate(2, "bent", kAnn);
    EXPECT_EQ(v.state, PlateState::voided);
    EXPECT_EQ(v.numbers[0].state, NumberState::voided);
    EXPECT_EQ(kind_of([&] { j.void_plate(2, "again", kAnn); }), Kind::refused);
    EXPECT_EQ(kind_of([&] { j.void_numbers({"0042", "77"}, "spare", kAnn); }), Kind::not_found);
    EXPECT_EQ(j.find_numbers({"0042"}).at(0).state, NumberState::free);  // untouched by the refused call
    j.void_numbers({"0042"}, "spare", kAnn);
    EXPECT_EQ(j.find_numbers({"0042"}).at(0).void_reason, "spare");
    EXPECT_EQ(kind_of([&] { j.void_plate(3, "", kAnn); }), Kind::bad_input);
}

TEST_P(JournalTest, SchemaRefusesWhatTheCodeMustNot) {
    Journal j = open();
    j.add_numbers("lot", "", tags(1, 4), kAnn);
    j.add_order({"lot", "cattle", 4, 2}, kAnn);
    const Plate p = j.claim(kStation1).value();
    j.mark_done(p.id, kStation1);
    SqlConnection& c = j.connection();
    const std::string marked = p.numbers[0].number, free = tags(3, 1)[0];
    for (const std::string& sql : std::vector<std::string>{
             "UPDATE numbers SET state = 'free', plate_id = NULL, slot = NULL WHERE number = '" + marked + "'",  // marked twice
             "UPDATE numbers SET state = 'marking' WHERE number = '" + free + "'",                               // never reserved
             "UPDATE numbers SET slot = 2 WHERE number = '" + marked + "'",                                      // moved on its plate
             "UPDATE numbers SET state = 'voided' WHERE number = '" + free + "'",                                // voided without reason
             "UPDATE plates SET state = 'queued', station = NULL WHERE id = " + std::to_string(p.id),
             std::string("INSERT INTO numbers (number, pool_id, pool_index, state, operator_name, updated_at) VALUES ('5', 1, 9, 'marked', 'ann', 't')"),
             "INSERT INTO numbers (number, pool_id, pool_index, state, operator_name, updated_at) VALUES ('" + free + "', 1, 9, 'free', 'ann', 't')",
             std::string("INSERT INTO numbers (number, pool_id, pool_index, state, operator_name, updated_at) VALUES ('1x', 1, 9, 'free', 'ann', 't')"),
             std::string("DELETE FROM numbers"), std::string("UPDATE events SET to_state = 'free'"), std::string("DELETE FROM events"),
             std::string("INSERT INTO transitions VALUES ('number', 'marked', 'free')"),
         })
        EXPECT_EQ(kind_of([&] { c.execute(sql); }), Kind::refused) << sql;
    EXPECT_EQ(j.find_numbers({marked}).at(0).state, NumberState::marked);
    // Every change the journal made is an event, written by the database itself.
    int reserved = 0;
    for (const JournalEvent& e : j.events_after(0))
        reserved += e.kind == "number" && e.from_state == "free" && e.to_state == "reserved" && e.plate_id == p.id && e.station == "station-1";
    EXPECT_EQ(reserved, 2);
}

TEST_P(JournalTest, KilledStationsPlateIsInterruptedAndHeld) {
    {
        Journal j = open();
        j.add_numbers("lot", "", tags(1, 6), kAnn);
        j.add_order({"lot", "cattle", 6, 2}, kAnn);
    }
    // A station process claims a plate and dies before mark_done: twice.
    const auto killed_while_marking = [&] {
        return in_processes(1, [&](int) {
            Journal j = open();
            j.claim(kStation1).value();
            raise(SIGKILL);
        });
    };
    EXPECT_FALSE(killed_while_marking());
    Journal j = open();
    EXPECT_EQ(kind_of([&] { j.claim(kStation1); }), Kind::refused);  // must recover first
    std::vector<Plate> held = j.recover_at_start(kStation1);
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].state, PlateState::interrupted);
    EXPECT_EQ(held[0].numbers[0].state, NumberState::interrupted);
    EXPECT_EQ(j.recover_at_start(kStation1).size(), 1u);              // held until decided
    EXPECT_EQ(kind_of([&] { j.claim(kStation1); }), Kind::refused);  // never re-marked silently
    EXPECT_TRUE(j.claim(kStation2).has_value());                      // other stations go on
    EXPECT_EQ(kind_of([&] { j.record_read_back(held[0].id, 1, held[0].numbers[0].number, kStation1); }), Kind::refused);

    // The operator saw it marked: confirm, then verify.
    EXPECT_EQ(j.confirm(held[0].id, kAnn).numbers[1].state, NumberState::marked);
    j.record_read_back(held[0].id, 1, held[0].numbers[0].number, kStation1);
    j.record_read_back(held[0].id, 2, held[0].numbers[1].number, kStation1);
    EXPECT_EQ(j.plate(held[0].id).state, PlateState::verified);

    // The next one is scrap: void it. Nothing ever went back to free.
    EXPECT_FALSE(killed_while_marking());
    held = j.recover_at_start(kStation1);
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(j.void_plate(held[0].id, "half marked when the station died", kAnn).numbers[0].state, NumberState::voided);
    const StateCounts counts = j.pools().at(0).counts;
    EXPECT_EQ(counts[NumberState::free], 0);
    EXPECT_EQ(counts[NumberState::verified], 2);
    EXPECT_EQ(counts[NumberState::voided], 2);
    EXPECT_EQ(counts[NumberState::marking], 2);  // station 2's plate
    EXPECT_TRUE(j.recover_at_start(kStation1).empty());
}

TEST_P(JournalTest, StationsClaimingAtOnceNeverShareANumber) {
    constexpr int kStations = 4, kTags = 160;
    {
        Journal j = open();
        j.add_numbers("hall", "", tags(1, kTags), kAnn);
        j.add_order({"hall", "cattle", kTags, 2}, kAnn);
    }
    EXPECT_TRUE(in_processes(kStations, [&](int i) {
        Journal j = open();
        const Actor me{"op", "station-" + std::to_string(i)};
        while (auto p = j.claim(me)) j.mark_done(p->id, me);
    }));
    Journal j = open();
    EXPECT_EQ(j.pools().at(0).counts[NumberState::marked], kTags);
    const auto rows = j.connection().query(
        "SELECT count(*), count(DISTINCT number), count(DISTINCT station) FROM events WHERE from_state = 'free' AND to_state = 'reserved'");
    EXPECT_EQ(rows.at(0).at(0), std::to_string(kTags));  // each number reserved exactly once
    EXPECT_EQ(rows.at(0).at(1), std::to_string(kTags));
    std::set<std::pair<int64_t, int>> slots;
    j.for_each_number({}, [&](const NumberRecord& n) { EXPECT_TRUE(slots.insert({n.plate_id, n.slot}).second) << n.number; });
}

TEST_P(JournalTest, ReportHasEveryNumberWithItsPlateAndReadBack) {
    Journal j = open();
    j.add_numbers("lot", "farm", tags(1, 3), kAnn);
    j.add_numbers("spares", "", {"007"}, kAnn);
    j.add_order({"lot", "cattle", 2, 2}, kAnn);
    const Plate p = j.claim(kStation1).value();
    j.mark_done(p.id, kStation1);
    j.record_read_back(p.id, 1, "982000000000001", kStation1);
    j.record_read_back(p.id, 2, "bad\"read,", kStation1);
    j.void_numbers({"007"}, "lost, on the floor", kAnn);
    std::ostringstream csv;
    j.write_report_csv(csv);
    std::istringstream lines(csv.str());
    std::vector<std::string> row;
    for (std::string line; std::getline(lines, line);) row.push_back(line);
    ASSERT_EQ(row.size(), 5u);
    EXPECT_TRUE(row[0].starts_with("number,pool,state,order,plate,plate_in_order,slot,station,operator,")) << row[0];
    EXPECT_TRUE(row[1].starts_with("982000000000001,lot,verified,1," + std::to_string(p.id) + ",1,1,station-1,ann,20")) << row[1];
    EXPECT_NE(row[2].find(",unreadable,"), std::string::npos);
    EXPECT_NE(row[2].find(",\"bad\"\"read,\","), std::string::npos);
    EXPECT_EQ(row[3], "982000000000003,lot,free,,,,,,ann,,,,,,,");
    EXPECT_TRUE(row[4].starts_with("007,spares,voided,,,,,,ann,,,,,20")) << row[4];
    EXPECT_NE(row[4].find(",ann,\"lost, on the floor\""), std::string::npos);
    const auto pools = j.pools();
    ASSERT_EQ(pools.size(), 2u);
    EXPECT_EQ(pools[0].counts[NumberState::verified], 1);
    EXPECT_EQ(pools[0].counts[NumberState::unreadable], 1);
    EXPECT_EQ(pools[0].counts[NumberState::free], 1);
    EXPECT_EQ(pools[1].counts[NumberState::voided], 1);
}

TEST_P(JournalTest, MigratesAnEmptyDatabaseOnceAndRefusesANewerOne) {
    {
        Journal j = open({.create = false, .require_current = false});
        EXPECT_EQ(j.schema_version(), 0);
        const MigrationResult first = j.migrate();
        EXPECT_EQ(first.from_version, 0);
        EXPECT_EQ(first.to_version, schema_target_version());
        const MigrationResult again = j.migrate();
        EXPECT_EQ(again.from_version, again.to_version);
        j.add_numbers("lot", "", {"1"}, kAnn);
        j.connection().execute("INSERT INTO schema_version (version, applied_at) VALUES (99, 'later')");
    }
    EXPECT_EQ(kind_of([&] { open(); }), Kind::database);
    Journal j = open({.create = false, .require_current = false});
    EXPECT_EQ(kind_of([&] { j.migrate(); }), Kind::database);
    EXPECT_EQ(j.pools().at(0).counts.total(), 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, JournalTest, ::testing::Values(Backend::sqlite, Backend::postgresql),
                         [](const auto& info) { return info.param == Backend::sqlite ? "SQLite" : "PostgreSQL"; });

}  // namespace
