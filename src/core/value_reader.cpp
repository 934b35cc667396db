// The comma-separated value reader: whole-file loading and the value-by-value scanner over it.
// Each value is located with one pass over its bytes and converted in place; nothing is copied.
#include "core/value_reader.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "core/regular_file.hpp"
#include "core/shown_input.hpp"

namespace korvex {

namespace {

// Largest file loaded: far above any grid or template, low enough that a wrong path to some huge
// file cannot exhaust memory.
constexpr std::size_t kMaxFileBytes = std::size_t{256} << 20;

using value_syntax::byte_class;
inline bool is_blank(char c) { return byte_class(c) & value_syntax::kBlank; }
inline bool is_separator(char c) { return byte_class(c) & value_syntax::kSeparator; }
inline bool is_digit(char c) { return byte_class(c) & value_syntax::kDigit; }

bool equals_ignoring_case(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != upper[i]) return false;
    }
    return true;
}

// A number value after its syntax check.
struct Number {
    enum class Status { ok, not_number, out_of_range } status = Status::ok;
    double value = 0.0;
};

// Decimal exponent of the leading digit of a mantissa written as `int_digits`.`frac_digits`, with
// `exponent` applied; used only to tell a value too small for a Double from one too large.
int64_t magnitude(std::string_view int_digits, std::string_view frac_digits, int64_t exponent) {
    std::size_t lead = int_digits.find_first_not_of('0');
    if (lead != std::string_view::npos) return static_cast<int64_t>(int_digits.size() - lead) + exponent;
    std::size_t zeros = frac_digits.find_first_not_of('0');
    if (zeros == std::string_view::npos) return INT64_MIN;  // the value is zero
    return exponent - static_cast<int64_t>(zeros);
}

Number parse_number(std::string_view text) {
    Number n;
    if (text.empty()) return n;  // an empty value is 0
    if (text.front() == '#') {
        if (equals_ignoring_case(text, "#TRUE#")) n.value = -1.0;
        else if (!equals_ignoring_case(text, "#FALSE#")) n.status = Number::Status::not_number;
        return n;
    }
    const char* p = text.data();
    const char* const end = p + text.size();
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    const char* const digits = p;
    while (p < end && is_digit(*p)) ++p;
    std::string_view int_digits(digits, static_cast<std::size_t>(p - digits));
    std::string_view frac_digits;
    if (p < end && *p == '.') {
        const char* f = ++p;
        while (p < end && is_digit(*p)) ++p;
        frac_digits = std::string_view(f, static_cast<std::size_t>(p - f));
    }
    if (int_digits.empty() && frac_digits.empty()) {
        n.status = Number::Status::not_number;
        return n;
    }
    int64_t exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool exp_negative = false;
        if (p < end && (*p == '+' || *p == '-')) exp_negative = (*p++ == '-');
        if (p == end || !is_digit(*p)) {
            n.status = Number::Status::not_number;
            return n;
        }
        for (; p < end && is_digit(*p); ++p) {
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (*p - '0');  // saturates
        }
        if (exp_negative) exponent = -exponent;
    }
    if (p != end) {
        n.status = Number::Status::not_number;
        return n;
    }
    double v = 0.0;
    auto [ptr, ec] = std::from_chars(digits, end, v, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        if (magnitude(int_digits, frac_digits, exponent) <= 0) {
            v = 0.0;  // too small for a Double: it reads as 0
        } else {
            n.status = Number::Status::out_of_range;
            return n;
        }
    } else if (ec != std::errc() || ptr != end) {
        n.status = Number::Status::not_number;
        return n;
    }
    n.value = negative ? -v : v;
    return n;
}

}  // namespace

FileText::FileText(const std::string& path) {
    RegularFile file(path, "file");
    if (file.size_bytes() > kMaxFileBytes) file.fail("is too large");
    // The size it had when opened: a file that shrank meanwhile gives what is there.
    const std::size_t want = static_cast<std::size_t>(file.size_bytes());
    data_ = std::make_unique_for_overwrite<char[]>(want == 0 ? 1 : want);
    size_bytes_ = file.read(data_.get(), want);
}

ValueReader::Field ValueReader::next_field() {
    const char* p = value_start();
    if (p == end_) {
        pos_ = p;
        fail(FaultKind::eof, p, "input past end of file");
    }
    const char* const start = p;
    std::string_view text;
    if (*p == ',') {
        pos_ = p + 1;  // empty value
        return {text, start};
    }
    if (*p == '"') {
        const char* const open = ++p;
        const void* close = std::memchr(open, '"', static_cast<std::size_t>(end_ - open));
        p = close ? static_cast<const char*>(close) : end_;
        text = std::string_view(open, static_cast<std::size_t>(p - open));
        if (p < end_) ++p;
        while (p < end_ && !is_separator(*p)) ++p;  // ignored up to the separator
    } else {
        while (p < end_ && !is_separator(*p)) ++p;
        const char* last = p;
        while (last > start && is_blank(last[-1])) --last;
        text = std::string_view(start, static_cast<std::size_t>(last - start));
    }
    if (p < end_ && *p == ',') ++p;  // a line end is left for the next value's skip
    pos_ = p;
    return {text, start};
}

std::size_t ValueReader::line_at(std::size_t offset) const {
    const char* const at = begin_ + std::min(offset, static_cast<std::size_t>(end_ - begin_));
    // Counting goes on from the last answer when it lies before: a reader asks in file order, so a
    // whole file is counted through once, however many lines are asked for.
    if (at < line_counted_to_) {
        line_counted_to_ = begin_;
        line_counted_ = 1;
    }
    for (const char* p = line_counted_to_; p < at; ++p) {
        if (*p == '\n' || (*p == '\r' && (p + 1 == end_ || p[1] != '\n'))) ++line_counted_;
    }
    line_counted_to_ = at;
    return line_counted_;
}

void ValueReader::fail(FaultKind kind, const char* start, const std::string& what) const {
    raise_fault(kind, what + " (line " + std::to_string(line_at(static_cast<std::size_t>(start - begin_))) + ")");
}

// Reads one number value of any shape and hands it to `convert` (a numeric.hpp conversion); a
// fault of the conversion is raised again with the value's line.
template <class Convert>
auto ValueReader::number(Convert convert) {
    Field f = next_field();
    Number n = parse_number(f.text);
    if (n.status == Number::Status::not_number) fail(FaultKind::type, f.start, "'" + Shown_input(f.text) + "' is not a number");
    if (n.status == Number::Status::out_of_range) fail(FaultKind::overflow, f.start, "'" + Shown_input(f.text) + "': number out of range");
    try {
        return convert(n.value);
    } catch (const Fault& e) {
        fail(e.kind(), f.start, "'" + Shown_input(f.text) + "': " + e.what());
    }
}

std::string_view ValueReader::read_string() { return next_field().text; }

double ValueReader::read_double() {
    return number([](double v) { return v; });
}

float ValueReader::read_single() {
    return number([](double v) { return to_single(v); });
}

int16_t ValueReader::read_i16_general() {
    return number([](double v) { return to_i16(v); });
}

int32_t ValueReader::read_i32_general() {
    return number([](double v) { return to_i32(v); });
}

vbool ValueReader::read_bool() {
    return number([](double v) { return to_vbool(v != 0.0); });
}

}  // namespace korvex
