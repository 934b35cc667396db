// The per-thread cache of font file contents: a short list of recently used files, each checked
// against the file's current size, modification time and inode before it is handed out again.
#include "font/font_file_cache.hpp"

#include <sys/stat.h>

#include <algorithm>

#include "core/regular_file.hpp"
#include "core/shown_input.hpp"
#include "korvex/fault.hpp"

namespace korvex {

namespace {

struct FileIdentity {
    uint64_t size_bytes = 0;
    int64_t mtime_ns = 0;
    uint64_t inode = 0;
    uint64_t device = 0;
    bool operator==(const FileIdentity&) const = default;
};

struct CachedFile {
    std::string path;
    FileIdentity identity;
    std::shared_ptr<const FontFileBytes> bytes;
    FontFileCheck passed = nullptr;  // the check the content has passed
};

thread_local std::vector<CachedFile> t_files;  // most recently used first

bool Identity_of(const std::string& path, FileIdentity& out, bool& regular) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    regular = S_ISREG(st.st_mode);
    out.size_bytes = static_cast<uint64_t>(st.st_size);
    out.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    out.inode = static_cast<uint64_t>(st.st_ino);
    out.device = static_cast<uint64_t>(st.st_dev);
    return true;
}

std::shared_ptr<const FontFileBytes> Read_whole(const std::string& path) {
    RegularFile file(path, "font file");
    if (file.size_bytes() > kFontFileMaxBytes) file.fail("is too large for a font file");
    auto bytes = std::make_shared<FontFileBytes>(static_cast<std::size_t>(file.size_bytes()));
    if (file.read(bytes->data(), bytes->size()) != bytes->size()) file.fail("cannot be read whole");
    return bytes;
}

// The cached entry of `path`, read again when the file changed; most recently used first.
CachedFile& Cached(const std::string& path) {
    FileIdentity id;
    bool regular = false;
    if (!Identity_of(path, id, regular)) raise_fault(FaultKind::file, Shown_input(path, kShownPathChars) + ": font file not found");
    if (!regular) raise_fault(FaultKind::file, Shown_input(path, kShownPathChars) + ": not a font file");
    auto hit = std::find_if(t_files.begin(), t_files.end(), [&](const CachedFile& f) { return f.path == path; });
    if (hit != t_files.end() && hit->identity == id) {
        std::rotate(t_files.begin(), hit, hit + 1);
        return t_files.front();
    }
    CachedFile fresh{path, id, Read_whole(path)};
    if (hit != t_files.end()) t_files.erase(hit);
    if (t_files.size() >= kFontFilesKept) t_files.pop_back();
    t_files.insert(t_files.begin(), std::move(fresh));
    return t_files.front();
}

}  // namespace

bool Font_file_present(const std::string& path) {
    FileIdentity id;
    bool regular = false;
    return Identity_of(path, id, regular) && regular;
}

std::shared_ptr<const FontFileBytes> Font_file_bytes(const std::string& path, FontFileCheck check) {
    CachedFile& file = Cached(path);
    if (check && file.passed != check) {
        const std::string problem = check(*file.bytes);
        if (!problem.empty())
            raise_fault(FaultKind::file, "font file " + Shown_input(path, kShownPathChars) + " is damaged: " + problem);
        file.passed = check;
    }
    return file.bytes;
}

}  // namespace korvex
