// SPDX-License-Identifier: MIT
// The exact rotation against independent truth: PROJ's cct on fixed points, central
// differences for its derivative, parameters recovered from points made with them
// at any angle, and the position-vector angles through the transposed matrix.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "../test_support.h"
#include "model/model.h"
#include "model_test_support.h"

namespace helmert7 {
namespace {

using test::kArcSecond;
constexpr double kDegree = 3600 * kArcSecond;
constexpr double kEpsilon = std::numeric_limits<double>::epsilon();

ParameterVector params_of(double tx, double ty, double tz, double ex, double ey, double ez,
                          double m) {
  ParameterVector p;
  p << tx, ty, tz, ex, ey, ez, m;
  return p;
}

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

TEST(ExactRotation, DesignBlockMatchesCentralDifferences) {
  const Eigen::Vector3d point(4200.5, -1730.25, 880.0);
  for (const ParameterVector& at :
       {params_of(0.3, -0.2, 0.1, 1e-5, -2e-5, 3e-5, 4e-6),
        params_of(10, 20, 30, 30 * kDegree, -50 * kDegree, 170 * kDegree, -0.2)}) {
    const Eigen::Matrix<double, 3, 7> block = exact_design_block(point, at);
    for (int j = 0; j < 7; ++j) {
      const double step = j < 3 ? 1e-3 : 1e-7;
      ParameterVector up = at, down = at;
      up(j) += step;
      down(j) -= step;
      const Eigen::Vector3d difference =
          (exact_transform_point(point, up) - exact_transform_point(point, down)).transpose() /
          (2 * step);
      EXPECT_LT((block.col(j) - difference).norm(), 1e-6 * (1 + difference.norm())) << j;
    }
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
