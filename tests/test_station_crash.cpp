// Crash safety of a station: `korvex eartag --journal` killed with SIGKILL at a random moment
// (before, during and after marking, inside commits), 50 times. After each restart every number
// is in exactly one state, none was marked twice, none vanished, and the killed plate is
// `interrupted` (held for an operator) or complete, never `marking`.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "korvex_process.hpp"
#include "station/journal.hpp"

namespace {

using namespace korvex::station;

// The lot's numbers: "9820000000LLNNN" style, 15 digits.
std::string lot_number(int lot, int n) {
    char s[32];
    std::snprintf(s, sizeof s, "98200000%04d%03d", lot, n);
    return s;
}

}  // namespace

TEST(StationCrash, KilledAtRandomLosesAndRepeatsNothing) {
    const auto folder = std::filesystem::temp_directory_path() / ("korvex-station-crash-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string db = (folder / "tags.db").string();
    const std::string base = std::string(KORVEX_SOURCE_DIR) + "/examples/eartag_template";
    const Actor station{"ann", "crash-station"}, op{"ann", ""};
    constexpr int kLotTags = 8;  // 4 plates of 2
    std::mt19937 random(20261210);
    int lot = 0, interrupted_seen = 0;
    std::size_t expected_numbers = 0;
    for (int run = 0; run < 50; ++run) {
        const std::string numbers = lot_number(lot, 1) + ".." + lot_number(lot, kLotTags);
        const pid_t pid = start_korvex({"eartag", base, "--numbers", numbers, "--no-pictures", "--verify", "--bring-up", "direct",
                                        "--journal", db, "--station", station.station, "--operator", "ann"});
        ASSERT_GT(pid, 0);
        // A third of the kills fall at a random moment after the start (mostly before the first
        // plate); the rest at a random moment after a plate began (while marking, in the commits
        // of its end, or on a later plate), whatever the machine's load.
        if (run % 3 != 0) {
            Journal watch = Journal::open(db);
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (watch.plates(PlateState::marking).empty() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, run % 3 ? 500 : 400)(random)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);

        // The restart.
        Journal j = Journal::open(db);
        const auto held = j.recover_at_start(station);
        EXPECT_TRUE(j.plates(PlateState::marking).empty()) << "run " << run;
        std::size_t total = 0;
        for (const PoolSummary& p : j.pools()) total += static_cast<std::size_t>(p.counts.total());
        // New numbers join in one transaction: all of a lot or none.
        EXPECT_TRUE(total == expected_numbers || total == expected_numbers + kLotTags) << "run " << run << ": " << total;
        expected_numbers = total;
        // No number went to `marking` (or `marked`) twice.
        const auto twice = j.connection().query(
            "SELECT number, to_state, count(*) FROM events WHERE kind = 'number' AND to_state IN ('marking', 'marked')"
            " GROUP BY number, to_state HAVING count(*) > 1");
        EXPECT_TRUE(twice.empty()) << "run " << run << ": " << (twice.empty() ? "" : *twice[0][0]) << " twice";
        // Every plate is complete or held; a held plate is decided on, as an operator would.
        for (const Plate& p : held) {
            ++interrupted_seen;
            if (p.id % 2)
                j.confirm(p.id, op);
            else
                j.void_plate(p.id, "killed mid-plate; scrapped", op);
        }
        for (const Plate& p : j.plates()) {
            EXPECT_NE(p.state, PlateState::marking) << "run " << run;
            EXPECT_NE(p.state, PlateState::interrupted) << "run " << run;
        }
        bool free_left = false;
        for (int n = 1; n <= kLotTags; ++n) {
            const auto found = j.find_numbers({lot_number(lot, n)});
            if (found.empty() || found[0].state == NumberState::free) free_left = true;
        }
        if (!free_left) ++lot;
    }
    // The kills fell before, while and after plates were marked.
    EXPECT_GT(interrupted_seen, 0);
    EXPECT_GT(lot, 1);
    std::filesystem::remove_all(folder);
}

// The same batch run again marks nothing and names each number already marked, with when.
TEST(StationCrash, RerunMarksNothingAndSaysWhen) {
    const auto folder = std::filesystem::temp_directory_path() / ("korvex-station-rerun-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string cmd = std::string(KORVEX_CLI) + " eartag " + KORVEX_SOURCE_DIR +
                            "/examples/eartag_template --numbers 982000000009001..982000000009003 --no-pictures --bring-up direct"
                            " --station s1 --journal " + (folder / "tags.db").string() + " 2>&1";
    const auto run = [&] {
        std::FILE* p = ::popen(cmd.c_str(), "r");
        std::string out;
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        return std::make_pair(WEXITSTATUS(::pclose(p)), out);
    };
    const auto first = run();
    ASSERT_EQ(first.first, 0) << first.second;
    const auto again = run();
    EXPECT_EQ(again.first, 0) << again.second;
    EXPECT_NE(again.second.find("nothing to mark"), std::string::npos) << again.second;
    EXPECT_NE(again.second.find("982000000009003: already marked 20"), std::string::npos) << again.second;
    EXPECT_EQ(again.second.find("e_PrintEarMark"), std::string::npos) << again.second;
    std::filesystem::remove_all(folder);
}
