// ValueReader: reads the comma-separated value files of the machine (calibration grids, templates)
// value by value, straight out of the whole file held in memory, with no allocation per value.
//
// Value syntax, as the host tools write these files:
// - Values are separated by commas or line ends (LF, CR LF or a lone CR). Only the order of the
//   values matters, not the lines they sit on: before a value, blanks (space, tab) and line ends
//   are skipped, so blank lines are ignored and a value may be followed by its neighbour on the
//   next line. A comma directly before a line end only closes the value before it.
// - A value starting with a double quote is a quoted string: it runs to the next double quote
//   and may contain commas and line ends; anything between its closing quote and the next
//   separator is ignored. Without a closing quote it runs to the end of the file.
// - An unquoted value runs to the next comma or line end; blanks around it are dropped.
// - An empty value (two commas in a row, or a comma at the start of a line) reads as 0 for
//   numbers, False for Booleans and "" for strings.
// - Numbers are decimal: optional sign, digits with an optional point, optional exponent
//   (1.5, -.25, 3e2). #TRUE# and #FALSE# read as -1 and 0 wherever a number is expected.
//   A quoted number reads as the number. Anything else where a number is expected is a type fault
//   that quotes the value (escaped).
// - Reals read into integers are rounded to the nearest integer, halves to the even neighbour;
//   a value outside the integer's range is an overflow fault, as is a real beyond Single's range
//   read as a Single.
// - Booleans read #TRUE# (True, -1), #FALSE# (False, 0), in any letter case, or a number: any
//   value other than 0 is True. They always come back as -1 or 0.
// - No value left before the end of the file is an eof fault.
// A fault's message carries the line of the value that failed. A fault leaves the reader after
// the value that failed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/numeric.hpp"

namespace korvex {

// A whole file read into memory with one read. A file that cannot be opened or read, or is not a
// regular file, is a file fault.
class FileText {
public:
    explicit FileText(const std::string& path);
    std::string_view view() const { return {data_.get(), size_bytes_}; }

private:
    std::unique_ptr<char[]> data_;
    std::size_t size_bytes_ = 0;
};

// Byte classes of the value syntax, one table lookup per byte.
namespace value_syntax {
enum : uint8_t { kBlank = 1, kLineEnd = 2, kComma = 4, kDigit = 8, kSeparator = kLineEnd | kComma };
inline constexpr std::array<uint8_t, 256> kByteClass = [] {
    std::array<uint8_t, 256> t{};
    t[' '] = t['\t'] = kBlank;
    t['\n'] = t['\r'] = kLineEnd;
    t[','] = kComma;
    for (int c = '0'; c <= '9'; ++c) t[c] = kDigit;
    return t;
}();
inline uint8_t byte_class(char c) { return kByteClass[static_cast<unsigned char>(c)]; }
}  // namespace value_syntax

class ValueReader {
public:
    // Reads from `text`, which must outlive the reader and every string view it hands out.
    explicit ValueReader(std::string_view text) : begin_(text.data()), pos_(text.data()), end_(text.data() + text.size()) {}

    // The next value as text, without its quotes; a view into the text given to the constructor.
    std::string_view read_string();
    // The next value as a number of the named type.
    float read_single();
    double read_double();
    int16_t read_i16() {
        int64_t v;
        const char* next = plain_integer(v);
        if (next && v >= INT16_MIN && v <= INT16_MAX) {
            pos_ = next;
            return static_cast<int16_t>(v);
        }
        return read_i16_general();
    }
    int32_t read_i32() {
        int64_t v;
        if (const char* next = plain_integer(v)) {  // 9 digits at most: always fits
            pos_ = next;
            return static_cast<int32_t>(v);
        }
        return read_i32_general();
    }
    // The next value as a 16-bit Boolean, always -1 or 0.
    vbool read_bool();

    // True when only blanks and line ends remain, so the next read would be an eof fault.
    bool at_end() const { return value_start() == end_; }
    // True when the value read last was the last of its line: only blanks (and its closing comma)
    // stand between it and a line end or the end of the text.
    bool at_line_end() const {
        const char* p = pos_;
        while (p < end_ && (value_syntax::byte_class(*p) & value_syntax::kBlank)) ++p;
        return p == end_ || (value_syntax::byte_class(*p) & value_syntax::kLineEnd);
    }
    // Bytes consumed so far.
    std::size_t offset_bytes() const { return static_cast<std::size_t>(pos_ - begin_); }
    // Where the next value starts, in bytes from the start of the text.
    std::size_t next_value_offset() const { return static_cast<std::size_t>(value_start() - begin_); }
    // The line (from 1; LF, CR LF or a lone CR end a line) that holds byte `offset`.
    std::size_t line_at(std::size_t offset) const;

private:
    struct Field {
        std::string_view text;
        const char* start;  // where the value began in the file (for the line of a fault)
    };

    // First byte of the next value: blanks and line ends skipped.
    const char* value_start() const {
        const char* p = pos_;
        while (p < end_ && (value_syntax::byte_class(*p) & (value_syntax::kBlank | value_syntax::kLineEnd))) ++p;
        return p;
    }
    // Fast path of the integer reads, for the common shape of a grid or template value: an
    // optionally signed integer of 1 to 9 digits (so it cannot overflow) directly followed by a
    // separator or the end of the text. Returns where the next value's search starts (after a
    // comma, at a line end), or nullptr for any other shape, which the general path
    // then reads (with the same result) or faults on. Moves nothing.
    const char* plain_integer(int64_t& out) const {
        const char* p = value_start();
        if (p == end_) return nullptr;
        bool negative = false;
        if (*p == '-' || *p == '+') negative = (*p++ == '-');
        const char* const digits = p;
        const char* const limit = end_ - p > 9 ? p + 9 : end_;
        int64_t v = 0;
        unsigned digit;
        while (p < limit && (digit = static_cast<unsigned char>(*p) - static_cast<unsigned>('0')) <= 9) {
            v = v * 10 + digit;
            ++p;
        }
        if (p == digits) return nullptr;
        if (p < end_) {
            const char c = *p;
            if (c == ',') ++p;
            else if (c != '\n' && c != '\r') return nullptr;  // a line end is left for the next value's skip
        }
        out = negative ? -v : v;
        return p;
    }
    int16_t read_i16_general();
    int32_t read_i32_general();
    Field next_field();
    template <class Convert>
    auto number(Convert convert);
    [[noreturn]] void fail(FaultKind kind, const char* start, const std::string& what) const;

    const char* begin_;
    const char* pos_;
    const char* end_;
    mutable const char* line_counted_to_ = begin_;  // line_at's count so far: line_counted_ lines
    mutable std::size_t line_counted_ = 1;          // start before this byte
};

}  // namespace korvex
