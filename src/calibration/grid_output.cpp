// The atomic replacement: temporary file (O_EXCL) -> fsync -> hard link of the old file to its
// backup name -> rename over the target -> fsync of the folder.
#include "calibration/grid_output.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace korvex::calibration {

namespace {

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    throw CalibrationError("cannot write the grid file " + path + ": " + what + " (" + std::strerror(errno) +
                           "); nothing was changed");
}

std::string folder_of(const std::string& path) {
    const std::filesystem::path p(path);
    return p.has_parent_path() ? p.parent_path().string() : ".";
}

// A backup name that does not exist yet: PATH.YYYYmmdd-HHMMSS.bak, with -2, -3 ... when taken.
std::string backup_name(const std::string& path) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::string name = path + "." + stamp + ".bak";
    for (int i = 2; ::access(name.c_str(), F_OK) == 0; ++i) name = path + "." + stamp + "-" + std::to_string(i) + ".bak";
    return name;
}

bool copy_file_to(const std::string& from, const std::string& to) {
    std::error_code ec;
    return std::filesystem::copy_file(from, to, std::filesystem::copy_options::none, ec) && !ec;
}

}  // namespace

std::string grid_file_text(const GridOffsets& grid, double step_um, double field_mm) {
    std::string text = "Marking calibrate Data Ver 1.0\r\n";
    char buf[96];
    std::snprintf(buf, sizeof buf, "%g,%g,%d,%d\r\n", step_um, field_mm, kGridCellSteps, kGridColumns);
    text += buf;
    text.reserve(text.size() + grid.dx.size() * 10);
    for (std::size_t k = 0; k < grid.dx.size(); ++k) {
        std::snprintf(buf, sizeof buf, "%d,%d\r\n", grid.dx[k], grid.dy[k]);
        text += buf;
    }
    return text;
}

std::string write_grid_file(const std::string& path, const GridOffsets& grid, double step_um, double field_mm) {
    struct stat old {};
    const bool had_old = ::stat(path.c_str(), &old) == 0;
    if (had_old && !S_ISREG(old.st_mode)) {
        errno = EISDIR;
        fail(path, "it is not a regular file");
    }
    const std::string text = grid_file_text(grid, step_um, field_mm);
    const std::string temp = path + ".tmp-" + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, had_old ? (old.st_mode & 0777) : 0644);
    if (fd < 0) fail(path, "cannot create " + temp);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int e = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            errno = e;
            fail(path, "cannot write " + temp);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int e = errno;
        ::unlink(temp.c_str());
        errno = e;
        fail(path, "cannot flush " + temp);
    }
    std::string backup;
    if (had_old) {
        backup = backup_name(path);
        if (::link(path.c_str(), backup.c_str()) != 0 && !copy_file_to(path, backup)) {
            const int e = errno;
            ::unlink(temp.c_str());
            errno = e;
            fail(path, "cannot keep the old file as " + backup);
        }
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        ::unlink(temp.c_str());
        if (!backup.empty()) ::unlink(backup.c_str());
        errno = e;
        fail(path, "cannot rename " + temp + " over it");
    }
    const int dir = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return backup;
}

}  // namespace korvex::calibration
