// SPDX-License-Identifier: MIT
// The adjustment with its trace, and the assessment of the fit it gives.
#include "driver/steps.h"

namespace helmert7 {
namespace {

// "七参数输出: ", as GBK bytes whatever the console's code page.
const char kLabelParameters[] = "\xC6\xDF\xB2\xCE\xCA\xFD\xCA\xE4\xB3\xF6\x3A\x20";

// The a priori covariances of the check points' targets, as the common points'.
PointCovariances check_point_covariances(const Inputs& inputs, const Network& network) {
  Network checks;
  checks.pairing.by_name = network.pairing.by_name;
  checks.names = network.checks.names;
  checks.source = network.checks.source;
  checks.target = network.checks.target;
  return point_precision(inputs, checks).target;
}

// The test points as the fit's statistics take them: in the source system, so
// mapped back first for --direction inverse.
TestPoints test_points_in_source(const Inputs& inputs, const Network& network,
                                 const AdjustmentResult& result, const PointMatrix& given) {
  if (inputs.direction == MappingDirection::forward) return {given};
  return {map_points_back({result.params, network.ave_src, network.ave_tar, result.model}, given),
          MappingDirection::back};
}

}  // namespace

Fit adjust(const Invocation& invocation, const Network& network, const Inputs& inputs,
           Trace& trace) {
  trace.adjustment_started = std::chrono::steady_clock::now();
  AdjustmentOptions options;
  options.model = invocation.exact_rotation ? RotationModel::exact : RotationModel::small;
  std::ostream& out = trace.out;
  std::function<void(const ParameterVector&)> print_iteration;
  if (!trace.brief) {
    print_iteration = [&out](const ParameterVector& params) { print_matrix(out, "Args", params); };
  }
  const bool weighted = is_weighted(inputs);
  WeightedAdjustment weighted_adjustment;
  if (weighted) {
    weighted_adjustment =
        estimate_weighted(network.centred_source, network.centred_target,
                          point_precision(inputs, network), options, print_iteration);
  } else {
    weighted_adjustment.result = estimate_parameters(network.centred_source, network.centred_target,
                                                     print_iteration, options);
  }
  const AdjustmentResult& result = weighted_adjustment.result;
  if (!result.converged) {
    throw NumericError("the adjustment did not converge within " +
                       std::to_string(kIterationBudget) + " iterations");
  }
  out << kLabelParameters << std::endl;
  print_matrix(out, "Args", result.params);
  const TestPoints test_points =
      test_points_in_source(inputs, network, result, point_matrix(inputs.test_list));
  Fit fit = weighted ? assess_weighted_fit(network, weighted_adjustment, test_points)
                     : assess_fit(network, result, test_points);
  if (trace.brief) print_sigma0(out, fit.result.sigma0);
  check_plausible(network, fit);
  if (network.checks.source.rows() > 0) {
    fit.checks = check_point_test(
        fit, network.checks, weighted ? check_point_covariances(inputs, network) : PointCovariances{});
  }
  return fit;
}

}  // namespace helmert7
