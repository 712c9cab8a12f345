// SPDX-License-Identifier: MIT
// The point transformation, its design matrix and the misclosure vector.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "../test_support.h"
#include "model/model.h"
#include "model_test_support.h"

namespace helmert7 {
namespace {

using test::design_matrix;
using test::misclosure_vector;

using test::kArcSecond;

using test::params_of;

// Realistic small parameters: metres, arc-seconds, ppm.
ParameterVector realistic_params() {
  return params_of(12.5, -7.25, 3.75, 1.8 * kArcSecond, -2.6 * kArcSecond, 3.3 * kArcSecond,
                   4.7e-6);
}

TEST(TransformPoint, ZeroParametersAreTheIdentity) {
  const Eigen::RowVector3d p = transform_point(-81234.5, 45678.25, 3.0e4, ParameterVector::Zero());
  EXPECT_EQ(p, Eigen::RowVector3d(-81234.5, 45678.25, 3.0e4));
}

TEST(TransformPoint, ScaleMinusOneCollapsesEveryPointOntoTheTranslation) {
  const ParameterVector p = params_of(1.5, -2.5, 4.0, 1e-5, 2e-5, -3e-5, -1.0);
  EXPECT_EQ(transform_point(1e5, -2e5, 3e5, p), Eigen::RowVector3d(1.5, -2.5, 4.0));
}

// Fixes the coordinate-frame sign convention of each angle.
TEST(TransformPoint, SingleAnglesFollowTheCoordinateFrameConvention) {
  const double a = 0.001;
  const ParameterVector ex = params_of(0, 0, 0, a, 0, 0, 0);
  const ParameterVector ey = params_of(0, 0, 0, 0, a, 0, 0);
  const ParameterVector ez = params_of(0, 0, 0, 0, 0, a, 0);
  EXPECT_EQ(transform_point(1, 0, 0, ez), Eigen::RowVector3d(1, -a, 0));
  EXPECT_EQ(transform_point(0, 1, 0, ez), Eigen::RowVector3d(a, 1, 0));
  EXPECT_EQ(transform_point(0, 1, 0, ex), Eigen::RowVector3d(0, 1, -a));
  EXPECT_EQ(transform_point(0, 0, 1, ex), Eigen::RowVector3d(0, a, 1));
  EXPECT_EQ(transform_point(1, 0, 0, ey), Eigen::RowVector3d(1, 0, a));
  EXPECT_EQ(transform_point(0, 0, 1, ey), Eigen::RowVector3d(-a, 0, 1));
}

TEST(TransformPoint, ScaleAppliesBeforeTheTranslation) {
  // Dyadic values, so every product is exact.
  const ParameterVector p = params_of(10, 20, 30, 0, 0, 0, 0.25);
  EXPECT_EQ(transform_point(4, -8, 16, p), Eigen::RowVector3d(15, 10, 50));
}

TEST(TransformPoint, NanInXReachesEveryCoordinate) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Eigen::RowVector3d p = transform_point(nan, 1, 2, ParameterVector::Zero());
  EXPECT_TRUE(std::isnan(p(0)) && std::isnan(p(1)) && std::isnan(p(2)));
}

// Every entry against a central difference. The model is affine in each single
// parameter, so the difference is exact but for rounding: the bound is a few ulps
// of the transformed coordinate divided by the actual step.
TEST(DesignBlock, MatchesCentralDifferencesOfTheModel) {
  const ParameterVector p = realistic_params();
  const double steps[7] = {0.5, 0.5, 0.5, 1e-5, 1e-5, 1e-5, 1e-5};
  const double points[3][3] = {
      {83125.7, -41210.3, 61877.9}, {-5021.4, 99876.2, -73311.8}, {0.0, 0.0, 0.0}};
  for (const auto& pt : points) {
    const Eigen::Matrix<double, 3, 7> block = design_block(pt[0], pt[1], pt[2], p);
    for (int j = 0; j < 7; ++j) {
      ParameterVector up = p, down = p;
      up(j) += steps[j];
      down(j) -= steps[j];
      const double step = up(j) - down(j);
      const Eigen::RowVector3d f_up = transform_point(pt[0], pt[1], pt[2], up);
      const Eigen::RowVector3d f_down = transform_point(pt[0], pt[1], pt[2], down);
      const Eigen::RowVector3d difference = (f_up - f_down) / step;
      const double ulps = std::numeric_limits<double>::epsilon() *
                          std::max(f_up.cwiseAbs().maxCoeff(), f_down.cwiseAbs().maxCoeff());
      for (int row = 0; row < 3; ++row)
        EXPECT_NEAR(block(row, j), difference(row), 8 * ulps / step)
            << "row " << row << ", column " << j << ", point x = " << pt[0];
    }
  }
}

// With small dyadic inputs every operation is exact, so a unit step of the
// (affine) model reproduces each entry exactly, however large the step.
TEST(DesignBlock, UnitDifferencesAreExactForDyadicInputs) {
  const ParameterVector p = params_of(3, -5, 7, 0.125, -0.375, 0.0625, 0.5);
  const double x = 6, y = -10, z = 12;
  const Eigen::Matrix<double, 3, 7> block = design_block(x, y, z, p);
  for (int j = 0; j < 7; ++j) {
    ParameterVector up = p, down = p;
    up(j) += 1;
    down(j) -= 1;
    const Eigen::RowVector3d difference =
        (transform_point(x, y, z, up) - transform_point(x, y, z, down)) / 2;
    EXPECT_EQ(block.col(j).transpose(), difference) << "column " << j;
  }
}

// The scale column holds the inner brackets of the model and the rotation entries
// carry k = 1 + m, all in the model's order of operations: bit-for-bit agreement.
TEST(DesignBlock, AgreesBitwiseWithTheModel) {
  const ParameterVector p = realistic_params();
  const double x = 83125.712345, y = -41210.398765, z = 61877.954321;
  const Eigen::Matrix<double, 3, 7> block = design_block(x, y, z, p);
  const Eigen::RowVector3d model = transform_point(x, y, z, p);
  const double k = 1.0 + p(6);
  for (int row = 0; row < 3; ++row)
    EXPECT_EQ(model(row), (1.0 + p(6)) * block(row, 6) + p(row)) << "row " << row;
  EXPECT_EQ(block(0, 4), -k * z);
  EXPECT_EQ(block(0, 5), k * y);
  EXPECT_EQ(block(1, 3), k * z);
  EXPECT_EQ(block(1, 5), -k * x);
  EXPECT_EQ(block(2, 3), -k * y);
  EXPECT_EQ(block(2, 4), k * x);
  EXPECT_EQ(block(0, 3), 0.0);
  EXPECT_EQ(block(1, 4), 0.0);
  EXPECT_EQ(block(2, 5), 0.0);
  EXPECT_EQ(block.leftCols<3>(), Eigen::Matrix3d::Identity());
}

TEST(DesignMatrix, StacksTheBlocksPointByPoint) {
  const ParameterVector p = realistic_params();
  PointMatrix points(3, 3);
  points << 1e4, 2e4, -3e4, 0, 0, 0, -5e4, 7e3, 9e4;
  const Eigen::MatrixXd design = design_matrix(points, p);
  ASSERT_EQ(design.rows(), 9);
  ASSERT_EQ(design.cols(), 7);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Eigen::MatrixXd(design.middleRows(3 * i, 3)),
              Eigen::MatrixXd(design_block(points(i, 0), points(i, 1), points(i, 2), p)));
  // A point at the centroid constrains only the translations.
  EXPECT_TRUE(design.block(3, 3, 3, 4).isZero(0));

  EXPECT_EQ(design_matrix(PointMatrix(0, 3), p).size(), 0);
}

TEST(MisclosureVector, IsTargetMinusModelInterleavedPerPoint) {
  PointMatrix source(2, 3), target(3, 3);
  source << 1, 2, 3, 4, 5, 6;
  target << 10, 20, 30, 40, 50, 60, 7, 8, 9;  // the third row has no source point
  Eigen::VectorXd expected(6);
  expected << 9, 18, 27, 36, 45, 54;
  EXPECT_EQ(misclosure_vector(source, target, ParameterVector::Zero()), expected);

  // With parameters: target minus the transformed point, never the reverse.
  const ParameterVector p = params_of(1, 0, 0, 0, 0, 0, 0);
  expected << 8, 18, 27, 35, 45, 54;
  EXPECT_EQ(misclosure_vector(source, target, p), expected);

  EXPECT_EQ(misclosure_vector(PointMatrix(0, 3), target, p).size(), 0);
}

TEST(MisclosureVector, RefusesATargetWithFewerPoints) {
  const PointMatrix source = PointMatrix::Zero(3, 3);
  const PointMatrix target = PointMatrix::Zero(2, 3);
  try {
    misclosure_vector(source, target, ParameterVector::Zero());
    FAIL() << "expected NumericError";
  } catch (const NumericError& e) {
    EXPECT_NE(std::string(e.what()).find("target set has 2 points"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("source set has 3"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace helmert7
