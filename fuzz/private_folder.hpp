// A private folder in memory (tmpfs) for the harnesses whose reader only takes paths: the input is
// written there as a file, read back by the real reader, and the folder is removed at exit.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

class PrivateFolder {
public:
    PrivateFolder() {
        std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/korvex-fuzz-XXXXXX");
        if (!mkdtemp(pattern.data())) __builtin_trap();
        path_ = pattern;
    }
    ~PrivateFolder() {
        for (const std::string& f : written_) unlink(f.c_str());
        rmdir(path_.c_str());
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const std::string& path() const { return path_; }

    // Writes (replaces) the file `name` with the bytes; returns its full path.
    std::string put(const std::string& name, const uint8_t* data, std::size_t size) {
        const std::string full = path_ + "/" + name;
        const int fd = open(full.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) __builtin_trap();
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = write(fd, data + done, size - done);
            if (n <= 0) __builtin_trap();
            done += static_cast<std::size_t>(n);
        }
        close(fd);
        remember(full);
        return full;
    }
    // Removes the file `name` when it is there.
    void remove(const std::string& name) { unlink((path_ + "/" + name).c_str()); }

private:
    void remember(const std::string& full) {
        for (const std::string& f : written_)
            if (f == full) return;
        written_.push_back(full);
    }
    std::string path_;
    std::vector<std::string> written_;
};
