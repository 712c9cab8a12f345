// SPDX-License-Identifier: MIT
// The texts of the two reports.
#include <cmath>

#include "driver/driver.h"

namespace helmert7 {
namespace {

// Values that are numerically zero are written without sign or rounding noise.
std::string clamped(double value) { return format_number(std::fabs(value) > 1e-6 ? value : 0.0); }

std::string clamped_line(const char* key, const double* values, int count) {
  std::string line = key;
  for (int i = 0; i < count; ++i) {
    if (i > 0) line += ',';
    line += clamped(values[i]);
  }
  return line + '\n';
}

}  // namespace

std::vector<double> map_points(const CoordinateList& points, const Eigen::RowVector3d& ave_src,
                               const Eigen::RowVector3d& ave_tar, const ParameterVector& params) {
  std::vector<double> mapped;
  mapped.reserve(points.size() - points.size() % 3);
  for (std::size_t i = 0; i + 2 < points.size(); i += 3) {
    const Eigen::RowVector3d result =
        transform_point(points[i] - ave_src(0), points[i + 1] - ave_src(1),
                        points[i + 2] - ave_src(2), params) +
        ave_tar;
    if (!result.allFinite()) {
      throw NumericError("point " + std::to_string(i / 3 + 1) +
                         " maps to a non-finite coordinate (its coordinates are NaN, "
                         "infinite or too large)");
    }
    mapped.insert(mapped.end(), result.data(), result.data() + 3);
  }
  return mapped;
}

std::string parameter_report_text(const ParameterVector& params, const Eigen::RowVector3d& ave_src,
                                  const Eigen::RowVector3d& ave_tar, const CoordinateList& source,
                                  const CoordinateList& target) {
  std::string text = clamped_line("args=", params.data(), 7);
  text += clamped_line("avesrc=", ave_src.data(), 3);
  text += clamped_line("avetar=", ave_tar.data(), 3);

  if (source.size() == target.size()) {
    std::vector<double> residuals = map_points(source, ave_src, ave_tar, params);
    for (std::size_t i = 0; i < residuals.size(); ++i) {
      residuals[i] -= target[i];
      if (!std::isfinite(residuals[i])) {
        throw NumericError("the residual of point " + std::to_string(i / 3 + 1) +
                           " is not finite (coordinates too large)");
      }
    }
    if (!residuals.empty()) text += "residual=" + join_numbers(residuals) + '\n';
  }
  return text;
}

std::string prediction_report_text(const std::string& source_text, const std::string& target_text,
                                   const std::string& test_text, const std::string& joined) {
  return "src=" + source_text + "\ndes=" + target_text + "\ntest=" + test_text +
         "\noutput=" + joined + '\n';
}

}  // namespace helmert7
