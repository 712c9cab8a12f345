// SPDX-License-Identifier: MIT
// The statistics of an adjustment against independent truth: origin-based
// parameters by mapping points with them and their covariance by finite
// differences, standardized residuals from the explicit hat matrix, the outlier
// test on a network with a known blunder, Pope's value from a printed t table, and
// the errors of mapped points against a Monte Carlo over the noise.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>

#include <Eigen/LU>

#include "../test_support.h"
#include "model/model.h"
#include "model_test_support.h"

namespace helmert7 {
namespace {

using test::kArcSecond;

ParameterVector truth() {
  ParameterVector p;
  p << 0.12, -0.34, 0.05, 1.8 * kArcSecond, -2.4 * kArcSecond, 3.1 * kArcSecond, 4.2e-6;
  return p;
}

PointMatrix network() { return test::regional_network(); }

// Mapped source minus target of centred points.
Eigen::VectorXd residuals_of(const PointMatrix& source, const PointMatrix& target,
                             const ParameterVector& params) {
  const CentredTransformation mapping{params, Eigen::RowVector3d::Zero(),
                                      Eigen::RowVector3d::Zero()};
  return mapped_residuals(mapping, source, target);
}

// The (3n)-by-7 derivative of the model at every point, built from design_block.
Eigen::MatrixXd stacked_design(const PointMatrix& points, const ParameterVector& params) {
  Eigen::MatrixXd design(3 * points.rows(), 7);
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    design.middleRows<3>(3 * i) = design_block(points(i, 0), points(i, 1), points(i, 2), params);
  }
  return design;
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
  const double tau = pope_critical_value(3 * 8 - 7, 0.001);

  const AdjustmentResult clean = estimate_parameters(source, target);
  EXPECT_TRUE(outlier_points(standardized_residuals(
                                 source, residuals_of(source, target, clean.params), clean),
                             tau)
                  .empty());

  target(5, 1) += 0.3;  // a 0.3 m blunder in Y of the sixth point
  const AdjustmentResult blundered = estimate_parameters(source, target);
  EXPECT_EQ(outlier_points(standardized_residuals(
                               source, residuals_of(source, target, blundered.params), blundered),
                           tau),
            std::vector<Eigen::Index>{5});
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

// w = v / (sigma0 sqrt(q)), q the diagonal of I - P (P'P)^-1 P', formed whole.
TEST(Statistics, StandardizedResidualsFollowTheExplicitHatMatrix) {
  std::mt19937 random(3);
  const PointMatrix source = network();
  const PointMatrix target = images(source, 0.004, random);
  const AdjustmentResult result = estimate_parameters(source, target);
  const Eigen::VectorXd v = residuals_of(source, target, result.params);
  const Eigen::MatrixXd design = stacked_design(source, result.params);
  const Eigen::MatrixXd hat =
      design * (design.transpose() * design).inverse() * design.transpose();
  const Eigen::VectorXd w = standardized_residuals(source, v, result);
  for (Eigen::Index k = 0; k < v.size(); ++k) {
    const double expected = v(k) / (result.sigma0 * std::sqrt(1.0 - hat(k, k)));
    EXPECT_NEAR(w(k), expected, 1e-9 * std::abs(expected) + 1e-12) << k;
  }
  // The q add up to the redundancy 3n - 7.
  EXPECT_NEAR((v.array() / (result.sigma0 * w.array())).square().sum(),
              static_cast<double>(redundancy(source.rows())), 1e-9);
}

// The origin translation T0 = ave_tar + t - k R ave_src, differentiated numerically.
TEST(Statistics, OriginBasedCovarianceFollowsFiniteDifferences) {
  const Eigen::RowVector3d ave_src(4.2e6, 6.9e5, 4.7e6), ave_tar(4.2e6 + 80, 6.9e5 - 20, 4.7e6 + 5);
  const ParameterVector at = truth();
  Eigen::Matrix<double, 7, 7> jacobian;
  for (int j = 0; j < 7; ++j) {
    const double step = j < 3 ? 1e-3 : 1e-7;
    ParameterVector up = at, down = at;
    up(j) += step;
    down(j) -= step;
    jacobian.col(j) =
        (origin_based_parameters(up, ave_src, ave_tar) - origin_based_parameters(down, ave_src, ave_tar)) /
        (2 * step);
  }
  ParameterCovariance covariance = ParameterCovariance::Identity();
  covariance.diagonal() << 1e-6, 2e-6, 3e-6, 1e-14, 2e-14, 3e-14, 4e-14;
  covariance(3, 6) = covariance(6, 3) = 1e-15;
  covariance(0, 4) = covariance(4, 0) = -1e-10;
  const ParameterCovariance expected = jacobian * covariance * jacobian.transpose();
  const ParameterCovariance propagated = origin_based_covariance(at, ave_src, covariance);
  EXPECT_LT((propagated - expected).cwiseAbs().maxCoeff(), 1e-6 * expected.cwiseAbs().maxCoeff());
}

// At the source centroid a mapped point moves only with the translations.
TEST(Statistics, PredictionErrorsAreCentredOnTheSourceCentroid) {
  const CentredTransformation mapping{truth(), Eigen::RowVector3d(4.2e6, 6.9e5, 4.7e6),
                                      Eigen::RowVector3d(4.2e6 + 80, 6.9e5 - 20, 4.7e6 + 5)};
  ParameterCovariance covariance = 1e-14 * ParameterCovariance::Identity();
  covariance.topLeftCorner<3, 3>().diagonal() << 1e-6, 4e-6, 9e-6;
  PointMatrix points(2, 3);
  points.row(0) = mapping.ave_src;
  points.row(1) = mapping.ave_src + Eigen::RowVector3d(3000, 0, 0);
  const PointMatrix errors = prediction_errors(mapping, covariance, {points});
  EXPECT_NEAR(errors(0, 0), 1e-3, 1e-12);
  EXPECT_NEAR(errors(0, 1), 2e-3, 1e-12);
  EXPECT_NEAR(errors(0, 2), 3e-3, 1e-12);
  // 3 km away the angles ey, ez add (3000 k)^2 * 1e-14 each to Y and Z, the scale
  // to X; a point centred on another centroid 80 m off would be 1e-6 m off.
  EXPECT_NEAR(errors(1, 0), std::sqrt(1e-6 + 9e6 * 1e-14), 1e-9);
  EXPECT_NEAR(errors(1, 1), std::sqrt(4e-6 + 9e6 * 1e-14), 1e-9);
  EXPECT_NEAR(errors(1, 2), std::sqrt(9e-6 + 9e6 * 1e-14), 1e-9);
}

TEST(Statistics, CorrelationsAndStandardErrorsOfACovariance) {
  ParameterCovariance covariance = ParameterCovariance::Identity();
  covariance.diagonal() << 4, 9, 1, 1, 1, 1, 16;
  covariance(0, 6) = covariance(6, 0) = -4;  // correlation -4 / (2 * 4)
  const ParameterVector errors = standard_errors(covariance);
  EXPECT_EQ(errors, (ParameterVector() << 2, 3, 1, 1, 1, 1, 4).finished());
  const ParameterCovariance rho = correlations(covariance, errors);
  EXPECT_EQ(rho(0, 6), -0.5);
  EXPECT_EQ(rho(6, 0), -0.5);
  EXPECT_EQ(rho.diagonal(), ParameterVector::Ones());
  EXPECT_EQ(rho(1, 2), 0.0);
}

TEST(Network, MapsPointsAsGivenAndRefusesNonFiniteResults) {
  ParameterVector params = ParameterVector::Zero();
  params(6) = 1.0;  // scale factor 2
  const CentredTransformation mapping{params, Eigen::RowVector3d(10, 10, 10),
                                      Eigen::RowVector3d(100, 200, 300)};
  PointMatrix points(1, 3);
  points << 11, 12, 13;
  EXPECT_EQ(map_points(mapping, points), (PointMatrix(1, 3) << 102, 204, 306).finished());

  points << 1.5e308, 0, 0;
  try {
    map_points(mapping, points);
    FAIL() << "no failure";
  } catch (const NumericError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("point 1 maps to a non-finite coordinate", 0), 0u);
  }
}

TEST(Network, ResidualsAreMappedSourceMinusTarget) {
  ParameterVector params = ParameterVector::Zero();
  params(0) = 1.0;  // tx
  const CentredTransformation mapping{params, Eigen::RowVector3d(5, 5, 5),
                                      Eigen::RowVector3d(5, 5, 5)};
  PointMatrix source(2, 3), target(2, 3);
  source << 0, 0, 0, 10, 20, 30;
  target << 1.0000004, 0, 0, 11, 19.5, 30;
  const Eigen::VectorXd residuals = mapped_residuals(mapping, source, target);
  EXPECT_NEAR(residuals(0), -0.0000004, 1e-15);
  EXPECT_EQ(residuals.tail<5>(), (Eigen::Matrix<double, 5, 1>() << 0, 0, 0, 0.5, 0).finished());
}

TEST(Network, ChecksNameTheSetAndThePoint) {
  PointMatrix points = network();
  points(2, 1) = std::numeric_limits<double>::infinity();
  const struct {
    std::function<void()> check;
    std::string message;
  } cases[] = {
      {[&] { check_finite(points, "target"); }, "target point 3 has a NaN or infinite coordinate"},
      {[&] { check_centroid(Eigen::RowVector3d(1, HUGE_VAL, 0), "source"); },
       "the centroid of the source points overflows: the coordinates are too large"},
  };
  for (const auto& c : cases) {
    try {
      c.check();
      ADD_FAILURE() << "no failure for " << c.message;
    } catch (const NumericError& e) {
      EXPECT_EQ(e.what(), c.message);
    }
  }
  EXPECT_NO_THROW(check_finite(network(), "source"));
  EXPECT_EQ(redundancy(8), 17);
}

}  // namespace
}  // namespace helmert7
