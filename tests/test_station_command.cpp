// `korvex station` from a script: a pool from a range, an order cut by the example template's
// tags a plate, status, recovery of a station's plate, confirm, void, reprint refused, the CSV
// report, migrate on an up-to-date journal, and bad input refused with status 2.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "station/journal.hpp"

namespace {

struct CliRun {
    int status;
    std::string out;
};

CliRun station(const std::string& args) {
    const std::string cmd = std::string("cd ") + KORVEX_SOURCE_DIR + " && " + KORVEX_CLI + " station " + args + " 2>&1";
    std::FILE* p = ::popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int status = ::pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(StationCommand, PoolOrderDecisionsAndReport) {
    const auto folder = std::filesystem::temp_directory_path() / ("korvex-station-cli-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string db = (folder / "tags.db").string(), csv = (folder / "report.csv").string();
    const std::string on = " --db " + db + " --operator ann";

    CliRun r = station("pool add lot 982000123456001..982000123456006 --owner 'farm A'" + on);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("pool lot: 6 numbers: 6 free"), std::string::npos) << r.out;
    r = station("order --pool lot --template eartag_template --templates examples --count 5" + on);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("order 1: 5 tags of pool lot on 3 plates of 2"), std::string::npos) << r.out;

    // A station claims a plate and stops; at its start the plate is held for a decision.
    for (const char* name : {"s1", "s2"}) {
        korvex::station::Journal j = korvex::station::Journal::open(db);
        j.claim({"ann", name}).value();
    }
    r = station("recover --station s1" + on);
    EXPECT_NE(r.out.find("s1: 1 plate waiting for a decision"), std::string::npos) << r.out;
    r = station("status" + on);
    EXPECT_NE(r.out.find("waiting for a decision (confirm or void): plate 1 (order 1, plate 1, template eartag_template) on station s1"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("lot (farm A): 6 numbers: 2 free, 2 marking, 2 interrupted"), std::string::npos) << r.out;
    EXPECT_EQ(station("confirm --plate 1" + on).status, 0);
    r = station("confirm --plate 1" + on);  // marked already: refused, and no success line
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "korvex station: refused: plate 1 is marked on station s1: only an interrupted plate is confirmed marked\n");
    EXPECT_EQ(station("reprint --plate 1" + on).status, 1);  // nothing unreadable
    r = station("void --plate 1 --reason 'bent, scrap'" + on);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(station("void --numbers 982000123456006 --reason spare" + on).status, 0);

    ASSERT_EQ(station("report --csv " + csv + on).status, 0);
    std::ifstream in(csv);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("\n982000123456001,lot,voided,1,1,1,1,s1,ann,"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("\"bent, scrap\"\n"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("\n982000123456006,lot,voided,,,,,,ann,"), std::string::npos) << text.str();
    r = station("report" + on);
    EXPECT_NE(r.out.find("lot: 6 numbers: 1 free, 2 marking, 3 voided"), std::string::npos) << r.out;
    EXPECT_NE(station("migrate" + on).out.find("schema version 1, up to date"), std::string::npos);

    // Bad input changes nothing: exit 2.
    EXPECT_EQ(station("pool add lot 12a" + on).status, 2);
    EXPECT_EQ(station("order --pool lot --template ../eartag_template --count 1" + on).status, 2);
    EXPECT_EQ(station("void --reason x" + on).status, 2);
    r = station("report" + on);
    EXPECT_NE(r.out.find("lot: 6 numbers: 1 free, 2 marking, 3 voided"), std::string::npos) << r.out;
    std::filesystem::remove_all(folder);
}

}  // namespace
