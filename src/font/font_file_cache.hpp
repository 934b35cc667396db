// Font files held in memory: text is drawn character by character, so each font file is read from
// disk once and kept (per thread), and read again only when its size, modification time or inode
// changes. Glyph readers work on the bytes, never on an open file.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace korvex {

using FontFileBytes = std::vector<uint8_t>;
// What is wrong with a font file's content for its format, or "" when nothing is.
using FontFileCheck = std::string (*)(std::span<const uint8_t> content);

// The whole content of the font file at `path`. A file that cannot be opened or read, is not a
// regular file, or is larger than kFontFileMaxBytes is a file fault naming the path. With `check`,
// the content is checked once after each read from disk, and a problem is a file fault
// "font file PATH is damaged: PROBLEM".
std::shared_ptr<const FontFileBytes> Font_file_bytes(const std::string& path, FontFileCheck check = nullptr);

// True when `path` names a regular file (a folder is never a font file).
bool Font_file_present(const std::string& path);

inline constexpr std::size_t kFontFileMaxBytes = std::size_t{64} << 20;  // far above any real font
inline constexpr std::size_t kFontFilesKept = 8;                           // files kept per thread

}  // namespace korvex
