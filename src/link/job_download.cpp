// Filing and downloading jobs. Transfers go in two passes: each page is sent to every controller of
// the mask, then each controller's acknowledgement is awaited in port order; the first one missing
// ends the transfer with its message.
//
// Two things are refused here that would otherwise go wrong silently: a download with no job filed
// for any head (length 0) sends nothing, since the controllers would be left waiting for a data page
// that never comes; and a job set whose last file did not reach every controller is not started:
// the system data page and the run frame are only sent after a complete transfer, and Marking_end
// returns 0 then. It returns 0 as well when the system data step failed or a controller did not
// start the set (no confirmation, or its job-error status).
#include "link/job_download.hpp"

#include <algorithm>
#include <cstring>

#include "device/card_access.hpp"
#include "device/device_init.hpp"
#include "link/command_exchange.hpp"
#include "link/job_packer.hpp"
#include "link/serial_link.hpp"
#include "link/system_data.hpp"

namespace korvex {

namespace {

constexpr int32_t kDataBytes = 512;
constexpr int32_t kFirstFileBlock = 512;


void Put16(Table<uint8_t, kPageBytes>& page, int at, int64_t value) {
    page.at(at) = to_byte(value % 256);
    page.at(at + 1) = to_byte(value / 256);
}

int32_t Data_pages(int32_t length) { return static_cast<int32_t>((int64_t{length} + kDataBytes - 1) / kDataBytes); }

// The timer reload for v mm/s as the head parameter page carries it.
int64_t Head_timer(double su, float v) { return static_cast<int64_t>(round_half_even(65535.0 - real_div(su * 1000.0, v) * 98.0 / 12.0)); }

int16_t Point_table_send(State& s, int32_t& File_no_begin, int32_t head, const std::vector<double>& md) {
    LinkGroup& l = s.link;
    auto md_at = [&](int64_t i) {
        if (i < 0 || static_cast<uint64_t>(i) >= md.size()) raise_fault(FaultKind::index, "md index beyond the array");
        return md[static_cast<std::size_t>(i)];
    };
    const int64_t entries = int64_t{to_i32(md_at(0) - 1.0)} + 1;
    l.lngHeadLen.at(head);  // heads are 0..3
    for (int64_t k = 0; k < entries; ++k) {
        const int64_t at = 5 * k;
        l.bytHeadJob.at(head, at) = to_byte(md_at(1 + 3 * k));
        Coord_bytes(s, md_at(2 + 3 * k), md_at(3 + 3 * k));
        l.bytHeadJob.at(head, at + 1) = static_cast<uint8_t>(l.lngXBytes.at(0));
        l.bytHeadJob.at(head, at + 2) = static_cast<uint8_t>(l.lngXBytes.at(1));
        l.bytHeadJob.at(head, at + 3) = static_cast<uint8_t>(l.lngYBytes.at(0));
        l.bytHeadJob.at(head, at + 4) = static_cast<uint8_t>(l.lngYBytes.at(1));
    }
    for (int i = 0; i < 4; ++i) l.lngHeadLen.at(i) = 0;
    l.lngHeadLen.at(head) = to_i32(5 * std::max<int64_t>(entries, 0));
    l.lngFileBlock.at(0) = kFirstFileBlock;
    File_send(s, kJobFileName, 0, l.lngHeadLen, 1 << head);
    File_no_begin = 1;
    l.lngJobPos = 0;
    return 0;
}

int16_t Job_file(State& s, int32_t head) {
    LinkGroup& l = s.link;
    Job_close(s, l.lngJobPos);
    const int32_t length = l.lngJobPos;
    l.bytHeadJob.at(head, 0);
    if (length > 0) {
        l.bytHeadJob.at(head, length - 1);  // the whole job fits the row
        std::memcpy(&l.bytHeadJob.at(head, 0), &l.bytJob.at(0), static_cast<std::size_t>(length));
    }
    l.lngHeadLen.at(head) = length;
    l.headPara.at(head) = s.para.offPara;
    Positions_reset(s);
    l.lngJobPos = 0;
    return 0;
}

}  // namespace

void Info_page_build(State& s, const std::string& name, int32_t length) {
    Table<uint8_t, kPageBytes>& page = s.link.bytInfoPage;
    page.items.fill(0xFF);
    for (int i = 0; i <= 22; ++i) page.at(i) = 0;
    const uint32_t total = static_cast<uint32_t>(to_i32(int64_t{length} + kDataBytes));
    for (int i = 0; i < 4; ++i) page.at(4 + i) = static_cast<uint8_t>(total >> (8 * i));
    // One byte a character: its single-byte code, or "0" for a character that has none.
    int k = 0;
    for (std::size_t i = 0; i < name.size() && k < 256; ++k) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        std::size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        page.at(256 + k) = (c >= 1 && c < 0x80) ? c : static_cast<uint8_t>('0');
        i += len;
    }
}

void Head_page_build(State& s, int head) {
    const HeadParaRecord& p = s.para.offPara;
    const int16_t type = s.hw.intLaserType;
    auto& rows = s.link.bytHeadPage;
    rows.at(head, 0);
    Table<uint8_t, kPageBytes> page{};
    page.at(1) = 0xFF;
    page.at(2) = 0xFC;
    static constexpr uint8_t kFixed[10] = {12, 12, 76, 76, 104, 64, 76, 76, 104, 76};
    for (int i = 0; i < 10; ++i) page.at(16 + i) = kFixed[i];
    int64_t p0 = 0, p1 = 0;
    Laser_power_code(s, p.laserpower, true, p0, p1);
    page.at(256) = to_byte(p0);
    page.at(257) = to_byte(p1);
    if (type == 5 || type == 2 || type == 1) page.at(258) = page.at(259) = to_byte(Laser_freq_code(p.laserfre));
    const int64_t tm = Head_timer(p.su, p.ms);
    Put16(page, 260, tm);
    Put16(page, 262, tm);
    if (p.mms != 0.0f) {
        const int64_t tj = Head_timer(p.su, p.mms);
        Put16(page, 264, tj);
        Put16(page, 266, tj);
    }
    page.at(268) = page.at(269) = 1;
    Put16(page, 270, p.dr_time);
    std::memcpy(&rows.at(head, 0), page.items.data(), kPageBytes);
}

void Data_page_build(State& s, int head, int32_t page) {
    Table<uint8_t, kPageBytes>& out = s.link.bytDataPage;
    const int64_t from = int64_t{page - 1} * kDataBytes;
    s.link.bytHeadJob.at(head, from + kDataBytes - 1);  // the page lies within the row
    std::memcpy(out.items.data(), &s.link.bytHeadJob.at(head, from), kDataBytes);
    std::fill(out.items.begin() + kDataBytes, out.items.end(), 0xFF);
}

bool File_send(State& s, const std::string& name, int32_t n, Table<int32_t, 4>& lengths, int32_t mask) {
    LinkGroup& l = s.link;
    int32_t length = 0;
    for (int i = 0; i < 4; ++i) length = std::max(length, lengths.at(i));
    for (int i = 0; i < 4; ++i) lengths.at(i) = length;
    if (length <= 0) {  // nothing filed: no file to send
        Link_message(s, kFileDataFailedText, Buttons::ok, Icon::none);
        return false;
    }
    Info_page_build(s, name, length);
    for (int i = 0; i < 4; ++i) {
        HeadParaRecord& p = s.para.offPara;
        p = l.headPara.at(i);
        if (p.laserfre <= 0.0f) p.laserfre = 20.0f;
        const float vmin = Slowest_speed(p.su);
        if (vmin >= p.ms) p.ms = vmin + 1.0f;
        if (p.mms != 0.0f && vmin >= p.mms) p.mms = vmin + 1.0f;
        Head_page_build(s, i);
    }

    int32_t pages = 0;
    For_each_port(s, mask, [&](int i) {
        const int32_t p = Data_pages(lengths.at(i));
        pages = std::max(pages, p);
        // The file table comes first: a file number it has no entry for is an index fault.
        l.lngFileBlock.at(int64_t{n} + 1) = to_i32(int64_t{l.lngFileBlock.at(n)} + p + 2);
        Command_set(s, 0x07, to_byte(int64_t{n}), static_cast<uint8_t>(p & 0xFF), static_cast<uint8_t>(p >> 8 & 0xFF),
                    to_byte(int64_t{p >> 16}));
        Selected_port(s).discard_received();
        Command_send(s);
        return true;
    });
    if (!Await_each(s, mask, 1, kPageAccepted, kWriteFileFailedText)) return false;

    auto send_all = [&](auto page_of) {
        For_each_port(s, mask, [&](int i) {
            Selected_port(s).write(page_of(i), kPageBytes);
            return true;
        });
    };
    send_all([&](int) { return l.bytInfoPage.items.data(); });
    if (!Await_each(s, mask, 1, kPageAccepted, kFileInfoFailedText)) return false;
    send_all([&](int i) { return &l.bytHeadPage.at(i, 0); });
    if (!Await_each(s, mask, 1, kPageAccepted, kHeadParaFailedText)) return false;
    for (int32_t b = 1; b <= pages; ++b) {
        send_all([&](int i) {
            Data_page_build(s, i, b);
            return l.bytDataPage.items.data();
        });
        const bool last = b == pages;
        if (!Await_each(s, mask, last ? 5 : 1, last ? kDone : kPageAccepted, kFileDataFailedText)) return false;
    }
    l.lngCtrlState = 1;
    return true;
}

int16_t Marking_end(State& s, int32_t& File_no_begin, int32_t fileno, int32_t fileAll, int32_t MarkM, int32_t m_sel,
                    int32_t m_head, std::vector<double>& md) {
    LinkGroup& l = s.link;
    if (s.device.intCardMode != kStandAloneCardMode) {
        DA_zero(s);
        Positions_reset(s);
        return 0;
    }
    if (fileno == -1) return Point_table_send(s, File_no_begin, m_head, md);
    if (m_head >= 0) return Job_file(s, m_head);

    l.lngFileBlock.at(0) = kFirstFileBlock;
    const int32_t f = to_i32(int64_t{File_no_begin} + fileno);
    const bool sent = File_send(s, kJobFileName, f, l.lngHeadLen, l.lngPortMask);
    Positions_reset(s);
    l.lngJobPos = 0;
    if (int64_t{fileAll} != int64_t{fileno} + 1) return 0;
    if (!sent) return 0;  // a set whose last file did not arrive whole is not started
    return Sysdata_send(s, l.lngPortMask, f, MarkM, to_i32(int64_t{fileAll} + File_no_begin), m_sel) ? 1 : 0;
}

}  // namespace korvex
