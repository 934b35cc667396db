// Fixture for scan engine tests: a machine brought up in direct mode (card open, defaults, clock),
// 100 D/A steps per millimetre, and a recorder of the D/A channels after every channel load.
#pragma once

#include <utility>

#include "machine_fixture.hpp"

class DaLoadLog : public korvex::CardListener {
public:
    explicit DaLoadLog(korvex::SimulatedCard& card) : card_(card) { card_.add_listener(this); }
    ~DaLoadLog() override { card_.remove_listener(this); }
    void on_write(uint8_t page, uint8_t offset, uint8_t value) override {
        if (page == 0xFF && offset == 0xCF && (value == 0xC8 || value == 0x8C))
            loads.emplace_back(card_.da_channel(0), card_.da_channel(1));
    }
    std::vector<std::pair<int, int>> loads;  // (channel 0, channel 1) after each load

private:
    korvex::SimulatedCard& card_;
};

// The channel snapshots a sequence of engine points gives on turn 0: a point that changes x loads
// channel 0, then one that changes y loads channel 1.
std::vector<std::pair<int, int>> snapshots_of(const std::vector<std::pair<int, int>>& points, std::pair<int, int> from);

class ScanTest : public MachineTest {
protected:
    void SetUp() override;
    korvex_dll host;
    std::unique_ptr<DaLoadLog> log;
};
