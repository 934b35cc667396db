// Ch365Card: the real I/O card, built on a CH365 PCI bus bridge (PCI 4348:5049) and found through
// sysfs. The bridge's 256-byte I/O window carries the card's local bus at offsets 0x00-0xEF and the
// bridge's own registers at 0xF0-0xFF; the page byte (local address lines A15-A8) goes to the
// bridge's address register. Bytes move by x86 port I/O after ioperm where the process may (one
// outb/inb per access), else by pread/pwrite of one byte in the sysfs resource file of the I/O BAR.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "korvex/io_card.hpp"

namespace korvex {

namespace ch365 {
inline constexpr uint16_t kVendorId = 0x4348;
inline constexpr uint16_t kDeviceId = 0x5049;
inline constexpr uint64_t kWindowBytes = 256;
// Offsets from here up are the bridge's own registers, not the card's local bus.
inline constexpr uint8_t kBridgeRegisters = 0xF0;
// The bridge's A15-A8 address register, as the chip's public datasheet places it in the I/O window.
// Not yet confirmed on a real card: if a station's card pages wrongly, this is the value to check.
inline constexpr uint8_t kPageRegister = 0xF1;
inline constexpr const char* kSysfsPciDevices = "/sys/bus/pci/devices";
}  // namespace ch365

// One card found under the sysfs root.
struct Ch365Found {
    std::string address;        // PCI bus address, e.g. 0000:03:00.0
    uint64_t io_base = 0;       // first port of the bridge's I/O window
    int bar = -1;               // the I/O BAR: resource<bar> is its file
    std::string resource_path;  // <root>/<address>/resource<bar>
};

// The CH365 cards under the root (a sysfs PCI devices folder) in bus-address order; the n-th is
// device index n. Cards without a 256-byte I/O BAR are left out. Every file is read without
// blocking; with `unreadable`, each `vendor`, `device` or `resource` file that is there but could
// not be read (a FIFO, a device) is said there.
std::vector<Ch365Found> find_ch365_cards(const std::string& sysfs_root = ch365::kSysfsPciDevices,
                                         std::vector<std::string>* unreadable = nullptr);

class Ch365Card : public IoCard {
public:
    enum class Access { closed, port_io, resource_file };
    enum class Op { page, write, read };
    struct Options {
        std::string sysfs_root = ch365::kSysfsPciDevices;
        int device_index = 0;
        // false: always the resource file. A test over a fake tree must never reach real ports.
        bool allow_port_io = true;
    };
    // Told after each access has gone to the card (tests over a fake tree look at the file then).
    class Observer {
    public:
        virtual ~Observer() = default;
        virtual void after_access(Op op, uint8_t offset) = 0;
    };

    Ch365Card() : Ch365Card(Options{}) {}
    explicit Ch365Card(Options options);
    ~Ch365Card() override;
    Ch365Card(const Ch365Card&) = delete;
    Ch365Card& operator=(const Ch365Card&) = delete;

    // Finds the card of the device index and takes the fastest access the process is allowed;
    // false (the reason in failure()) when there is no such card or no access to it. Port I/O
    // permission belongs to the thread that opened the card: use it on that thread (the library
    // does, its machine state being per thread).
    bool open() override;
    void set_page(uint8_t page) override;
    void write_io(uint8_t offset, uint8_t value) override;
    uint8_t read_io(uint8_t offset) override;

    bool is_open() const { return access_ != Access::closed; }
    Access access() const { return access_; }
    // Why the last open failed; empty after a successful one.
    const std::string& failure() const { return failure_; }
    const Ch365Found& found() const { return found_; }
    void set_observer(Observer* observer) { observer_ = observer; }

private:
    void close();
    void put(uint8_t offset, uint8_t value);
    uint8_t get(uint8_t offset);
    [[noreturn]] void io_failed(const char* what, uint8_t offset) const;

    Options options_;
    Access access_ = Access::closed;
    Ch365Found found_;
    std::string failure_;
    int fd_ = -1;
    uint64_t port_base_ = 0;
    Observer* observer_ = nullptr;
};

const char* access_name(Ch365Card::Access access);

}  // namespace korvex
