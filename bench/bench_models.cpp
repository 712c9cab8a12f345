// SPDX-License-Identifier: MIT
// The figures of the rotation models, the convergence rules and the outlier test,
// before and after: a 30-degree network in both models; networks across the Earth
// and in millimetres under the old and the new convergence rule; the false-alarm
// rate of the outlier test on clean networks at 0.001 per component and at the
// Sidak level for 5% per network.
#include <cstdio>

#include "model/model.h"
#include "model_test_support.h"

namespace {

using namespace helmert7;

constexpr double kArcSecond = 3.14159265358979323846 / 648000.0;

void thirty_degrees() {
  test::Gauss gauss(5);
  const PointMatrix source = test::random_network(8, 3000, gauss);
  ParameterVector truth = ParameterVector::Zero();
  truth(5) = 30 * 3600 * kArcSecond;
  truth(6) = 10e-6;
  const PointMatrix target = test::noisy_images(source, truth, RotationModel::exact, 0.003, gauss);
  for (const RotationModel model : {RotationModel::small, RotationModel::exact}) {
    AdjustmentOptions options;
    options.model = model;
    const AdjustmentResult r = estimate_parameters(source, target, {}, options);
    std::printf("30 degrees, %s model: ez %.1f\" (true 108000\"), ex %.1f\" (true 0), m %.3f ppm "
                "(true 10), sigma0 %.4g m, %d iterations\n",
                model == RotationModel::exact ? "exact" : "small", r.params(5) / kArcSecond,
                r.params(3) / kArcSecond, r.params(6) * 1e6, r.sigma0, r.iterations);
  }
}

void convergence(const char* name, double extent, double noise, int networks) {
  test::Gauss gauss(11);
  int old_failures = 0, new_failures = 0, old_most = 0, new_most = 0;
  for (int k = 0; k < networks; ++k) {
    const PointMatrix source = test::random_network(10, extent, gauss);
    ParameterVector truth;
    truth << 0, 0, 0, 2e-6, -3e-6, 4e-6, 5e-6;
    const PointMatrix target = test::noisy_images(source, truth, RotationModel::small, noise, gauss);
    ParameterVector params;
    const int old_iterations = test::iterations_by_the_old_rule(source, target, params);
    const AdjustmentResult r = estimate_parameters(source, target);
    old_failures += old_iterations == 0;
    new_failures += !r.converged;
    if (old_iterations > old_most) old_most = old_iterations;
    if (r.iterations > new_most) new_most = r.iterations;
  }
  std::printf("%s (%d networks): old rule %d not converged, at most %d iterations otherwise; "
              "new rule %d not converged, at most %d iterations\n",
              name, networks, old_failures, old_most, new_failures, new_most);
}

void false_alarms(Eigen::Index n, int networks) {
  test::Gauss gauss(23);
  int old_alarms = 0, new_alarms = 0;
  for (int k = 0; k < networks; ++k) {
    const PointMatrix source = test::random_network(n, 10000, gauss);
    ParameterVector truth;
    truth << 0, 0, 0, 2e-6, -3e-6, 4e-6, 5e-6;
    const PointMatrix target = test::noisy_images(source, truth, RotationModel::small, 0.003, gauss);
    const AdjustmentResult r = estimate_parameters(source, target);
    const CentredTransformation mapping{r.params, Eigen::RowVector3d::Zero(),
                                        Eigen::RowVector3d::Zero()};
    const Eigen::VectorXd w =
        standardized_residuals(source, mapped_residuals(mapping, source, target), r);
    const int redundancy = static_cast<int>(3 * n - 7);
    old_alarms += !outlier_points(w, pope_critical_value(redundancy, 0.001)).empty();
    new_alarms += !outlier_points(w, pope_critical_value(
                                       redundancy, per_component_alpha(kOutlierAlpha, n))).empty();
  }
  std::printf("false alarms at n = %ld (%d clean networks): alpha 0.001 per component %.1f%%, "
              "Sidak 5%% per network %.1f%%\n",
              static_cast<long>(n), networks, 100.0 * old_alarms / networks,
              100.0 * new_alarms / networks);
}

}  // namespace

int main() {
  thirty_degrees();
  convergence("global, 3 mm noise", 6.4e6, 0.003, 50);
  convergence("20 km in millimetres, 3 mm noise", 2e7, 3, 20);
  convergence("20 km in 0.1 mm, 3 mm noise", 2e8, 30, 20);
  false_alarms(8, 1000);
  false_alarms(50, 500);
  false_alarms(2000, 400);
  return 0;
}
