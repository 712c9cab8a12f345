// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "driver/driver.h"

namespace helmert7 {
namespace {

const Eigen::RowVector3d kNoShift(0, 0, 0);

TEST(ParameterReport, ClampsTinyParametersToUnsignedZero) {
  ParameterVector params;
  params << 0.0000004, -0.0000004, 1e-6, 0.0000031, -0.0, std::numeric_limits<double>::quiet_NaN(),
      -2.5;
  const std::string text =
      parameter_report_text(params, Eigen::RowVector3d(1e-7, -3, 0), kNoShift, {}, {1});
  EXPECT_EQ(text,
            "args=0.000000,0.000000,0.000000,0.000003,0.000000,0.000000,-2.500000\n"
            "avesrc=0.000000,-3.000000,0.000000\n"
            "avetar=0.000000,0.000000,0.000000\n");
}

TEST(ParameterReport, ResidualsAreMappedSourceMinusTargetAndNotClamped) {
  ParameterVector params = ParameterVector::Zero();
  params(0) = 1.0;  // tx
  const CoordinateList source = {0, 0, 0, 10, 20, 30};
  const CoordinateList target = {1.0000004, 0, 0, 11, 19.5, 30};
  const std::string text = parameter_report_text(params, kNoShift, kNoShift, source, target);
  EXPECT_NE(text.find("\nresidual=-0.000000,0.000000,0.000000,0.000000,0.500000,0.000000\n"),
            std::string::npos)
      << text;
}

TEST(ParameterReport, NoResidualLineWhenTheListsDifferInLength) {
  const CoordinateList source(12, 1.0), target(13, 1.0);
  const std::string text =
      parameter_report_text(ParameterVector::Zero(), kNoShift, kNoShift, source, target);
  EXPECT_EQ(text.find("residual="), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
}

TEST(MapPoints, CentresMapsAndShiftsWholeTriplesOnly) {
  ParameterVector params = ParameterVector::Zero();
  params(6) = 1.0;  // scale factor 2
  const std::vector<double> mapped =
      map_points({11, 12, 13, 99, 98}, Eigen::RowVector3d(10, 10, 10),
                 Eigen::RowVector3d(100, 200, 300), params);
  EXPECT_EQ(mapped, (std::vector<double>{102, 204, 306}));
}

TEST(MapPoints, RefusesNonFiniteResults) {
  EXPECT_THROW(map_points({std::numeric_limits<double>::quiet_NaN(), 0, 0}, kNoShift, kNoShift,
                          ParameterVector::Zero()),
               NumericError);
  ParameterVector huge_scale = ParameterVector::Zero();
  huge_scale(6) = 1.0;
  EXPECT_THROW(map_points({1.5e308, 0, 0}, kNoShift, kNoShift, huge_scale), NumericError);
}

TEST(PredictionReport, RepeatsTheTextsAsGiven) {
  EXPECT_EQ(prediction_report_text(" 1, 2,3", "4,5,6 ", "7,8,9,", "1.000000"),
            "src= 1, 2,3\ndes=4,5,6 \ntest=7,8,9,\noutput=1.000000\n");
}

// Points over 1 km rotated about Z by `angle` radians (exactly, not in the small-
// angle form), centred; the first `count` of them.
void rotated_network(double angle, int count, PointMatrix& source, PointMatrix& target) {
  const double sites[][3] = {{0, 0, 0},      {1000, 0, 20},    {0, 1000, -15}, {-800, 300, 40},
                             {500, -700, 5}, {-300, -600, 25}, {900, 800, -30}};
  source.resize(count, 3);
  for (int i = 0; i < count; ++i) source.row(i) << sites[i][0], sites[i][1], sites[i][2];
  source = source.rowwise() - source.colwise().mean();
  target.resize(count, 3);
  for (int i = 0; i < count; ++i) {
    target.row(i) << std::cos(angle) * source(i, 0) + std::sin(angle) * source(i, 1),
        -std::sin(angle) * source(i, 0) + std::cos(angle) * source(i, 1), source(i, 2);
  }
  target = target.rowwise() - target.colwise().mean();
}

TEST(AdjustmentReport, WarnsOfLargeRotationsAndOfLowRedundancyOnly) {
  constexpr double kDegree = 3.14159265358979323846 / 180.0;
  const struct {
    double angle;
    int points;
    bool small_angle_warning, redundancy_warning;
  } cases[] = {{1.0 * kDegree, 7, true, false},
               {3.0 / 3600.0 * kDegree, 7, false, false},
               {3.0 / 3600.0 * kDegree, 3, false, true}};
  for (const auto& c : cases) {
    PointMatrix source, target;
    rotated_network(c.angle, c.points, source, target);
    const AdjustmentResult result = estimate_parameters(source, target);
    const std::string report =
        adjustment_report_text(source, target, result, kNoShift, kNoShift, {}, {});
    const std::string warnings = report.substr(report.find("## Warnings\n"));
    EXPECT_EQ(warnings.find("warning: the small-angle model") != std::string::npos,
              c.small_angle_warning)
        << warnings;
    EXPECT_EQ(warnings.find("warning: the redundancy is 2") != std::string::npos,
              c.redundancy_warning)
        << warnings;
    if (!c.small_angle_warning && !c.redundancy_warning) {
      EXPECT_EQ(warnings, "## Warnings\nnone\n");
    }
  }
}

}  // namespace
}  // namespace helmert7
