// SPDX-License-Identifier: MIT
// The convergence rule and the outlier test's level on random networks: every run
// that converged under the earlier rule keeps its iterations and its bits; networks
// whose corrections stall at the rounding floor converge; clean networks raise a
// false alarm in about 5% of cases whatever their size.
#include <gtest/gtest.h>

#include <cmath>

#include "model/model.h"
#include "model_test_support.h"

namespace helmert7 {
namespace {

ParameterVector small_truth() {
  ParameterVector truth;
  truth << 0.02, -0.01, 0.03, 2e-6, -3e-6, 4e-6, 5e-6;
  return truth;
}

TEST(Convergence, RunsThatMetTheOldRuleKeepTheirIterationsAndBits) {
  test::Gauss gauss(101);
  int compared = 0;
  for (int k = 0; k < 300; ++k) {
    const double extent = std::pow(10.0, 1 + k % 5);  // 10 m to 100 km
    const double noise = k % 3 == 0 ? 0.0 : 0.001 * (k % 7);
    const PointMatrix source = test::random_network(4 + k % 20, extent, gauss);
    const PointMatrix target =
        test::noisy_images(source, small_truth(), RotationModel::small, noise, gauss);
    ParameterVector old_params;
    const int old_iterations = test::iterations_by_the_old_rule(source, target, old_params);
    if (old_iterations == 0) continue;
    ++compared;
    const AdjustmentResult result = estimate_parameters(source, target);
    EXPECT_EQ(result.iterations, old_iterations) << "network " << k;
    EXPECT_EQ(result.params, old_params) << "network " << k;
  }
  EXPECT_GT(compared, 250);
}

// Translations jitter at about eps times the extent: above 1e-10 for networks
// across the Earth in metres or for regional networks in millimetres.
TEST(Convergence, HugeAndFineUnitNetworksStopAtTheRoundingFloor) {
  const struct {
    const char* name;
    double extent, noise;
  } cases[] = {{"global, metres", 6.4e6, 0.003},
               {"20 km, millimetres", 2e7, 3.0},
               {"20 km, 0.1 mm", 2e8, 30.0}};
  test::Gauss gauss(7);
  for (const auto& c : cases) {
    int old_failures = 0;
    for (int k = 0; k < 20; ++k) {
      const PointMatrix source = test::random_network(10, c.extent, gauss);
      const PointMatrix target =
          test::noisy_images(source, small_truth(), RotationModel::small, c.noise, gauss);
      ParameterVector old_params;
      old_failures += test::iterations_by_the_old_rule(source, target, old_params) == 0;
      const AdjustmentResult result = estimate_parameters(source, target);
      EXPECT_TRUE(result.converged) << c.name << ", network " << k;
      EXPECT_LE(result.iterations, 10) << c.name << ", network " << k;
      // The estimate is the least-squares one: sigma0 near the noise.
      EXPECT_LT(result.sigma0, 2 * c.noise) << c.name << ", network " << k;
    }
    EXPECT_GT(old_failures, 0) << c.name << ": the earlier rule never failed here";
  }
}

// The stopping rule and the rank test measure each correction by the displacement
// it causes in the target system, so scale factors over many decades converge in
// a few iterations in both models and are not taken for collinear points.
TEST(Convergence, AnyScaleBetweenTheSystemsConvergesInBothModels) {
  const double scales[] = {1e-9, 1e-7, 2e-6, 1e-3, 0.3048, 1, 1000, 5e4, 1e6, 1e9};
  test::Gauss gauss(13);
  const PointMatrix source = test::random_network(10, 20000, gauss);
  for (const RotationModel model : {RotationModel::small, RotationModel::exact}) {
    for (const double k : scales) {
      ParameterVector truth = small_truth();
      truth(6) = k - 1;
      if (model == RotationModel::exact) truth.segment<3>(3) << 0.4, -1.1, 2.5;
      // Noise of a millimetre at the scale of the source.
      const PointMatrix target = test::noisy_images(source, truth, model, 1e-3 * k, gauss);
      AdjustmentOptions options;
      options.model = model;
      AdjustmentResult result;
      ASSERT_NO_THROW(result = estimate_parameters(source, target, {}, options)) << k;
      EXPECT_TRUE(result.converged) << k;
      EXPECT_LE(result.iterations, 12) << k;
      EXPECT_NEAR(result.params(6), k - 1, 1e-6 * k) << k;
      EXPECT_LT((result.params - truth).segment<3>(3).cwiseAbs().maxCoeff(), 1e-6) << k;
      EXPECT_LT(result.sigma0, 2e-3 * k) << k;
      EXPECT_GT(result.sigma0, 0.5e-3 * k) << k;
    }
  }
}

// The share of clean networks that the test flags, within the 99.9% band of a
// binomial count around 5%.
double false_alarm_rate(Eigen::Index points, int networks, test::Gauss& gauss) {
  int alarms = 0;
  for (int k = 0; k < networks; ++k) {
    const PointMatrix source = test::random_network(points, 10000, gauss);
    const PointMatrix target =
        test::noisy_images(source, small_truth(), RotationModel::small, 0.003, gauss);
    const AdjustmentResult result = estimate_parameters(source, target);
    const CentredTransformation mapping{result.params, Eigen::RowVector3d::Zero(),
                                        Eigen::RowVector3d::Zero()};
    const Eigen::VectorXd w =
        standardized_residuals(source, mapped_residuals(mapping, source, target), result);
    const double tau = pope_critical_value(static_cast<int>(redundancy(points)),
                                           per_component_alpha(kOutlierAlpha, points));
    alarms += !outlier_points(w, tau).empty();
  }
  return static_cast<double>(alarms) / networks;
}

TEST(OutlierTest, FalseAlarmsNearFivePercentPerNetworkAtAnySize) {
  test::Gauss gauss(23);
  for (const auto& [points, networks] : {std::pair<Eigen::Index, int>{8, 400}, {500, 300}}) {
    const double rate = false_alarm_rate(points, networks, gauss);
    const double band = 3.29 * std::sqrt(0.05 * 0.95 / networks);
    EXPECT_NEAR(rate, 0.05, band) << points << " points";
  }
}

TEST(OutlierTest, PerComponentLevelIsSidaks) {
  // 1 - (1 - 0.05)^(1/24) for eight points, by hand: 0.0021349...
  EXPECT_NEAR(per_component_alpha(0.05, 8), 1 - std::pow(0.95, 1.0 / 24), 1e-15);
  // For a million points the naive formula loses digits; this one does not.
  const double alpha0 = per_component_alpha(0.05, 1000000);
  EXPECT_NEAR(alpha0 * 3e6, -std::log(0.95), 1e-9);
}

}  // namespace
}  // namespace helmert7
