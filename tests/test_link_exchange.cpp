// The serial link and command exchange: stand-alone bring-up from rs_n, reply timing and surplus
// bytes in Comm_command, and every branch of Comm_execute with its messages.
#include "link/command_exchange.hpp"
#include "fault_of.hpp"
#include "test_link_fixture.hpp"

using korvex::Answer;
using korvex::Comm_command;
using korvex::Comm_execute;
using korvex::Command_send;
using korvex::Command_set;
using korvex::Fault;
using korvex::FaultKind;

namespace {
const std::string kNoData = "无标刻数据，无法标刻，请先传送数据";
const std::string kCommErr = "串口命令通讯出错，请检查连接。";
const std::string kReconnect = "没连接上激光头，请确认打开激光头电源，需要重新联机吗？";
}  // namespace

TEST_F(LinkTest, InitOpensTheUsedControlsOnTheirPortsAndBuildsTheMask) {
    emulator(1);
    emulator(3);
    init_link({0x81, 0x00, 0x83, 0x00});
    EXPECT_EQ(link().lngPortMask, 5);
    EXPECT_EQ(state().grid.blnGridLoaded, korvex::kTrue);
    EXPECT_EQ(link_lines(), (Lines{"serial open 0 1 \"115200,n,8,1\"", "serial discard 0",
                                   "serial open 2 3 \"115200,n,8,1\"", "serial discard 2"}));
    EXPECT_EQ(link().objComm, machine.serial().control(2));  // the last control opened
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(machine.card().access_count(), 0u);  // no card access in this mode

    // Reinitializing closes and reopens.
    init_link({0x81, 0x00, 0x00, 0x00});
    EXPECT_EQ(link().lngPortMask, 1);
}

TEST_F(LinkTest, APortThatCannotOpenIsReportedButKeepsItsMaskBit) {
    emulator(1);
    init_link({0x85, 0x81, 0x80, 0x00});  // port 5: nothing there; port 0: no such port
    EXPECT_EQ(link().lngPortMask, 7);
    EXPECT_EQ(messages(), (Lines{"联接脱机端口错误，请检查,错误代码：8002端口5", "联接脱机端口错误，请检查,错误代码：8002端口0"}));
    EXPECT_EQ(link_lines()[0], "serial open 0 5 \"115200,n,8,1\" fail 8002");
    // A later send to the failed control ends the member.
    korvex::Port_select(state(), 0);
    Command_set(state(), 28, 0, 0, 0, 0);
    try {
        Command_send(state());
        FAIL() << "a send to a port that never opened must fault";
    } catch (const korvex::SerialError& e) {
        EXPECT_EQ(e.code(), korvex::serial_error::kNotOpen);
        EXPECT_EQ(e.kind(), FaultKind::device);
    }
    // Two controls on one port: the second finds it in use.
    init_link({0x81, 0x81, 0x00, 0x00});
    EXPECT_EQ(messages().back(), "联接脱机端口错误，请检查,错误代码：8005端口1");
}

TEST_F(LinkTest, ShortRsNFaultsAfterOpeningTheControlsBeforeIt) {
    emulator(2);
    state().device.intCardMode = 1;
    try {
        korvex::Link_init(state(), {0x82, 0x00});
        FAIL() << "rs_n needs four elements";
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::index);
    }
    EXPECT_TRUE(machine.serial().control(0)->is_open());
}

TEST_F(LinkTest, CommCommandReadsOnlyAtTheTenMillisecondChecksAndOnlyExactReplies) {
    emulator(1);
    init_link({0x81, 0, 0, 0});
    auto& s = state();
    // Connect reply: 5 bytes out, 5 back, under 1 ms on the wire, yet read at the first check.
    Command_set(s, 1, 0, 0, 0, 0);
    const double t0 = machine.now_us();
    Command_send(s);
    EXPECT_TRUE(Comm_command(s, 5, 1e6));
    EXPECT_DOUBLE_EQ(machine.now_us() - t0, 10'000.0);
    EXPECT_EQ(link().intReply.at(0), 0x55);

    // Expecting 1 byte, getting 5: the count is not 1, the buffer is cleared, intReply unchanged.
    link().intReply.at(0) = 7;
    Command_send(s);
    EXPECT_FALSE(Comm_command(s, 1, 1e6));
    EXPECT_EQ(link().intReply.at(0), 7);
    EXPECT_EQ(machine.serial().control(0)->received_count(), 0);
    EXPECT_EQ(link_lines().back(), "serial discard 0");

    // A reply longer than the 11 reply bytes cannot be awaited: a fault, before anything is read.
    Command_send(s);
    EXPECT_EQ(fault_of([&] { Comm_command(s, 12, 1e6); }), FaultKind::index);
    EXPECT_EQ(link_lines().back().rfind("serial tx 0 ", 0), 0u);  // nothing read or discarded
}

TEST_F(LinkTest, CommCommandTimesOutAndDiscardsLateOrOverlongReplies) {
    auto& s = state();
    emulator(1, {"late=995000"});
    emulator(2, {"late=2000000"});
    emulator(3, {"extra-byte"});
    init_link({0x81, 0x82, 0x83, 0});
    Command_set(s, 1, 0, 0, 0, 0);

    korvex::Port_select(s, 0);  // arrives just before the check at 1 s, which still reads it
    double t0 = machine.now_us();
    Command_send(s);
    EXPECT_TRUE(Comm_command(s, 5, 1e6));
    EXPECT_DOUBLE_EQ(machine.now_us() - t0, 1'000'000.0);

    korvex::Port_select(s, 1);  // too late: the first check past 1 s gives up
    t0 = machine.now_us();
    Command_send(s);
    EXPECT_FALSE(Comm_command(s, 5, 1e6));
    EXPECT_DOUBLE_EQ(machine.now_us() - t0, 1'010'000.0);
    EXPECT_EQ(link_lines().back(), "serial discard 1");

    korvex::Port_select(s, 2);  // 6 bytes for 5
    Command_send(s);
    EXPECT_FALSE(Comm_command(s, 5, 1e6));
    EXPECT_EQ(link_lines().back(), "serial discard 2");
}

TEST_F(LinkTest, RefusedAndUnknownCodesSendNothing) {
    emulator(1);
    init_link({0x81, 0, 0, 0});
    const std::size_t from = machine.trace().size();
    for (uint8_t c : {9, 10, 11, 12, 13, 21, 23}) {
        Command_set(state(), c, 0, 0, 0, 0);
        EXPECT_FALSE(Comm_execute(state()));
        EXPECT_EQ(messages().back(), kCommErr + std::to_string(c));
        EXPECT_EQ(machine.ui().shown().back().icon, korvex::Icon::info);
    }
    Command_set(state(), 3, 0, 0, 0, 0);
    EXPECT_FALSE(Comm_execute(state()));
    const Lines m = messages();
    EXPECT_EQ(m[m.size() - 2], "发送一个未知命令！");
    EXPECT_EQ(m.back(), kCommErr + "3");
    EXPECT_TRUE(sent(0, from).empty());
}

TEST_F(LinkTest, StatusCommandsJudgeTheAcknowledgementAndKeepTheStatus) {
    emulator(1, {"status=7"});
    init_link({0x81, 0, 0, 0});
    auto& l = link();
    for (uint8_t c : {15, 16, 18, 19, 20}) {
        Command_set(state(), c, 1, 2, 3, 4);
        EXPECT_TRUE(Comm_execute(state())) << int(c);
    }
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(l.lngCtrlState, 0);  // these codes leave the state alone
    // Every command is 5 bytes, with the parameters as the frame holds them.
    EXPECT_EQ(sent(0).back(), (std::vector<uint8_t>{20, 1, 2, 3, 4}));

    // Run-type codes are refused while nothing was stored, without the closing message.
    for (uint8_t c : {2, 4, 5}) {
        Command_set(state(), c, 0, 0, 0, 0);
        const std::size_t before = sent(0).size();
        EXPECT_FALSE(Comm_execute(state()));
        EXPECT_EQ(messages().back(), kNoData);
        EXPECT_EQ(sent(0).size(), before);
    }
    EXPECT_EQ(messages().size(), 3u);

    Command_set(state(), 27, 0, 0, 0, 0);
    EXPECT_TRUE(Comm_execute(state()));
    EXPECT_EQ(l.lngCtrlState, 7);
    Command_set(state(), 5, 0, 0, 0, 0);  // no longer refused
    EXPECT_TRUE(Comm_execute(state()));
    EXPECT_EQ(l.lngCtrlState, 7);
    Command_set(state(), 2, 100, 0, 0, 0);
    EXPECT_TRUE(Comm_execute(state()));
}

TEST_F(LinkTest, StatusIsTakenEvenFromANegativeAcknowledgement) {
    emulator(1, {"reply=5509000000"});
    init_link({0x81, 0, 0, 0});
    Command_set(state(), 29, 0, 0, 0, 0);
    EXPECT_FALSE(Comm_execute(state()));
    EXPECT_EQ(link().lngCtrlState, 9);
    EXPECT_EQ(messages().back(), kCommErr + "29");
    // The laser switch code has no answer from the controller: a failed exchange.
    machine.serial().attach_emulator(1, {});
    init_link({0x81, 0, 0, 0});
    Command_set(state(), 14, 0, 0, 0, 0);
    EXPECT_FALSE(Comm_execute(state()));
    EXPECT_EQ(messages().back(), kCommErr + "14");
}

TEST_F(LinkTest, FlashCheckWaitsTwentySecondsAndReportsBadBlocks) {
    emulator(1, {"bad-blocks", "late=15000000"});
    init_link({0x81, 0, 0, 0});
    Command_set(state(), 26, 0, 0, 0, 0);
    EXPECT_TRUE(Comm_execute(state()));
    EXPECT_EQ(messages(), (Lines{"flash 存在坏块"}));
    // A bad-block report with a negative acknowledgement shows both messages.
    korvex::ControllerOptions o;
    std::string e;
    ASSERT_TRUE(korvex::parse_controller_options({"reply=00FF000000"}, o, e));
    machine.serial().attach_emulator(1, o);
    init_link({0x81, 0, 0, 0});
    EXPECT_FALSE(Comm_execute(state()));
    EXPECT_EQ(messages(), (Lines{"flash 存在坏块", "flash 存在坏块", kCommErr + "26"}));
}

TEST_F(LinkTest, ConnectRetriesOnYesAndGivesUpOnNo) {
    // The first answer is the wrong byte (a run acknowledgement), the second is right.
    emulator(1, {"reply=AA00000000", "at=1"});
    init_link({0x81, 0, 0, 0});
    machine.ui().queue_answer(Answer::yes);
    Command_set(state(), 1, 0, 0, 0, 0);
    EXPECT_TRUE(Comm_execute(state()));
    EXPECT_EQ(link().lngCtrlState, 254);
    EXPECT_EQ(messages(), (Lines{kReconnect}));
    EXPECT_EQ(machine.ui().shown()[0].buttons, korvex::Buttons::yes_no);
    EXPECT_EQ(sent(0).size(), 2u);

    // A silent controller and a No: the closing message with the code, state left connecting.
    emulator(2, {"silent"});
    init_link({0x82, 0, 0, 0});
    EXPECT_FALSE(Comm_execute(state()));
    EXPECT_EQ(link().lngCtrlState, 255);
    EXPECT_EQ(messages().back(), kCommErr + "1");
}

TEST_F(LinkTest, EnglishStringTableEntriesAreSelectedByTheBase) {
    EXPECT_EQ(korvex::Res_string(18007), "can't connect laser head.");
    EXPECT_EQ(korvex::Res_string(18008), "error send command");
    emulator(1, {"silent"});
    init_link({0x81, 0, 0, 0});
    link().lngResBase = 10000;
    Command_set(state(), 19, 0, 0, 0, 0);
    EXPECT_FALSE(Comm_execute(state()));
    EXPECT_EQ(messages().back(), "error send command19");
    EXPECT_THROW(korvex::Res_string(8009), Fault);
}
