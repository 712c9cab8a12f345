// SPDX-License-Identifier: MIT
// The adjustment report of --reportfile: a UTF-8 text for surveyors, with every
// parameter in full precision, the origin-based parameters in both conventions,
// PROJ strings, the outlier test and the errors of predicted points. Table rows
// hold only numbers (and the word "outlier"), separated by blanks.
#include <algorithm>
#include <cmath>

#include "report/report.h"

namespace helmert7 {
namespace {

const char* const kTranslationNames[] = {"tx", "ty", "tz"};
const char* const kAngleNames[] = {"ex", "ey", "ez"};

// "name = value unit (standard error s unit)"
std::string value_line(const std::string& name, double value, double error, const char* unit) {
  return name + " = " + format_shortest(value) + " " + unit + " (standard error " +
         format_shortest(error) + " " + unit + ")\n";
}

std::string angle_line(const std::string& name, double radians, double error) {
  return name + " = " + format_shortest(radians * kArcSecondsPerRadian) +
         " arc-seconds = " + format_shortest(radians) + " rad (standard error " +
         format_shortest(error * kArcSecondsPerRadian) +
         " arc-seconds = " + format_shortest(error) + " rad)\n";
}

std::string point_line(const char* name, const Eigen::RowVector3d& point) {
  return std::string(name) + " = " + format_shortest(point(0)) + " " + format_shortest(point(1)) +
         " " + format_shortest(point(2)) + " m\n";
}

bool is_exact(const Fit& fit) { return fit.mapping.model == RotationModel::exact; }

// At ey = +-90 degrees ex and ez turn about one axis: only their sum (or
// difference) is determined, and the report says which.
std::string lock_line(const AdjustmentResult& result) {
  if (!result.angles_shared) return "";
  const bool above = result.params(4) > 0.0;
  return "ey is within " + format_shortest(result.lock_margin * kArcSecondsPerRadian) +
         " arc-seconds of " + (above ? "+90" : "-90") +
         " degrees: ex and ez turn about one axis and mean little alone; only " +
         (above ? "ex + ez" : "ez - ex") + " = " +
         format_shortest(result.shared_angle * kArcSecondsPerRadian) +
         " arc-seconds (standard error " +
         format_shortest(result.shared_angle_error * kArcSecondsPerRadian) +
         " arc-seconds) is determined\n";
}

// The model line of the summary; the small model's report keeps its earlier form.
std::string model_line(const Fit& fit) {
  return is_exact(fit) ? "rotation model: exact, R = Rz(ez) Ry(ey) Rx(ex), coordinate-frame "
                         "convention; ex and ez in (-180, 180] degrees, ey in [-90, 90]\n" +
                             lock_line(fit.result)
                       : std::string();
}

std::string summary_section(const Fit& fit, Eigen::Index points, bool in_metres) {
  return "## Summary\ncommon points: " + std::to_string(points) +
         "\nredundancy (3n - 7): " + std::to_string(fit.statistics.redundancy) +
         "\niterations: " + std::to_string(fit.result.iterations) +
         "\nsigma0: " + format_shortest(fit.result.sigma0) +
         (fit.weighted ? " (a posteriori, no unit: the a priori variance factor is 1)\n"
          : in_metres  ? " m\n"
                       : " coordinate units\n") +
         model_line(fit);
}

std::string centred_section(const Fit& fit) {
  return std::string(
             "\n## Parameters of the centred model, as the tool applies them\n"
             "mapped = avetar + T(p - avesrc), T(c) = t + (1 + m) R c, coordinate-frame "
             "rotation, ") +
         (is_exact(fit) ? "exact\n" : "small angles\n") +
         parameter_lines(fit.mapping.params, standard_errors(fit.statistics.covariance)) +
         point_line("avesrc", fit.mapping.ave_src) + point_line("avetar", fit.mapping.ave_tar);
}

std::string origin_section(const Fit& fit) {
  const FitStatistics& statistics = fit.statistics;
  return "\n## Origin-based parameters (Bursa-Wolf): mapped = T0 + (1 + m) R p\n"
         "### coordinate-frame convention\n" +
         parameter_lines(statistics.origin, statistics.origin_errors) +
         (is_exact(fit) ? "### position-vector convention (the angles of the transposed "
                          "rotation matrix)\n"
                        : "### position-vector convention (the angles change sign)\n") +
         parameter_lines(statistics.position_vector, statistics.position_vector_errors);
}

// Said instead of a table whose figures divide by sigma0 when it is zero.
const char kExactFit[] = "sigma0 is 0: the points fit exactly";

std::string correlation_section(const ParameterCovariance& correlations, double sigma0) {
  std::string text =
      "\n## Correlations of the origin-based parameters (coordinate-frame convention)\n";
  if (!correlations.allFinite()) {
    return text + (sigma0 == 0.0 ? std::string(kExactFit) + "; no correlations\n"
                                 : "no correlations: a parameter has no standard error\n");
  }
  text += "# tx ty tz ex ey ez m\n";
  for (int i = 0; i < 7; ++i) {
    for (int j = 0; j < 7; ++j) text += (j ? " " : "") + format_fixed(correlations(i, j), 4);
    text += '\n';
  }
  return text;
}

// The origin-based mapping as PROJ's helmert, coordinate-frame convention.
std::string origin_helmert(const Fit& fit) {
  return "+proj=helmert" + helmert_terms(fit.statistics.origin) + " +convention=coordinate_frame" +
         (is_exact(fit) ? " +exact" : " +approx");
}

std::string proj_section(const Fit& fit) {
  const FitStatistics& statistics = fit.statistics;
  const Eigen::RowVector3d& pivot = fit.mapping.ave_src;
  const std::string form = is_exact(fit) ? " +exact" : " +approx";
  return "\n## PROJ (cct): origin-based, then about the source centroid, then origin-based "
         "in the position-vector convention\n" +
         origin_helmert(fit) + "\n+proj=molobadekas" + helmert_terms(statistics.pivoted) +
         " +px=" + format_shortest(pivot(0)) + " +py=" + format_shortest(pivot(1)) +
         " +pz=" + format_shortest(pivot(2)) + " +convention=coordinate_frame" +
         (is_exact(fit) ? " +exact" : "") + "\n+proj=helmert" +
         helmert_terms(statistics.position_vector) + " +convention=position_vector" + form + "\n";
}

// A test that names one point at a time cannot tell a second gross error among
// so few observations.
constexpr Eigen::Index kSeveralOutliersRedundancy = 9;

std::string low_redundancy_note(Eigen::Index redundancy) {
  if (redundancy >= kSeveralOutliersRedundancy) return "";
  return "with redundancy " + std::to_string(redundancy) +
         " the test can single out at most one point: a second gross error hides in the "
         "residuals of the first; add common points to test for more\n";
}

bool has_standardized(const Fit& fit) {
  return fit.result.sigma0 != 0.0 && !fit.assessment.fits_to_rounding &&
         fit.statistics.standardized.allFinite();
}

// The line under the residuals' heading: the outlier test, or why there is none.
std::string outlier_test_line(const Fit& fit) {
  const FitStatistics& statistics = fit.statistics;
  const double sigma0 = fit.result.sigma0;
  if (sigma0 == 0.0) return std::string(kExactFit) + "; no standardized residuals\n";
  if (fit.assessment.fits_to_rounding) {
    return "the points fit to rounding (sigma0 " + format_shortest(sigma0) +
           " is at most the rounding floor " + format_shortest(fit.assessment.rounding_floor) +
           " of coordinates this large); no outlier test\n";
  }
  if (!statistics.standardized.allFinite()) {
    return "a residual has no redundancy of its own (q = 0); no standardized residuals\n";
  }
  if (!std::isfinite(statistics.critical_value)) {
    return "no outlier test: the redundancy is below 2\n";
  }
  if (fit.weighted) {
    return "critical value " + format_fixed(statistics.critical_value, 4) +
           " (Baarda, normal, alpha = " + format_shortest(kOutlierAlpha) +
           " for the network, alpha0 = " + format_general(statistics.alpha0, 6) +
           " per component (Sidak)); see the weighted adjustment below\n";
  }
  return "critical value tau = " + format_fixed(statistics.critical_value, 4) +
         " (Pope, alpha = " + format_shortest(kOutlierAlpha) +
         " for the network, alpha0 = " + format_general(statistics.alpha0, 6) +
         " per component (Sidak), r = " + std::to_string(statistics.redundancy) + ")\n" +
         low_redundancy_note(statistics.redundancy);
}

bool is_outlier(const FitStatistics& statistics, Eigen::Index point) {
  return std::find(statistics.outliers.begin(), statistics.outliers.end(), point) !=
         statistics.outliers.end();
}

std::string residual_section(const Network& network, const Fit& fit) {
  const FitStatistics& statistics = fit.statistics;
  const bool standardized = has_standardized(fit);
  std::string text =
      "\n## Residuals: v = mapped source minus target (m), " +
      std::string(fit.weighted ? "w = Baarda's w with the a priori variance factor\n"
                               : "w = v / (sigma0 sqrt(q))\n") +
      outlier_test_line(fit) +
      (standardized ? "# point vx vy vz wx wy wz\n" : "# point vx vy vz\n");
  for (Eigen::Index i = 0; i < network.source.rows(); ++i) {
    text += point_label(network, i);
    for (int c = 0; c < 3; ++c) text += " " + format_fixed(statistics.residuals(3 * i + c), 4);
    if (standardized) {
      for (int c = 0; c < 3; ++c) text += " " + format_fixed(statistics.standardized(3 * i + c), 2);
    }
    text += standardized && is_outlier(statistics, i) ? " outlier\n" : "\n";
  }
  return text;
}

// What the prediction heading adds for points mapped back.
std::string mapped_back(const MappedPoints& points) {
  return points.back ? " mapped back from the target into the source system" : "";
}

std::string prediction_section(const MappedPoints& points, const PointMatrix& errors) {
  std::string text = "\n## Predicted points" + mapped_back(points) +
                     " (m) and their standard errors (m)\n# point X Y Z sX sY sZ\n";
  std::string without_errors;
  for (Eigen::Index i = 0; i < points.mapped.rows(); ++i) {
    text += std::to_string(i + 1);
    for (int c = 0; c < 3; ++c) text += " " + format_fixed(points.mapped(i, c), 6);
    if (errors.row(i).allFinite()) {
      for (int c = 0; c < 3; ++c) text += " " + format_fixed(errors(i, c), 4);
    } else {
      without_errors += (without_errors.empty() ? " " : ", ") + std::to_string(i + 1);
    }
    text += '\n';
  }
  if (!without_errors.empty()) {
    text += "no standard errors for point" + without_errors +
            ": too far from the network for its errors to be propagated in double precision\n";
  }
  return text;
}

// ", named T17" where the file names its points.
std::string worst_point_name(const MappedPoints& points) {
  if (points.worst_name.empty()) return "";
  const Excerpt name = excerpt_of(points.worst_name);
  return ", named " + name.text + (name.cut ? "..." : "");
}

// Streamed test points are counted, not listed; their errors are summed up.
std::string streamed_section(const MappedPoints& points) {
  const ErrorSpread& errors = points.errors;
  return "\n## Predicted points" + mapped_back(points) + "\n" + std::to_string(points.count) +
         " points mapped into the output file " + in_quotes(points.output_path) +
         "\n3-D standard errors sqrt(sX^2 + sY^2 + sZ^2) of the mapped points: largest " +
         format_fixed(errors.largest, 4) + " (point " + std::to_string(errors.worst + 1) +
         " of the file" + worst_point_name(points) + "), median " + format_fixed(errors.median, 4) +
         ", smallest " + format_fixed(errors.smallest, 4) + "\n";
}

std::string warning_section(const std::vector<std::string>& warnings) {
  std::string text = "\n## Warnings\n";
  for (const std::string& warning : warnings) text += "warning: " + warning + "\n";
  return warnings.empty() ? text + "none\n" : text;
}

}  // namespace

std::string parameter_lines(const ParameterVector& params, const ParameterVector& errors) {
  std::string text;
  for (int j = 0; j < 3; ++j) text += value_line(kTranslationNames[j], params(j), errors(j), "m");
  for (int j = 0; j < 3; ++j) text += angle_line(kAngleNames[j], params(3 + j), errors(3 + j));
  text += value_line("m", params(6) * 1e6, errors(6) * 1e6, "ppm");
  return text;
}

std::string helmert_terms(const ParameterVector& params) {
  return " +x=" + format_shortest(params(0)) + " +y=" + format_shortest(params(1)) +
         " +z=" + format_shortest(params(2)) +
         " +rx=" + format_shortest(params(3) * kArcSecondsPerRadian) +
         " +ry=" + format_shortest(params(4) * kArcSecondsPerRadian) +
         " +rz=" + format_shortest(params(5) * kArcSecondsPerRadian) +
         " +s=" + format_shortest(params(6) * 1e6);
}

std::string adjustment_report_text(const ReportContent& content) {
  const auto& [network, fit, points, warnings, forms] = content;
  const FitStatistics& statistics = fit.statistics;
  std::string text = std::string("# helmert7 ") + HELMERT7_VERSION + " adjustment report\n\n" +
                     summary_section(fit, network.source.rows(), forms.convert()) +
                     forms_section(network, forms) + centred_section(fit) + origin_section(fit) +
                     correlation_section(statistics.origin_correlations, fit.result.sigma0) +
                     proj_section(fit) + inverse_section(fit) +
                     pipeline_section(network, forms, origin_helmert(fit)) +
                     residual_section(network, fit) + local_residual_section(network, fit, forms) +
                     weighted_report_section(network, fit) +
                     check_point_section(network, fit, forms);
  if (points.asked) {
    text += points.streamed && points.count > 0
                ? streamed_section(points)
                : prediction_section(points, statistics.prediction_errors);
  }
  return text + warning_section(warnings);
}

}  // namespace helmert7
