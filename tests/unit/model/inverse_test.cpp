// SPDX-License-Identifier: MIT
// The inverse mapping: back to the points mapped, for both models at large and
// small rotations; the small model's inverse is its matrix's, not negated angles.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <cmath>
#include <string>

#include "model/model.h"
#include "model_test_support.h"

namespace helmert7 {
namespace {

using test::kArcSecond;

struct InverseCase {
  std::string name;
  RotationModel model;
  ParameterVector origin;  // origin-based: tx, ty, tz, ex, ey, ez, m
};

using test::params_of;

std::vector<InverseCase> cases() {
  const ParameterVector datum =
      params_of(-120.5, 80.2, 60.7, 1.2 * kArcSecond, -0.8 * kArcSecond, 2.1 * kArcSecond, 2.5e-6);
  const ParameterVector large = params_of(3.1e5, -2.2e5, 4.4e4, 0.7, -1.1, 2.9, 0.35);
  const ParameterVector tilted = params_of(15.0, -3.0, 8.0, 0.02, 0.015, -0.03, -0.12);
  return {{"exact_datum", RotationModel::exact, datum},
          {"exact_large", RotationModel::exact, large},
          {"small_datum", RotationModel::small, datum},
          {"small_large", RotationModel::small, large},
          {"small_tilted", RotationModel::small, tilted}};
}

// Points about the Earth's surface and near the origin.
PointMatrix points() {
  PointMatrix p(4, 3);
  p << -2.1e6, 5.0e6, 3.5e6, 6.3e6, -1.2e5, 7.5e5, 1.0, -2.0, 3.0, -4.4e6, -4.1e6, 1.2e6;
  return p;
}

Eigen::Vector3d applied(const AffineMapping& mapping, const Eigen::Vector3d& point) {
  return mapping.matrix * point + mapping.translation;
}

TEST(InverseMapping, MapsTheMappedPointsBack) {
  for (const InverseCase& c : cases()) {
    const AffineMapping forward = affine_mapping(c.origin, c.model);
    const AffineMapping back = inverse_mapping(forward);
    const PointMatrix p = points();
    for (Eigen::Index i = 0; i < p.rows(); ++i) {
      const Eigen::Vector3d point = p.row(i).transpose();
      // the forward matrix agrees with the model's own mapping
      const Eigen::Vector3d mapped =
          transform_point(point(0), point(1), point(2), c.origin, c.model).transpose();
      EXPECT_LE((applied(forward, point) - mapped).norm(), 1e-9 * mapped.norm()) << c.name;
      EXPECT_LE((applied(back, mapped) - point).norm(), 1e-9 * (1.0 + mapped.norm()))
          << c.name << " point " << i;
    }
  }
}

TEST(ExactInverseParameters, MapBackAsTheInverseMatrixDoes) {
  for (const InverseCase& c : cases()) {
    if (c.model != RotationModel::exact) continue;
    const ParameterVector inverse = exact_inverse_parameters(c.origin);
    const PointMatrix p = points();
    for (Eigen::Index i = 0; i < p.rows(); ++i) {
      const Eigen::RowVector3d mapped =
          transform_point(p(i, 0), p(i, 1), p(i, 2), c.origin, c.model);
      const Eigen::RowVector3d back =
          transform_point(mapped(0), mapped(1), mapped(2), inverse, RotationModel::exact);
      EXPECT_LE((back - p.row(i)).norm(), 1e-9 * (1.0 + mapped.norm())) << c.name;
    }
    // and the inverse of the inverse is the mapping itself
    const ParameterVector again = exact_inverse_parameters(inverse);
    EXPECT_LE((again - c.origin).cwiseAbs().maxCoeff(), 1e-9 * c.origin.cwiseAbs().maxCoeff())
        << c.name;
  }
}

// Negating the small model's angles and inverting its scale and translation misses
// by second-order terms, |w|^2 d: metres at the Earth's radius for 0.03 rad.
TEST(InverseMapping, SmallModelIsNotTheNegatedAngles) {
  const ParameterVector origin = cases()[4].origin;
  const AffineMapping back = inverse_mapping(affine_mapping(origin, RotationModel::small));
  ParameterVector negated = -origin;
  negated(6) = 1.0 / (1.0 + origin(6)) - 1.0;
  negated.head<3>() = -(model_matrix(negated, RotationModel::small) * origin.head<3>());
  const Eigen::Vector3d point(-2.1e6, 5.0e6, 3.5e6);
  const Eigen::RowVector3d mapped =
      transform_point(point(0), point(1), point(2), origin, RotationModel::small);
  const Eigen::Vector3d exact_back = applied(back, mapped.transpose());
  const Eigen::Vector3d negated_back =
      transform_point(mapped(0), mapped(1), mapped(2), negated, RotationModel::small).transpose();
  EXPECT_LE((exact_back - point).norm(), 1e-6);
  EXPECT_GT((negated_back - point).norm(), 1000.0);
}

TEST(InverseMapping, RefusesASingularMatrix) {
  const ParameterVector collapsed = params_of(1, 2, 3, 0.1, 0.2, 0.3, -1.0);
  EXPECT_THROW(inverse_mapping(affine_mapping(collapsed, RotationModel::exact)), NumericError);
}

// The inverse parameters' covariance agrees with central differences of
// exact_inverse_parameters in the forward correction parameters, carried into
// the reported angles on both sides; for the datum shift and for a large turn.
TEST(ExactInverseCovariance, FollowsCentralDifferencesOfTheInverseParameters) {
  test::Gauss gauss(41);
  ParameterVector spread;
  spread << 0.02, 0.02, 0.02, 1e-6, 1e-6, 1e-6, 1e-7;
  for (const InverseCase& c : cases()) {
    if (c.model != RotationModel::exact) continue;
    ParameterCovariance mixing;
    for (int i = 0; i < 7; ++i) {
      for (int j = 0; j < 7; ++j) mixing(i, j) = gauss(1.0);
    }
    const ParameterCovariance covariance =
        spread.asDiagonal() * (mixing * mixing.transpose() / 7.0 + ParameterCovariance::Identity()) *
        spread.asDiagonal();
    ParameterCovariance jacobian;
    for (int k = 0; k < 7; ++k) {
      const double step = k < 3 ? 1e-3 : 1e-6;
      const ParameterVector change = step * ParameterVector::Unit(k);
      jacobian.col(k) =
          (exact_inverse_parameters(corrected_parameters(c.origin, change, c.model)) -
           exact_inverse_parameters(corrected_parameters(c.origin, -change, c.model))) /
          (2.0 * step);
    }
    const ParameterCovariance expected = jacobian * covariance * jacobian.transpose();
    const ParameterCovariance got =
        reported_covariance(exact_inverse_parameters(c.origin),
                            exact_inverse_covariance(c.origin, covariance), c.model);
    for (int i = 0; i < 7; ++i) {
      for (int j = 0; j < 7; ++j) {
        EXPECT_NEAR(got(i, j), expected(i, j), 1e-6 * std::sqrt(expected(i, i) * expected(j, j)))
            << c.name << " (" << i << ", " << j << ")";
      }
    }
  }
}

}  // namespace
}  // namespace helmert7
