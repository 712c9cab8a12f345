// SPDX-License-Identifier: MIT
// The weighted statistics against networks drawn with known standard deviations on
// both sides and large rotations: the global test passes in 95% of them, data
// snooping raises a false alarm in 5% of them whatever their size, and a bias of
// the minimal detectable size is found with 80% power. The bands are about three
// standard deviations of the estimated rates (2.4 for the 3,000 networks of 500
// points, which take most of the time).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <utility>

#include "model/model.h"
#include "model_test_support.h"
#include "weighted_test_support.h"

namespace helmert7 {
namespace {

constexpr AdjustmentOptions kExact{RotationModel::exact, kIterationBudget};

WeightedStatistics statistics_of(const test::WeightedNetwork& net) {
  const WeightedAdjustment adjustment =
      estimate_weighted(net.source, net.target, net.precision, kExact);
  if (!adjustment.result.converged) ADD_FAILURE() << "a network did not converge";
  const CentredTransformation mapping{adjustment.result.params, Eigen::RowVector3d::Zero(),
                                      Eigen::RowVector3d::Zero(), RotationModel::exact};
  return weighted_statistics(adjustment, mapping, TestPoints{});
}

TEST(WeightedMonteCarlo, GlobalTestPassesInNinetyFivePercent) {
  test::Gauss gauss(1234);
  for (const auto& [points, networks] : {std::pair<Eigen::Index, int>{8, 2000}, {50, 1000}}) {
    int passed = 0;
    for (int k = 0; k < networks; ++k) {
      passed += statistics_of(test::weighted_network(points, test::large_rotation(),
                                                     RotationModel::exact, true, gauss))
                    .global.passed;
    }
    const double rate = static_cast<double>(passed) / networks;
    std::printf("global test passed in %.4f of %d networks of %d points\n", rate, networks,
                static_cast<int>(points));
    EXPECT_NEAR(rate, 0.95, 0.02) << points << " points";
  }
}

TEST(WeightedMonteCarlo, SnoopingFalseAlarmsNearFivePercentPerNetworkAtAnySize) {
  test::Gauss gauss(4321);
  for (const auto& [points, networks] :
       {std::pair<Eigen::Index, int>{8, 4500}, {50, 4500}, {500, 3000}}) {
    int alarms = 0;
    for (int k = 0; k < networks; ++k) {
      alarms += !statistics_of(test::weighted_network(points, test::large_rotation(),
                                                      RotationModel::exact, true, gauss))
                     .outliers.empty();
    }
    const double rate = static_cast<double>(alarms) / networks;
    std::printf("false alarms in %.4f of %d networks of %d points\n", rate, networks,
                static_cast<int>(points));
    EXPECT_NEAR(rate, 0.05, 0.01) << points << " points";
  }
}

// One network, its noise drawn anew each time, a bias of the minimal detectable
// size on one target coordinate: its w exceeds the critical value in 80% of draws.
TEST(WeightedMonteCarlo, MinimalDetectableBiasFoundWithEightyPercentPower) {
  constexpr int kDraws = 2000;
  test::Gauss gauss(99);
  test::WeightedNetwork net =
      test::weighted_network(8, test::large_rotation(), RotationModel::exact, true, gauss);
  PointMatrix mapped(8, 3);
  for (Eigen::Index i = 0; i < 8; ++i) {
    const Eigen::RowVector3d x = net.true_source.row(i);
    mapped.row(i) = transform_point(x(0), x(1), x(2), test::large_rotation(), RotationModel::exact);
  }
  net.source = net.true_source;
  net.target = mapped;
  const WeightedStatistics clean = statistics_of(net);
  for (const Eigen::Index k : {4, 15}) {
    int found = 0;
    for (int draw = 0; draw < kDraws; ++draw) {
      net.source = test::with_noise(net.true_source, net.precision.source, gauss);
      net.target = test::with_noise(mapped, net.precision.target, gauss);
      net.target(k / 3, k % 3) += clean.mdb(k);
      found += std::fabs(statistics_of(net).w(k)) > clean.critical_value;
    }
    const double power = static_cast<double>(found) / kDraws;
    std::printf("bias of %.4f m on component %d found in %.4f of %d draws\n", clean.mdb(k),
                static_cast<int>(k), power, kDraws);
    EXPECT_NEAR(power, kDetectionPower, 0.03) << "component " << k;
  }
}

}  // namespace
}  // namespace helmert7
