// Discovery of CH365 cards in sysfs and byte access to the bridge's I/O window, by port I/O or by
// the resource file. An unopened card takes nothing and reads 0, as the driver leaves the caller's
// byte when it fails.
#include "platform/ch365_card.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>

#include "core/regular_file.hpp"
#include "core/shown_input.hpp"
#include "korvex/fault.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define KORVEX_HAS_PORT_IO 1
#else
#define KORVEX_HAS_PORT_IO 0
#endif

namespace korvex {

namespace {

constexpr uint64_t kIoResourceFlag = 0x100;  // IORESOURCE_IO in the flags column of `resource`

// Largest sysfs attribute file read (the kernel hands out at most a page).
constexpr std::size_t kSysfsFileMaxBytes = 64 * 1024;

// A small sysfs file, read without ever blocking (a FIFO or device put in its place is refused);
// nothing, with the reason in `why`, when it cannot be read.
std::optional<std::string> read_sysfs_file(const std::filesystem::path& path, std::string* why) {
    try {
        return Regular_file_read(path.string(), kSysfsFileMaxBytes, "sysfs file");
    } catch (const Fault& f) {
        if (why && std::filesystem::exists(std::filesystem::symlink_status(path))) *why = f.what();
        return std::nullopt;
    }
}

// The first hexadecimal number of a small sysfs file ("0x4348\n"), or -1.
long read_hex_id(const std::filesystem::path& path, std::string* why) {
    const std::optional<std::string> text = read_sysfs_file(path, why);
    if (!text) return -1;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text->c_str(), &end, 16);
    return end && end != text->c_str() ? static_cast<long>(v) : -1;
}

// The first BAR of the `resource` table that is I/O space and spans the whole window.
bool find_io_bar(const std::filesystem::path& resource, int& bar, uint64_t& base, std::string* why) {
    const std::optional<std::string> text = read_sysfs_file(resource, why);
    if (!text) return false;
    std::istringstream in(*text);
    std::string line;
    for (int index = 0; std::getline(in, line); ++index) {
        unsigned long long start = 0, end = 0, flags = 0;
        if (std::sscanf(line.c_str(), "%llx %llx %llx", &start, &end, &flags) != 3) continue;
        if (!(flags & kIoResourceFlag) || start == 0 || end < start) continue;
        if (end - start + 1 < ch365::kWindowBytes) continue;
        bar = index;
        base = start;
        return true;
    }
    return false;
}

std::string hex_byte(uint8_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v);
    return buf;
}

}  // namespace

std::vector<Ch365Found> find_ch365_cards(const std::string& sysfs_root, std::vector<std::string>* unreadable) {
    namespace fs = std::filesystem;
    std::vector<Ch365Found> cards;
    std::error_code ec;
    fs::directory_iterator it(sysfs_root, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::path dir = it->path();
        std::string why;
        const auto skip = [&] {
            if (unreadable && !why.empty()) unreadable->push_back(why);
        };
        if (read_hex_id(dir / "vendor", &why) != ch365::kVendorId || read_hex_id(dir / "device", &why) != ch365::kDeviceId) {
            skip();
            continue;
        }
        Ch365Found card;
        card.address = dir.filename().string();
        if (!find_io_bar(dir / "resource", card.bar, card.io_base, &why)) {
            skip();
            continue;
        }
        card.resource_path = (dir / ("resource" + std::to_string(card.bar))).string();
        cards.push_back(std::move(card));
    }
    std::sort(cards.begin(), cards.end(), [](const Ch365Found& a, const Ch365Found& b) { return a.address < b.address; });
    return cards;
}

const char* access_name(Ch365Card::Access access) {
    switch (access) {
        case Ch365Card::Access::port_io: return "port I/O";
        case Ch365Card::Access::resource_file: return "sysfs resource file";
        case Ch365Card::Access::closed: break;
    }
    return "closed";
}

Ch365Card::Ch365Card(Options options) : options_(std::move(options)) {}

Ch365Card::~Ch365Card() { close(); }

void Ch365Card::close() {
#if KORVEX_HAS_PORT_IO
    if (access_ == Access::port_io) ioperm(static_cast<unsigned long>(port_base_), ch365::kWindowBytes, 0);
#endif
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    access_ = Access::closed;
}

bool Ch365Card::open() {
    close();
    failure_.clear();
    const std::vector<Ch365Found> cards = find_ch365_cards(options_.sysfs_root);
    if (options_.device_index < 0 || static_cast<std::size_t>(options_.device_index) >= cards.size()) {
        failure_ = cards.empty() ? "no CH365 card (PCI 4348:5049) under " + Shown_input(options_.sysfs_root, kShownPathChars)
                                 : std::to_string(cards.size()) + " CH365 card(s) found, none with device index " +
                                       std::to_string(options_.device_index);
        return false;
    }
    found_ = cards[static_cast<std::size_t>(options_.device_index)];
    std::string port_refusal = "port I/O not tried";
#if KORVEX_HAS_PORT_IO
    if (options_.allow_port_io) {
        if (found_.io_base + ch365::kWindowBytes > 0x10000) {
            port_refusal = "port I/O: window beyond port 0xFFFF";
        } else if (ioperm(static_cast<unsigned long>(found_.io_base), ch365::kWindowBytes, 1) == 0) {
            port_base_ = found_.io_base;
            access_ = Access::port_io;
            return true;
        } else {
            port_refusal = std::string("port I/O refused (") + std::strerror(errno) + "; needs root or CAP_SYS_RAWIO)";
        }
    }
#else
    port_refusal = "no port I/O on this processor";
#endif
    // Opened without blocking and then looked at: only a regular file as large as the window is
    // the BAR's resource file (a FIFO, a device or a short file put in its place is not).
    fd_ = ::open(found_.resource_path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    std::string refusal;
    struct stat st {};
    if (fd_ < 0) refusal = std::strerror(errno);
    else if (::fstat(fd_, &st) != 0) refusal = std::strerror(errno);
    else if (!S_ISREG(st.st_mode)) refusal = std::string("not the BAR's resource file (") + File_kind_name(st.st_mode) + ")";
    else if (static_cast<uint64_t>(st.st_size) < ch365::kWindowBytes)
        refusal = "not the BAR's resource file (" + std::to_string(st.st_size) + " bytes, not the " +
                  std::to_string(ch365::kWindowBytes) + "-byte I/O window)";
    if (refusal.empty()) {
        access_ = Access::resource_file;
        return true;
    }
    close();
    failure_ = "card " + Shown_input(found_.address) + ": " + port_refusal + ", and " +
               Shown_input(found_.resource_path, kShownPathChars) + ": " + refusal;
    return false;
}

void Ch365Card::io_failed(const char* what, uint8_t offset) const {
    raise_fault(FaultKind::device, std::string("CH365 card ") + Shown_input(found_.address) + ": " + what + " at offset " +
                                       hex_byte(offset) + " failed: " + std::strerror(errno));
}

void Ch365Card::put(uint8_t offset, uint8_t value) {
#if KORVEX_HAS_PORT_IO
    if (access_ == Access::port_io) {
        outb(value, static_cast<unsigned short>(port_base_ + offset));
        return;
    }
#endif
    if (pwrite(fd_, &value, 1, offset) != 1) io_failed("write", offset);
}

uint8_t Ch365Card::get(uint8_t offset) {
#if KORVEX_HAS_PORT_IO
    if (access_ == Access::port_io) return inb(static_cast<unsigned short>(port_base_ + offset));
#endif
    uint8_t value = 0;
    if (pread(fd_, &value, 1, offset) != 1) io_failed("read", offset);
    return value;
}

void Ch365Card::set_page(uint8_t page) {
    if (access_ == Access::closed) return;
    put(ch365::kPageRegister, page);
    if (observer_) observer_->after_access(Op::page, ch365::kPageRegister);
}

void Ch365Card::write_io(uint8_t offset, uint8_t value) {
    if (access_ == Access::closed) return;
    // The library's addresses never reach the bridge's registers; a byte that would is refused
    // rather than reprogram the bridge.
    if (offset >= ch365::kBridgeRegisters)
        raise_fault(FaultKind::device, "offset " + hex_byte(offset) + " is the CH365 bridge's own register");
    put(offset, value);
    if (observer_) observer_->after_access(Op::write, offset);
}

uint8_t Ch365Card::read_io(uint8_t offset) {
    if (access_ == Access::closed) return 0;
    const uint8_t value = get(offset);
    if (observer_) observer_->after_access(Op::read, offset);
    return value;
}

}  // namespace korvex
