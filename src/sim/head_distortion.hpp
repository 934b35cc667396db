// The distorted head of the simulated machine: where the spot of a real galvanometer head lands for
// the position its two D/A channels command. The channels turn two mirrors; the spot lands where the
// two-mirror geometry and the lens put it, and the head is mounted with its own scale, skew and
// offset. Off (an ideal head: the spot lands at D/A value / head scale) unless a script or a tool
// option switches it on, so traces, marks and pictures of an ideal head stay as they were.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace korvex {

struct HeadDistortion {
    bool on = false;
    // Two-mirror geometry. The D/A values are optical deflection angles, scaled so that near the
    // centre a D/A unit moves the spot 1 / (head scale) mm; the second mirror lies distance_mm
    // above the work plane, the first mirror_spacing_mm before it. 0: no mirror geometry.
    double distance_mm = 250.0;
    double mirror_spacing_mm = 12.0;
    // The lens's radial distortion at 50 mm from the centre, percent of the radius (growing with
    // the square of the radius): negative is barrel, positive pincushion.
    double lens_pct = -1.0;
    // How the head is mounted over the work plane: per-axis scale, skew of the x axis (x moves by
    // skew * y), offset of the field centre.
    double scale_x = 1.003;
    double scale_y = 0.998;
    double skew_mrad = 1.0;
    double offset_x_mm = 0.15;
    double offset_y_mm = -0.1;

    // Where the spot lands on the work plane, mm, for the nominal position (D/A values / head scale,
    // mm). Deflections beyond 60 degrees stop there (the mirrors' end stops).
    void land(double x_mm, double y_mm, double& landed_x_mm, double& landed_y_mm) const;
    // "distorted distance_mm=250 mirrors_mm=12 lens_pct=-1 ..." or "ideal".
    std::string describe() const;
};

// A head setting that cannot be used; the message names the word.
class HeadSettingError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Parses the words of a head setting: "ideal", or "distorted" followed by any of distance_mm=,
// mirrors_mm=, lens_pct=, scale_x=, scale_y=, skew_mrad=, offset_x_mm=, offset_y_mm= (the others
// keep their typical values above). Words may also be separated by commas inside one argument.
HeadDistortion parse_head_setting(const std::vector<std::string>& words);

}  // namespace korvex
