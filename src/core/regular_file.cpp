// RegularFile: open with O_NONBLOCK (an open of a FIFO without a writer would otherwise wait for
// one), fstat the descriptor (not the path, so nothing can be swapped in between) and refuse
// anything that is not a regular file. Reads of a regular file never block, whatever the flag.
#include "core/regular_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/shown_input.hpp"
#include "korvex/fault.hpp"

namespace korvex {

const char* File_kind_name(unsigned mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISLNK(mode)) return "a symbolic link";
    return "not a plain file";
}

RegularFile::RegularFile(const std::string& path, std::string_view what)
    : path_(Shown_input(path, kShownPathChars)), what_(what) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) fail(std::string("cannot be opened (") + std::strerror(errno) + ")");
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const int error = errno;
        ::close(fd_);
        fail(std::string("cannot be examined (") + std::strerror(error) + ")");
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd_);
        fail(std::string("is not a regular file (") + File_kind_name(st.st_mode) + ")");
    }
    size_bytes_ = static_cast<uint64_t>(st.st_size);
}

RegularFile::~RegularFile() { ::close(fd_); }

void RegularFile::fail(const std::string& why) const { raise_fault(FaultKind::file, what_ + " " + path_ + " " + why); }

std::size_t RegularFile::read(void* buffer, std::size_t capacity) {
    auto* const bytes = static_cast<char*>(buffer);
    std::size_t got = 0;
    while (got < capacity) {
        const ssize_t r = ::read(fd_, bytes + got, capacity - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            fail(std::string("cannot be read (") + std::strerror(errno) + ")");
        }
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return got;
}

std::string Regular_file_read(const std::string& path, std::size_t max_bytes, std::string_view what) {
    RegularFile file(path, what);
    if (file.size_bytes() > max_bytes) file.fail("is larger than " + std::to_string(max_bytes) + " bytes");
    // One byte beyond the size, so a file that grew since it was opened is seen whole or refused.
    std::string text(static_cast<std::size_t>(file.size_bytes()) + 1, '\0');
    std::size_t got = file.read(text.data(), text.size());
    while (got == text.size() && text.size() <= max_bytes) {
        text.resize(std::min(text.size() * 2, max_bytes + 1));
        got += file.read(text.data() + got, text.size() - got);
    }
    if (got > max_bytes) file.fail("is larger than " + std::to_string(max_bytes) + " bytes");
    text.resize(got);
    return text;
}

}  // namespace korvex
