// Scan fixture set-up and the expected channel snapshots of a point sequence.
#include "scan_fixture.hpp"

std::vector<std::pair<int, int>> snapshots_of(const std::vector<std::pair<int, int>>& points, std::pair<int, int> from) {
    std::vector<std::pair<int, int>> out;
    for (auto p : points) {
        if (p.first != from.first) out.emplace_back(p.first, from.second);
        if (p.second != from.second) out.emplace_back(p.first, p.second);
        from = p;
    }
    return out;
}

void ScanTest::SetUp() {
    MachineTest::SetUp();
    host.Marking_init_pci(128, 0, 0, 1, 0, {0, 0, 0, 0}, 1);
    host.Marking_para(1000, 3000, 0, 0, 0, 0, 10.0, 50, 20, 100, 0);  // 100 steps/mm
    host.marking_start();
    log = std::make_unique<DaLoadLog>(machine.card());
}
