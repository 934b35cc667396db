// What the tools write: only a regular file or a new name, through a new file renamed into place,
// so a device, FIFO or folder given as an output is refused (before a job runs) and never replaced,
// and a write that fails part way is an error that leaves the name as it was.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/output_file.hpp"
#include "fault_of.hpp"
#include "mark_command.hpp"
#include "picture/mark_picture.hpp"
#include "output_options.hpp"
#include "state/state.hpp"

using namespace korvex;
namespace fs = std::filesystem;

namespace {

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        korvex::testing::reset_thread_state();
        dir = fs::path(::testing::TempDir()) / ("korvex_outputs_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        alarm(30);  // a writer that blocks on a FIFO fails the test instead of hanging it
    }
    void TearDown() override {
        alarm(0);
        fs::remove_all(dir);
        korvex::testing::reset_thread_state();
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    std::string fifo(const std::string& name) const {
        EXPECT_EQ(::mkfifo(path(name).c_str(), 0600), 0);
        return path(name);
    }
    static bool is_fifo(const std::string& p) { return fs::is_fifo(fs::symlink_status(p)); }
    static std::string read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir;
};

// Runs the korvex program with `args`; its exit status.
int korvex_cli(const std::string& args) {
    return WEXITSTATUS(std::system((std::string(KORVEX_CLI) + " " + args + " 2>/dev/null").c_str()));
}

}  // namespace

TEST_F(OutputFileTest, OnlyRegularFilesAndNewNamesAreWrittenAndNothingElseIsReplaced) {
    const std::string pipe = fifo("pipe");
    fs::create_symlink(path("nowhere"), path("dangling"));
    for (const std::string& bad : {pipe, std::string("/dev/full"), dir.string(), path("no/such/file"), path("dangling")}) {
        EXPECT_EQ(fault_of([&] { Output_path_check(bad, "picture"); }), FaultKind::file) << bad;
        EXPECT_EQ(fault_of([&] { OutputFile f(bad, "picture"); }), FaultKind::file) << bad;
    }
    EXPECT_TRUE(is_fifo(pipe));

    // A regular file is replaced whole; a link writes through to its file; a file never completed
    // leaves the name as it was and nothing beside it.
    const std::string file = path("a.txt");
    std::ofstream(file) << "old content";
    fs::create_symlink(file, path("link"));
    Output_file_write(path("link"), "marks file", "new");
    EXPECT_TRUE(fs::is_symlink(path("link")));
    EXPECT_EQ(read(file), "new");
    const auto entries = [&] { return std::distance(fs::directory_iterator(dir), {}); };
    const auto before = entries();
    OutputFile(file, "marks file").stream() << "half";
    EXPECT_EQ(read(file), "new");
    EXPECT_EQ(entries(), before);

    // The tools refuse such outputs before any work, and leave them as they are.
    EXPECT_NE(korvex_cli("fontc --hershey /usr/share/hershey-fonts/rowmans.jhf -o " + pipe), 0);
    std::ofstream(path("empty.ks")).flush();
    EXPECT_NE(korvex_cli("run " + path("empty.ks") + " --trace " + pipe), 0);
    tool::MarkCommand mark;
    mark.input = path("drawing.md");
    std::ofstream(mark.input) << "2 0 0 10 0 0\n";
    mark.outputs.png_path = pipe;
    std::ostringstream out, err;
    EXPECT_EQ(tool::run_mark_command(mark, out, err), 2);
    EXPECT_NE(err.str().find("is not a regular file (a FIFO)"), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find("records"), std::string::npos) << "nothing was marked: " << err.str();
    EXPECT_TRUE(is_fifo(pipe));
}

TEST_F(OutputFileTest, AWriteThatFailsIsAnErrorAndLeavesNoHalfFile) {
    Mark line;
    line.kind = Mark::Kind::line;
    line.x1 = line.y1 = 2000;
    const std::vector<Mark> marks{line};
    const tool::PictureOptions options;
    // The size each picture has; below it the file system refuses the last bytes, as a full disk does.
    std::vector<std::pair<tool::PictureFormat, uintmax_t>> sizes;
    for (tool::PictureFormat format : {tool::PictureFormat::png, tool::PictureFormat::svg, tool::PictureFormat::pdf}) {
        tool::write_picture(marks, format, path("whole"), options);
        sizes.emplace_back(format, fs::file_size(path("whole")));
    }
    struct rlimit was {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &was), 0);
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    const auto limit = [&](rlim_t bytes) {
        struct rlimit r = was;
        r.rlim_cur = bytes;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &r), 0);
    };
    for (const auto& [format, size] : sizes) {
        limit(size - 1);
        EXPECT_THROW(tool::write_picture(marks, format, path("cut"), options), tool::PictureError) << int(format);
        limit(was.rlim_cur);
        EXPECT_FALSE(fs::exists(path("cut"))) << int(format);
    }
    limit(10);
    std::ostringstream out, err;
    EXPECT_FALSE(tool::write_text_output(path("marks.txt"), "marks file", out, err, "korvex",
                                         [](std::ostream& s) { s << std::string(100, 'm'); }));
    EXPECT_NE(err.str().find("cannot be written (File too large)"), std::string::npos) << err.str();
    limit(was.rlim_cur);
    ::signal(SIGXFSZ, previous);
    EXPECT_FALSE(fs::exists(path("marks.txt")));
}
