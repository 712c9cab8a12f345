// SPDX-License-Identifier: MIT
// The texts a run writes: the output file's parameter and prediction reports (C's
// "%f" values joined by commas, as stored files and callers read them), the
// adjustment report of --reportfile (UTF-8, full precision, for surveyors) and the
// warnings of a successful fit. Lengths are in the unit of the coordinates, angles
// in arc-seconds and radians, scale in ppm. Texts only: nothing here prints or
// touches files.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "model/model.h"

namespace helmert7 {

/// The parameter report: "args=", "avesrc=", "avetar=" lines of clamped "%f" values
/// (|v| <= 1e-6 written as 0.000000) and, when `residuals` is not empty, the
/// "residual=" line.
std::string parameter_report_text(const CentredTransformation& mapping,
                                  const Eigen::VectorXd& residuals);

/// The three coordinate texts of a run as they were given.
struct GivenTexts {
  std::string_view source, target, test;
};

/// The prediction report: the three texts as given, then "output=" + `mapped`.
std::string prediction_report_text(const GivenTexts& texts, const std::string& mapped);

/// The test points of a run as the adjustment report tells of them: mapped one by
/// one (with their errors in the fit's statistics), or streamed from a point file
/// into the output file and counted.
struct MappedPoints {
  bool asked = false;      ///< the run was given test points
  PointMatrix mapped;      ///< the mapped test points of a coordinate text
  bool streamed = false;   ///< they came from a point file
  std::size_t count = 0;   ///< of the streamed points
  std::string output_path;  ///< where the streamed points went
  double farthest = 0;      ///< of a streamed point from the source centroid
  double model_error = 0;   ///< the small-angle model's error at the streamed points
  ErrorSpread errors;       ///< the streamed points' 3-D standard errors
  std::string worst_name;   ///< of the point with the largest, when the file names points
};

/// The warnings of a fit: names found in one point file only, a small-angle model
/// whose error (at the common and the test points) exceeds the noise, a scale that mirrors or is far from 1, an
/// outlier, a weak geometry, a low redundancy. Each a line without a prefix.
std::vector<std::string> fit_warnings(const Network& network, const Fit& fit,
                                      const MappedPoints& points);

/// What the adjustment report is made of.
struct ReportContent {
  const Network& network;
  const Fit& fit;
  const MappedPoints& points;
  const std::vector<std::string>& warnings;
  bool in_metres = false;  ///< coordinate forms declare metres; else any unit
};

/// The weighted adjustment's section of the adjustment report: the global test,
/// data snooping with Baarda's w, redundancy numbers, minimal detectable biases and
/// their effects, the residuals of both sides and the standard errors at the a
/// priori variance factor; empty for an unweighted fit.
std::string weighted_report_section(const Network& network, const Fit& fit);

/// The adjustment report of --reportfile: summary, parameters of the centred model
/// and origin-based ones in both conventions with standard errors and correlations,
/// PROJ strings, residuals with Pope's outlier test, predicted points with standard
/// errors, warnings.
std::string adjustment_report_text(const ReportContent& content);

}  // namespace helmert7
