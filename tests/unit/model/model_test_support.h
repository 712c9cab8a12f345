// SPDX-License-Identifier: MIT
// Shared by the model tests: parameters written out, one regional network of
// known points, the design matrix and the misclosure vector as values, random
// networks with Gaussian noise, and the adjustment under its earlier rule.
#pragma once

#include <Eigen/LU>

#include "../test_support.h"
#include "model/model.h"

namespace helmert7::test {

/// tx, ty, tz, ex, ey, ez, m as one parameter vector.
inline ParameterVector params_of(double tx, double ty, double tz, double ex, double ey, double ez,
                                 double m) {
  ParameterVector p;
  p << tx, ty, tz, ex, ey, ez, m;
  return p;
}

/// Geocentric coordinates (m) of a point on the GRS80 ellipsoid.
inline Eigen::RowVector3d geocentric(double lat_deg, double lon_deg, double height) {
  const double a = 6378137.0, e2 = 0.00669438002290;
  const double lat = lat_deg * kPi / 180, lon = lon_deg * kPi / 180;
  const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
  return {(n + height) * std::cos(lat) * std::cos(lon),
          (n + height) * std::cos(lat) * std::sin(lon), (n * (1 - e2) + height) * std::sin(lat)};
}

/// A regional network of eight geocentric points over some 80 km, centred as the
/// run centres it (n by 3, one point per row).
inline Eigen::Matrix<double, Eigen::Dynamic, 3> regional_network() {
  const double sites[][3] = {{47.10, 8.20, 512.3},  {47.35, 8.55, 421.7}, {46.92, 8.71, 1302.4},
                             {47.48, 8.03, 388.0},  {46.85, 8.12, 905.6}, {47.21, 8.90, 610.2},
                             {47.02, 8.41, 2110.9}, {47.40, 8.78, 455.1}};
  Eigen::Matrix<double, Eigen::Dynamic, 3> points(8, 3);
  for (int i = 0; i < 8; ++i) points.row(i) = geocentric(sites[i][0], sites[i][1], sites[i][2]);
  return points.rowwise() - points.colwise().mean();
}

inline Eigen::MatrixXd design_matrix(const PointMatrix& points, const ParameterVector& params,
                                     RotationModel model = RotationModel::small) {
  Eigen::MatrixXd design;
  fill_design_matrix(points, params, design, model);
  return design;
}

inline Eigen::VectorXd misclosure_vector(const PointMatrix& source, const PointMatrix& target,
                                         const ParameterVector& params) {
  Eigen::VectorXd misclosure;
  fill_misclosure_vector(source, target, params, misclosure);
  return misclosure;
}

}  // namespace helmert7::test

#include <cmath>
#include <cstdint>
#include <random>

namespace helmert7::test {

/// Gaussian numbers from a 64-bit Mersenne twister by Box-Muller, the same on every
/// platform (the library's normal_distribution is not).
class Gauss {
 public:
  explicit Gauss(std::uint64_t seed) : random_(seed) {}
  double operator()(double sigma) {
    const double u = (static_cast<double>(random_() >> 11) + 0.5) * 0x1p-53;
    const double v = static_cast<double>(random_() >> 11) * 0x1p-53;
    return sigma * std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
  }

 private:
  std::mt19937_64 random_;
};

/// n random points in a box of half-width `extent`, centred.
inline PointMatrix random_network(Eigen::Index n, double extent, Gauss& gauss) {
  PointMatrix points(n, 3);
  for (Eigen::Index i = 0; i < n; ++i) {
    for (int c = 0; c < 3; ++c) points(i, c) = gauss(extent / 2);
  }
  return points.rowwise() - points.colwise().mean();
}

/// The points mapped with `params` by `model`, with `noise` on every coordinate,
/// centred as the tool centres them.
inline PointMatrix noisy_images(const PointMatrix& source, const ParameterVector& params,
                                RotationModel model, double noise, Gauss& gauss) {
  PointMatrix target(source.rows(), 3);
  for (Eigen::Index i = 0; i < source.rows(); ++i) {
    target.row(i) = transform_point(source(i, 0), source(i, 1), source(i, 2), params, model);
    for (int c = 0; c < 3; ++c) target(i, c) += gauss(noise);
  }
  return target.rowwise() - target.colwise().mean();
}

/// What the adjustment did before it knew the rounding floor: Gauss-Newton on the
/// small model until the sum of |correction| is at most 1e-10, within the budget.
/// Returns the iterations, or 0 when the budget ran out; the parameters in `params`.
inline int iterations_by_the_old_rule(const PointMatrix& source, const PointMatrix& target,
                                      ParameterVector& params) {
  params.setZero();
  Eigen::MatrixXd design;
  Eigen::VectorXd misclosure;
  for (int iteration = 1; iteration < kIterationBudget; ++iteration) {
    fill_design_matrix(source, params, design);
    fill_misclosure_vector(source, target, params, misclosure);
    const Eigen::Matrix<double, 7, 7> normal = design.transpose() * design;
    const ParameterVector correction =
        gauss_newton_correction(normal.inverse(), design, misclosure);
    params += correction;
    if (!(correction.cwiseAbs().sum() > kConvergenceTolerance)) return iteration;
  }
  return 0;
}

}  // namespace helmert7::test
