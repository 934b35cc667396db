// Levenberg-Marquardt on the coefficient model. Parameters: the four coefficients, scaled so that 1
// bends the field's edge by its own size (A x (k h)^2), and the eight factors of every zone row in
// use. Residuals: the model's D/A position minus the ideal correction at a 41 x 41 raster of the
// field, in D/A steps.
#include "calibration/coefficient_fit.hpp"

#include <cmath>
#include <cstdio>

#include <opencv2/core.hpp>

#include "korvex/fault.hpp"

namespace korvex::calibration {

namespace {

constexpr int kSamplesPerSide = 41;
constexpr int kMaxIterations = 40;
constexpr double kDelta = 1e-4;

struct Problem {
    const CoefficientModel& start;
    double coefficient_scale;  // of A-D
    int zones;
    std::vector<Vec2> samples;  // D/A steps
    std::vector<Vec2> targets;  // ideal D/A positions

    int parameters() const { return 4 + 8 * zones; }

    CoefficientModel model(const std::vector<double>& p) const {
        CoefficientModel m = start;
        float* coefficient[4] = {&m.hw.sngDistortA, &m.hw.sngDistortB, &m.hw.sngDistortC, &m.hw.sngDistortD};
        for (int i = 0; i < 4; ++i) *coefficient[i] = static_cast<float>(p[i] * coefficient_scale);
        for (int z = 0; z < zones; ++z)
            for (int c = 0; c < 8; ++c) m.zones.at(z, c) = static_cast<float>(p[4 + 8 * z + c]);
        return m;
    }

    std::vector<double> start_parameters() const {
        std::vector<double> p(parameters());
        const float coefficient[4] = {start.hw.sngDistortA, start.hw.sngDistortB, start.hw.sngDistortC, start.hw.sngDistortD};
        for (int i = 0; i < 4; ++i) p[i] = coefficient[i] / coefficient_scale;
        for (int z = 0; z < zones; ++z)
            for (int c = 0; c < 8; ++c) p[4 + 8 * z + c] = start.zones.at(z, c);
        return p;
    }

    void residuals(const std::vector<double>& p, cv::Mat& r) const {
        const CoefficientModel m = model(p);
        r.create(static_cast<int>(2 * samples.size()), 1, CV_64F);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            float x = 0.0f, y = 0.0f;
            Coefficient_position(m.hw, m.zones, samples[i].x, samples[i].y, x, y);
            r.at<double>(static_cast<int>(2 * i)) = x - targets[i].x;
            r.at<double>(static_cast<int>(2 * i + 1)) = y - targets[i].y;
        }
    }
};

}  // namespace

CoefficientModel fit_coefficients(const MeasuredField& field, const CoefficientModel& start, double half_extent_mm) {
    const int zones = start.hw.lngZoneCount;
    if (zones < 1 || zones > 40) throw CalibrationError("the coefficient fit takes templates of 1 to 40 zones");
    const double k = field.steps_per_mm;
    Problem pr{start, 1.0 / ((k * half_extent_mm) * (k * half_extent_mm)), zones, {}, {}};
    for (int row = 0; row < kSamplesPerSide; ++row)
        for (int col = 0; col < kSamplesPerSide; ++col) {
            const Vec2 t{-half_extent_mm + 2.0 * half_extent_mm * col / (kSamplesPerSide - 1),
                         -half_extent_mm + 2.0 * half_extent_mm * row / (kSamplesPerSide - 1)};
            pr.samples.push_back(k * t);
            pr.targets.push_back(field.ideal_correction(t));
        }
    try {
        std::vector<double> p = pr.start_parameters();
        const int n = pr.parameters();
        cv::Mat r, r_try, jac(static_cast<int>(2 * pr.samples.size()), n, CV_64F);
        pr.residuals(p, r);
        double cost = r.dot(r), lambda = 1e-3;
        for (int it = 0; it < kMaxIterations && lambda < 1e10; ++it) {
            for (int j = 0; j < n; ++j) {
                std::vector<double> q = p;
                q[j] += kDelta;
                pr.residuals(q, r_try);
                cv::Mat derivative = (r_try - r) / kDelta;
                derivative.copyTo(jac.col(j));
            }
            cv::Mat a, g = jac.t() * r;
            cv::mulTransposed(jac, a, true);
            bool improved = false;
            while (!improved && lambda < 1e10) {
                cv::Mat damped = a.clone();
                for (int j = 0; j < n; ++j) damped.at<double>(j, j) += lambda * (a.at<double>(j, j) + 1e-6);
                cv::Mat step;
                if (!cv::solve(damped, -g, step, cv::DECOMP_CHOLESKY)) cv::solve(damped, -g, step, cv::DECOMP_SVD);
                std::vector<double> q = p;
                for (int j = 0; j < n; ++j) q[j] += step.at<double>(j);
                pr.residuals(q, r_try);
                const double c = r_try.dot(r_try);
                if (c < cost) {
                    const double gain = (cost - c) / cost;
                    p = q;
                    r = r_try.clone();
                    cost = c;
                    lambda = std::max(lambda / 3.0, 1e-9);
                    improved = true;
                    if (gain < 1e-10) it = kMaxIterations;
                } else {
                    lambda *= 4.0;
                }
            }
        }
        return pr.model(p);
    } catch (const Fault& f) {
        throw CalibrationError(std::string("the coefficient model cannot be fitted: ") + f.what());
    }
}

Vec2 coefficient_error_mm(const MeasuredField& field, const CoefficientModel& model, Vec2 t) {
    const double k = field.steps_per_mm;
    float x = 0.0f, y = 0.0f;
    Coefficient_position(model.hw, model.zones, std::nearbyint(t.x * k), std::nearbyint(t.y * k), x, y);
    return field.head_lands_mm({std::nearbyint(static_cast<double>(x)), std::nearbyint(static_cast<double>(y))}) - t;
}

std::string coefficients_text(const CoefficientModel& m, const std::string& source) {
    char buf[160];
    std::string t = "# coefficient model fitted by korvex calibrate solve from " + source + "\n";
    std::snprintf(buf, sizeof buf, "# field turn %d, field %d x %d mm, %g D/A steps per mm\n", m.hw.lngFieldTurn,
                  m.hw.lngFieldSizeX, m.hw.lngFieldSizeY, static_cast<double>(m.hw.sngStepsPerMm));
    t += buf;
    const float coefficient[4] = {m.hw.sngDistortA, m.hw.sngDistortB, m.hw.sngDistortC, m.hw.sngDistortD};
    const char* names[4] = {"sngDistortA", "sngDistortB", "sngDistortC", "sngDistortD"};
    for (int i = 0; i < 4; ++i) {
        std::snprintf(buf, sizeof buf, "%s %.9g\n", names[i], static_cast<double>(coefficient[i]));
        t += buf;
    }
    t += "lngZoneCount " + std::to_string(m.hw.lngZoneCount) + "\n";
    t += "# zone rows: columns 0 to 7 of the zone table, row 0 at the centre\n";
    for (int z = 0; z < m.hw.lngZoneCount; ++z) {
        t += "zone " + std::to_string(z);
        for (int c = 0; c < 8; ++c) {
            std::snprintf(buf, sizeof buf, " %.7g", static_cast<double>(m.zones.at(z, c)));
            t += buf;
        }
        t += "\n";
    }
    return t;
}

}  // namespace korvex::calibration
