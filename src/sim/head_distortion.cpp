// The distorted head's geometry. The beam turns first on the x mirror, travels mirror_spacing_mm to
// the y mirror and from there distance_mm down to the work plane. A flat plane under two mirrors
// is hit at y = d tan(ty) and x = (d / cos(ty) + e) tan(tx): the farther the y mirror sends the beam,
// the longer its path to the plane and the wider the x deflection becomes (the field's pincushion).
// The lens then bends every radius by its own radial distortion, and the head's mounting scales,
// skews and offsets the result.
#include "sim/head_distortion.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/shown_input.hpp"

namespace korvex {

namespace {

constexpr double kMaxDeflectionRad = 60.0 * 3.14159265358979323846 / 180.0;
constexpr double kLensRadiusMm = 50.0;

double clamp_angle(double a) { return std::clamp(a, -kMaxDeflectionRad, kMaxDeflectionRad); }

struct Setting {
    const char* name;
    double HeadDistortion::*field;
    double min;  // smallest allowed value (inclusive unless exclusive_min)
    bool exclusive_min;
};

constexpr Setting kSettings[] = {
    {"distance_mm", &HeadDistortion::distance_mm, 0.0, false},
    {"mirrors_mm", &HeadDistortion::mirror_spacing_mm, 0.0, false},
    {"lens_pct", &HeadDistortion::lens_pct, -50.0, false},
    {"scale_x", &HeadDistortion::scale_x, 0.0, true},
    {"scale_y", &HeadDistortion::scale_y, 0.0, true},
    {"skew_mrad", &HeadDistortion::skew_mrad, -1000.0, false},
    {"offset_x_mm", &HeadDistortion::offset_x_mm, -1e6, false},
    {"offset_y_mm", &HeadDistortion::offset_y_mm, -1e6, false},
};

}  // namespace

void HeadDistortion::land(double x_mm, double y_mm, double& landed_x_mm, double& landed_y_mm) const {
    double x = x_mm, y = y_mm;
    if (distance_mm > 0.0) {
        // Angles scaled so that the centre of the field keeps the nominal scale on both axes.
        const double d = distance_mm, e = mirror_spacing_mm;
        const double ty = clamp_angle(y / d);
        const double tx = clamp_angle(x / (d + e));
        y = d * std::tan(ty);
        x = (d / std::cos(ty) + e) * std::tan(tx);
    }
    const double r = std::hypot(x, y) / kLensRadiusMm;
    const double lens = 1.0 + lens_pct / 100.0 * r * r;
    x *= lens;
    y *= lens;
    landed_x_mm = scale_x * x + skew_mrad / 1000.0 * y + offset_x_mm;
    landed_y_mm = scale_y * y + offset_y_mm;
}

std::string HeadDistortion::describe() const {
    if (!on) return "ideal";
    std::string s = "distorted";
    for (const Setting& k : kSettings) {
        char buf[64];
        std::snprintf(buf, sizeof buf, " %s=%g", k.name, this->*k.field);
        s += buf;
    }
    return s;
}

HeadDistortion parse_head_setting(const std::vector<std::string>& args) {
    std::vector<std::string> words;
    for (const std::string& a : args) {
        std::size_t i = 0;
        while (i < a.size()) {
            const std::size_t end = a.find_first_of(", \t", i);
            const std::size_t stop = end == std::string::npos ? a.size() : end;
            if (stop > i) words.push_back(a.substr(i, stop - i));
            i = stop + 1;
        }
    }
    HeadDistortion h;
    if (words.empty()) throw HeadSettingError("a head setting is 'ideal' or 'distorted' with k=v settings");
    if (words[0] == "ideal" && words.size() == 1) return h;
    if (words[0] != "distorted")
        throw HeadSettingError("unknown head '" + Shown_input(words[0]) + "' (ideal, or distorted with k=v settings)");
    h.on = true;
    for (std::size_t w = 1; w < words.size(); ++w) {
        const std::string& word = words[w];
        const std::size_t eq = word.find('=');
        const Setting* setting = nullptr;
        for (const Setting& k : kSettings)
            if (eq != std::string::npos && word.compare(0, eq, k.name) == 0 && std::char_traits<char>::length(k.name) == eq)
                setting = &k;
        if (!setting) {
            std::string names;
            for (const Setting& k : kSettings) names += std::string(names.empty() ? "" : ", ") + k.name;
            throw HeadSettingError("unknown head setting '" + Shown_input(word) + "' (" + names + ")");
        }
        const std::string value = word.substr(eq + 1);
        char* end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        const bool below = setting->exclusive_min ? !(v > setting->min) : !(v >= setting->min);
        if (value.empty() || end != value.c_str() + value.size() || !std::isfinite(v) || below || std::fabs(v) > 1e6)
            throw HeadSettingError("head setting '" + Shown_input(word) + "' needs a number " +
                                   (setting->exclusive_min ? "above " : "of at least ") +
                                   std::to_string(static_cast<long long>(setting->min)));
        h.*setting->field = v;
    }
    return h;
}

}  // namespace korvex
