// The real-card backend over a fake sysfs tree: discovery, open failures (files that are FIFOs or
// devices among them, which must never block), and the bytes a short job writes. The tree's
// resource file is an ordinary file standing for the bridge's I/O window; after every access the
// test reads the file itself (the page register at 0xF1, the byte at the written offset), so what
// is compared is what landed in the window, not what the backend says.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fault_of.hpp"
#include "korvex/korvex_dll.hpp"
#include "platform/ch365_card.hpp"
#include "interface/default_platform.hpp"
#include "sim/simulated_machine.hpp"
#include "platform/spin_pacing.hpp"
#include "state/state.hpp"

namespace fs = std::filesystem;
using korvex::Ch365Card;

namespace {

// A sysfs PCI devices folder with one other device and two CH365 cards; the first card's I/O BAR
// is its second BAR (after a memory BAR), the second card's its first.
struct FakeSysfs {
    FakeSysfs() : root(fs::temp_directory_path() / ("korvex_sysfs_" + std::to_string(getpid()))) {
        fs::remove_all(root);
        device("0000:00:01.0", "0x8086", "0x1237", {"0x00000000fe000000 0x00000000fe0fffff 0x0000000000040200"}, -1);
        device("0000:03:00.0", "0x4348", "0x5049",
               {"0x00000000fd000000 0x00000000fd007fff 0x0000000000040200",
                "0x000000000000e000 0x000000000000e0ff 0x0000000000040101"},
               1);
        device("0000:04:00.0", "0x4348", "0x5049", {"0x000000000000d000 0x000000000000d0ff 0x0000000000040101"}, 0);
    }
    ~FakeSysfs() { fs::remove_all(root); }

    void device(const std::string& address, const char* vendor, const char* dev, const std::vector<std::string>& bars,
                int io_bar) {
        const fs::path dir = root / address;
        fs::create_directories(dir);
        std::ofstream(dir / "vendor") << vendor << "\n";
        std::ofstream(dir / "device") << dev << "\n";
        std::ofstream resource(dir / "resource");
        for (const std::string& line : bars) resource << line << "\n";
        resource << "0x0000000000000000 0x0000000000000000 0x0000000000000000\n";
        // An idle bus reads 0xFF: no input is active.
        if (io_bar >= 0) std::ofstream(dir / ("resource" + std::to_string(io_bar)), std::ios::binary) << std::string(256, '\xFF');
    }
    std::string window(const std::string& address, int bar) const {
        return (root / address / ("resource" + std::to_string(bar))).string();
    }

    fs::path root;
};

// Reads the window file after each access and writes down what it holds, as trace lines.
class WindowReader : public Ch365Card::Observer {
public:
    explicit WindowReader(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY)) {}
    ~WindowReader() override { ::close(fd_); }
    void after_access(Ch365Card::Op op, uint8_t offset) override {
        char buf[32];
        if (op == Ch365Card::Op::page) std::snprintf(buf, sizeof buf, "card page %02X", byte_at(korvex::ch365::kPageRegister));
        else if (op == Ch365Card::Op::write) std::snprintf(buf, sizeof buf, "card write %02X %02X", offset, byte_at(offset));
        else std::snprintf(buf, sizeof buf, "card read %02X", offset);
        lines.emplace_back(buf);
    }
    std::vector<std::string> lines;

private:
    uint8_t byte_at(uint8_t offset) const {
        uint8_t v = 0;
        EXPECT_EQ(pread(fd_, &v, 1, offset), 1);
        return v;
    }
    int fd_;
};

// The calls of a short job: bring-up as the tools do it, then a small square.
void short_job() {
    korvex_dll laser;
    laser.Marking_init_pci(128, 0, 0, 1, 0, std::vector<uint8_t>{0, 0, 0, 0}, 1);
    laser.Marking_para(1000, 3000, 100, 50, 100, 50, 10.0, 50, 20, 100, 100);
    laser.marking_start();
    std::vector<double> md{5, -1, -1, 1, -1, 1, 1, -1, 1, -1, -1, 0};
    laser.Marking_data(md);
    laser.port_Out_bit(9, 1);
    laser.port_In_Bit(10);  // input byte 1: through page 0x77
}

}  // namespace

TEST(Ch365Card, FindsCardsAndSaysWhyOneDoesNotOpen) {
    FakeSysfs tree;
    const auto cards = korvex::find_ch365_cards(tree.root.string());
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[0].address, "0000:03:00.0");
    EXPECT_EQ(cards[0].bar, 1);
    EXPECT_EQ(cards[0].io_base, 0xE000u);
    EXPECT_EQ(cards[1].address, "0000:04:00.0");
    EXPECT_EQ(cards[1].bar, 0);

    Ch365Card third({tree.root.string(), 2, false});
    EXPECT_FALSE(third.open());
    EXPECT_NE(third.failure().find("none with device index 2"), std::string::npos);
    Ch365Card none({(tree.root / "nothing").string(), 0, false});
    EXPECT_FALSE(none.open());
    EXPECT_NE(none.failure().find("no CH365 card"), std::string::npos);
    // Unopened, the card takes nothing and reads 0.
    none.write_io(0xDE, 0x12);
    EXPECT_EQ(none.read_io(0x1F), 0);

    fs::remove(tree.window("0000:04:00.0", 0));
    Ch365Card second({tree.root.string(), 1, false});
    EXPECT_FALSE(second.open());
    EXPECT_NE(second.failure().find(tree.window("0000:04:00.0", 0)), std::string::npos);

    Ch365Card first({tree.root.string(), 0, false});
    ASSERT_TRUE(first.open());
    EXPECT_EQ(first.access(), Ch365Card::Access::resource_file);
    EXPECT_EQ(first.read_io(0x1F), 0xFF);
    // The bridge's own registers are never written as card bytes.
    EXPECT_EQ(fault_of([&] { first.write_io(0xF1, 0x00); }), korvex::FaultKind::device);
}

TEST(Ch365Card, AJobLandsInTheWindowAsOnTheSimulatedCard) {
    std::vector<std::string> expected;
    {
        korvex::testing::reset_thread_state();
        korvex::SimulatedMachine machine;
        machine.set_library_folder("/dev/null");
        korvex::set_platform(machine.platform());
        short_job();
        for (std::string line : machine.trace().lines()) {
            if (line.rfind("card ", 0) != 0 || line.rfind("card open", 0) == 0) continue;
            if (const auto arrow = line.find(" ->"); arrow != std::string::npos) line.resize(arrow);
            expected.push_back(line);
        }
    }
    FakeSysfs tree;
    Ch365Card card({tree.root.string(), 0, false});
    WindowReader reader(tree.window("0000:03:00.0", 1));
    card.set_observer(&reader);
    korvex::VirtualClock clock;
    korvex::ScriptedUi ui;  // answers the missing-grid notice as the simulated machine's does
    korvex::testing::reset_thread_state();
    korvex::Platform p;
    p.card = &card;
    p.clock = &clock;
    p.ui = &ui;
    p.library_folder = "/dev/null";
    korvex::set_platform(p);
    short_job();
    korvex::testing::reset_thread_state();

    EXPECT_TRUE(card.is_open());
    ASSERT_GT(expected.size(), 400u);  // the square's steps, four writes per D/A load
    EXPECT_EQ(reader.lines, expected);
    // The job visited the laser controller's and the second input byte's pages.
    EXPECT_NE(std::find(expected.begin(), expected.end(), "card page 7B"), expected.end());
    EXPECT_NE(std::find(expected.begin(), expected.end(), "card page 77"), expected.end());
}

TEST(Ch365Card, ChosenByNameWithTheMonotonicClock) {
    korvex::testing::reset_thread_state();
    EXPECT_FALSE(korvex::select_card("other"));
    EXPECT_NE(dynamic_cast<korvex::SimulatedCard*>(korvex::current_platform().card), nullptr);
    ASSERT_TRUE(korvex::select_card("real"));
    EXPECT_NE(dynamic_cast<Ch365Card*>(korvex::current_platform().card), nullptr);
    EXPECT_NE(dynamic_cast<korvex::MonotonicClock*>(korvex::current_platform().clock), nullptr);
    // A real card the host names itself is paced by the monotonic clock too.
    Ch365Card own;
    korvex::Platform p;
    p.card = &own;
    korvex::set_platform(p);
    EXPECT_NE(dynamic_cast<korvex::MonotonicClock*>(korvex::current_platform().clock), nullptr);
    korvex::set_platform({});
    ASSERT_TRUE(korvex::select_card("simulated"));
    EXPECT_NE(dynamic_cast<korvex::VirtualClock*>(korvex::current_platform().clock), nullptr);
    korvex::testing::reset_thread_state();
}

// The latency check's loop: its figures hang together, and the step writes it makes on a card
// never load a D/A channel, so a real scanner stays where it is.
TEST(SpinPacing, MeasuresTheCycleAndLeavesTheScannerStill) {
    korvex::SimulatedCard card;
    ASSERT_TRUE(card.open());
    card.write_io(korvex::card_reg::kDaLow, 0x34);
    card.write_io(korvex::card_reg::kDaHigh, 0x12);
    card.write_io(korvex::card_reg::kDaControl, korvex::card_reg::kDaLoad0);
    const uint64_t before = card.access_count();
    std::vector<float> lateness;
    const korvex::SpinPacing r = korvex::Spin_pacing(50.0, 100, &card, lateness);
    EXPECT_EQ(r.cycles, 100u);
    EXPECT_GE(r.measured_us, r.planned_us());
    EXPECT_GE(r.ratio(), 1.0);
    EXPECT_LE(r.p50_us, r.p99_us);
    EXPECT_LE(r.p99_us, r.p999_us);
    EXPECT_LE(r.p999_us, r.max_us);
    EXPECT_EQ(card.access_count() - before, 100u * korvex::kCardWritesPerCycle);
    EXPECT_EQ(card.da_channel(0), 0x1234);
    EXPECT_EQ(card.da_channel(1), 0);
}

TEST(Ch365Card, SysfsFilesThatAreNotFilesNeverBlockAndNeverOpen) {
    alarm(20);  // an open or read that blocks fails the test instead of hanging it
    FakeSysfs tree;
    // A device whose vendor file is a FIFO is skipped and said; so is a card whose BAR table is one.
    tree.device("0000:05:00.0", "0x4348", "0x5049", {}, -1);
    fs::remove(tree.root / "0000:05:00.0" / "vendor");
    ASSERT_EQ(::mkfifo((tree.root / "0000:05:00.0" / "vendor").c_str(), 0600), 0);
    tree.device("0000:06:00.0", "0x4348", "0x5049", {}, -1);
    fs::remove(tree.root / "0000:06:00.0" / "resource");
    ASSERT_EQ(::mkfifo((tree.root / "0000:06:00.0" / "resource").c_str(), 0600), 0);
    std::vector<std::string> unreadable;
    ASSERT_EQ(korvex::find_ch365_cards(tree.root.string(), &unreadable).size(), 2u);
    ASSERT_EQ(unreadable.size(), 2u);
    for (const std::string& why : unreadable) EXPECT_NE(why.find("is not a regular file (a FIFO)"), std::string::npos) << why;

    // The I/O window's file must be a regular file as large as the window: not a FIFO, a device or
    // an empty file.
    const std::string window = tree.window("0000:04:00.0", 0);
    const auto refused = [&](const char* what) {
        Ch365Card card({tree.root.string(), 1, false});
        EXPECT_FALSE(card.open()) << what;
        EXPECT_NE(card.failure().find(what), std::string::npos) << card.failure();
    };
    fs::remove(window);
    ASSERT_EQ(::mkfifo(window.c_str(), 0600), 0);
    refused("(a FIFO)");
    fs::remove(window);
    fs::create_symlink("/dev/zero", window);
    refused("(a character device)");
    fs::remove(window);
    std::ofstream(window).flush();
    refused("(0 bytes, not the 256-byte I/O window)");
    alarm(0);
}
