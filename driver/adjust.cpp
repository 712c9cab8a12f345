// SPDX-License-Identifier: MIT
// The adjustment with its trace, and what both reports take from its result.
#include "driver/steps.h"

namespace helmert7 {
namespace {

// "七参数输出: ", as GBK bytes whatever the console's code page.
const char kLabelParameters[] = "\xC6\xDF\xB2\xCE\xCA\xFD\xCA\xE4\xB3\xF6\x3A\x20";

}  // namespace

Fit adjust(const Invocation& invocation, const Network& network, const Inputs& inputs,
          std::ostream& out) {
  Fit fit;
  fit.started = std::chrono::steady_clock::now();
  AdjustmentOptions options;
  options.model = invocation.exact_rotation ? RotationModel::exact : RotationModel::small;
  fit.result = estimate_parameters(
      network.centred_source, network.centred_target,
      [&out](const ParameterVector& params) { print_matrix(out, "Args", params); }, options);
  if (!fit.result.converged) {
    throw NumericError("the adjustment did not converge within " +
                       std::to_string(kIterationBudget) + " iterations");
  }
  out << kLabelParameters << std::endl;
  print_matrix(out, "Args", fit.result.params);

  fit.mapping = {fit.result.params, network.ave_src, network.ave_tar, options.model};
  fit.predicting = !inputs.test_list.empty() || streams_test_points(inputs);
  fit.test_points = point_matrix(inputs.test_list);
  fit.predicted = map_points(fit.mapping, fit.test_points);
  fit.residuals = mapped_residuals(fit.mapping, network.source, network.target);
  fit.statistics = fit_statistics(fit.result, fit.mapping, network.centred_source, fit.residuals,
                                  fit.test_points);
  fit.warnings = network.warnings;
  for (std::string& warning : fit_warnings(network, fit)) fit.warnings.push_back(std::move(warning));
  return fit;
}

}  // namespace helmert7
