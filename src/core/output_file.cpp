// OutputFile: the new file is created with O_EXCL under a name of its own beside the target (the
// same folder, so the rename stays on one file system and is atomic), written and synced, closed
// with its result checked, and renamed over the target, which is checked once more just before.
#include "core/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/regular_file.hpp"
#include "core/shown_input.hpp"
#include "korvex/fault.hpp"

namespace korvex {

namespace {

constexpr std::size_t kStreamBufferBytes = std::size_t{64} << 10;
constexpr int kTemporaryAttempts = 100;

std::atomic<unsigned> g_temporary_serial{0};

[[noreturn]] void path_fault(const std::string& path, std::string_view what, const std::string& why) {
    raise_fault(FaultKind::file, std::string(what) + " " + Shown_input(path, kShownPathChars) + " " + why);
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string errno_text(int error) { return std::strerror(error); }

// The file a write to `path` lands in: the path itself, or for a symbolic link what it points to.
// A file fault when that is not a regular file or a new name in an existing folder.
std::string Output_target(const std::string& path, std::string_view what) {
    if (path.empty()) raise_fault(FaultKind::file, std::string(what) + ": no file name given");
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            path_fault(path, what, std::string("is not a regular file (") + File_kind_name(st.st_mode) +
                                       "); only a regular file or a new name can be written");
        // A file the caller may not write is not replaced either, though its folder would allow it.
        if (::access(path.c_str(), W_OK) != 0) path_fault(path, what, "cannot be written (" + errno_text(errno) + ")");
        struct stat link {};
        if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            char resolved[PATH_MAX];
            if (!::realpath(path.c_str(), resolved)) path_fault(path, what, "cannot be resolved (" + errno_text(errno) + ")");
            return resolved;
        }
        return path;
    }
    const int error = errno;
    if (error != ENOENT) path_fault(path, what, "cannot be examined (" + errno_text(error) + ")");
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0) path_fault(path, what, "is a symbolic link to nothing");
    const std::string folder = folder_of(path);
    struct stat dir {};
    if (::stat(folder.c_str(), &dir) != 0)
        path_fault(path, what, "cannot be written: its folder " + Shown_input(folder, kShownPathChars) + " does not exist");
    if (!S_ISDIR(dir.st_mode))
        path_fault(path, what, "cannot be written: " + Shown_input(folder, kShownPathChars) + " is not a folder");
    return path;
}

}  // namespace

class OutputFile::Buffer : public std::streambuf {
public:
    explicit Buffer(OutputFile& file) : file_(file) { setp(bytes_.data(), bytes_.data() + bytes_.size()); }

protected:
    int_type overflow(int_type c) override {
        if (sync() != 0) return traits_type::eof();
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
        return c;
    }
    int sync() override {
        const bool ok = file_.write(pbase(), static_cast<std::size_t>(pptr() - pbase()));
        setp(bytes_.data(), bytes_.data() + bytes_.size());
        return ok ? 0 : -1;
    }

private:
    OutputFile& file_;
    std::array<char, kStreamBufferBytes> bytes_;
};

void Output_path_check(const std::string& path, std::string_view what) { Output_target(path, what); }

OutputFile::OutputFile(const std::string& path, std::string_view what)
    : path_(path), target_(Output_target(path, what)), what_(what) {
    struct stat existing {};
    const bool replaces = ::stat(target_.c_str(), &existing) == 0;
    for (int attempt = 0; attempt < kTemporaryAttempts && fd_ < 0; ++attempt) {
        temporary_ = target_ + "." + std::to_string(::getpid()) + "-" + std::to_string(g_temporary_serial++) + ".part";
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        const int error = errno;
        temporary_.clear();
        fail("cannot be written: no new file can be made beside it (" + errno_text(error) + ")");
    }
    if (replaces) (void)::fchmod(fd_, existing.st_mode & 07777);  // the replaced file's permissions, where allowed
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void OutputFile::fail(const std::string& why) const { path_fault(path_, what_, why); }

bool OutputFile::write(const void* data, std::size_t bytes) noexcept {
    if (error_ != 0 || fd_ < 0) return false;
    const auto* p = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t n = ::write(fd_, p, bytes);
        if (n < 0) {
            if (errno == EINTR) continue;
            error_ = errno;
            return false;
        }
        if (n == 0) {
            error_ = EIO;
            return false;
        }
        p += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

std::ostream& OutputFile::stream() {
    if (!stream_) {
        buffer_ = std::make_unique<Buffer>(*this);
        stream_ = std::make_unique<std::ostream>(buffer_.get());
    }
    return *stream_;
}

void OutputFile::commit() {
    if (fd_ < 0) fail("was already written");
    if (stream_) stream_->flush();
    if (error_ != 0) fail("cannot be written (" + errno_text(error_) + ")");
    // EINVAL: a file system that cannot sync; the data still went through close below.
    if (::fsync(fd_) != 0 && errno != EINVAL) fail("cannot be written (" + errno_text(errno) + ")");
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) fail("cannot be written (" + errno_text(errno) + ")");
    // Something other than a regular file may have been put under the name while the file was
    // being written; it is never replaced.
    struct stat now {};
    if (::lstat(target_.c_str(), &now) == 0 && !S_ISREG(now.st_mode))
        fail(std::string("is no longer a regular file (") + File_kind_name(now.st_mode) + "); nothing was written");
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) fail("cannot be written (" + errno_text(errno) + ")");
    temporary_.clear();
}

void Output_file_write(const std::string& path, std::string_view what, std::string_view bytes) {
    OutputFile file(path, what);
    file.write(bytes.data(), bytes.size());
    file.commit();
}

}  // namespace korvex
