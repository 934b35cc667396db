// Fitting a template's coefficient model (distortion coefficients A-D and the zone scale factors)
// to the measured field, for stations that mark from templates without a grid. The model is the
// library's own; the fit moves its parameters (Levenberg-Marquardt, numeric derivatives) until the
// D/A positions it sends come as close as they can to the ideal correction over the field. Its
// form limits it: zone factors are steps in scale, so it cannot follow a field as closely as a grid.
#pragma once

#include <string>

#include "calibration/grid_solution.hpp"

namespace korvex::calibration {

// Fits from `start` (its turn, field size, zone count and steps per mm are kept; coefficients and
// the zone rows in use are fitted) over the square -half_extent_mm .. half_extent_mm.
CoefficientModel fit_coefficients(const MeasuredField& field, const CoefficientModel& start, double half_extent_mm);

// The landing error (mm) at t (mm) of a job marked with this coefficient model and no grid.
Vec2 coefficient_error_mm(const MeasuredField& field, const CoefficientModel& model, Vec2 t_mm);

// The fitted values as the hardware fields and zone rows a template holds, one per line.
std::string coefficients_text(const CoefficientModel& model, const std::string& source);

}  // namespace korvex::calibration
