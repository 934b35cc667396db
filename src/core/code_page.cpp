// Code page 936 through glibc iconv. Each direction keeps one conversion handle per thread, opened
// on first use, so a text layout does not open a converter per character.
#include "core/code_page.hpp"

#include <iconv.h>

#include <cerrno>

#include "korvex/fault.hpp"

namespace korvex {

namespace {

constexpr const char* kCodePage = "CP936";

class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {
        if (handle_ == reinterpret_cast<iconv_t>(-1)) raise_fault(FaultKind::device, std::string("no converter for code page ") + kCodePage);
    }
    ~Converter() { iconv_close(handle_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much of `in` as it can into `out`; leaves in/out advanced. Returns errno (0 when done).
    int convert(const char*& in, std::size_t& in_left, char*& out, std::size_t& out_left) {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // initial shift state
        char* src = const_cast<char*>(in);
        const std::size_t r = iconv(handle_, &src, &in_left, &out, &out_left);
        in = src;
        return r == static_cast<std::size_t>(-1) ? errno : 0;
    }

private:
    iconv_t handle_;
};

Converter& decoder() {
    thread_local Converter c("UTF-8", kCodePage);
    return c;
}
Converter& encoder() {
    thread_local Converter c(kCodePage, "UTF-8");
    return c;
}

}  // namespace

std::string Gbk_to_utf8(std::string_view bytes) {
    std::string out;
    out.resize(bytes.size() * 3 + 4);  // a GBK byte never becomes more than 3 UTF-8 bytes
    const char* in = bytes.data();
    std::size_t in_left = bytes.size();
    char* dst = out.data();
    std::size_t out_left = out.size();
    while (in_left > 0) {
        const int err = decoder().convert(in, in_left, dst, out_left);
        if (err == 0) break;
        // EILSEQ: a byte (pair) the code page does not define; EINVAL: a lead byte cut off at the end.
        // Either way one byte becomes "?" and decoding goes on after it.
        if (err != EILSEQ && err != EINVAL) raise_fault(FaultKind::device, "code page conversion failed");
        if (out_left == 0) raise_fault(FaultKind::device, "code page conversion overflow");
        *dst++ = '?';
        --out_left;
        ++in;
        --in_left;
    }
    out.resize(static_cast<std::size_t>(dst - out.data()));
    return out;
}

std::size_t Utf8_char_bytes(std::string_view text) {
    if (text.empty()) return 0;
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t len = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
    if (len > text.size()) return 1;
    for (std::size_t i = 1; i < len; ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 1;
    return len;
}

std::string_view Utf8_from_char(std::string_view text, std::size_t n) {
    for (std::size_t i = 0; i < n && !text.empty(); ++i) text.remove_prefix(Utf8_char_bytes(text));
    return text;
}

uint16_t Code_page_code(std::string_view utf8) {
    constexpr uint16_t kQuestion = '?';
    const std::size_t len = Utf8_char_bytes(utf8);
    if (len == 0) return kQuestion;
    if (len == 1) {
        const auto c = static_cast<unsigned char>(utf8[0]);
        return c < 0x80 ? c : kQuestion;  // ASCII is itself; a broken sequence is "?"
    }
    const char* in = utf8.data();
    std::size_t in_left = len;
    char buf[8];
    char* dst = buf;
    std::size_t out_left = sizeof buf;
    if (encoder().convert(in, in_left, dst, out_left) != 0) return kQuestion;
    const std::size_t n = static_cast<std::size_t>(dst - buf);
    if (n == 1) return static_cast<unsigned char>(buf[0]);
    if (n == 2) return static_cast<uint16_t>(static_cast<unsigned char>(buf[0]) * 256 + static_cast<unsigned char>(buf[1]));
    return kQuestion;
}

}  // namespace korvex
