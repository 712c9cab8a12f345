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

// Each condition gives its one warning, naming what to do; a sound fit gives none.
TEST(Warnings, OneLinePerConditionWithItsRemedy) {
  const struct {
    const char* condition;
    std::function<void(Fit&)> make;
    const char* expected;  // empty: no warning
  } cases[] = {
      {"sound", [](Fit&) {}, ""},
      {"small-angle error 10 times the noise",
       [](Fit& f) { f.assessment.model_error = 0.05; },
       "the small-angle model maps the points up to 0.05 coordinate units from the exact "
       "similarity, 10.0 times the noise"},
      {"small-angle error at a test point",
       [](Fit& f) { f.assessment.test_model_error = 0.05; }, "10.0 times the noise"},
      {"small-angle error 1.5 times the noise", [](Fit& f) { f.assessment.model_error = 0.0075; },
       ""},
      {"small-angle error, but the small model fits better",
       [](Fit& f) {
         f.assessment.model_error = 0.05;
         f.assessment.small_model_worse = false;
       },
       ""},
      {"small-angle error, exact model",
       [](Fit& f) {
         f.assessment.model_error = 0.05;
         f.mapping.model = RotationModel::exact;
       },
       ""},
      {"mirrored", [](Fit& f) { f.result.params(6) = -1.5; },
       "the scale factor 1 + m is -0.5 (m = -1500000 ppm): mirrored coordinates"},
      {"a genuine 5% scale", [](Fit& f) { f.result.params(6) = 0.05; },
       "the scale factor 1 + m is 1.05 (m = 50000 ppm): check that the source and target"},
      {"millimetres", [](Fit& f) { f.result.params(6) = 999.2; },
       "near 1000: the units may differ (the source in metres and the target in millimetres)"},
      {"feet", [](Fit& f) { f.result.params(6) = 0.3048 - 1; },
       "near 0.3048: the units may differ (the source in feet and the target in metres)"},
      {"one outlier",
       [](Fit& f) {
         f.statistics.outliers = {1};
         f.statistics.largest_w = 4.5;
         f.statistics.critical_value = 2.78;
       },
       "point B may hold a gross error: standardized residuals up to w = 4.50 exceed tau = 2.78"},
      {"two outliers, one with an escape in its name",
       [](Fit& f) {
         f.statistics.outliers = {1, 2};
         f.statistics.largest_w = 4.5;
         f.statistics.critical_value = 2.78;
       },
       "points B, C\\x1B[2J may hold gross errors"},
      {"nearly collinear",
       [](Fit& f) {
         f.statistics.rotation_error = 2e-4;
         f.assessment.spreads << 500, 3, 1;
         f.assessment.weakest_axis << 1, 0, 0;
       },
       "the rotation about the axis (1.00, 0.00, 0.00) is poorly determined (standard error "
       "2e-04 rad): the common points are nearly collinear (spread 500.0, 3.0 and 1.0"},
      {"nearly coplanar",
       [](Fit& f) {
         f.statistics.rotation_error = 2e-4;
         f.assessment.spreads << 1655, 434, 25;
       },
       "the common points are nearly coplanar (spread 1655.0, 434.0 and 25.0 coordinate units"},
      {"redundancy 2", [](Fit& f) { f.statistics.redundancy = 2; }, "the redundancy is 2, below 3"},
  };
  Network network;
  network.names = {"A", "B", "C\x1B[2J"};
  for (const auto& c : cases) {
    Fit fit;
    fit.result.params = ParameterVector::Zero();
    fit.statistics.redundancy = 17;
    fit.assessment.exact_sigma0 = 0.005;
    fit.assessment.small_model_worse = true;
    c.make(fit);
    const std::vector<std::string> warnings = fit_warnings(network, fit, MappedPoints());
    if (std::string(c.expected).empty()) {
      EXPECT_TRUE(warnings.empty()) << c.condition << ": " << warnings.front();
    } else {
      ASSERT_EQ(warnings.size(), 1u) << c.condition;
      EXPECT_NE(warnings[0].find(c.expected), std::string::npos) << warnings[0];
    }
  }
}

// Streamed test points count in the small-angle check through their own error.
TEST(Warnings, StreamedTestPointsCountInTheSmallAngleCheck) {
  Network network;
  Fit fit;
  fit.result.params = ParameterVector::Zero();
  fit.statistics.redundancy = 17;
  fit.assessment.exact_sigma0 = 0.005;
  fit.assessment.small_model_worse = true;
  MappedPoints streamed;
  EXPECT_TRUE(fit_warnings(network, fit, streamed).empty());
  streamed.model_error = 0.5;
  streamed.farthest = 9000;
  const std::vector<std::string> warnings = fit_warnings(network, fit, streamed);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("points up to 9000 coordinate units from the centroid"),
            std::string::npos)
      << warnings[0];
}

// A network of `count` points on a 1 km grid, its image shifted and turned a little,
// with `noise` on the target's coordinates taken in turn from `offsets`.
Network small_network(int count, double noise) {
  const double sites[][3] = {{0, 0, 0},      {1000, 0, 20},    {0, 1000, -15}, {-800, 300, 40},
                             {500, -700, 5}, {-300, -600, 25}, {900, 800, -30}};
  const double offsets[] = {1, -2, 1.5, -0.5, 2, -1, 0.7};
  Network network;
  network.source.resize(count, 3);
  network.target.resize(count, 3);
  for (int i = 0; i < count; ++i) {
    network.source.row(i) << sites[i][0], sites[i][1], sites[i][2];
    network.target.row(i) << sites[i][0] + 10 - 2e-5 * sites[i][1],
        sites[i][1] + 2e-5 * sites[i][0] + noise * offsets[i], sites[i][2] + noise * offsets[(i + 3) % 7];
  }
  network.ave_src = network.source.colwise().mean();
  network.ave_tar = network.target.colwise().mean();
  network.centred_source = network.source.rowwise() - network.ave_src;
  network.centred_target = network.target.rowwise() - network.ave_tar;
  return network;
}

std::string report_of(const Network& network, const MappedPoints& points) {
  const Fit fit =
      assess_fit(network, estimate_parameters(network.centred_source, network.centred_target),
                 TestPoints{});
  const std::vector<std::string> warnings = fit_warnings(network, fit, points);
  const geodesy::CoordinateForms xyz;
  return adjustment_report_text({network, fit, points, warnings, xyz});
}

// What the outlier line says: rounding, a test that can find one point only, or the test.
TEST(AdjustmentReport, SaysWhatTheOutlierTestCanFind) {
  const struct {
    int points;
    double noise;
    const char* says;
    bool low_redundancy_note;
  } cases[] = {
      {7, 0.0, "the points fit to rounding (sigma0 ", false},
      {4, 0.003, "critical value tau = ", true},
      {7, 0.003, "critical value tau = ", false},
  };
  for (const auto& c : cases) {
    const std::string report = report_of(small_network(c.points, c.noise), MappedPoints());
    EXPECT_NE(report.find(c.says), std::string::npos) << report;
    EXPECT_EQ(report.find("the test can single out at most one point") != std::string::npos,
              c.low_redundancy_note)
        << report;
    EXPECT_EQ(report.find(" wx wy wz") != std::string::npos, c.noise > 0) << report;
  }
}

TEST(AdjustmentReport, StreamedPointsGiveTheSpreadOfTheirErrors) {
  MappedPoints streamed;
  streamed.asked = streamed.streamed = true;
  streamed.count = 3;
  streamed.output_path = "mapped.txt";
  streamed.errors = spread_of({0.0125f, 0.5f, 0.25f});
  streamed.worst_name = "T7\x1B";
  const std::string report = report_of(small_network(7, 0.003), streamed);
  EXPECT_NE(report.find("3 points mapped into the output file 'mapped.txt'\n3-D standard errors "
                        "sqrt(sX^2 + sY^2 + sZ^2) of the mapped points: largest 0.5000 (point 2 "
                        "of the file, named T7\\x1B), median 0.2500, smallest 0.0125\n"),
            std::string::npos)
      << report;
}

}  // namespace
}  // namespace helmert7
