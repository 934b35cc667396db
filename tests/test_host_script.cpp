// Host scripts: the parser refuses bad scripts with the line of the error before anything runs, and
// a script runs the same, trace for trace, every time.
#include <gtest/gtest.h>

#include <sstream>

#include "host_script.hpp"
#include "host_script_runner.hpp"
#include "device/card_access.hpp"
#include "state/state.hpp"

using namespace korvex;
using namespace korvex::script;

static int error_line(const std::string& text, std::string* message = nullptr) {
    try {
        parse_script(text);
    } catch (const ScriptError& e) {
        if (message) *message = e.what();
        return e.line();
    }
    return 0;
}

TEST(HostScript, ErrorsNameTheirLine) {
    std::string m;
    EXPECT_EQ(error_line("# ok\nport_Out_bit 3 1\nMarking_frob 1\n", &m), 3);
    EXPECT_NE(m.find("unknown member"), std::string::npos);
    EXPECT_EQ(error_line("port_Out_bit 3\n", &m), 1);
    EXPECT_NE(m.find("takes 2 arguments"), std::string::npos);
    EXPECT_EQ(error_line("\nport_Out_bit 3 1 1\n"), 2);
    EXPECT_EQ(error_line("port_Out_bit 3.5 1\n"), 1);      // integers only for integer parameters
    EXPECT_EQ(error_line("port_Out_bit 40000 1\n"), 1);    // out of 16 bits
    EXPECT_EQ(error_line("e_setPrintInfo \"abc\n", &m), 1);
    EXPECT_NE(m.find("unterminated string"), std::string::npos);
    EXPECT_EQ(error_line("Marking_data [1, 2\n"), 1);
    EXPECT_EQ(error_line("Marking_init_pci 1 0 0 1 0 [256] 1\n"), 1);  // not a byte
    EXPECT_EQ(error_line("DebugID = 3\n"), 1);
    EXPECT_EQ(error_line("@key ctrl on\n"), 1);
    EXPECT_EQ(error_line("@at read x input 3 0\n"), 1);
    EXPECT_EQ(error_line("drop\nport_In_Bit 1\n"), 2);  // no object left to call
    EXPECT_EQ(error_line("@frob\n"), 1);
}

TEST(HostScript, OneSignAtMostAndBadTokensQuotedShortAndEscaped) {
    std::string m;
    EXPECT_EQ(error_line("Marking_DA +-5 0\n", &m), 1);  // a Double
    EXPECT_NE(m.find("'+-5'"), std::string::npos) << m;
    EXPECT_EQ(error_line("Marking_DA -5 +-1\n"), 1);      // an integer
    EXPECT_EQ(error_line("Marking_data [2, 0,0, --1,0, 0]\n"), 1);
    EXPECT_EQ(error_line("Marking_DA +5 -0\n"), 0);
    EXPECT_EQ(error_line("Marking_DA " + std::string(10'000'000, 'x') + " 0\n", &m), 1);
    EXPECT_LT(m.size(), 200u);
    EXPECT_NE(m.find("'" + std::string(40, 'x') + "\xE2\x80\xA6'"), std::string::npos) << m;  // 40 characters and …
    EXPECT_EQ(error_line("Marking_\x01\x1b\xff 1\n", &m), 1);
    EXPECT_NE(m.find("'Marking_\\x01\\x1B\\xFF'"), std::string::npos) << m;
}

TEST(HostScript, ParsesValuesOfEveryShape) {
    auto st = parse_script(
        "Marking_init_pci 128 0 0 1 0 [0x80 0, 0,0] 1  # comment\n"
        "e_PrintEarMark [1 2] [\"a\\\"b\" \"c\\\\\"] [] [1 4]\n"
        "Marking_data [2, 0,0, 10.5,-1e1, 0]\n"
        "Name = \"x\"\n@at time 100 key shift on\n");
    ASSERT_EQ(st.size(), 5u);
    EXPECT_EQ(format_value(st[0].args[5]), "[128,0,0,0]");
    EXPECT_EQ(format_value(st[1].args[1]), "[\"a\\\"b\",\"c\\\\\"]");
    EXPECT_EQ(st[1].args[1].texts[0], "a\"b");
    EXPECT_EQ(format_value(st[2].args[0]), "[2,0,0,10.5,-10,0]");
    EXPECT_EQ(st[3].kind, Statement::Kind::property_set);
    EXPECT_EQ(st[4].event, SimulatedMachine::Event::time);
    EXPECT_EQ(st[4].count, 100u);
}

static std::string run_to_text(const std::string& text) {
    korvex::testing::reset_thread_state();
    SimulatedMachine machine;
    korvex::set_platform(machine.platform());
    Card_open(thread_state());  // as device initialization would, so inputs read what is wired to them
    {
        ScriptRunner runner(machine);
        runner.run(parse_script(text));
    }
    std::ostringstream out;
    machine.trace().write(out, true);
    korvex::testing::reset_thread_state();
    return out.str();
}

TEST(HostScript, SameScriptSameTraceAndScriptedInputsTakeEffect) {
    const std::string script =
        "port_Out_bit 3 1\nMarking_DA 10 0\nport_In_Bit 9\n@input 2 0\nport_In_Bit 2\n"
        "@at read 2 input 5 0\nport_In_Bit 5\nport_In_Bit 5\n@card absent\nnew\nDebugID\n";
    const std::string a = run_to_text(script);
    EXPECT_EQ(a, run_to_text(script));
    EXPECT_NE(a.find("result port_In_Bit 1"), std::string::npos);
    // the scheduled input changes exactly at the second read from its line
    const auto first = a.find("call port_In_Bit 5");
    const auto second = a.find("call port_In_Bit 5", first + 1);
    EXPECT_NE(a.find("result port_In_Bit 0", first), std::string::npos);
    EXPECT_LT(a.find("result port_In_Bit 0", first), second);
    EXPECT_NE(a.find("result port_In_Bit 1", second), std::string::npos);
    EXPECT_NE(a.find("result DebugID 2"), std::string::npos);
}
