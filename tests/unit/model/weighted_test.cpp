// SPDX-License-Identifier: MIT
// The weighted adjustment against an independent solution: the same model written
// as errors in variables (the true source points are unknowns beside the seven
// parameters, every coordinate of both sides an observation), with the angles
// themselves as parameters and R differentiated factor by factor, solved by a
// dense whitened Gauss-Newton iteration. Also: equal weights give the unweighted
// fit, Baarda's w and the minimal detectable bias against a bias estimated as an
// extra unknown, the redundancy numbers, the effect of a bias, and the refusals.
#include <gtest/gtest.h>

#include <Eigen/Cholesky>
#include <Eigen/QR>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "model/model.h"
#include "model_test_support.h"
#include "weighted_test_support.h"

namespace helmert7 {
namespace {

// Coordinate-frame rotations and their derivatives.
Eigen::Matrix3d frame_x(double a, bool derivative = false) {
  const double c = std::cos(a), s = std::sin(a);
  Eigen::Matrix3d r;
  if (derivative)
    r << 0, 0, 0, 0, -s, c, 0, -c, -s;
  else
    r << 1, 0, 0, 0, c, s, 0, -s, c;
  return r;
}
Eigen::Matrix3d frame_y(double a, bool derivative = false) {
  const double c = std::cos(a), s = std::sin(a);
  Eigen::Matrix3d r;
  if (derivative)
    r << -s, 0, -c, 0, 0, 0, c, 0, -s;
  else
    r << c, 0, -s, 0, 1, 0, s, 0, c;
  return r;
}
Eigen::Matrix3d frame_z(double a, bool derivative = false) {
  const double c = std::cos(a), s = std::sin(a);
  Eigen::Matrix3d r;
  if (derivative)
    r << -s, c, 0, -c, -s, 0, 0, 0, 0;
  else
    r << c, s, 0, -s, c, 0, 0, 0, 1;
  return r;
}

// The linear part k R of the model and its derivatives by ex, ey, ez and m.
struct LinearPart {
  Eigen::Matrix3d value;
  Eigen::Matrix3d derivative[4];
};

LinearPart linear_part(const ParameterVector& p, RotationModel model) {
  const double k = 1 + p(6);
  LinearPart l;
  Eigen::Matrix3d r;
  if (model == RotationModel::exact) {
    const double ex = p(3), ey = p(4), ez = p(5);
    r = frame_z(ez) * frame_y(ey) * frame_x(ex);
    l.derivative[0] = k * frame_z(ez) * frame_y(ey) * frame_x(ex, true);
    l.derivative[1] = k * frame_z(ez) * frame_y(ey, true) * frame_x(ex);
    l.derivative[2] = k * frame_z(ez, true) * frame_y(ey) * frame_x(ex);
  } else {
    r << 1, p(5), -p(4), -p(5), 1, p(3), p(4), -p(3), 1;
    l.derivative[0] << 0, 0, 0, 0, 0, k, 0, -k, 0;
    l.derivative[1] << 0, 0, -k, 0, 0, 0, k, 0, 0;
    l.derivative[2] << 0, k, 0, -k, 0, 0, 0, 0, 0;
  }
  l.value = k * r;
  l.derivative[3] = r;
  return l;
}

// The errors-in-variables solution: unknowns p (7), the true source points (3n,
// none when the source is free of errors) and optionally a bias of one target
// coordinate; observations source then target, each with its covariance.
struct Independent {
  ParameterVector params;
  PointMatrix source_residuals, target_residuals;
  double weighted_sum = 0;
  double bias = 0, bias_variance = 0;
};

struct Unknowns {
  ParameterVector params;
  PointMatrix points;
  double bias = 0;
};

// Whitened residuals (model minus observation) and their derivative.
void whitened_system(const test::WeightedNetwork& net, RotationModel model, const Unknowns& u,
                     int bias_at, Eigen::VectorXd& residual, Eigen::MatrixXd& jacobian) {
  const Eigen::Index n = net.source.rows();
  const bool errors = !net.precision.source.empty();
  const Eigen::Index observations = errors ? 6 * n : 3 * n;
  const Eigen::Index unknowns = 7 + (errors ? 3 * n : 0) + (bias_at >= 0 ? 1 : 0);
  const Eigen::Index target_row = errors ? 3 * n : 0;
  residual.setZero(observations);
  jacobian.setZero(observations, unknowns);
  Eigen::MatrixXd covariance = Eigen::MatrixXd::Zero(observations, observations);
  const LinearPart l = linear_part(u.params, model);
  for (Eigen::Index i = 0; i < n; ++i) {
    const auto at = static_cast<std::size_t>(i);
    const Eigen::Vector3d xi = u.points.row(i).transpose();
    const Eigen::Index row = target_row + 3 * i;
    residual.segment<3>(row) = u.params.head<3>() + l.value * xi - net.target.row(i).transpose();
    jacobian.block<3, 3>(row, 0).setIdentity();
    for (int j = 0; j < 4; ++j) jacobian.block<3, 1>(row, 3 + j) = l.derivative[j] * xi;
    covariance.block<3, 3>(row, row) = net.precision.target[at];
    if (!errors) continue;
    residual.segment<3>(3 * i) = xi - net.source.row(i).transpose();
    jacobian.block<3, 3>(3 * i, 7 + 3 * i).setIdentity();
    jacobian.block<3, 3>(row, 7 + 3 * i) = l.value;
    covariance.block<3, 3>(3 * i, 3 * i) = net.precision.source[at];
  }
  if (bias_at >= 0) {
    residual(target_row + bias_at) += u.bias;
    jacobian(target_row + bias_at, unknowns - 1) = 1.0;
  }
  const Eigen::LLT<Eigen::MatrixXd> root(covariance);
  residual = root.matrixL().solve(residual);
  jacobian = root.matrixL().solve(jacobian);
}

Independent independent_solution(const test::WeightedNetwork& net, RotationModel model,
                                 const ParameterVector& start, int bias_at = -1) {
  const Eigen::Index n = net.source.rows();
  const bool errors = !net.precision.source.empty();
  Unknowns u{start, net.source, 0.0};
  Eigen::VectorXd residual;
  Eigen::MatrixXd jacobian;
  for (int iteration = 0; iteration < 60; ++iteration) {
    whitened_system(net, model, u, bias_at, residual, jacobian);
    const Eigen::VectorXd step = -jacobian.colPivHouseholderQr().solve(residual);
    u.params += step.head<7>();
    if (errors) {
      for (Eigen::Index i = 0; i < n; ++i) u.points.row(i) += step.segment<3>(7 + 3 * i);
    }
    if (bias_at >= 0) u.bias += step(step.size() - 1);
  }
  whitened_system(net, model, u, bias_at, residual, jacobian);
  Independent out;
  out.params = u.params;
  out.weighted_sum = residual.squaredNorm();
  out.source_residuals = u.points - net.source;
  out.target_residuals.resize(n, 3);
  const LinearPart l = linear_part(u.params, model);
  for (Eigen::Index i = 0; i < n; ++i) {
    out.target_residuals.row(i) =
        (u.params.head<3>() + l.value * u.points.row(i).transpose()).transpose() -
        net.target.row(i);
  }
  if (bias_at >= 0) {
    out.bias = u.bias;
    out.bias_variance =
        (jacobian.transpose() * jacobian).inverse()(jacobian.cols() - 1, jacobian.cols() - 1);
  }
  return out;
}

struct Case {
  const char* name;
  RotationModel model;
  bool source_errors;
  Eigen::Index points;
  ParameterVector truth;
};

ParameterVector small_angles() {
  ParameterVector p = test::large_rotation();
  p.segment<3>(3) << 0.05, -0.03, 0.08;
  return p;
}

std::vector<Case> cases() {
  return {{"exact, both sides, 10 points", RotationModel::exact, true, 10, test::large_rotation()},
          {"exact, both sides, 4 points", RotationModel::exact, true, 4, test::large_rotation()},
          {"exact, target only", RotationModel::exact, false, 9, test::large_rotation()},
          {"small, both sides", RotationModel::small, true, 12, small_angles()},
          {"small, target only", RotationModel::small, false, 7, small_angles()}};
}

void expect_relative(const ParameterVector& actual, const ParameterVector& expected, double tol,
                     const std::string& name) {
  for (int j = 0; j < 7; ++j)
    EXPECT_LE(std::fabs(actual(j) - expected(j)), tol * std::fabs(expected(j))) << name << " " << j;
}

TEST(Weighted, ParametersAndResidualsAgreeWithErrorsInVariables) {
  test::Gauss gauss(41);
  for (const Case& c : cases()) {
    const test::WeightedNetwork net =
        test::weighted_network(c.points, c.truth, c.model, c.source_errors, gauss);
    const WeightedAdjustment weighted =
        estimate_weighted(net.source, net.target, net.precision, {c.model, kIterationBudget});
    ASSERT_TRUE(weighted.result.converged) << c.name;
    const Independent independent = independent_solution(net, c.model, c.truth);
    expect_relative(weighted.result.params, independent.params, 1e-9, c.name);
    EXPECT_NEAR(weighted.weighted_sum, independent.weighted_sum, 1e-9 * independent.weighted_sum)
        << c.name;
    const double scale = independent.target_residuals.cwiseAbs().maxCoeff();
    EXPECT_LT((weighted.target_residuals - independent.target_residuals).cwiseAbs().maxCoeff(),
              1e-8 * scale)
        << c.name;
    EXPECT_LT((weighted.source_residuals - independent.source_residuals).cwiseAbs().maxCoeff(),
              1e-8 * scale)
        << c.name;
    if (c.model == RotationModel::exact && c.source_errors && c.points == 10) {
      std::printf("%-10s %22s %22s\n", "parameter", "weighted", "errors in variables");
      const char* names[] = {"tx", "ty", "tz", "ex", "ey", "ez", "m"};
      for (int j = 0; j < 7; ++j)
        std::printf("%-10s %22.15g %22.15g\n", names[j], weighted.result.params(j),
                    independent.params(j));
    }
  }
}

TEST(Weighted, EqualTargetWeightsGiveTheUnweightedFit) {
  test::Gauss gauss(5);
  for (const RotationModel model : {RotationModel::small, RotationModel::exact}) {
    const ParameterVector truth =
        model == RotationModel::exact ? test::large_rotation() : small_angles();
    for (const Eigen::Index points : {4, 20, 200}) {
      const PointMatrix source = test::random_network(points, 20000, gauss);
      const PointMatrix target = test::noisy_images(source, truth, model, 0.004, gauss);
      PointPrecision precision;
      precision.target.assign(static_cast<std::size_t>(points),
                              0.003 * 0.003 * Eigen::Matrix3d::Identity());
      const WeightedAdjustment weighted =
          estimate_weighted(source, target, precision, {model, kIterationBudget});
      const AdjustmentResult plain = estimate_parameters(source, target, {}, {model});
      ASSERT_TRUE(weighted.result.converged);
      // Translations are near zero for centred points: against the extent.
      for (int j = 0; j < 7; ++j) {
        const double size = j < 3 ? 20000.0 : std::fabs(plain.params(j));
        EXPECT_LE(std::fabs(weighted.result.params(j) - plain.params(j)), 1e-12 * size)
            << points << " points, parameter " << j;
      }
      // sigma0 at the a priori variance factor: the unweighted sigma0 over 3 mm.
      EXPECT_NEAR(weighted.result.sigma0, plain.sigma0 / 0.003, 1e-9 * plain.sigma0 / 0.003);
    }
  }
}

// Baarda's w squared is what v'Pv loses when the component gets a bias of its own
// (the w of the linearised model, to 1e-5 of the nonlinear one's); the bias is
// estimated with variance 1 / h, so the MDB is delta0 times its root.
TEST(Weighted, SnoopingAgreesWithABiasEstimatedAsAnUnknown) {
  test::Gauss gauss(77);
  for (const Case& c : cases()) {
    const test::WeightedNetwork net =
        test::weighted_network(c.points, c.truth, c.model, c.source_errors, gauss);
    const WeightedAdjustment weighted =
        estimate_weighted(net.source, net.target, net.precision, {c.model, kIterationBudget});
    const CentredTransformation mapping{weighted.result.params, Eigen::RowVector3d::Zero(),
                                        Eigen::RowVector3d::Zero(), c.model};
    const WeightedStatistics s = weighted_statistics(weighted, mapping, TestPoints{});
    for (const int k : {0, 4, 3 * static_cast<int>(c.points) - 1}) {
      const Independent biased = independent_solution(net, c.model, c.truth, k);
      EXPECT_NEAR(s.w(k), -biased.bias / std::sqrt(biased.bias_variance), 1e-5 * std::fabs(s.w(k)))
          << c.name << " component " << k;
      const double mdb = s.noncentrality * std::sqrt(biased.bias_variance);
      EXPECT_NEAR(s.mdb(k), mdb, 1e-6 * mdb) << c.name << " component " << k;
    }
    EXPECT_NEAR(s.redundancy_numbers.sum(), static_cast<double>(3 * c.points - 7), 1e-9) << c.name;
    EXPECT_TRUE((s.redundancy_numbers.array() > 0).all() &&
                (s.redundancy_numbers.array() < 1).all())
        << c.name;
  }
}

// With target weights only the redundancy numbers are the diagonal of
// I - A (A'PA)^-1 A'P, which no choice of parameters changes: the independent
// solution's derivative by the angles gives them too.
TEST(Weighted, TargetRedundancyNumbersFollowTheDenseMatrix) {
  test::Gauss gauss(8);
  const test::WeightedNetwork net =
      test::weighted_network(9, test::large_rotation(), RotationModel::exact, false, gauss);
  const WeightedAdjustment weighted =
      estimate_weighted(net.source, net.target, net.precision, {RotationModel::exact});
  const CentredTransformation mapping{weighted.result.params, Eigen::RowVector3d::Zero(),
                                      Eigen::RowVector3d::Zero(), RotationModel::exact};
  const WeightedStatistics s = weighted_statistics(weighted, mapping, TestPoints{});
  Eigen::VectorXd residual;
  Eigen::MatrixXd whitened;  // L^-1 A
  whitened_system(net, RotationModel::exact, {weighted.result.params, net.source, 0.0}, -1,
                  residual, whitened);
  // diag(I - A N^-1 A'P) = diag(I - L^-T (L^-1 A) N^-1 (L^-1 A)' L^T) for P = L^-T L^-1:
  // the diagonal of a similar matrix differs, so form A and P whole.
  Eigen::MatrixXd covariance = Eigen::MatrixXd::Zero(27, 27);
  for (int i = 0; i < 9; ++i) covariance.block<3, 3>(3 * i, 3 * i) = net.precision.target[i];
  const Eigen::LLT<Eigen::MatrixXd> root(covariance);
  const Eigen::MatrixXd design = root.matrixL() * whitened;
  const Eigen::MatrixXd weight = covariance.inverse();
  const Eigen::MatrixXd r =
      Eigen::MatrixXd::Identity(27, 27) -
      design * (design.transpose() * weight * design).inverse() * design.transpose() * weight;
  for (int k = 0; k < 27; ++k) EXPECT_NEAR(s.redundancy_numbers(k), r(k, k), 1e-9) << k;
}

// A bias of the minimal detectable size on noise-free observations moves the
// parameters, and points mapped at the centroid and the edge, as the statistics say.
TEST(Weighted, EffectOfTheMinimalDetectableBias) {
  test::Gauss gauss(19);
  test::WeightedNetwork net =
      test::weighted_network(8, test::large_rotation(), RotationModel::exact, true, gauss);
  net.source = net.true_source;
  for (Eigen::Index i = 0; i < 8; ++i) {
    const Eigen::RowVector3d x = net.true_source.row(i);
    net.target.row(i) =
        transform_point(x(0), x(1), x(2), test::large_rotation(), RotationModel::exact);
  }
  const AdjustmentOptions options{RotationModel::exact, kIterationBudget};
  const WeightedAdjustment clean =
      estimate_weighted(net.source, net.target, net.precision, options);
  const CentredTransformation mapping{clean.result.params, Eigen::RowVector3d::Zero(),
                                      Eigen::RowVector3d::Zero(), RotationModel::exact};
  const WeightedStatistics s = weighted_statistics(clean, mapping, TestPoints{});
  Eigen::Index farthest = 0;
  net.source.rowwise().norm().maxCoeff(&farthest);
  const Eigen::RowVector3d edge = net.source.row(farthest);
  for (const Eigen::Index k : {2, 10, 19}) {
    test::WeightedNetwork biased = net;
    biased.target(k / 3, k % 3) += s.mdb(k);
    const WeightedAdjustment moved =
        estimate_weighted(biased.source, biased.target, biased.precision, options);
    const ParameterVector change = moved.result.params - clean.result.params;
    for (int j = 0; j < 7; ++j)
      EXPECT_NEAR(change(j), s.parameter_effects(k, j),
                  1e-4 * s.parameter_effects.row(k).cwiseAbs().maxCoeff() + 1e-15)
          << k << " " << j;
    const Eigen::RowVector3d centroid_shift =
        transform_point(0, 0, 0, moved.result.params, RotationModel::exact) -
        transform_point(0, 0, 0, clean.result.params, RotationModel::exact);
    EXPECT_NEAR(centroid_shift.norm(), s.centroid_effects(k), 1e-4 * s.centroid_effects(k)) << k;
    const Eigen::RowVector3d edge_shift =
        transform_point(edge(0), edge(1), edge(2), moved.result.params, RotationModel::exact) -
        transform_point(edge(0), edge(1), edge(2), clean.result.params, RotationModel::exact);
    EXPECT_NEAR(edge_shift.norm(), s.edge_effects(k), 1e-4 * s.edge_effects(k)) << k;
  }
}

TEST(Weighted, GlobalTestBoundsAreChiSquareQuantiles) {
  // chi-square with 17 degrees of freedom: 7.564 and 30.191 at 2.5% and 97.5%.
  const GlobalTest test = global_test(17.0, 17);
  EXPECT_NEAR(test.lower, 7.564, 1e-3);
  EXPECT_NEAR(test.upper, 30.191, 1e-3);
  EXPECT_TRUE(test.passed);
  EXPECT_FALSE(global_test(31.0, 17).passed);
  EXPECT_FALSE(global_test(7.0, 17).passed);
  // 3.29053 is the normal quantile at 1 - 0.001/2; 0.841621 at 0.8.
  EXPECT_NEAR(baarda_critical_value(0.001), 3.29053, 1e-5);
  EXPECT_NEAR(detection_noncentrality(0.001), 3.29053 + 0.841621, 1e-5);
}

TEST(Weighted, RefusesCovariancesThatCannotWeigh) {
  test::Gauss gauss(3);
  const test::WeightedNetwork net =
      test::weighted_network(5, test::large_rotation(), RotationModel::exact, true, gauss);
  const struct {
    const char* name;
    int side;  // 0 target, 1 source
    Eigen::Matrix3d block;
    const char* message;
  } refusals[] = {
      {"zero", 0, Eigen::Matrix3d::Zero(), "target point 3 is not finite"},
      {"negative", 1, -1e-6 * Eigen::Matrix3d::Identity(), "source point 3 is not finite"},
      {"not finite", 0, Eigen::Matrix3d::Constant(std::nan("")), "target point 3"},
      {"asymmetric", 1, (Eigen::Matrix3d() << 1, 0.5, 0, 0, 1, 0, 0, 0, 1).finished() * 1e-6,
       "source point 3"},
  };
  for (const auto& r : refusals) {
    PointPrecision precision = net.precision;
    (r.side == 0 ? precision.target : precision.source)[2] = r.block;
    try {
      estimate_weighted(net.source, net.target, precision);
      ADD_FAILURE() << r.name << " accepted";
    } catch (const NumericError& e) {
      EXPECT_NE(std::string(e.what()).find(r.message), std::string::npos) << e.what();
    }
  }
  PointPrecision short_one = net.precision;
  short_one.source.pop_back();
  EXPECT_THROW(estimate_weighted(net.source, net.target, short_one), NumericError);
  const PointMatrix line = (Eigen::VectorXd::LinSpaced(5, 0, 400) * Eigen::RowVector3d(1, 2, 3));
  EXPECT_THROW(estimate_weighted(line, line, net.precision), NumericError);
}

}  // namespace
}  // namespace helmert7

namespace helmert7 {
namespace {

// The fit of a weighted run names a blunder by Baarda's w, and its checks of
// lengths see the residuals in metres, not the unitless sigma0.
TEST(Weighted, WeightedFitNamesTheBlunderByBaardasW) {
  test::Gauss gauss(12);
  test::WeightedNetwork weighted_net =
      test::weighted_network(8, test::large_rotation(), RotationModel::exact, true, gauss);
  weighted_net.target(5, 1) += 0.1;
  Network network;
  network.source = network.centred_source = weighted_net.source;
  network.target = network.centred_target = weighted_net.target;
  network.ave_src = network.ave_tar = Eigen::RowVector3d::Zero();
  const WeightedAdjustment adjustment = estimate_weighted(
      network.source, network.target, weighted_net.precision, {RotationModel::exact});
  const Fit fit = assess_weighted_fit(network, adjustment, TestPoints{});
  ASSERT_TRUE(fit.weighted.has_value());
  Eigen::Index largest = 0;
  fit.statistics.standardized.cwiseAbs().maxCoeff(&largest);
  EXPECT_EQ(largest, 3 * 5 + 1);
  EXPECT_EQ(fit.statistics.largest_w, std::fabs(fit.statistics.standardized(largest)));
  EXPECT_NE(std::find(fit.statistics.outliers.begin(), fit.statistics.outliers.end(), 5),
            fit.statistics.outliers.end());
  EXPECT_EQ(fit.statistics.standardized, fit.weighted->statistics.w);
  EXPECT_NEAR(fit.weighted->residual_rms, std::sqrt(adjustment.discrepancies.squaredNorm() / 17.0),
              1e-15);
  EXPECT_FALSE(fit.weighted->statistics.global.passed);  // 10 cm against millimetres
  EXPECT_NO_THROW(check_plausible(network, fit));
}

}  // namespace
}  // namespace helmert7
