// SPDX-License-Identifier: MIT
// The adjustment report of --reportfile: a UTF-8 text for surveyors, with every
// parameter in full precision, the origin-based parameters in both conventions,
// PROJ strings, the outlier test and the errors of predicted points. Table rows
// hold only numbers (and the word "outlier"), separated by blanks.
#include <algorithm>
#include <cmath>

#include "driver/driver.h"

namespace helmert7 {
namespace {

constexpr double kArcSecondsPerRadian = 206264.80624709636;  // 180 * 3600 / pi
constexpr double kOutlierAlpha = 0.001;                      // per component
constexpr double kSmallAngleWarning = 1e-3;                  // metres

const char* const kTranslationNames[] = {"tx", "ty", "tz"};
const char* const kAngleNames[] = {"ex", "ey", "ez"};

std::string shortest(double value) { return format_shortest(value); }

// "name = value unit (standard error s unit)"
std::string value_line(const std::string& name, double value, double error, const char* unit) {
  return name + " = " + shortest(value) + " " + unit + " (standard error " + shortest(error) + " " +
         unit + ")\n";
}

std::string angle_line(const std::string& name, double radians, double error) {
  return name + " = " + shortest(radians * kArcSecondsPerRadian) +
         " arc-seconds = " + shortest(radians) + " rad (standard error " +
         shortest(error * kArcSecondsPerRadian) + " arc-seconds = " + shortest(error) + " rad)\n";
}

std::string point_line(const char* name, const Eigen::RowVector3d& point) {
  return std::string(name) + " = " + shortest(point(0)) + " " + shortest(point(1)) + " " +
         shortest(point(2)) + " m\n";
}

// The seven parameters with their standard errors; `angle_sign` -1 gives the
// position-vector convention.
std::string parameter_lines(const ParameterVector& params, const ParameterVector& errors,
                            double angle_sign) {
  std::string text;
  for (int j = 0; j < 3; ++j) text += value_line(kTranslationNames[j], params(j), errors(j), "m");
  for (int j = 0; j < 3; ++j)
    text += angle_line(kAngleNames[j], angle_sign * params(3 + j), errors(3 + j));
  text += value_line("m", params(6) * 1e6, errors(6) * 1e6, "ppm");
  return text;
}

ParameterVector standard_errors(const ParameterCovariance& covariance) {
  return covariance.diagonal().array().sqrt();
}

std::string summary_section(const AdjustmentResult& result, Eigen::Index points) {
  return "## Summary\ncommon points: " + std::to_string(points) +
         "\nredundancy (3n - 7): " + std::to_string(3 * points - 7) +
         "\niterations: " + std::to_string(result.iterations) +
         "\nsigma0: " + shortest(result.sigma0) + " m\n";
}

std::string centred_section(const AdjustmentResult& result, const Eigen::RowVector3d& ave_src,
                            const Eigen::RowVector3d& ave_tar) {
  return "\n## Parameters of the centred model, as the tool applies them\n"
         "mapped = avetar + T(p - avesrc), T(c) = t + (1 + m) R c, coordinate-frame "
         "rotation, small angles\n" +
         parameter_lines(result.params, result.sigmax, 1.0) + point_line("avesrc", ave_src) +
         point_line("avetar", ave_tar);
}

std::string origin_section(const ParameterVector& origin, const ParameterCovariance& covariance) {
  const ParameterVector errors = standard_errors(covariance);
  return "\n## Origin-based parameters (Bursa-Wolf): mapped = T0 + (1 + m) R p\n"
         "### coordinate-frame convention\n" +
         parameter_lines(origin, errors, 1.0) +
         "### position-vector convention (the angles change sign)\n" +
         parameter_lines(origin, errors, -1.0);
}

std::string correlation_section(const ParameterCovariance& covariance) {
  const ParameterVector errors = standard_errors(covariance);
  std::string text = "\n## Correlations of the origin-based parameters\n# tx ty tz ex ey ez m\n";
  for (int i = 0; i < 7; ++i) {
    for (int j = 0; j < 7; ++j) {
      text += (j ? " " : "") + format_fixed(covariance(i, j) / (errors(i) * errors(j)), 4);
    }
    text += '\n';
  }
  return text;
}

std::string helmert_terms(const ParameterVector& params) {
  return " +x=" + shortest(params(0)) + " +y=" + shortest(params(1)) +
         " +z=" + shortest(params(2)) + " +rx=" + shortest(params(3) * kArcSecondsPerRadian) +
         " +ry=" + shortest(params(4) * kArcSecondsPerRadian) +
         " +rz=" + shortest(params(5) * kArcSecondsPerRadian) + " +s=" + shortest(params(6) * 1e6);
}

std::string proj_section(const ParameterVector& params, const ParameterVector& origin,
                         const Eigen::RowVector3d& ave_src, const Eigen::RowVector3d& ave_tar) {
  // Molodensky-Badekas about the source centroid P: mapped = T + k R (p - P) + P.
  ParameterVector pivoted = params;
  pivoted.head<3>() = (ave_tar - ave_src).transpose() + params.head<3>();
  return "\n## PROJ (cct): origin-based, then about the source centroid\n"
         "+proj=helmert" +
         helmert_terms(origin) +
         " +convention=coordinate_frame +approx\n"
         "+proj=molobadekas" +
         helmert_terms(pivoted) + " +px=" + shortest(ave_src(0)) + " +py=" + shortest(ave_src(1)) +
         " +pz=" + shortest(ave_src(2)) + " +convention=coordinate_frame\n";
}

std::string residual_section(const PointMatrix& source, const PointMatrix& target,
                             const AdjustmentResult& result) {
  const int redundancy = static_cast<int>(3 * source.rows() - 7);
  const Eigen::VectorXd residuals = residual_vector(source, target, result.params);
  const Eigen::VectorXd standardized = standardized_residuals(source, residuals, result);
  const double critical = pope_critical_value(redundancy, kOutlierAlpha);

  const Eigen::Index outlier = outlier_point(standardized, critical);

  std::string text =
      "\n## Residuals: v = mapped source minus target (m), w = v / (sigma0 sqrt(q))\n";
  text += std::isfinite(critical)
              ? "critical value tau = " + format_fixed(critical, 4) +
                    " (Pope, alpha = 0.001 per component, r = " + std::to_string(redundancy) + ")\n"
              : "no outlier test: the redundancy is below 2\n";
  text += "# point vx vy vz wx wy wz\n";
  for (Eigen::Index i = 0; i < source.rows(); ++i) {
    text += std::to_string(i + 1);
    for (int c = 0; c < 3; ++c) text += " " + format_fixed(residuals(3 * i + c), 4);
    for (int c = 0; c < 3; ++c) text += " " + format_fixed(standardized(3 * i + c), 2);
    text += i == outlier ? " outlier\n" : "\n";
  }
  return text;
}

std::string prediction_section(const CoordinateList& test, const std::vector<double>& mapped,
                               const Eigen::RowVector3d& ave_src, const ParameterVector& params,
                               const ParameterCovariance& covariance) {
  std::string text =
      "\n## Predicted points (m) and their standard errors (m)\n# point X Y Z sX sY sZ\n";
  for (std::size_t i = 0; 3 * i + 2 < mapped.size(); ++i) {
    const Eigen::RowVector3d centred =
        Eigen::RowVector3d(test[3 * i], test[3 * i + 1], test[3 * i + 2]) - ave_src;
    const Eigen::Vector3d errors =
        mapped_point_covariance(centred, params, covariance).diagonal().cwiseSqrt();
    text += std::to_string(i + 1);
    for (int c = 0; c < 3; ++c) text += " " + format_fixed(mapped[3 * i + c], 6);
    for (int c = 0; c < 3; ++c) text += " " + format_fixed(errors(c), 4);
    text += '\n';
  }
  return text;
}

std::string warning_section(const PointMatrix& source, const ParameterVector& params) {
  std::string warnings;
  const double angle = params.segment<3>(3).cwiseAbs().maxCoeff();
  const double extent = source.rowwise().norm().maxCoeff();
  const double model_error = angle * angle * extent / 2.0;
  if (model_error > kSmallAngleWarning) {
    warnings += "warning: the small-angle model is off by about " + format_fixed(model_error, 4) +
                " m at the edge of the network (angle " + shortest(angle) + " rad over " +
                format_fixed(extent, 1) + " m); the rotation is too large for it\n";
  }
  const Eigen::Index redundancy = 3 * source.rows() - 7;
  if (redundancy < 3) {
    warnings += "warning: the redundancy is " + std::to_string(redundancy) +
                ", below 3: sigma0 and the outlier test mean little; add common points\n";
  }
  return "\n## Warnings\n" + (warnings.empty() ? std::string("none\n") : warnings);
}

}  // namespace

std::string adjustment_report_text(const PointMatrix& source, const PointMatrix& target,
                                   const AdjustmentResult& result,
                                   const Eigen::RowVector3d& ave_src,
                                   const Eigen::RowVector3d& ave_tar, const CoordinateList& test,
                                   const std::vector<double>& predicted) {
  const ParameterCovariance covariance = parameter_covariance(result);
  const ParameterVector origin = origin_based_parameters(result.params, ave_src, ave_tar);
  const ParameterCovariance origin_covariance =
      origin_based_covariance(result.params, ave_src, covariance);

  std::string text =
      std::string("# helmert7 ") + HELMERT7_VERSION + " adjustment report\n\n" +
      summary_section(result, source.rows()) + centred_section(result, ave_src, ave_tar) +
      origin_section(origin, origin_covariance) + correlation_section(origin_covariance) +
      proj_section(result.params, origin, ave_src, ave_tar) +
      residual_section(source, target, result);
  if (!test.empty()) {
    text += prediction_section(test, predicted, ave_src, result.params, covariance);
  }
  return text + warning_section(source, result.params);
}

}  // namespace helmert7
