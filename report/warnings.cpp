// SPDX-License-Identifier: MIT
// The warnings of a fit that succeeded: each says what is wrong and what to do.
#include <cmath>

#include "report/report.h"

namespace helmert7 {
namespace {

constexpr double kSmallAngleLimit = 1e-3;  // metres at the farthest point
constexpr double kScaleLimit = 0.01;       // |m| above 1%
constexpr double kRotationErrorLimit = 1e-4;  // radians
constexpr Eigen::Index kLowRedundancy = 3;

std::string small_angle_warning(const FitStatistics& statistics, const ParameterVector& params) {
  return "the small-angle model is off by about " + format_fixed(statistics.small_angle_error, 4) +
         " m at the farthest point (rotation " + format_shortest(params.segment<3>(3).norm()) +
         " rad, " + format_fixed(statistics.farthest, 1) +
         " m from the centroid); the rotation is too large for it: use --rotation exact";
}

std::string scale_warning(double m) {
  return "the scale factor 1 + m is " + format_shortest(1.0 + m) + " (m = " + format_shortest(m * 1e6) +
         " ppm): " +
         (1.0 + m <= 0.0 ? "mirrored coordinates, or points paired wrongly"
                         : "mismatched units, or points paired wrongly") +
         "; check that the source and target points are the same points in the same units";
}

std::string outlier_warning(const Network& network, const FitStatistics& statistics) {
  return "point " + point_label(network, statistics.outlier) +
         " may hold a gross error: its standardized residual w = " +
         format_fixed(statistics.largest_w, 2) + " exceeds tau = " +
         format_fixed(statistics.critical_value, 2) + "; check it, or leave it out and run again";
}

std::string geometry_warning(const FitStatistics& statistics) {
  return "the rotation is poorly determined (standard error " +
         format_shortest(statistics.rotation_error) +
         " rad): the common points are nearly collinear; add points off their line";
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

}  // namespace

std::vector<std::string> fit_warnings(const Network& network, const Fit& fit) {
  const FitStatistics& statistics = fit.statistics;
  const double m = fit.result.params(6);
  std::vector<std::string> warnings = pairing_warnings(network.pairing);
  if (fit.mapping.model == RotationModel::small && statistics.small_angle_error > kSmallAngleLimit) {
    warnings.push_back(small_angle_warning(statistics, fit.result.params));
  }
  if (1.0 + m <= 0.0 || std::fabs(m) > kScaleLimit) warnings.push_back(scale_warning(m));
  if (statistics.outlier >= 0) warnings.push_back(outlier_warning(network, statistics));
  if (statistics.rotation_error > kRotationErrorLimit) warnings.push_back(geometry_warning(statistics));
  if (statistics.redundancy < kLowRedundancy) {
    warnings.push_back("the redundancy is " + std::to_string(statistics.redundancy) +
                       ", below 3: sigma0 and the outlier test mean little; add common points");
  }
  return warnings;
}

}  // namespace helmert7
