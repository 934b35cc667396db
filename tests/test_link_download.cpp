// Job download and system data: the write-file command, information, head parameter and data pages,
// the last page's 0xAA, the file table, the system data page and the run frame, to one controller
// and to several; every failure message with what is and is not sent after it; and a packed job
// that the emulated controller stores and marks.
#include "link/job_download.hpp"
#include "link/job_packer.hpp"
#include "link/system_data.hpp"
#include "test_link_fixture.hpp"

using korvex::Fault;
using korvex::FaultKind;
using Bytes = std::vector<uint8_t>;

class DownloadTest : public LinkTest {
protected:
    // A job of `length` bytes (k & 0xFF) filed for `head`, the row holding 0x5A beyond it.
    void file_job(int head, int32_t length) {
        auto& l = link();
        for (int32_t k = 0; k < length + 600 && k < korvex::kJobBytes; ++k) l.bytHeadJob.at(head, k) = k < length ? k & 0xFF : 0x5A;
        l.lngHeadLen.at(head) = length;
        l.headPara.at(head) = state().para.offPara;
    }
    int16_t download(int32_t fileno, int32_t fileAll, int32_t MarkM = 3, int32_t m_sel = 1) {
        std::vector<double> md{0};
        return korvex::Marking_end(state(), file_no_begin, fileno, fileAll, MarkM, m_sel, -1, md);
    }
    // "tx 0", "rx 2", "discard 0", ... of the serial lines from `from` on.
    Lines exchange(std::size_t from = 0) {
        Lines out;
        for (const std::string& l : link_lines(from)) {
            std::istringstream in(l);
            std::string a, b, c;
            in >> a >> b >> c;
            out.push_back(a == "msg" ? "msg" : b + " " + c);
        }
        return out;
    }
    void standard_params() { set_params(100, 100, 100, 200, 300, 400, 10.0, 50, 20, 100, 300, 5); }
    int32_t file_no_begin = 0;
};

namespace {
const std::string kDataFailed = "传输文件数据出错,请重新传送";
}

TEST_F(DownloadTest, OneFileToOneControllerPageByPage) {
    emulator(1);
    init_link({0x81, 0, 0, 0});
    standard_params();
    file_job(0, 1000);
    const std::size_t from = machine.trace().size();
    EXPECT_EQ(download(0, 1), 1);
    EXPECT_EQ(exchange(from), (Lines{"discard 0", "tx 0", "rx 0", "tx 0", "rx 0", "tx 0", "rx 0", "tx 0", "rx 0", "tx 0",
                                     "rx 0", "tx 0", "rx 0", "tx 0", "rx 0", "tx 0", "rx 0"}));
    const auto tx = sent(0, from);
    ASSERT_EQ(tx.size(), 8u);
    EXPECT_EQ(tx[0], (Bytes{0x07, 0x00, 0x02, 0x00, 0x00}));

    const Bytes& info = tx[1];
    ASSERT_EQ(info.size(), 528u);
    EXPECT_EQ(Bytes(info.begin(), info.begin() + 8), (Bytes{0, 0, 0, 0, 0xE8, 0x05, 0x00, 0x00}));
    EXPECT_TRUE(std::all_of(info.begin() + 8, info.begin() + 23, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(info.begin() + 23, info.begin() + 256, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(std::string(info.begin() + 256, info.begin() + 264), "rs_1.mak");
    EXPECT_TRUE(std::all_of(info.begin() + 264, info.end(), [](uint8_t b) { return b == 0xFF; }));

    const Bytes& head = tx[2];
    Bytes expected(528, 0);
    expected[1] = 0xFF;
    expected[2] = 0xFC;
    const Bytes fixed{12, 12, 76, 76, 104, 64, 76, 76, 104, 76};
    std::copy(fixed.begin(), fixed.end(), expected.begin() + 16);
    const Bytes params{0x00, 0x08, 0xED, 0xED, 0xCE, 0xFC, 0xCE, 0xFC, 0xCE, 0xFC, 0xCE, 0xFC, 1, 1, 0x2C, 0x01};
    std::copy(params.begin(), params.end(), expected.begin() + 256);
    EXPECT_EQ(head, expected);

    EXPECT_EQ(tx[3][511], 511 & 0xFF);
    const Bytes& last = tx[4];
    EXPECT_EQ(last[0], 512 & 0xFF);
    EXPECT_EQ(last[487], 999 & 0xFF);
    EXPECT_TRUE(std::all_of(last.begin() + 488, last.begin() + 512, [](uint8_t b) { return b == 0x5A; }));
    EXPECT_TRUE(std::all_of(last.begin() + 512, last.end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(link().lngFileBlock.at(1), 516);
    EXPECT_EQ(link().lngCtrlState, 1);  // stored; the run frame of the download does not change it

    EXPECT_EQ(tx[5], (Bytes{28, 0, 0, 0, 0}));
    const Bytes& sys = tx[6];
    EXPECT_EQ(Bytes(sys.begin(), sys.begin() + 5), (Bytes{0x00, 0x03, 0x05, 0x01, 0x01}));
    EXPECT_TRUE(std::all_of(sys.begin() + 5, sys.begin() + 256, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(Bytes(sys.begin() + 256, sys.begin() + 259), (Bytes{0x00, 0x02, 0x00}));
    EXPECT_TRUE(std::all_of(sys.begin() + 259, sys.end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(tx[7], (Bytes{0x02, 0x64, 0x00, 0x00, 0x00}));

    // The controller keeps the file where the host's table says, and the set's system data.
    const korvex::EmulatedController& c = *machine.serial().emulator(1);
    EXPECT_TRUE(c.flash().file_complete(512));
    EXPECT_EQ(c.flash().file_data(512).size(), 1000u);
    EXPECT_EQ(c.flash().system_page()[4], 1);
    EXPECT_EQ(c.runs(), 1);
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, SeveralControllersGetEachPageBeforeAnyReplyIsAwaited) {
    emulator(1);
    emulator(2);
    init_link({0x81, 0, 0x82, 0});
    standard_params();
    file_job(0, 600);
    file_job(2, 1100);
    const std::size_t from = machine.trace().size();
    EXPECT_EQ(download(0, 1), 1);
    Lines expected{"discard 0", "tx 0", "discard 2", "tx 2", "rx 0", "rx 2"};
    for (int page = 0; page < 2 + 3 + 2; ++page)  // info, head, 3 data pages, system command and page
        for (const char* e : {"tx 0", "tx 2", "rx 0", "rx 2"}) expected.push_back(e);
    for (const char* e : {"tx 0", "rx 0", "tx 2", "rx 2"}) expected.push_back(e);  // run, port by port
    EXPECT_EQ(exchange(from), expected);
    // Every head's length counts as the longest; each port gets its own head's pages.
    EXPECT_EQ(link().lngHeadLen.at(0), 1100);
    EXPECT_EQ(sent(0, from)[0], (Bytes{0x07, 0x00, 0x03, 0x00, 0x00}));
    EXPECT_EQ(sent(0, from)[4][600 - 512], 0x5A);  // beyond head 0's job: the row's old bytes
    EXPECT_EQ(sent(2, from)[4][600 - 512], (600) & 0xFF);
    EXPECT_EQ(link().lngFileBlock.at(1), 517);
}

TEST_F(DownloadTest, PointTableGoesToItsHeadsPortAsFileZero) {
    emulator(3);
    init_link({0, 0, 0x83, 0});
    standard_params();
    std::vector<double> md{2, 7, 1, 2, 9, -1, 0.5};
    EXPECT_EQ(korvex::Marking_end(state(), file_no_begin, -1, 0, 0, 0, 2, md), 0);
    EXPECT_EQ(file_no_begin, 1);
    const auto tx = sent(2);
    ASSERT_EQ(tx.size(), 4u);  // command, information, head parameters, one data page
    EXPECT_EQ(tx[0], (Bytes{0x07, 0x00, 0x01, 0x00, 0x00}));
    EXPECT_EQ(Bytes(tx[3].begin(), tx[3].begin() + 10), (Bytes{7, 0x64, 0x00, 0xC8, 0x00, 9, 0x9C, 0xFF, 0x32, 0x00}));
    EXPECT_EQ(link_lines().back(), "serial rx 2 AA 00 00 00 00");  // the only page is the last
    EXPECT_EQ(link().lngHeadLen.at(2), 10);
    EXPECT_EQ(link().lngCtrlState, 1);
    // The next set starts at file 1, its table at file 0's end.
    file_job(2, 100);
    download(0, 1);
    EXPECT_EQ(sent(2).at(4), (Bytes{0x07, 0x01, 0x01, 0x00, 0x00}));
    EXPECT_EQ(link().lngFileBlock.at(2), 512 + 3 + 3);
    const korvex::FlashPage& sys = machine.serial().emulator(3)->flash().system_page();
    EXPECT_EQ(sys[0], 1);
    EXPECT_EQ(sys[4], 2);
    EXPECT_EQ((Bytes{sys[256], sys[257], sys[259], sys[260], sys[262]}), (Bytes{0x00, 0x02, 0x03, 0x02, 0xFF}));
}

TEST_F(DownloadTest, EachTransferFailureHasItsMessageAndSendsNothingMore) {
    struct Case {
        std::vector<std::string> options;
        std::string message;
        std::size_t sent;  // frames and pages sent to the controller in all
        int32_t ctrl_state;  // 1 once the file was stored; an abandoned transfer leaves 0
    };
    const std::vector<Case> cases{
        {{"silent"}, "传输写文件命令出错,请重新传送", 1, 0},
        {{"drop-at-page=1"}, "传输文件信息出错,请重新传送", 2, 0},
        {{"drop-at-page=2"}, "传输系统参数出错,请重新传送", 3, 0},
        {{"drop-at-page=3"}, kDataFailed, 4, 0},
        {{"reply=CC", "at=5"}, kDataFailed, 5, 0},  // the last page acknowledged like any other
        {{"short", "at=5"}, kDataFailed, 5, 0},
        {{"reply=00", "at=6"}, "系统数据传送命令出错", 6, 1},
        {{"reply=CC", "at=7"}, "系统数据传送出错", 7, 1},
        {{"reply=0000000000", "at=8"}, "串口命令通讯出错，请检查连接。2", 8, 1},
        {{"status=238"}, "标刻文件出错，无法标刻，请重新传送数据", 8, 1},  // the run reports its job-error status
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options[0]);
        korvex::testing::reset_thread_state();
        korvex::set_platform(machine.platform());
        init_clock();
        emulator(1, c.options);
        init_link({0x81, 0, 0, 0});
        standard_params();
        file_job(0, 1000);
        const std::size_t from = machine.trace().size();
        const std::size_t shown = machine.ui().shown().size();
        file_no_begin = 0;
        EXPECT_EQ(download(0, 1), 0);  // nothing was started, so the download is not done
        EXPECT_EQ(sent(0, from).size(), c.sent);
        ASSERT_EQ(machine.ui().shown().size(), shown + 1);
        EXPECT_EQ(machine.ui().shown().back().text, c.message);
        EXPECT_EQ(link().lngCtrlState, c.ctrl_state);
    }
}

TEST_F(DownloadTest, FirstSilentPortEndsTheTransferForAll) {
    emulator(1, {"silent"});
    emulator(2);
    init_link({0x81, 0, 0x82, 0});
    standard_params();
    file_job(0, 1000);
    const std::size_t from = machine.trace().size();
    EXPECT_EQ(download(0, 1), 0);
    EXPECT_EQ(exchange(from), (Lines{"discard 0", "tx 0", "discard 2", "tx 2", "discard 0", "msg"}));
}

TEST_F(DownloadTest, NothingFiledMeansNothingSent) {
    emulator(1);
    init_link({0x81, 0, 0, 0});
    const std::size_t from = machine.trace().size();
    EXPECT_EQ(download(0, 1), 0);
    EXPECT_EQ(messages(), (Lines{kDataFailed}));
    EXPECT_TRUE(sent(0, from).empty());
    EXPECT_EQ(link().lngFileBlock.at(1), 0);
}

TEST_F(DownloadTest, OutOfRangeNumbersFault) {
    emulator(1);
    init_link({0x81, 0, 0, 0});
    standard_params();
    file_job(0, 100);
    // File 255 has no entry after it in the file table, 256 and -1 none at all.
    for (int32_t fileno : {255, 256, -2}) {
        try {
            download(fileno, fileno + 1);
            FAIL() << fileno;
        } catch (const Fault& f) {
            EXPECT_EQ(f.kind(), FaultKind::index) << fileno;
        }
    }
    try {
        download(0, 1, 256);  // MarkM beyond a byte: the file went, the system data cannot
        FAIL();
    } catch (const Fault& f) {
        EXPECT_EQ(f.kind(), FaultKind::overflow);
    }
    std::vector<double> md{0};
    EXPECT_THROW(korvex::Marking_end(state(), file_no_begin, 0, 1, 0, 0, 4, md), Fault);  // head 4
}

TEST_F(DownloadTest, SystemDataPageAnnouncesAtMost84Files) {
    link().lngFileBlock.at(84) = 0x030201;
    korvex::Sysdata_page_build(state(), 99, 0, 100, 0);
    const auto& page = link().bytSysPage;
    EXPECT_EQ(page.at(4), 84);
    EXPECT_EQ((Bytes{page.at(508), page.at(509), page.at(510), page.at(511)}), (Bytes{0x01, 0x02, 0x03, 0xFF}));
}

TEST_F(DownloadTest, APackedJobIsStoredRunAndMarkedOnce) {
    emulator(1);
    init_link({0x81, 0, 0, 0});
    set_params(1000, 3000, 100, 200, 300, 400, 10.0, 50, 20, 100, 300, 0);
    korvex::Job_packer_reset(state());
    std::vector<double> md{3, 0, 0, 5, 0, 5, 5, 0};
    korvex::Marking_data_standalone(state(), md);
    std::vector<double> none{0};
    EXPECT_EQ(korvex::Marking_end(state(), file_no_begin, 0, 1, 0, 0, 0, none), 0);  // filed, nothing sent
    EXPECT_EQ(link().lngJobPos, 0);
    EXPECT_EQ(download(0, 1, 0, 0), 1);
    const korvex::EmulatedController& c = *machine.serial().emulator(1);
    EXPECT_EQ(c.runs(), 1);
    EXPECT_EQ(c.job_errors(), 0);
    Lines marks;
    for (const korvex::Mark& m : c.marks().all()) marks.push_back(korvex::format_mark(m));
    EXPECT_EQ(marks, (Lines{"line 0 0 500 0", "line 500 0 500 500", "jump 500 500 0 0"}));
    EXPECT_EQ(link_lines().back(), "serial rx 0 AA 00 00 00 00");
}
