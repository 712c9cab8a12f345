// SPDX-License-Identifier: MIT
// The warnings of a fit that succeeded: each says what is wrong and what to do.
#include <cmath>

#include "report/report.h"

namespace helmert7 {
namespace {

constexpr double kScaleLimit = 0.01;           // |m| above 1%
constexpr double kUnitFactorTolerance = 0.02;  // k within 2% of a unit's factor
constexpr double kRotationErrorLimit = 1e-4;   // radians
constexpr double kFlatShare = 0.1;             // a spread below 10% of the largest
constexpr Eigen::Index kLowRedundancy = 3;

std::string shown(double value) { return format_shortest(value); }

// A point's label as messages quote it: control bytes escaped, long names cut.
std::string quoted_label(const Network& network, Eigen::Index index) {
  const Excerpt excerpt = excerpt_of(point_label(network, index));
  return excerpt.text + (excerpt.cut ? "..." : "");
}

// "2 source points have no target point: P7, P9"
std::string unmatched_warning(const std::vector<std::string>& names, const char* side,
                              const char* other) {
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + excerpt_of(name).text;
  return std::to_string(names.size()) + " " + side +
         (names.size() == 1 ? " point has no " : " points have no ") + other + " point: " + list;
}

std::vector<std::string> pairing_warnings(const Pairing& pairing) {
  std::vector<std::string> warnings;
  if (!pairing.source_only.empty()) {
    warnings.push_back(unmatched_warning(pairing.source_only, "source", "target"));
  }
  if (!pairing.target_only.empty()) {
    warnings.push_back(unmatched_warning(pairing.target_only, "target", "source"));
  }
  return warnings;
}

std::string small_angle_warning(const Fit& fit, double model_error, double farthest) {
  const FitAssessment& a = fit.assessment;
  return "the small-angle model maps the points up to " + shown(model_error) +
         " coordinate units from the exact similarity, " +
         format_fixed(model_error / a.noise_within(farthest), 1) + " times the noise (sigma0 " +
         shown(a.exact_sigma0) + " of the exact fit; rotation " +
         shown(fit.result.params.segment<3>(3).norm()) + " rad, points up to " + shown(farthest) +
         " coordinate units from the centroid): use --rotation exact";
}

// Where the scale is near the factor between two units, the units are the likely cause.
std::string unit_hint(double k) {
  const struct {
    double factor;
    const char* units;
  } factors[] = {{1000.0, "the source in metres and the target in millimetres"},
                 {0.001, "the source in millimetres and the target in metres"},
                 {0.3048, "the source in feet and the target in metres"},
                 {1.0 / 0.3048, "the source in metres and the target in feet"}};
  for (const auto& f : factors) {
    if (std::fabs(k / f.factor - 1.0) < kUnitFactorTolerance) {
      return ", near " + shown(f.factor) + ": the units may differ (" + f.units +
             "); give both sides in one unit";
    }
  }
  return ": check that the source and target points are the same points in the same units";
}

std::string scale_warning(double m) {
  const double k = 1.0 + m;
  return "the scale factor 1 + m is " + shown(k) + " (m = " + shown(m * 1e6) + " ppm)" +
         (k <= 0.0 ? ": mirrored coordinates, or points paired wrongly; check that the source "
                     "and target points are the same points in the same units"
                   : unit_hint(k));
}

std::string outlier_warning(const Network& network, const Fit& fit) {
  const FitStatistics& statistics = fit.statistics;
  std::string names;
  for (const Eigen::Index point : statistics.outliers) {
    names += (names.empty() ? "" : ", ") + quoted_label(network, point);
  }
  const bool one = statistics.outliers.size() == 1;
  return (one ? "point " : "points ") + names +
         (one ? " may hold a gross error" : " may hold gross errors") +
         (fit.weighted ? ": Baarda's w up to " : ": standardized residuals up to w = ") +
         format_fixed(statistics.largest_w, 2) +
         (fit.weighted ? " exceeds the critical value " : " exceed tau = ") +
         format_fixed(statistics.critical_value, 2) +
         "; check them, or leave them out and run again";
}

std::string axis_text(const Eigen::Vector3d& axis) {
  return "(" + format_fixed(axis(0), 2) + ", " + format_fixed(axis(1), 2) + ", " +
         format_fixed(axis(2), 2) + ")";
}

// What about the network's shape leaves the rotation weak, and what to add.
std::string shape_text(const Eigen::Vector3d& spreads) {
  const std::string spread = " (spread " + format_fixed(spreads(0), 1) + ", " +
                             format_fixed(spreads(1), 1) + " and " + format_fixed(spreads(2), 1) +
                             " coordinate units along their principal axes)";
  if (spreads(1) < kFlatShare * spreads(0)) {
    return "the common points are nearly collinear" + spread + "; add points off their line";
  }
  if (spreads(2) < kFlatShare * spreads(0)) {
    return "the common points are nearly coplanar" + spread + "; add points far from that axis";
  }
  return "the network is small for its noise" + spread + "; add points farther apart";
}

std::string geometry_warning(const Fit& fit) {
  return "the rotation about the axis " + axis_text(fit.assessment.weakest_axis) +
         " is poorly determined (standard error " + shown(fit.statistics.rotation_error) +
         " rad): " + shape_text(fit.assessment.spreads);
}

bool small_angle_error_shows(const Fit& fit, double model_error, double farthest) {
  return fit.mapping.model == RotationModel::small && fit.assessment.small_model_worse &&
         model_error > kModelErrorWarning * fit.assessment.noise_within(farthest);
}

}  // namespace

std::vector<std::string> fit_warnings(const Network& network, const Fit& fit,
                                      const MappedPoints& points) {
  const FitStatistics& statistics = fit.statistics;
  const double m = fit.result.params(6);
  std::vector<std::string> warnings = pairing_warnings(network.pairing);
  const double model_error =
      std::max({fit.assessment.model_error, fit.assessment.test_model_error, points.model_error});
  const double farthest = std::max(statistics.farthest, points.farthest);
  if (small_angle_error_shows(fit, model_error, farthest)) {
    warnings.push_back(small_angle_warning(fit, model_error, farthest));
  }
  if (1.0 + m <= 0.0 || std::fabs(m) > kScaleLimit) warnings.push_back(scale_warning(m));
  if (!statistics.outliers.empty()) warnings.push_back(outlier_warning(network, fit));
  if (statistics.rotation_error > kRotationErrorLimit) warnings.push_back(geometry_warning(fit));
  if (statistics.redundancy < kLowRedundancy) {
    warnings.push_back("the redundancy is " + std::to_string(statistics.redundancy) +
                       ", below 3: sigma0 and the outlier test mean little; add common points");
  }
  return warnings;
}

std::vector<std::string> height_warnings(const Network& network,
                                         const geodesy::CoordinateForms& forms) {
  const std::string note = flat_heights_note(network, forms);
  if (note.empty()) return {};
  return {note + "; give ellipsoidal heights, or read those parameters as set by heights of 0"};
}

}  // namespace helmert7
