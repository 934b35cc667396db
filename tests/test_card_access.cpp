// Register sequences of the card access layer, checked on the simulated card's trace and registers:
// paging, active-low bits, input byte 1 with its waits, D/A two's complement, gains and overflow.
#include "machine_fixture.hpp"

#include "device/card_access.hpp"
#include "device/timer.hpp"

using namespace korvex;

class CardTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        object = std::make_unique<korvex_dll>();
        init_clock();
        ASSERT_TRUE(Card_open(state()));
        state().hw.sngDaGain0 = state().hw.sngDaGain1 = 1.0f;
        from = machine.trace().size();
    }
    Lines since() const { return trace_since(from); }
    std::unique_ptr<korvex_dll> object;
    std::size_t from = 0;
};

TEST_F(CardTest, AddressesFrom255OnAreReachedThroughThePageRegister) {
    State& s = state();
    Port_write(s, 300, 0x5A);
    Port_write(s, 254, 0x11);
    Port_write(s, 255, 0x22);  // page 0, offset 0xFF
    EXPECT_EQ(Port_read(s, 0x77DF), 0xFF);
    EXPECT_EQ(since(), (Lines{"card page 01", "card write 2C 5A", "card page FF", "card write FE 11", "card page 00",
                              "card write FF 22", "card page FF", "card page 77", "card read DF -> FF", "card page FF"}));
    EXPECT_EQ(machine.card().page(), 0xFF);
    EXPECT_THROW(Port_write(s, 0xDE, 256), Fault);
    EXPECT_THROW(Port_write(s, -1, 0), Fault);
}

TEST_F(CardTest, LibraryOutputsAreActiveLowHostOutputsRaw) {
    State& s = state();
    Out_bit_set(s, 12, kTrue);  // active: bit 4 of byte 1 driven low
    EXPECT_EQ(machine.card().output_byte(1), 0x00);
    Out_bit_set(s, 12, kFalse);
    EXPECT_EQ(machine.card().output_byte(1), 0x10);
    Out_bit_set(s, -3, kTrue);  // mask rounds to 0: byte 0 rewritten unchanged
    Out_bit_set(s, 16, kTrue);  // nothing at all
    object->port_Out_bit(3, 1);
    object->port_Out_bit(12, 0);
    object->port_Out_bit(3, 2);  // neither 0 nor 1: nothing
    EXPECT_EQ(since(), (Lines{"card write DD 00", "card write DD 10", "card write DE 00", "card write DE 08",
                              "card write DD 00"}));
}

TEST_F(CardTest, InputsAreActiveWhenLowAndByteOneIsPagedWithWaits) {
    machine.card().set_input_bit(2, 0);
    machine.card().set_input_bit(9, 0);
    EXPECT_EQ(object->port_In_Bit(2), 1);
    EXPECT_EQ(object->port_In_Bit(3), 0);
    const double t0 = Timer_now_us(state());
    EXPECT_EQ(object->port_In_Bit(9), 1);
    // page, 100 us, read, page, 100 us: three bus accesses of 2.6 us and two waits
    EXPECT_NEAR(Timer_now_us(state()) - t0, 200.0 + 3 * 2.6, 1e-9);
    EXPECT_EQ(object->port_In_Bit(10), 0);
    EXPECT_EQ(object->port_In_Bit(16), 0);  // no such input: never active, nothing read
    Lines l = since();
    EXPECT_EQ(l.size(), 2u + 3u + 3u);
    EXPECT_EQ(l[2], "card page 77");
    EXPECT_EQ(l[3], "card read DF -> FD");
    EXPECT_EQ(l[4], "card page FF");
}

TEST_F(CardTest, DaLoadsAreTwosComplementWordsWithGainAndRangeChecks) {
    object->Marking_DA(10, 0);
    EXPECT_EQ(machine.card().da_channel(0), 32767);
    object->Marking_DA(-10, 1);
    EXPECT_EQ(machine.card().da_channel(1), -32767);
    EXPECT_EQ(since(), (Lines{"card write DB FF", "card write D7 7F", "card write CF C8", "card write CF CC",
                              "card write DB 01", "card write D7 80", "card write CF 8C", "card write CF CC"}));
    State& s = state();
    s.hw.sngDaGain0 = 0.5f;
    DA_write(s, -3, 0);  // 0.5 x -3 = -1.5 rounds to -2
    EXPECT_EQ(machine.card().da_channel(0), -2);
    // -65536 .. 65535 is accepted (65535 is the word 0xFFFF); beyond that the load faults before
    // the channel is loaded.
    s.hw.sngDaGain0 = 1.0f;
    DA_write(s, 65535, 0);
    EXPECT_EQ(machine.card().da_channel(0), -1);
    from = machine.trace().size();
    EXPECT_THROW(DA_write(s, 70000, 0), Fault);
    EXPECT_EQ(since(), (Lines{"card write DB 70"}));
    EXPECT_EQ(machine.card().da_channel(0), -1);
    EXPECT_THROW(DA_write(s, -70000, 0), Fault);
    s.card.lngDaValue0 = 5;
    DA_write(s, 9, 0);
    EXPECT_EQ(s.card.lngDaValue0, 5);  // only the scan engine keeps that record
}

TEST_F(CardTest, SlowDaLoadsWaitAfterEachControlStep) {
    State& s = state();
    s.hw.blnDaSlow = kTrue;
    double t0 = Timer_now_us(s);
    DA_write(s, 100, 1);
    EXPECT_NEAR(Timer_now_us(s) - t0, 30.0 + 4 * 2.6, 1e-9);
    t0 = Timer_now_us(s);
    DA_write(s, 100, 2);  // another channel: one wait instead of the sequence
    EXPECT_NEAR(Timer_now_us(s) - t0, 10.0, 1e-9);
    DA_zero(s);
    EXPECT_EQ(machine.card().da_channel(0), 0);
    EXPECT_EQ(machine.card().da_channel(1), 0);
}

TEST_F(MachineTest, UnopenedCardTracesAccessesAndChangesNothing) {
    korvex_dll o;
    machine.card().set_present(false);
    state().hw.sngDaGain0 = 1.0f;
    EXPECT_FALSE(Card_open(state()));
    // The members refuse an unopened card (a device fault); what reaches it anyway changes nothing.
    EXPECT_THROW(o.Marking_DA(10, 0), Fault);
    Marking_DA_volts(state(), 10, 0);
    Port_out_bit_raw(state(), 7, 1);
    EXPECT_EQ(machine.card().da_channel(0), 0);
    EXPECT_EQ(machine.card().output_byte(0), 0);
    EXPECT_EQ(trace_lines().size(), 6u);  // the open, four D/A writes, one output write
}

TEST_F(MachineTest, FaultLeavingAMemberPutsThePageBackToRest) {
    korvex_dll o;
    ASSERT_TRUE(Card_open(state()));
    EXPECT_THROW(o.port_In_Bit(9), Fault);  // page 0x77, then the clock faults
    EXPECT_EQ(state().card.page_selected, 0xFF);
    EXPECT_EQ(trace_lines(), (Lines{"card open ok", "card page 77", "card page FF"}));
    // Already at rest: nothing extra is written.
    EXPECT_THROW(o.Marking_DA(1e300, 0), Fault);
    EXPECT_EQ(trace_lines().size(), 3u);
}
