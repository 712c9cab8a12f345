// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <sstream>

#include "report/report.h"

namespace helmert7 {
namespace {

const Eigen::RowVector3d kNoShift(0, 0, 0);

CentredTransformation mapping_of(const ParameterVector& params,
                                 const Eigen::RowVector3d& ave_src = kNoShift) {
  return {params, ave_src, kNoShift};
}

TEST(ParameterReport, ClampsTinyParametersToUnsignedZero) {
  ParameterVector params;
  params << 0.0000004, -0.0000004, 1e-6, 0.0000031, -0.0, std::numeric_limits<double>::quiet_NaN(),
      -2.5;
  const std::string text =
      parameter_report_text(mapping_of(params, Eigen::RowVector3d(1e-7, -3, 0)), {});
  EXPECT_EQ(text,
            "args=0.000000,0.000000,0.000000,0.000003,0.000000,0.000000,-2.500000\n"
            "avesrc=0.000000,-3.000000,0.000000\n"
            "avetar=0.000000,0.000000,0.000000\n");
}

TEST(ParameterReport, ResidualsAreWrittenAsTheyAreNotClamped) {
  Eigen::VectorXd residuals(6);
  residuals << -0.0000004, 0, 0, 0, 0.5, 0;
  const std::string text = parameter_report_text(mapping_of(ParameterVector::Zero()), residuals);
  EXPECT_NE(text.find("\nresidual=-0.000000,0.000000,0.000000,0.000000,0.500000,0.000000\n"),
            std::string::npos)
      << text;
}

TEST(PredictionReport, RepeatsTheTextsAsGiven) {
  EXPECT_EQ(prediction_report_text({" 1, 2,3", "4,5,6 ", "7,8,9,"}, "1.000000"),
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

TEST(AdjustmentReport, WarnsOfLargeRotationsAndOfLowRedundancy) {
  constexpr double kDegree = 3.14159265358979323846 / 180.0;
  const struct {
    double angle;
    int points;
    bool small_angle_warning, redundancy_warning;
  } cases[] = {{1.0 * kDegree, 7, true, false},
               {3.0 / 3600.0 * kDegree, 7, false, false},
               {3.0 / 3600.0 * kDegree, 3, false, true}};
  for (const auto& c : cases) {
    Network network;
    rotated_network(c.angle, c.points, network.centred_source, network.centred_target);
    network.source = network.centred_source;
    network.target = network.centred_target;
    network.ave_src.setZero();
    network.ave_tar.setZero();
    const Fit fit = assess_fit(network, estimate_parameters(network.source, network.target),
                               PointMatrix(0, 3));
    const std::vector<std::string> fit_warnings_ = fit_warnings(network, fit);
    const std::string report =
        adjustment_report_text({network, fit, MappedPoints(), fit_warnings_});
    const std::string warnings = report.substr(report.find("## Warnings\n"));
    EXPECT_EQ(warnings.find("warning: the small-angle model") != std::string::npos,
              c.small_angle_warning)
        << warnings;
    EXPECT_EQ(warnings.find("warning: the redundancy is 2") != std::string::npos,
              c.redundancy_warning)
        << warnings;
  }
}

// Each condition gives its one warning, naming what to do; a sound fit gives none.
TEST(Warnings, OneLinePerConditionWithItsRemedy) {
  const struct {
    const char* condition;
    std::function<void(Fit&)> make;
    const char* expected;  // empty: no warning
  } cases[] = {
      {"sound", [](Fit&) {}, ""},
      {"large rotation", [](Fit& f) { f.statistics.small_angle_error = 0.002; },
       "the small-angle model is off by about 0.0020 m at the farthest point"},
      {"large rotation, exact model",
       [](Fit& f) {
         f.statistics.small_angle_error = 0.002;
         f.mapping.model = RotationModel::exact;
       },
       ""},
      {"mirrored", [](Fit& f) { f.result.params(6) = -1.5; }, "the scale factor 1 + m is -0.5"},
      {"scale off by 2%", [](Fit& f) { f.result.params(6) = 0.02; }, "mismatched units"},
      {"outlier",
       [](Fit& f) {
         f.statistics.outlier = 1;
         f.statistics.largest_w = 4.5;
         f.statistics.critical_value = 2.78;
       },
       "point B may hold a gross error: its standardized residual w = 4.50 exceeds tau = 2.78"},
      {"weak geometry", [](Fit& f) { f.statistics.rotation_error = 2e-4; },
       "the rotation is poorly determined (standard error 2e-04 rad)"},
      {"redundancy 2", [](Fit& f) { f.statistics.redundancy = 2; }, "the redundancy is 2, below 3"},
  };
  Network network;
  network.names = {"A", "B", "C"};
  for (const auto& c : cases) {
    Fit fit;
    fit.result.params = ParameterVector::Zero();
    fit.statistics.redundancy = 17;
    c.make(fit);
    const std::vector<std::string> warnings = fit_warnings(network, fit);
    if (std::string(c.expected).empty()) {
      EXPECT_TRUE(warnings.empty()) << c.condition << ": " << warnings.front();
    } else {
      ASSERT_EQ(warnings.size(), 1u) << c.condition;
      EXPECT_NE(warnings[0].find(c.expected), std::string::npos) << warnings[0];
    }
  }
}

}  // namespace
}  // namespace helmert7
