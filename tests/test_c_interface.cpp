// The C interface: faults come back as error codes with kind and message on the handle and the
// thread (and the laser gate closed), C arguments are checked, strings are copied out with their
// full length, and a thread gets its simulated machine from korvex_create unless a C++ host of the
// thread installed its own.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "korvex/korvex.h"
#include "korvex/platform.hpp"
#include "sim/simulated_machine.hpp"
#include "state/state.hpp"

namespace {

class CInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        korvex::testing::reset_thread_state();
        ASSERT_EQ(korvex_set_platform("simulated", nullptr, "/dev/null"), 0);  // no grid: marks as drawn
        ASSERT_EQ(korvex_create(&laser), 0);
    }
    void TearDown() override {
        korvex_destroy(laser);
        korvex::testing::reset_thread_state();
    }
    void bring_up() {
        const uint8_t ports[4] = {0, 0, 0, 0};
        ASSERT_EQ(korvex_Marking_init_pci(laser, 128, 0, 0, 1, 0, ports, 4, 1), 0);
        ASSERT_FALSE(KORVEX_IS_ERROR(korvex_Marking_para(laser, 1000, 3000, 100, 200, 300, 400, 10.0, 50, 20, 100, 500)));
        ASSERT_FALSE(KORVEX_IS_ERROR(korvex_marking_start(laser)));
    }
    std::vector<korvex_mark> marks() {
        std::size_t n = 0;
        EXPECT_EQ(korvex_sim_marks(nullptr, 0, &n), 0);
        std::vector<korvex_mark> out(n);
        EXPECT_EQ(korvex_sim_marks(out.data(), out.size(), &n), 0);
        return out;
    }
    korvex_object* laser = nullptr;
};

TEST_F(CInterfaceTest, FaultInsideMemberIsAnErrorCodeWithKindAndMessageAndTheGateClosed) {
    bring_up();
    // A polyline of 3 points that ends after its second: the laser is on when md runs out.
    double md[] = {3, 0, 0, 5, 0};
    const int32_t r = korvex_Marking_data(laser, md, 5);
    ASSERT_TRUE(KORVEX_IS_ERROR(r));
    EXPECT_EQ(KORVEX_ERROR_KIND(r), KORVEX_FAULT_INDEX);
    EXPECT_EQ(korvex_fault_kind_of(laser), KORVEX_FAULT_INDEX);
    EXPECT_STREQ(korvex_fault_kind_name(korvex_fault_kind_of(laser)), "index");
    EXPECT_NE(std::string(korvex_fault_message(laser)).find("md read past its end"), std::string::npos);
    EXPECT_EQ(korvex_last_fault_kind(), KORVEX_FAULT_INDEX);
    int32_t emitting = -1;
    ASSERT_EQ(korvex_sim_laser_emitting(&emitting), 0);
    EXPECT_EQ(emitting, 0);
    const auto m = marks();
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m.back().kind, KORVEX_MARK_LINE);
    EXPECT_EQ(m.back().x1, 500);  // 5 mm at 10 um steps, marked before the fault

    // The next call that succeeds clears the record.
    EXPECT_EQ(korvex_e_Relese(laser), 0);
    EXPECT_EQ(korvex_fault_kind_of(laser), KORVEX_FAULT_NONE);
    EXPECT_STREQ(korvex_fault_message(laser), "");
    EXPECT_EQ(korvex_sim_clear_marks(), 0);
    EXPECT_TRUE(marks().empty());
}

TEST_F(CInterfaceTest, CArgumentsAreCheckedAndStringsComeOutWhole) {
    EXPECT_EQ(KORVEX_ERROR_KIND(korvex_Marking_data(nullptr, nullptr, 0)), KORVEX_FAULT_ARGUMENT);
    EXPECT_EQ(KORVEX_ERROR_KIND(korvex_Marking_data(laser, nullptr, 3)), KORVEX_FAULT_ARGUMENT);
    EXPECT_EQ(KORVEX_ERROR_KIND(korvex_set_Name(laser, nullptr)), KORVEX_FAULT_ARGUMENT);
    const char* numbers[] = {"1", nullptr};
    EXPECT_EQ(KORVEX_ERROR_KIND(korvex_e_PrintEarMark(laser, nullptr, 0, numbers, 2, nullptr, 0, nullptr, 0)),
              KORVEX_FAULT_ARGUMENT);
    EXPECT_EQ(KORVEX_ERROR_KIND(korvex_sim_set_input(16, 0)), KORVEX_FAULT_ARGUMENT);
    EXPECT_EQ(KORVEX_ERROR_KIND(korvex_set_platform("punch card", nullptr, nullptr)), KORVEX_FAULT_ARGUMENT);
    EXPECT_EQ(KORVEX_ERROR_KIND(korvex_set_platform(nullptr, "sundial", nullptr)), KORVEX_FAULT_ARGUMENT);
    EXPECT_NE(std::string(korvex_last_fault_message()).find("sundial"), std::string::npos);
    // A count no array in memory can have is the caller's mistake, not a failure inside the library.
    double md[1] = {0};
    const uint8_t bytes[1] = {0};
    EXPECT_EQ(KORVEX_ERROR_KIND(korvex_Marking_data(laser, md, SIZE_MAX)), KORVEX_FAULT_ARGUMENT);
    EXPECT_EQ(KORVEX_ERROR_KIND(korvex_e_PrintEarMark(laser, bytes, SIZE_MAX, numbers, 1, numbers, 1, bytes, 1)),
              KORVEX_FAULT_ARGUMENT);
    EXPECT_NE(std::string(korvex_fault_message(laser)).find("imageData"), std::string::npos);
    EXPECT_EQ(KORVEX_ERROR_KIND(korvex_e_PrintEarMark(laser, bytes, 1, numbers, SIZE_MAX / 2, numbers, 1, bytes, 1)),
              KORVEX_FAULT_ARGUMENT);

    ASSERT_EQ(korvex_set_Name(laser, "station \xc3\xa9"), 0);  // UTF-8 as given
    char small[5];
    std::size_t length = 0;
    ASSERT_EQ(korvex_get_Name(laser, small, sizeof small, &length), 0);
    EXPECT_EQ(length, 10u);
    EXPECT_STREQ(small, "stat");
    int32_t id = 0;
    ASSERT_EQ(korvex_get_DebugID(laser, &id), 0);
    EXPECT_GT(id, 0);

    // An input driven on the simulated card reads back through the member (level 0 is active).
    bring_up();
    ASSERT_EQ(korvex_sim_set_input(3, 0), 0);
    EXPECT_EQ(korvex_port_In_Bit(laser, 3), 1);
    ASSERT_EQ(korvex_sim_set_input(3, 1), 0);
    EXPECT_EQ(korvex_port_In_Bit(laser, 3), 0);
}

// Handles are checked against the live objects: a destroyed, made-up or other thread's handle is an
// argument error for members, fault queries and destroy alike, and never touches memory.
TEST_F(CInterfaceTest, StaleMadeUpAndForeignHandlesAreRefused) {
    auto refused = [](int32_t r, const char* why) {
        EXPECT_EQ(KORVEX_ERROR_KIND(r), KORVEX_FAULT_ARGUMENT);
        EXPECT_NE(std::string(korvex_last_fault_message()).find(why), std::string::npos) << korvex_last_fault_message();
    };
    korvex_object* gone = nullptr;
    ASSERT_EQ(korvex_create(&gone), 0);
    ASSERT_EQ(korvex_destroy(gone), 0);
    korvex_object* fresh = nullptr;  // may take the memory the destroyed object had
    ASSERT_EQ(korvex_create(&fresh), 0);
    int32_t made_up_storage = 0;
    for (korvex_object* bad : {gone, reinterpret_cast<korvex_object*>(&made_up_storage),
                               reinterpret_cast<korvex_object*>(std::uintptr_t{16})}) {
        refused(korvex_set_Name(bad, "x"), "unknown object handle");
        EXPECT_EQ(korvex_fault_kind_of(bad), KORVEX_FAULT_ARGUMENT);
        EXPECT_NE(std::string(korvex_fault_message(bad)).find("unknown"), std::string::npos);
        refused(korvex_destroy(bad), "unknown object handle");
    }
    std::size_t length = 0;
    ASSERT_EQ(korvex_get_Name(fresh, nullptr, 0, &length), 0);
    EXPECT_EQ(length, 0u);  // the set_Name calls on the stale handle did not reach it
    EXPECT_EQ(korvex_destroy(fresh), 0);
    EXPECT_EQ(korvex_destroy(nullptr), 0);

    // Another thread may neither use nor destroy this thread's object; an object left to a thread
    // that ends goes with it.
    korvex_object* orphan = nullptr;
    std::thread other([&] {
        refused(korvex_e_Relese(laser), "belongs to another thread");
        EXPECT_NE(std::string(korvex_fault_message(laser)).find("another thread"), std::string::npos);
        refused(korvex_destroy(laser), "belongs to another thread");
        ASSERT_EQ(korvex_create(&orphan), 0);
    });
    other.join();
    EXPECT_EQ(korvex_e_Relese(laser), 0);
    refused(korvex_destroy(orphan), "unknown object handle");
}

TEST(CInterfacePlatform, CreateInstallsTheSimulationUnlessTheThreadChoseItsOwn) {
    std::size_t n = 99;
    std::thread fresh([&] {
        korvex_object* o = nullptr;
        ASSERT_EQ(korvex_create(&o), 0);
        EXPECT_EQ(korvex_sim_marks(nullptr, 0, &n), 0);
        korvex_destroy(o);
    });
    fresh.join();
    EXPECT_EQ(n, 0u);

    int32_t r = 0;
    std::thread own([&] {
        korvex::SimulatedMachine machine;
        korvex::set_platform(machine.platform());
        korvex_object* o = nullptr;
        ASSERT_EQ(korvex_create(&o), 0);
        r = korvex_sim_marks(nullptr, 0, &n);
        korvex_destroy(o);
        korvex::set_platform(korvex::Platform{});
    });
    own.join();
    EXPECT_EQ(KORVEX_ERROR_KIND(r), KORVEX_FAULT_ARGUMENT);
}

}  // namespace
