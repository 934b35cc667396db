// The host object's lifecycle: serial numbers, shared machine state across objects, properties,
// members not built yet failing loudly, and destruction leaving the machine alone.
#include "machine_fixture.hpp"

#include "device/card_access.hpp"

using korvex::Fault;
using korvex::FaultKind;

TEST_F(MachineTest, SerialsCountCreationsAndObjectsShareOneMachine) {
    auto first = std::make_unique<korvex_dll>();
    ASSERT_TRUE(korvex::Card_open(state()));
    EXPECT_EQ(first->DebugID(), 1);
    first->port_Out_bit(3, 1);
    first.reset();  // destruction touches nothing
    korvex_dll second;
    korvex_dll third;
    EXPECT_EQ(second.DebugID(), 2);
    EXPECT_EQ(third.DebugID(), 3);
    // The shadow byte written through the first object is the one the third object changes.
    third.port_Out_bit(0, 1);
    EXPECT_EQ(state().card.bytOutPort0, 0x09);
    EXPECT_EQ(machine.trace().size(), 3u);  // the open and two writes, nothing from the destruction
}

TEST_F(MachineTest, CreationCounterOverflowFailsTheCreation) {
    korvex_dll first;
    state().iface.lngCreated = INT32_MAX;
    try {
        korvex_dll overflow;
        FAIL() << "creation past 2147483647 must fault";
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::overflow);
    }
    EXPECT_EQ(state().iface.lngCreated, INT32_MAX);
}

TEST_F(MachineTest, PropertiesAreThePerObjectValues) {
    korvex_dll a, b;
    a.Name("line 1");
    a.File_no_begin(12);
    EXPECT_EQ(a.Name(), "line 1");
    EXPECT_EQ(a.File_no_begin(), 12);
    EXPECT_EQ(b.Name(), "");
    EXPECT_EQ(b.File_no_begin(), 0);
    EXPECT_EQ(a.e_isMarking(), 0);
    EXPECT_EQ(a.e_Relese(), 0);
    EXPECT_EQ(machine.trace().size(), 0u);  // none of these touches the card
}

TEST_F(MachineTest, APrintPassBeforeInitializationFaultsWithNoCardOpen) {
    korvex_dll o;
    try {
        o.e_PrintEarMark({}, {}, {}, {0});
        FAIL() << "a pass on a machine that was never brought up must not succeed";
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::device);  // nothing has opened the card yet
    }
    EXPECT_EQ(o.e_isMarking(), 0);
}
