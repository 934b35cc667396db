// A hall: four `korvex station run` processes on one PostgreSQL journal share a pool of 400
// numbers; one is killed with SIGKILL mid-plate, restarted, refuses until its interrupted plate is
// decided, and then finishes with the others. Every number ends marked exactly once; nothing is
// lost.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "korvex_process.hpp"
#include "postgres_cluster.hpp"
#include "station/journal.hpp"

using namespace korvex::station;

TEST(StationHall, FourStationsMarkEveryNumberOnceAndAKillLosesNothing) {
    std::string why;
    station_test::PostgresCluster* cluster = station_test::PostgresCluster::get(why);
    if (!cluster) GTEST_SKIP() << "PostgreSQL: " << why;
    const std::string db = cluster->new_database();
    const Actor op{"ann", ""};
    Journal j = Journal::open(db);
    std::vector<std::string> numbers;
    for (int i = 1; i <= 400; ++i) numbers.push_back(std::to_string(982000000100000 + i));
    j.add_numbers("hall", "farm A", numbers, op);
    j.add_order({"hall", "eartag_template", 400, 2}, op);

    const std::string templates = std::string(KORVEX_SOURCE_DIR) + "/examples";
    const auto station_args = [&](int k) {
        return std::vector<std::string>{"station", "run", "--db", db, "--templates", templates, "--station", "hall-" + std::to_string(k),
                                        "--operator", "ann"};
    };
    std::vector<pid_t> pids;
    for (int k = 1; k <= 4; ++k) pids.push_back(start_korvex(station_args(k)));
    // Station 1 is killed once it is marking a plate.
    for (int tries = 0; tries < 2000; ++tries) {
        bool marking = false;
        for (const Plate& p : j.plates(PlateState::marking))
            if (p.station == "hall-1") marking = true;
        if (marking) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pids[0], SIGKILL);
    EXPECT_EQ(wait_korvex(pids[0]), -SIGKILL);
    // Restarted, it holds its plate and marks nothing until an operator decides.
    EXPECT_EQ(wait_korvex(start_korvex(station_args(1))), 1);
    const auto held = j.plates(PlateState::interrupted);
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].station, "hall-1");
    j.confirm(held[0].id, op);  // the operator sees the plate marked
    pids[0] = start_korvex(station_args(1));
    for (pid_t pid : pids) EXPECT_EQ(wait_korvex(pid), 0);

    const auto pools = j.pools();
    ASSERT_EQ(pools.size(), 1u);
    EXPECT_EQ(pools[0].counts.total(), 400);
    EXPECT_EQ(pools[0].counts[NumberState::marked], 400);
    const auto twice = j.connection().query(
        "SELECT number FROM events WHERE kind = 'number' AND to_state = 'marking' GROUP BY number HAVING count(*) > 1");
    EXPECT_TRUE(twice.empty());
    // Every station took part.
    const auto stations = j.connection().query("SELECT count(DISTINCT station) FROM plates");
    EXPECT_EQ(stations.at(0).at(0), "4");
}
