// SPDX-License-Identifier: MIT
// The statistics of an adjustment against independent truth: origin-based
// parameters by mapping points with them, the outlier test on a network with a
// known blunder, Pope's value from a printed t table, and the errors of mapped
// points against a Monte Carlo over the noise.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "model/model.h"

namespace helmert7 {
namespace {

constexpr double kArcSecond = 3.14159265358979323846 / (180.0 * 3600.0);

ParameterVector truth() {
  ParameterVector p;
  p << 0.12, -0.34, 0.05, 1.8 * kArcSecond, -2.4 * kArcSecond, 3.1 * kArcSecond, 4.2e-6;
  return p;
}

// Ten points over some 10 km, centred.
PointMatrix network() {
  PointMatrix points(10, 3);
  for (int i = 0; i < 10; ++i) {
    points.row(i) << 5000.0 * std::sin(1.3 * i), 4000.0 * std::cos(0.9 * i),
        300.0 * std::sin(2.1 * i);
  }
  return points.rowwise() - points.colwise().mean();
}

// The points mapped with the true parameters, with `noise` metres of Gaussian
// noise on every coordinate.
PointMatrix images(const PointMatrix& source, double noise, std::mt19937& random) {
  std::normal_distribution<double> gauss(0.0, noise);
  PointMatrix target(source.rows(), 3);
  for (Eigen::Index i = 0; i < source.rows(); ++i) {
    target.row(i) = transform_point(source(i, 0), source(i, 1), source(i, 2), truth());
    for (int c = 0; c < 3; ++c) target(i, c) += gauss(random);
  }
  return target;
}

TEST(Statistics, OriginBasedParametersMapPointsAsTheCentredModelDoes) {
  const Eigen::RowVector3d ave_src(-2261902.77, 5022909.63, 3204351.02);
  const Eigen::RowVector3d ave_tar(-2261885.62, 5023045.14, 3204448.95);
  const ParameterVector origin = origin_based_parameters(truth(), ave_src, ave_tar);
  for (const Eigen::RowVector3d& p : {Eigen::RowVector3d(-2248996.6, 5023924.2, 3211837.2),
                                      Eigen::RowVector3d(-2270000.0, 5010000.0, 3190000.0)}) {
    const Eigen::RowVector3d centred = p - ave_src;
    const Eigen::RowVector3d expected =
        ave_tar + transform_point(centred(0), centred(1), centred(2), truth());
    EXPECT_LT((transform_point(p(0), p(1), p(2), origin) - expected).norm(), 1e-6);
  }
  EXPECT_EQ(origin.tail<4>(), truth().tail<4>());
}

TEST(Statistics, OutlierTestNamesTheBlunderAndNothingInACleanNetwork) {
  std::mt19937 random(7);
  const PointMatrix source = network();
  PointMatrix target = images(source, 0.002, random);
  const double tau = pope_critical_value(3 * 10 - 7, 0.001);

  const AdjustmentResult clean = estimate_parameters(source, target);
  EXPECT_EQ(outlier_point(standardized_residuals(
                              source, residual_vector(source, target, clean.params), clean),
                          tau),
            -1);

  target(5, 1) += 0.3;  // a 0.3 m blunder in Y of the sixth point
  const AdjustmentResult blundered = estimate_parameters(source, target);
  EXPECT_EQ(outlier_point(standardized_residuals(
                              source, residual_vector(source, target, blundered.params), blundered),
                          tau),
            5);
}

TEST(Statistics, PopeValueFromStudentsTQuantile) {
  // t(0.9995) with 16 degrees of freedom is 4.015 in printed tables.
  const double t = 4.015;
  EXPECT_NEAR(pope_critical_value(17, 0.001), t * std::sqrt(17.0) / std::sqrt(16.0 + t * t), 1e-3);
  EXPECT_TRUE(std::isnan(pope_critical_value(1, 0.001)));
}

// The propagated errors of a mapped point against the spread of the point mapped
// with the parameters of 2,000 networks that differ only in their noise.
TEST(Statistics, MappedPointErrorsAgreeWithAMonteCarloOverTheNoise) {
  constexpr double kNoise = 0.002;
  constexpr int kRuns = 2000;
  std::mt19937 random(11);
  const PointMatrix source = network();
  const Eigen::RowVector3d centred(7000.0, -3000.0, 150.0);  // outside the network

  Eigen::Vector3d sum = Eigen::Vector3d::Zero(), sum_of_squares = Eigen::Vector3d::Zero();
  ParameterCovariance covariance;
  for (int run = 0; run < kRuns; ++run) {
    const PointMatrix target = images(source, kNoise, random);
    // Centred as the tool centres it: the target centroid moves with the noise too.
    const Eigen::RowVector3d ave_tar = target.colwise().mean();
    const AdjustmentResult result = estimate_parameters(source, target.rowwise() - ave_tar);
    const Eigen::RowVector3d mapped =
        ave_tar + transform_point(centred(0), centred(1), centred(2), result.params);
    sum += mapped.transpose();
    sum_of_squares += mapped.transpose().cwiseAbs2();
    covariance = kNoise * kNoise * result.normal_inverse;
  }
  const Eigen::Vector3d spread =
      ((sum_of_squares - sum.cwiseAbs2() / kRuns) / (kRuns - 1)).cwiseSqrt();
  const Eigen::Vector3d propagated =
      mapped_point_covariance(centred, truth(), covariance).diagonal().cwiseSqrt();
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(spread(c), propagated(c), 0.08 * propagated(c)) << c;
}

}  // namespace
}  // namespace helmert7
