// Writing a file so that a failed or interrupted write never leaves a half file under its name, and
// so that only a regular file is ever replaced. The bytes go to a new file beside the target, every
// write and the close are checked, the data is synced, and only then is the new file renamed over
// the name. A device, FIFO, folder or socket given as an output is refused before anything is
// written (writing "into" /dev/full or a FIFO would fail or block, and renaming over it would
// replace the node). Every file the tools write goes through here.
#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace korvex {

// A file fault when `path` cannot take an output: it names something that is not a regular file
// (a symbolic link counts as what it points to), or the folder it would go into does not exist.
// Tools call it while checking their options, so a bad name is refused before a job runs.
void Output_path_check(const std::string& path, std::string_view what);

class OutputFile {
public:
    // Checks `path` as Output_path_check does and creates the new file beside it; `what` names the
    // file in fault messages ("picture", "font file"). A failure is a file fault.
    OutputFile(const std::string& path, std::string_view what);
    // Without commit() the new file is removed and the target left as it was.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Appends bytes; false when they could not be written (the first error is kept for commit(),
    // later writes are dropped). Never throws, so it can serve C callbacks.
    bool write(const void* data, std::size_t bytes) noexcept;
    // A buffered stream onto write().
    std::ostream& stream();
    // Flushes, syncs and closes the new file and renames it over the target. A write error kept
    // from before, or a failure of any of these steps, is a file fault naming the file; the target
    // is then left as it was.
    void commit();

    const std::string& path() const { return path_; }

private:
    class Buffer;
    [[noreturn]] void fail(const std::string& why) const;

    std::string path_;       // as given
    std::string target_;     // where the rename goes (a symbolic link's target)
    std::string temporary_;  // the new file beside it
    std::string what_;
    int fd_ = -1;
    int error_ = 0;  // errno of the first failed write
    std::unique_ptr<Buffer> buffer_;
    std::unique_ptr<std::ostream> stream_;
};

// Writes `bytes` as the whole content of `path` through an OutputFile.
void Output_file_write(const std::string& path, std::string_view what, std::string_view bytes);

}  // namespace korvex
