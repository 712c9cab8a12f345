// SPDX-License-Identifier: MIT
// The weighted adjustment's section of the adjustment report: the global test of
// the variance factor, data snooping with Baarda's w, the redundancy numbers, the
// minimal detectable biases and their effect on the parameters and on mapped
// points, the residuals of both sides, and the standard errors at the a priori
// variance factor. Table rows hold only numbers and point labels.
#include <string>

#include "report/report.h"

namespace helmert7 {
namespace {

std::string model_text(const WeightedAdjustment& adjustment) {
  return adjustment.source_errors
             ? "errors in both systems (Gauss-Helmert): the source covariances propagated "
               "through the rotation and scale\n"
             : "target points weighted (Gauss-Newton)\n";
}

std::string global_test_lines(const WeightedStatistics& s, double sigma0) {
  const GlobalTest& g = s.global;
  std::string verdict = "passed";
  if (!g.passed) {
    verdict = g.statistic > g.upper
                  ? "failed: the standard deviations are too optimistic, or a point holds a "
                    "gross error"
                  : "failed: the standard deviations are too pessimistic";
  }
  return "sigma0 a posteriori: " + format_shortest(sigma0) +
         " (a priori variance factor 1)\nglobal test: v'Pv = " + format_shortest(g.statistic) +
         ", chi-square with " + std::to_string(s.redundancy) + " degrees of freedom, " +
         "interval [" + format_general(g.lower, 6) + ", " + format_general(g.upper, 6) +
         "] at alpha = " + format_shortest(kGlobalTestAlpha) + ": " + verdict + "\n";
}

std::string outlier_names(const Network& network, const WeightedStatistics& s) {
  std::string names;
  for (const Eigen::Index point : s.outliers) {
    names += (names.empty() ? "" : ", ") + point_label(network, point);
  }
  return names.empty() ? "none" : names;
}

std::string snooping_lines(const Network& network, const WeightedStatistics& s) {
  return "data snooping: Baarda's w with the a priori variance factor, critical value " +
         format_fixed(s.critical_value, 4) + " (normal, alpha = " + format_shortest(kOutlierAlpha) +
         " for the network, alpha0 = " + format_general(s.alpha0, 6) +
         " per component (Sidak)); points over it: " + outlier_names(network, s) +
         "\nminimal detectable bias: power " + format_shortest(kDetectionPower) +
         ", non-centrality " + format_fixed(s.noncentrality, 4) + "\n";
}

// Per point: w, redundancy numbers and minimal detectable biases of the X, Y, Z
// components of the discrepancy (mapped source minus target, target axes).
std::string reliability_table(const Network& network, const WeightedStatistics& s) {
  std::string text = "# point wx wy wz rx ry rz mdbx mdby mdbz\n";
  for (Eigen::Index i = 0; i < s.w.size() / 3; ++i) {
    text += point_label(network, i);
    for (int c = 0; c < 3; ++c) text += " " + format_fixed(s.w(3 * i + c), 2);
    for (int c = 0; c < 3; ++c) text += " " + format_fixed(s.redundancy_numbers(3 * i + c), 3);
    for (int c = 0; c < 3; ++c) text += " " + format_fixed(s.mdb(3 * i + c), 4);
    text += '\n';
  }
  return text;
}

// Per component: what its minimal detectable bias does to the parameters and to
// points mapped at the centroid and at the farthest common point.
std::string external_table(const Network& network, const WeightedStatistics& s) {
  std::string text =
      "\n### external reliability: the effect of each minimal detectable bias\n"
      "# point component tx ty tz (m) ex ey ez (arc-seconds) m (ppm) centroid edge (m)\n";
  const char* const axes[] = {"x", "y", "z"};
  for (Eigen::Index k = 0; k < s.w.size(); ++k) {
    text += point_label(network, k / 3) + " " + axes[k % 3];
    for (int j = 0; j < 7; ++j) {
      // millimetres, thousandths of an arc-second and of a ppm, as the residuals
      const double factor = j < 3 ? 1.0 : j < 6 ? kArcSecondsPerRadian : 1e6;
      text += " " + format_fixed(s.parameter_effects(k, j) * factor, j < 3 ? 4 : 3);
    }
    text += " " + format_fixed(s.centroid_effects(k), 4) + " " +
            format_fixed(s.edge_effects(k), 4) + "\n";
  }
  return text;
}

std::string residual_table(const Network& network, const WeightedAdjustment& a) {
  std::string text =
      "\n### residuals: adjusted minus observed (m)\n# point vX vY vZ (target) vx vy vz (source)\n";
  for (Eigen::Index i = 0; i < a.target_residuals.rows(); ++i) {
    text += point_label(network, i);
    for (int c = 0; c < 3; ++c) text += " " + format_fixed(a.target_residuals(i, c), 4);
    for (int c = 0; c < 3; ++c) text += " " + format_fixed(a.source_residuals(i, c), 4);
    text += '\n';
  }
  return text;
}

// The standard errors at the a priori variance factor 1: meaningful only when the
// global test accepts it.
std::string unit_errors_lines(const WeightedStatistics& s) {
  if (!s.global.passed) return "";
  const ParameterVector e = standard_errors(s.unit_covariance);
  std::string text = "\n### standard errors at the a priori variance factor 1\n";
  for (int j = 0; j < 3; ++j) text += format_shortest(e(j)) + (j < 2 ? " " : " m, ");
  for (int j = 3; j < 6; ++j)
    text += format_shortest(e(j) * kArcSecondsPerRadian) + (j < 5 ? " " : " arc-seconds, ");
  text += format_shortest(e(6) * 1e6) + " ppm (tx ty tz, ex ey ez, m)\n";
  for (Eigen::Index i = 0; i < s.unit_prediction_errors.rows(); ++i) {
    text += "predicted point " + std::to_string(i + 1);
    for (int c = 0; c < 3; ++c) text += " " + format_fixed(s.unit_prediction_errors(i, c), 4);
    text += '\n';
  }
  return text;
}

}  // namespace

std::string weighted_report_section(const Network& network, const Fit& fit) {
  if (!fit.weighted) return "";
  const WeightedFit& weighted = *fit.weighted;
  const WeightedStatistics& s = weighted.statistics;
  return "\n## Weighted adjustment: a priori standard deviations, variance factor 1\n" +
         model_text(weighted.adjustment) + global_test_lines(s, fit.result.sigma0) +
         snooping_lines(network, s) + reliability_table(network, s) + external_table(network, s) +
         residual_table(network, weighted.adjustment) + unit_errors_lines(s);
}

}  // namespace helmert7
