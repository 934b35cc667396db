// Opening a file for reading without ever blocking. The path is opened non-blocking and checked to
// be a regular file before a byte is read, so a FIFO, a device or a directory named where a data
// file belongs (a grid, a template, a plot, a font, a drawing, a script) is refused at once with a
// file fault instead of hanging the caller in open() or read(). Every file the library and the
// tools read goes through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvex {

class RegularFile {
public:
    // Opens `path`; `what` names the file in fault messages ("plot file"). A path that cannot be
    // opened or is not a regular file is a file fault.
    RegularFile(const std::string& path, std::string_view what);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // The size when the file was opened.
    uint64_t size_bytes() const { return size_bytes_; }
    // Reads on from where the last read stopped until `capacity` bytes are in or the file ends;
    // returns the count. A read error is a file fault.
    std::size_t read(void* buffer, std::size_t capacity);
    // A file fault naming the file: "<what> <path>: <why>".
    [[noreturn]] void fail(const std::string& why) const;

private:
    int fd_ = -1;
    uint64_t size_bytes_ = 0;
    std::string path_;
    std::string what_;
};

// What a file that is not a regular one is ("a FIFO", "a character device"), from its stat mode.
const char* File_kind_name(unsigned mode);

// The whole of the regular file at `path`; more than `max_bytes` (checked against what is read,
// so a file that grows meanwhile is refused too) is a file fault.
std::string Regular_file_read(const std::string& path, std::size_t max_bytes, std::string_view what);

}  // namespace korvex
