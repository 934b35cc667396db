// The tools' option checks: a card name from the environment is checked like one on the command
// line, ranged options say their range plainly, the latency check refuses speeds and run lengths
// that measure nothing, and errors name the option and value and never echo control characters.
#include <unistd.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "card_options.hpp"
#include "machine_fixture.hpp"
#include "mark_command.hpp"
#include "text_command.hpp"
#include "tool_command.hpp"

using namespace korvex::tool;

namespace {

// The message of the CLI error that parsing `args` after `add` set the options up raises; "" when
// the line parses.
template <class Add>
std::string parse_error(const std::string& args, Add&& add) {
    CLI::App app;
    add(app);
    try {
        app.parse(args, false);
    } catch (const CLI::ParseError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(ToolOptions, AMisspeltCardFromTheEnvironmentIsRefusedAndRangesAreSaidPlainly) {
    CardChoice choice;
    const auto card = [&](CLI::App& app) { add_card_options(app.add_subcommand("job"), choice); };
    ::setenv("KORVEX_CARD", "Real", 1);
    const std::string refused = parse_error("job", card);
    EXPECT_NE(refused.find("KORVEX_CARD"), std::string::npos) << refused;
    EXPECT_NE(refused.find("\"Real\" is no card"), std::string::npos) << refused;
    EXPECT_EQ(parse_error("job --card real", card), "");  // the command line overrides it
    EXPECT_TRUE(choice.real());
    EXPECT_NE(parse_error("job --card Simulated", card), "");
    ::setenv("KORVEX_CARD", "real", 1);
    EXPECT_EQ(parse_error("job", card), "");
    EXPECT_TRUE(choice.real());
    ::unsetenv("KORVEX_CARD");

    const std::string cpu = parse_error("job --rt-cpu -1", card);
    EXPECT_NE(cpu.find("must be 0 or more, not -1"), std::string::npos) << cpu;
    EXPECT_LT(cpu.size(), 80u) << cpu;

    // korvex latency: no speed of 0 or less or NaN; a run must hold 1000 cycles to say anything.
    ToolCommand latency;
    const auto add_latency = [&](CLI::App& app) { latency = add_latency_command(app); };
    for (const char* speed : {"0", "-1", "nan"})
        EXPECT_NE(parse_error(std::string("latency --speed ") + speed, add_latency).find("must be more than 0"), std::string::npos)
            << speed;
    EXPECT_EQ(parse_error("latency --seconds 1e-9", add_latency), "");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(latency.run(), 2);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("give --seconds 0.014 or more"), std::string::npos);
}

class ToolErrorsTest : public MachineTest {};

TEST_F(ToolErrorsTest, ErrorsNameTheOptionAndValueAndEscapeControlCharacters) {
    // A jump speed whose step cycle leaves 32 bits: the library names the speed and its value.
    MarkParameters slow;
    slow.jump_speed_mm_s = 1e-30f;
    std::vector<double> md{2, 0, 0, 1, 0, 0};
    std::ostringstream err;
    const MarkReport report = mark_drawing(machine, md, slow, nullptr, err);
    EXPECT_NE(report.failure.find("jump speed 1e-30 mm/s at 100 steps/mm gives a step cycle of"), std::string::npos)
        << report.failure;

    const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / ("korvex_tool_errors-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    TextCommand text;
    text.text = "A";
    text.folder = dir.string();
    text.outputs.marks_path = (dir / "marks.txt").string();
    text.width_mm = 1e9f;
    std::ostringstream out1, err1;
    EXPECT_EQ(run_text_command(text, out1, err1), 2);
    EXPECT_NE(err1.str().find("--width 1000000000 mm is larger than the scan field (655.36 mm across"), std::string::npos)
        << err1.str();

    text.width_mm = 5.0f;
    text.narrow_font = "\x1B]0;owned\x07 Sans";
    std::ostringstream out2, err2;
    EXPECT_EQ(run_text_command(text, out2, err2), 0) << err2.str();
    EXPECT_NE(err2.str().find("narrow \\x1B]0;owned\\x07 Sans"), std::string::npos) << err2.str();
    EXPECT_EQ(err2.str().find('\x1B'), std::string::npos);
    std::filesystem::remove_all(dir);
}
