// The system data page and its two-pass exchange, ending with the run command per controller.
#include "link/system_data.hpp"

#include "link/command_exchange.hpp"
#include "link/serial_link.hpp"

namespace korvex {

namespace {
constexpr int kMaxFilesAnnounced = 84;
constexpr int kFileTable = 256;
}  // namespace

void Sysdata_page_build(State& s, int32_t last_file, int32_t MarkM, int32_t count, int32_t m_sel) {
    Table<uint8_t, kPageBytes>& page = s.link.bytSysPage;
    page.items.fill(0xFF);
    page.at(0) = to_byte(int64_t{last_file});
    page.at(1) = to_byte(int64_t{MarkM});
    page.at(2) = to_byte(int64_t{s.hw.intLaserType});
    page.at(3) = to_byte(int64_t{m_sel});
    page.at(4) = to_byte(int64_t{count < kMaxFilesAnnounced ? count : kMaxFilesAnnounced});
    const int32_t last_entry = count - 1 < kMaxFilesAnnounced ? count - 1 : kMaxFilesAnnounced;
    for (int32_t j = 0; j <= last_entry; ++j) {
        const int32_t block = s.link.lngFileBlock.at(j);
        page.at(kFileTable + 3 * j) = static_cast<uint8_t>(block & 0xFF);
        page.at(kFileTable + 3 * j + 1) = static_cast<uint8_t>(block >> 8 & 0xFF);
        page.at(kFileTable + 3 * j + 2) = static_cast<uint8_t>(block >> 16 & 0xFF);
    }
}

bool Sysdata_send(State& s, int32_t mask, int32_t last_file, int32_t MarkM, int32_t count, int32_t m_sel) {
    Sysdata_page_build(s, last_file, MarkM, count, m_sel);
    Command_set(s, 28, 0, 0, 0, 0);
    For_each_port(s, mask, [&](int) {
        Command_send(s);
        return true;
    });
    if (!Await_each(s, mask, 1, kPageAccepted, kSysCommandFailedText)) return false;
    For_each_port(s, mask, [&](int) {
        Selected_port(s).write(s.link.bytSysPage.items.data(), kPageBytes);
        return true;
    });
    if (!Await_each(s, mask, 5, kDone, kSysPageFailedText)) return false;
    s.link.bytCmd.at(0) = 2;
    s.link.bytCmd.at(1) = 100;
    s.link.bytCmd.at(2) = 0;
    // Every controller is asked, also after one that did not start.
    bool started = true;
    For_each_port(s, mask, [&](int) {
        started = Comm_execute(s) && started;
        return true;
    });
    return started;
}

}  // namespace korvex
