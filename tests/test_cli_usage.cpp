// The korvex program's command line as a whole: --version, a mistyped sub-command named with the
// nearest one, and exit status 2 for every kind of usage error (CLI11's own codes are 100 and up).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "cli_usage.hpp"
#include "korvex/korvex.h"

namespace {

struct CliRun {
    int status;
    std::string out;
};

CliRun korvex_cli(const std::string& args) {
    std::FILE* p = ::popen((std::string(KORVEX_CLI) + " " + args + " 2>&1").c_str(), "r");
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int status = ::pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

}  // namespace

TEST(CliUsage, VersionMistypedCommandsAndUsageErrorsExitTwo) {
    CliRun r = korvex_cli("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("korvex ") + korvex_version() + "\n");

    r = korvex_cli("rnu x.ks");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("korvex: 'rnu' is not a korvex command; did you mean 'run'?"), std::string::npos) << r.out;
    r = korvex_cli("station pol add lot 1..2");  // one level down
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("'pol' is not a korvex station command; did you mean 'pool'?"), std::string::npos) << r.out;
    r = korvex_cli("zzzzzzzz");  // nothing near: no guess, the way to the list
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.find("did you mean"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("korvex --help"), std::string::npos) << r.out;
    EXPECT_EQ(korvex::tool::nearest_name("cal", {"calibrate", "controller", "text"}), "calibrate");
    EXPECT_EQ(korvex::tool::nearest_name("eartga", {"eartag", "text"}), "eartag");

    // A missing argument, an unknown option, a value out of range, an extra argument, no command.
    for (const char* args : {"run", "run x.ks --no-such-option", "run x.ks --clock-hz 0", "fonts extra", ""}) {
        r = korvex_cli(args);
        EXPECT_EQ(r.status, 2) << args << ": " << r.out;
    }
    EXPECT_EQ(korvex_cli("run --help").status, 0);
}
