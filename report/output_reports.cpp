// SPDX-License-Identifier: MIT
// The output file's texts: the parameter report and the prediction report.
#include <cmath>

#include "report/report.h"

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

std::string parameter_report_text(const CentredTransformation& mapping,
                                  const Eigen::VectorXd& residuals) {
  std::string text = clamped_line("args=", mapping.params.data(), 7);
  text += clamped_line("avesrc=", mapping.ave_src.data(), 3);
  text += clamped_line("avetar=", mapping.ave_tar.data(), 3);
  if (residuals.size() > 0) {
    text += "residual=" +
            join_numbers(std::vector<double>(residuals.data(), residuals.data() + residuals.size())) +
            '\n';
  }
  return text;
}

std::string prediction_report_text(const GivenTexts& texts, const std::string& mapped) {
  std::string text;
  text.reserve(texts.source.size() + texts.target.size() + texts.test.size() + mapped.size() + 24);
  text.append("src=").append(texts.source).append("\ndes=").append(texts.target).append("\ntest=");
  return text.append(texts.test).append("\noutput=").append(mapped).append("\n");
}

}  // namespace helmert7
