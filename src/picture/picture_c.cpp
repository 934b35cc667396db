// korvex_sim_write_picture: the C hosts' (and the Python module's) way to the tool's pictures. It
// reads the marks through the C interface and draws them with the tool's own picture code, so a
// picture from Python looks exactly like one from `korvex mark`.
#include <string>
#include <vector>

#include "capi/fault_guard.hpp"
#include "korvex/korvex_picture.h"
#include "picture/mark_picture.hpp"

namespace {

using korvex::capi::ArgumentError;

korvex::tool::PictureFormat format_of(const char* format, const std::string& path) {
    std::string f = format ? format : "";
    if (f.empty()) {
        const auto dot = path.rfind('.');
        if (dot != std::string::npos) f = path.substr(dot + 1);
    }
    for (char& c : f) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (f == "png") return korvex::tool::PictureFormat::png;
    if (f == "svg") return korvex::tool::PictureFormat::svg;
    if (f == "pdf") return korvex::tool::PictureFormat::pdf;
    throw ArgumentError("picture format \"" + f + "\" is not png, svg or pdf");
}

}  // namespace

extern "C" int32_t korvex_sim_write_picture(const char* path, const char* format, double head_steps_per_mm,
                                            double field_mm) {
    std::size_t count = 0;
    if (const int32_t r = korvex_sim_marks(nullptr, 0, &count); KORVEX_IS_ERROR(r)) return r;
    // The library's thread record holds this call's outcome, as for its own functions.
    const auto record = [](korvex_fault_kind kind, const char* message) noexcept {
        return korvex_set_last_fault(kind, message);
    };
    return korvex::capi::guard_with(record, [&]() -> int32_t {
        std::vector<korvex_mark> c_marks(count);
        if (const int32_t r = korvex_sim_marks(c_marks.data(), count, &count); KORVEX_IS_ERROR(r))
            throw ArgumentError(korvex_last_fault_message());
        korvex::capi::require(path, "path");
        const korvex::tool::PictureFormat kind = format_of(format, path);
        std::vector<korvex::Mark> marks;
        marks.reserve(count);
        for (std::size_t i = 0; i < count && i < c_marks.size(); ++i) {
            const korvex_mark& m = c_marks[i];
            korvex::Mark k;
            k.kind = static_cast<korvex::Mark::Kind>(m.kind);
            k.x0 = m.x0, k.y0 = m.y0, k.x1 = m.x1, k.y1 = m.y1, k.steps = m.steps;
            k.t0_us = m.t0_us, k.t1_us = m.t1_us;
            marks.push_back(k);
        }
        korvex::tool::PictureOptions options;
        if (head_steps_per_mm != 0.0) options.head_steps_per_mm = head_steps_per_mm;
        if (field_mm != 0.0) options.field_mm = field_mm;
        try {
            korvex::tool::check_picture_options(options);
        } catch (const korvex::tool::PictureError& e) {
            throw ArgumentError(e.what());
        }
        try {
            korvex::tool::write_picture(marks, kind, path, options);
        } catch (const korvex::tool::PictureError& e) {
            korvex::raise_fault(korvex::FaultKind::file, e.what());
        }
        return 0;
    });
}
