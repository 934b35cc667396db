// The emulated controller on its own: option words, the job interpreter's checks, marks and times,
// which stored files a run frame runs, and how it drops a transfer the host gave up.
#include <gtest/gtest.h>

#include "host_script.hpp"
#include "sim/emulated_controller.hpp"

using korvex::ControllerOptions;
using korvex::EmulatedController;
using Bytes = std::vector<uint8_t>;

namespace {

// Feeds bytes one wire byte time apart from t_us on; returns the time after the last.
double feed(EmulatedController& c, const Bytes& bytes, double t_us) {
    for (uint8_t b : bytes) c.receive(b, t_us += 86.8);
    return t_us;
}

Bytes next_reply(EmulatedController& c) {
    EmulatedController::Reply r;
    return c.pop_reply(r) ? r.bytes : Bytes{0xDE, 0xAD};
}

std::vector<std::string> marks_of(const korvex::MarkRecorder& m) {
    std::vector<std::string> out;
    for (const korvex::Mark& mark : m.all()) out.push_back(korvex::format_mark(mark));
    return out;
}

// Stores `job` as file n (one file per page run) and returns the time after it.
double store_file(EmulatedController& c, int n, const Bytes& job, double t) {
    const int pages = static_cast<int>((job.size() + 511) / 512);
    t = feed(c, {7, static_cast<uint8_t>(n), static_cast<uint8_t>(pages), 0, 0}, t);
    Bytes info(528, 0xFF);
    const uint32_t total = static_cast<uint32_t>(job.size() + 512);
    for (int i = 0; i < 4; ++i) info[static_cast<std::size_t>(4 + i)] = static_cast<uint8_t>(total >> (8 * i));
    t = feed(c, info, t);
    t = feed(c, Bytes(528, 0), t);
    for (int p = 0; p < pages; ++p) {
        Bytes page(528, 0xFF);
        for (std::size_t j = 0; j < 512 && p * 512 + j < job.size(); ++j) page[j] = job[p * 512 + j];
        t = feed(c, page, t);
    }
    return t;
}

Bytes system_page(const std::vector<int32_t>& starts) {
    Bytes page(528, 0xFF);
    page[0] = static_cast<uint8_t>(starts.size() - 1);
    page[4] = static_cast<uint8_t>(starts.size());
    for (std::size_t j = 0; j < starts.size(); ++j) {
        page[256 + 3 * j] = static_cast<uint8_t>(starts[j]);
        page[257 + 3 * j] = static_cast<uint8_t>(starts[j] >> 8);
        page[258 + 3 * j] = static_cast<uint8_t>(starts[j] >> 16);
    }
    return page;
}

}  // namespace

TEST(ControllerOptions, OptionWordsAndTheirErrors) {
    ControllerOptions o;
    std::string error;
    ASSERT_TRUE(korvex::parse_controller_options({"silent-after=3", "late=2000", "reply=0xCC00", "at=4", "extra-byte", "hang-up"}, o, error));
    EXPECT_EQ(o.silent_after, 3);
    EXPECT_EQ(o.late_us, 2000.0);
    EXPECT_EQ(o.reply, (Bytes{0xCC, 0x00}));
    EXPECT_TRUE(o.replace && o.extra_byte && o.hang_up);
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"noisy"}, {"late"}, {"late=-1"}, {"silent=1"}, {"reply=ABC"}, {"status=256"}}) {
        EXPECT_FALSE(korvex::parse_controller_options(bad, o, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(ControllerJobs, ChecksRejectWhatIsNoWholeJob) {
    auto check = [](const Bytes& j) { return korvex::check_job(j.data(), j.size()); };
    EXPECT_TRUE(check({0x01, 0x80, 0x10, 0x00, 0x02, 0x00}).ok);
    EXPECT_EQ(check({0x01, 0x02}).error, "job ends without its end byte");
    EXPECT_EQ(check({0x01, 0x33, 0x00}).error, "unknown opcode");
    EXPECT_EQ(check({0x01, 0x33, 0x00}).offset, 1u);
    EXPECT_FALSE(check({0x60, 0x02, 0x00, 0x00, 0x00, 1, 0, 2, 0, 0x00}).ok);  // two points announced, one there
    EXPECT_FALSE(check({0x40, 0x00, 0x00}).ok);
    EXPECT_FALSE(check({0x61, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}).ok);
}

TEST(ControllerJobs, MovesWaitsDotsAndTheirTimes) {
    // Speed: 1 step per 82 timer ticks; a laser switched on and off in place is a dot.
    const Bytes job{0x40, 0x01, 0x50, 0xAD, 0xFF, 0x51, 0xAD, 0xFF,   // 65535 - 82
                    0x60, 0x01, 0x00, 0x00, 0x00, 0x64, 0x00, 0x00, 0x00,  // jump to (100, 0)
                    0x01, 0x80, 0xE8, 0x03, 0x02,                      // 1000 us of light in place
                    0x01, 0x60, 0x01, 0x00, 0x00, 0x00, 0x9C, 0xFF, 0x00, 0x00,  // line to (-100, 0)
                    0x02,
                    0x61, 10, 0, 20, 0, 30, 0, 40, 0, 5, 0, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x32, 0x00,  // one dot at (0, 50)
                    0x00};
    korvex::ControllerHead head;
    korvex::MarkRecorder marks;
    ASSERT_TRUE(korvex::run_job(job.data(), job.size(), head, marks).ok);
    EXPECT_EQ(marks_of(marks), (std::vector<std::string>{"jump 0 0 100 0", "dot 100 0 1000", "line 100 0 -100 0",
                                                          "jump -100 0 0 50", "dot 0 50 50"}));
    const std::vector<korvex::Mark> all = marks.all();
    const double step_us = 82.0 / (98.0 / 12.0);
    EXPECT_NEAR(all[0].t1_us, 100 * step_us, 1e-6);
    EXPECT_NEAR(all[2].t1_us - all[2].t0_us, 200 * step_us, 1e-6);
    EXPECT_NEAR(all[4].t0_us - all[3].t1_us, 5 + 10, 1e-6);  // a dot list point waits dr_time and tof
    EXPECT_FALSE(head.emitting);
}

TEST(ControllerProtocol, ARunFrameRunsTheSetOfTheSystemDataPage) {
    EmulatedController c;
    const Bytes job{0x01, 0x80, 0x0A, 0x00, 0x02, 0x00};  // a dot at the origin
    double t = store_file(c, 0, {7, 0x64, 0x00, 0x00, 0x00, 9, 0x9C, 0xFF, 0x32, 0x00}, 0);  // a point table
    t = store_file(c, 1, job, t);
    // A third file whose transfer breaks off after its head page.
    t = feed(c, {7, 2, 1, 0, 0}, t);
    t = feed(c, Bytes(528, 0xFF), t);
    t = feed(c, Bytes(528, 0), t);
    EmulatedController::Reply r;
    while (c.pop_reply(r)) {
    }
    EXPECT_EQ(c.flash().file_start(1), 515);
    EXPECT_EQ(c.flash().file_start(2), 518);
    t = feed(c, {28, 0, 0, 0, 0}, t + 1e6);
    t = feed(c, system_page({512, 515, 518}), t);
    t = feed(c, {2, 100, 0, 0, 0}, t);
    EXPECT_EQ(next_reply(c), (Bytes{0xCC}));
    EXPECT_EQ(next_reply(c), (Bytes{0xAA, 0, 0, 0, 0}));
    EXPECT_EQ(next_reply(c), (Bytes{0xAA, korvex::kJobErrorStatus, 0, 0, 0}));
    EXPECT_EQ(c.runs(), 1);
    EXPECT_EQ(c.job_errors(), 1);  // the point table is no job but no error; the third file is not complete
    EXPECT_EQ(marks_of(c.marks()), (std::vector<std::string>{"dot 0 0 10"}));
}

TEST(ControllerProtocol, AGivenUpTransferIsDroppedAndSilenceCanStartLater) {
    ControllerOptions o;
    o.silent_after = 2;
    EmulatedController c(o);
    double t = feed(c, {7, 0, 1, 0, 0}, 0);  // write file: expects its information page now
    t = feed(c, Bytes(100, 0xFF), t);        // part of a page, then the host gives up
    t = feed(c, {1, 0, 0, 0, 0}, t + 600'000);
    EXPECT_EQ(next_reply(c), (Bytes{0xCC}));
    EXPECT_EQ(next_reply(c), (Bytes{0x55, 0, 0, 0, 0}));
    feed(c, {1, 0, 0, 0, 0}, t);
    EXPECT_TRUE(c.dead());  // its third reply is where it stopped answering
    EXPECT_EQ(next_reply(c), (Bytes{0xDE, 0xAD}));
}

TEST(ControllerOptions, ControllerDirectivesOfHostScripts) {
    const auto script = korvex::script::parse_script("@controller 1 emulator late=5 reply=AA at=2\n@controller 2 /dev/pts/9\n");
    ASSERT_EQ(script.size(), 2u);
    EXPECT_EQ(script[0].count, 1u);
    EXPECT_EQ(script[0].text, "emulator late=5 reply=AA at=2");
    EXPECT_EQ(script[1].text, "device /dev/pts/9");
    try {
        korvex::script::parse_script("\n@controller 1 emulator loud\n");
        FAIL() << "an unknown option is a script error";
    } catch (const korvex::script::ScriptError& e) {
        EXPECT_EQ(e.line(), 2);
    }
    EXPECT_THROW(korvex::script::parse_script("@controller 0 emulator\n"), korvex::script::ScriptError);
}
