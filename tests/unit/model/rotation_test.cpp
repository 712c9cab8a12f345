// SPDX-License-Identifier: MIT
// The exact rotation against independent truth: PROJ's cct on fixed points, central
// differences for its derivative, parameters recovered from points made with them
// at any angle, and the position-vector angles through the transposed matrix.
#include <gtest/gtest.h>

#include <Eigen/Geometry>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "../test_support.h"
#include "model/model.h"
#include "model_test_support.h"

namespace helmert7 {
namespace {

using test::kArcSecond;
using test::kPi;
constexpr double kDegree = 3600 * kArcSecond;
constexpr double kEpsilon = std::numeric_limits<double>::epsilon();

using test::params_of;

// echo "1000 2000 3000" | cct -d 9 +proj=helmert +x=1 +y=2 +z=3 +s=10 +rx=-1800
//   +ry=5400 +rz=324000 +convention=coordinate_frame +exact     (and the second point)
TEST(ExactRotation, MapsAsProjHelmertExact) {
  const struct {
    Eigen::Vector3d point, expected;
    ParameterVector params;
  } cases[] = {
      {{1000, 2000, 3000},
       {1286.851580205, 2132.886911690, 2791.918056188},
       params_of(0, 0, 0, 36000 * kArcSecond, 72000 * kArcSecond, 108000 * kArcSecond, 0)},
      {{1000, 2000, 3000},
       {1974.763977076, -918.681808855, 3045.512246655},
       params_of(1, 2, 3, -1800 * kArcSecond, 5400 * kArcSecond, 324000 * kArcSecond, 10e-6)},
      {{-5000, 1200, 300},
       {1198.348320391, 5008.463595366, 182.471085639},
       params_of(1, 2, 3, -1800 * kArcSecond, 5400 * kArcSecond, 324000 * kArcSecond, 10e-6)},
  };
  for (const auto& c : cases) {
    const Eigen::RowVector3d mapped =
        transform_point(c.point(0), c.point(1), c.point(2), c.params, RotationModel::exact);
    EXPECT_LT((mapped.transpose() - c.expected).cwiseAbs().maxCoeff(), 1e-8) << mapped;
  }
}

// A turn of the frame by `delta` after R, built here from Eigen's angle-axis
// rotation: exp(-[delta]x), the point's rotation by -|delta| about delta.
Eigen::Matrix3d turn(const Eigen::Vector3d& delta) {
  return Eigen::AngleAxisd(-delta.norm(), delta.normalized()).toRotationMatrix();
}

Eigen::Vector3d axis(int j, double length) { return length * Eigen::Vector3d::Unit(j); }

// The design block's angle columns are derivatives by a turn after R: t + k turn(d) R x.
TEST(ExactRotation, DesignBlockMatchesCentralDifferencesOfATurnAfterR) {
  const Eigen::Vector3d point(4200.5, -1730.25, 880.0);
  for (const ParameterVector& at :
       {params_of(0.3, -0.2, 0.1, 1e-5, -2e-5, 3e-5, 4e-6),
        params_of(10, 20, 30, 30 * kDegree, -50 * kDegree, 170 * kDegree, -0.2),
        params_of(1, 2, 3, 40 * kDegree, 90 * kDegree, -10 * kDegree, 0.5)}) {
    const Eigen::Matrix<double, 3, 7> block = exact_design_block(point, at);
    const Eigen::Matrix3d r = rotation_matrix(at);
    const double k = 1 + at(6);
    for (int j = 0; j < 7; ++j) {
      const double step = j < 3 ? 1e-3 : 1e-7;
      Eigen::Vector3d difference;
      if (j < 3 || j == 6) {
        ParameterVector up = at, down = at;
        up(j) += step;
        down(j) -= step;
        difference = (exact_transform_point(point, up) - exact_transform_point(point, down))
                         .transpose() / (2 * step);
      } else {
        difference = k * (turn(axis(j - 3, step)) - turn(axis(j - 3, -step))) * r * point /
                     (2 * step);
      }
      EXPECT_LT((block.col(j) - difference).norm(), 1e-6 * (1 + difference.norm())) << j;
    }
  }
}

// The corrected angles are those of turn(d) R, also through the lock.
TEST(ExactRotation, CorrectionTurnsTheFrameAfterR) {
  const ParameterVector at = params_of(1, 2, 3, 20 * kDegree, 89.99 * kDegree, 70 * kDegree, 1e-5);
  ParameterVector correction;
  correction << 0.1, -0.2, 0.3, 2e-4, 3e-4, -1e-4, 2e-6;
  const ParameterVector corrected = corrected_parameters(at, correction, RotationModel::exact);
  const Eigen::Matrix3d expected = turn(correction.segment<3>(3)) * rotation_matrix(at);
  EXPECT_LT((rotation_matrix(corrected) - expected).cwiseAbs().maxCoeff(), 4 * kEpsilon);
  EXPECT_EQ(corrected.head<3>(), (at + correction).head<3>().eval());
  EXPECT_EQ(corrected(6), at(6) + correction(6));
  EXPECT_EQ(corrected_parameters(at, correction, RotationModel::small), (at + correction).eval());
}

// The angles' derivative by a turn after R against central differences of
// rotation_angles, up to a hundredth of a degree from the lock.
TEST(ExactRotation, AngleJacobianMatchesCentralDifferences) {
  for (const ParameterVector& at :
       {params_of(0, 0, 0, 10 * kDegree, 20 * kDegree, 30 * kDegree, 0),
        params_of(0, 0, 0, -120 * kDegree, -75 * kDegree, 160 * kDegree, 0),
        params_of(0, 0, 0, 35 * kDegree, 89.99 * kDegree, -50 * kDegree, 0),
        params_of(0, 0, 0, 35 * kDegree, -89.99 * kDegree, -50 * kDegree, 0)}) {
    const Eigen::Matrix3d r = rotation_matrix(at);
    const Eigen::Matrix3d jacobian = angle_jacobian(r);
    for (int j = 0; j < 3; ++j) {
      constexpr double kStep = 1e-8;
      const Eigen::Vector3d difference = (rotation_angles(turn(axis(j, kStep)) * r) -
                                          rotation_angles(turn(axis(j, -kStep)) * r)) /
                                         (2 * kStep);
      EXPECT_LT((jacobian.col(j) - difference).norm(), 1e-5 * difference.norm()) << j;
    }
  }
}

// The covariance of a turn as that of the angles: one turn's variance at a time
// gives the squared column of the angles' derivative; the small model's is kept.
TEST(ExactRotation, ReportedCovarianceCarriesTurnsIntoAngles) {
  const ParameterVector at = params_of(5, 6, 7, 10 * kDegree, 60 * kDegree, -30 * kDegree, 1e-6);
  const Eigen::Matrix3d jacobian = angle_jacobian(rotation_matrix(at));
  for (int j = 0; j < 3; ++j) {
    ParameterCovariance covariance = ParameterCovariance::Zero();
    covariance(0, 0) = 4.0;
    covariance(3 + j, 3 + j) = 1e-12;
    const ParameterCovariance reported =
        reported_covariance(at, covariance, RotationModel::exact);
    EXPECT_EQ(reported(0, 0), 4.0);
    const Eigen::Vector3d expected = 1e-12 * jacobian.col(j).cwiseAbs2();
    EXPECT_LT((reported.diagonal().segment<3>(3) - expected).norm(), 1e-12 * expected.norm())
        << j;
    EXPECT_EQ(reported_covariance(at, covariance, RotationModel::small), covariance);
  }
}

// Noise-free points made with the exact model come back, as Eigen's umeyama test
// bounds them, within a few hundred machine epsilons (times the extent for lengths).
TEST(ExactRotation, RecoversKnownParametersAtAnyAngle) {
  const struct {
    const char* name;
    ParameterVector truth;
  } cases[] = {
      {"1 arc-second", params_of(0.2, -0.1, 0.3, 1 * kArcSecond, 0, 0, 3e-6)},
      {"10 arc-minutes", params_of(0.2, -0.1, 0.3, 0, 0, 600 * kArcSecond, 3e-6)},
      {"30 degrees", params_of(0.2, -0.1, 0.3, 0, 0, 30 * kDegree, 10e-6)},
      {"90 degrees", params_of(0.2, -0.1, 0.3, 0, 0, 90 * kDegree, 10e-6)},
      {"all three axes", params_of(5, -3, 2, 20 * kDegree, -35 * kDegree, 120 * kDegree, -0.01)},
  };
  test::Gauss gauss(17);
  const PointMatrix source = test::random_network(12, 5000, gauss);
  const double extent = network_extent(source);
  for (const auto& c : cases) {
    const PointMatrix target = test::noisy_images(source, c.truth, RotationModel::exact, 0, gauss);
    AdjustmentOptions options;
    options.model = RotationModel::exact;
    const AdjustmentResult result = estimate_parameters(source, target, {}, options);
    ASSERT_TRUE(result.converged) << c.name;
    EXPECT_LE(result.iterations, 3) << c.name;
    // Both sets are centred, so the translation of the centred model is zero.
    EXPECT_LT(result.params.head<3>().cwiseAbs().maxCoeff(), 1e3 * kEpsilon * extent) << c.name;
    EXPECT_LT((result.params - c.truth).tail<4>().cwiseAbs().maxCoeff(), 1e3 * kEpsilon) << c.name;
  }
}

// The 24 rotations that permute the axes, signs included: every signed
// permutation matrix of determinant +1.
std::vector<Eigen::Matrix3d> axis_permutations() {
  std::vector<Eigen::Matrix3d> rotations;
  const std::array<std::array<int, 3>, 6> orders{
      {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}}};
  for (const auto& order : orders) {
    for (int signs = 0; signs < 8; ++signs) {
      Eigen::Matrix3d r = Eigen::Matrix3d::Zero();
      for (int row = 0; row < 3; ++row) r(row, order[row]) = (signs >> row) & 1 ? -1.0 : 1.0;
      if (r.determinant() > 0) rotations.push_back(r);
    }
  }
  return rotations;
}

// Source points and their images t + k R x under a known matrix, both centred.
struct Images {
  PointMatrix source, target;
};

Images images_under(const Eigen::Matrix3d& rotation, double scale) {
  test::Gauss gauss(29);
  Images images{test::random_network(9, 4000, gauss), PointMatrix(9, 3)};
  const Eigen::Vector3d shift(120.5, -340.25, 75.0);
  for (Eigen::Index i = 0; i < 9; ++i)
    images.target.row(i) = (shift + scale * rotation * images.source.row(i).transpose()).transpose();
  images.target = images.target.rowwise() - images.target.colwise().mean();
  return images;
}

// Every rotation is reached: the matrix comes back to rounding, also where ey is
// +-90 degrees (8 of the 24 permutations) or a microradian from it on either side.
TEST(ExactRotation, ReachesEveryAxisPermutationAndTheLock) {
  struct Case {
    std::string name;
    Eigen::Matrix3d rotation;
    bool locked;
  };
  std::vector<Case> cases;
  for (const Eigen::Matrix3d& r : axis_permutations())
    cases.push_back({"permutation " + std::to_string(cases.size()), r, std::abs(r(2, 0)) == 1});
  for (const double ey : {kPi / 2 - 1e-6, kPi / 2 + 1e-6, -kPi / 2 - 1e-6, -kPi / 2 + 1e-6})
    cases.push_back({"ey " + std::to_string(ey), rotation_matrix(params_of(0, 0, 0, 0.7, ey, -2.1, 0)),
                     false});
  ASSERT_EQ(cases.size(), 28u);
  AdjustmentOptions exact;
  exact.model = RotationModel::exact;
  for (const Case& c : cases) {
    const Images images = images_under(c.rotation, 1.00002);
    AdjustmentResult result;
    ASSERT_NO_THROW(result = estimate_parameters(images.source, images.target, {}, exact))
        << c.name;
    ASSERT_TRUE(result.converged) << c.name;
    EXPECT_LT((rotation_matrix(result.params) - c.rotation).cwiseAbs().maxCoeff(), 100 * kEpsilon)
        << c.name;
    EXPECT_NEAR(result.params(6), 2e-5, 100 * kEpsilon) << c.name;
    EXPECT_LT(result.sigma0, 1e-9) << c.name;
    EXPECT_TRUE(result.sigmax.allFinite()) << c.name;
    EXPECT_EQ(result.angles_shared, c.locked) << c.name;
    // The angle the lock leaves determined is that of the matrix.
    const double side = result.params(4) < 0 ? -1.0 : 1.0;
    const Eigen::Vector3d truth = rotation_angles(c.rotation);
    EXPECT_NEAR(std::remainder(result.shared_angle - truth(2) - side * truth(0), 2 * kPi), 0,
                1e-12) << c.name;
    EXPECT_LT(result.shared_angle_error, 1e-12) << c.name;
    if (!c.locked) {
      EXPECT_GT(result.lock_margin, 0.9e-6) << c.name;
    }
  }
}

// ex + ez (ey > 0) or ez - ex (ey < 0) against central differences, up to a
// thousandth of a radian from the lock.
TEST(ExactRotation, SharedAngleGradientMatchesCentralDifferences) {
  for (const double ey : {kPi / 2 - 1e-3, -kPi / 2 + 1e-3, 0.3}) {
    const Eigen::Matrix3d r = rotation_matrix(params_of(0, 0, 0, 0.8, ey, -0.5, 0));
    const double side = ey < 0 ? -1.0 : 1.0;
    const auto shared = [side](const Eigen::Matrix3d& m) {
      const Eigen::Vector3d a = rotation_angles(m);
      return a(2) + side * a(0);
    };
    const Eigen::Vector3d gradient = shared_angle_gradient(r);
    for (int j = 0; j < 3; ++j) {
      constexpr double kStep = 1e-7;
      const double difference =
          (shared(turn(axis(j, kStep)) * r) - shared(turn(axis(j, -kStep)) * r)) / (2 * kStep);
      EXPECT_NEAR(gradient(j), difference, 1e-6) << ey << " " << j;
    }
  }
}

TEST(ExactRotation, LockMarginKeepsItsDigitsNearTheLock) {
  for (const double margin : {1e-3, 1e-6, 1e-9, 1e-12}) {
    for (const double sign : {1.0, -1.0}) {
      const ParameterVector p = params_of(0, 0, 0, 0.3, sign * (kPi / 2 - margin), 1.2, 0);
      EXPECT_NEAR(gimbal_lock_margin(p), margin, 1e-15) << margin;
    }
  }
}

// The angles reproduce their matrix to rounding at and near the locks of both
// conventions; asin lost half the digits of ey there.
TEST(ExactRotation, AnglesOfAMatrixReproduceItAtTheLocks) {
  std::vector<Eigen::Matrix3d> rotations = axis_permutations();
  for (const double near : {0.0, 1e-7, -1e-7, 1e-12}) {
    rotations.push_back(rotation_matrix(params_of(0, 0, 0, 0.4, kPi / 2 - near, -1.3, 0)));
    rotations.push_back(rotation_matrix(params_of(0, 0, 0, 0.4, -kPi / 2 + near, -1.3, 0)));
    // Locks of the transposed matrix, the position-vector convention's.
    rotations.push_back(rotation_matrix(params_of(0, 0, 0, kPi / 2, near, kPi / 2, 0)).transpose());
    rotations.push_back(rotation_matrix(params_of(0, 0, 0, kPi / 2 + near, 0, -kPi / 2, 0)).transpose());
  }
  for (const Eigen::Matrix3d& r : rotations) {
    const Eigen::Vector3d angles = rotation_angles(r);
    const ParameterVector p = params_of(0, 0, 0, angles(0), angles(1), angles(2), 0);
    EXPECT_LT((rotation_matrix(p) - r).cwiseAbs().maxCoeff(), 8 * kEpsilon) << r;
    EXPECT_LE(std::abs(angles(1)), kPi / 2) << r;
  }
}

// The small model cannot follow a large rotation; the exact one can.
TEST(ExactRotation, ThirtyDegreesNeedTheExactModel) {
  test::Gauss gauss(5);
  const PointMatrix source = test::random_network(8, 3000, gauss);
  const ParameterVector truth = params_of(0, 0, 0, 0, 0, 30 * kDegree, 10e-6);
  const PointMatrix target = test::noisy_images(source, truth, RotationModel::exact, 0.003, gauss);
  AdjustmentOptions exact;
  exact.model = RotationModel::exact;
  const AdjustmentResult good = estimate_parameters(source, target, {}, exact);
  const AdjustmentResult bad = estimate_parameters(source, target);
  EXPECT_LT(std::abs(good.params(5) - truth(5)), 5 * kArcSecond);
  EXPECT_LT(good.sigma0, 0.01);
  EXPECT_GT(bad.sigma0, 1.0);  // metres: the small model is far off
}

TEST(ExactRotation, AnglesOfAMatrixRoundTripWithinTheirRanges) {
  for (const ParameterVector& p :
       {params_of(0, 0, 0, 179 * kDegree, 89 * kDegree, -179 * kDegree, 0),
        params_of(0, 0, 0, -40 * kDegree, -10 * kDegree, 100 * kDegree, 0),
        params_of(0, 0, 0, 1e-9, 2e-9, -3e-9, 0)}) {
    const Eigen::Vector3d angles = rotation_angles(rotation_matrix(p));
    EXPECT_LT((angles - p.segment<3>(3)).cwiseAbs().maxCoeff(), 1e-12) << angles;
  }
}

// PROJ's position-vector convention applies the transpose of the matrix of the
// angles: the converted angles give the same mapping, and differ from the negated
// coordinate-frame angles once the rotation is large.
TEST(ExactRotation, PositionVectorAnglesComeFromTheTransposedMatrix) {
  const ParameterVector cf = params_of(1, 2, 3, 10 * kDegree, 20 * kDegree, 30 * kDegree, 5e-6);
  const ParameterVector pv = position_vector_parameters(cf, RotationModel::exact);
  EXPECT_LT((rotation_matrix(pv).transpose() - rotation_matrix(cf)).cwiseAbs().maxCoeff(), 1e-15);
  EXPECT_GT((pv.segment<3>(3) + cf.segment<3>(3)).cwiseAbs().maxCoeff(), 1 * kDegree);
  EXPECT_EQ(pv.head<3>(), cf.head<3>());
  EXPECT_EQ(position_vector_parameters(cf, RotationModel::small).segment<3>(3),
            (-cf.segment<3>(3)).eval());
}

}  // namespace
}  // namespace helmert7
