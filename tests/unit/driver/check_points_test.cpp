// SPDX-License-Identifier: MIT
// Check points: the names of --exclude taken out of the network, refused where
// they cannot be, and each misclosure against an independent fit of the other
// points, made here from the rows left and mapped by hand.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "../model/model_test_support.h"
#include "driver/steps.h"

namespace helmert7 {
namespace {

const Eigen::RowVector3d kOffset(4.1e6, 0.6e6, 4.8e6);  // a network near the Earth's surface
const double kNoise = 0.005;

ParameterVector truth() {
  ParameterVector params;
  params << 12.5, -7.25, 3.5, 2e-5, -1.5e-5, 3e-5, 4e-6;
  return params;
}

// Nine named points; the target file lists them in reverse order.
Inputs named_inputs(const std::string& exclude, double blunder = 0) {
  test::Gauss gauss(11);
  const PointMatrix source = test::random_network(9, 8000, gauss);
  const PointMatrix target =
      test::noisy_images(source, truth(), RotationModel::small, kNoise, gauss);
  Inputs inputs;
  inputs.source.path = "src.csv";
  inputs.target.path = "des.csv";
  for (Eigen::Index i = 0; i < 9; ++i) {
    inputs.source_names.push_back("P" + std::to_string(i + 1));
    inputs.target_names.push_back("P" + std::to_string(9 - i));
    for (int c = 0; c < 3; ++c) {
      inputs.source_list.push_back(source(i, c) + kOffset(c));
      inputs.target_list.push_back(target(8 - i, c) + kOffset(c) + (i == 2 && c == 2 ? blunder : 0));
    }
  }
  inputs.exclude = {exclude, "--exclude"};
  return inputs;
}

// The points of a side by name (0-based numbers of P1..P9) in the source's order.
PointMatrix rows_of(const Inputs& inputs, bool source, const std::vector<int>& numbers) {
  PointMatrix points(static_cast<Eigen::Index>(numbers.size()), 3);
  for (std::size_t k = 0; k < numbers.size(); ++k) {
    const std::size_t row = source ? numbers[k] : 8 - numbers[k];
    const auto& list = source ? inputs.source_list : inputs.target_list;
    for (int c = 0; c < 3; ++c) points(static_cast<Eigen::Index>(k), c) = list[3 * row + c];
  }
  return points;
}

struct CheckedRun {
  Network network;
  Fit fit;
};

CheckedRun run_with(Inputs& inputs, bool exact) {
  std::ostringstream out;
  Trace trace{out, true};
  Invocation invocation;
  invocation.exact_rotation = exact;
  CheckedRun checked{form_network(inputs, trace), {}};
  checked.fit = adjust(invocation, checked.network, inputs, trace);
  return checked;
}

// The fit of the kept points alone, the check points mapped by hand with it:
// ave_tar + T(p - ave_src), and their prediction errors squared.
struct Independent {
  PointMatrix misclosures, prediction_variances;
  double sigma0 = 0;
};

Independent independent_fit(const Inputs& inputs, bool exact, const std::vector<int>& kept,
                            const std::vector<int>& checked) {
  Network network;
  network.source = rows_of(inputs, true, kept);
  network.target = rows_of(inputs, false, kept);
  network.ave_src = network.source.colwise().mean();
  network.ave_tar = network.target.colwise().mean();
  network.centred_source = network.source.rowwise() - network.ave_src;
  network.centred_target = network.target.rowwise() - network.ave_tar;
  AdjustmentOptions options;
  options.model = exact ? RotationModel::exact : RotationModel::small;
  const PointMatrix check_source = rows_of(inputs, true, checked);
  const PointMatrix check_target = rows_of(inputs, false, checked);
  Fit fit;
  if (inputs.target_sigmas) {
    PointPrecision precision;
    const Eigen::Matrix3d block = inputs.target_sigmas->cwiseAbs2().asDiagonal();
    precision.target.assign(kept.size(), block);
    fit = assess_weighted_fit(network,
                              estimate_weighted(network.centred_source, network.centred_target,
                                                precision, options),
                              {check_source});
  } else {
    fit = assess_fit(network,
                     estimate_parameters(network.centred_source, network.centred_target, {},
                                         options),
                     {check_source});
  }
  Independent expected{PointMatrix(check_source.rows(), 3), PointMatrix(), fit.result.sigma0};
  for (Eigen::Index i = 0; i < check_source.rows(); ++i) {
    const Eigen::RowVector3d p = check_source.row(i) - network.ave_src;
    expected.misclosures.row(i) = network.ave_tar +
                                  transform_point(p(0), p(1), p(2), fit.result.params,
                                                  options.model) -
                                  check_target.row(i);
  }
  expected.prediction_variances =
      (fit.weighted ? fit.weighted->statistics.unit_prediction_errors
                    : fit.statistics.prediction_errors)
          .cwiseAbs2();
  return expected;
}

TEST(CheckPoints, MisclosureIsTheMappingByAFitOfTheOthers) {
  const struct {
    const char* name;
    bool exact;
    double target_sigma;  // 0: unweighted
  } cases[] = {{"small", false, 0}, {"exact", true, 0}, {"weighted small", false, 0.004},
               {"weighted exact", true, 0.004}};
  for (const auto& c : cases) {
    Inputs inputs = named_inputs(" P7 ,P3,P7");
    if (c.target_sigma > 0) inputs.target_sigmas = Eigen::Vector3d::Constant(c.target_sigma);
    const CheckedRun checked = run_with(inputs, c.exact);
    ASSERT_EQ(checked.network.checks.names, (std::vector<std::string>{"P7", "P3"})) << c.name;
    ASSERT_EQ(checked.network.source.rows(), 7) << c.name;
    const Independent expected = independent_fit(inputs, c.exact, {0, 1, 3, 4, 5, 7, 8}, {6, 2});
    const CheckPointTest& test = checked.fit.checks;
    EXPECT_LT((test.misclosures - expected.misclosures).cwiseAbs().maxCoeff(), 1e-9) << c.name;
    const double own = c.target_sigma > 0 ? c.target_sigma * c.target_sigma
                                          : expected.sigma0 * expected.sigma0;
    const PointMatrix variances = expected.prediction_variances.array() + own;
    EXPECT_LT((test.errors.cwiseAbs2() - variances).cwiseAbs().maxCoeff(), 1e-12 * variances.maxCoeff())
        << c.name;
    EXPECT_EQ(test.within, (std::vector<bool>{true, true})) << c.name;
  }
}

// A blunder of 20 cm in the height of the check point is far outside 3 s; the
// same point without it is inside, and no warning is given.
TEST(CheckPoints, ABlunderFailsTheTestWithAWarning) {
  for (const double blunder : {0.0, 0.2}) {
    Inputs inputs = named_inputs("P7", blunder);
    const CheckedRun checked = run_with(inputs, false);
    EXPECT_EQ(checked.fit.checks.within, std::vector<bool>{blunder == 0}) << blunder;
    const std::vector<std::string> warnings = check_point_warnings(checked.network, checked.fit);
    if (blunder == 0) {
      EXPECT_TRUE(warnings.empty());
    } else {
      ASSERT_EQ(warnings.size(), 1u);
      EXPECT_NE(warnings[0].find("check point 'P7' misses its target by 0.2"), std::string::npos)
          << warnings[0];
    }
  }
}

TEST(CheckPoints, RefusesNamesThatCannotBeChecked) {
  const struct {
    const char* exclude;
    bool named;
    const char* message;
  } cases[] = {
      {"P2,P10", true, "--exclude names 'P10', which is no common point of 'src.csv' and 'des.csv'"},
      {"P1,P2,P3,P4,P5,P6", true, ""},  // three left: accepted
      {"P1,P2,P3,P4,P5,P6,P7", true,
       "--exclude leaves 2 of the 9 common points in the fit: the seven parameters need at least three"},
      {"P1,,P2", true, "--exclude takes point names separated by commas, not 'P1,,P2': a name is empty"},
      {"P1", false, "only point files that both name their points pair them by name"},
  };
  for (const auto& c : cases) {
    Inputs inputs = named_inputs(c.exclude);
    if (!c.named) inputs.source_names.clear();
    std::ostringstream out;
    Trace trace{out, true};
    const std::string expected = c.message;
    try {
      const Network network = form_network(inputs, trace);
      EXPECT_EQ(expected, "") << c.exclude << " accepted";
      EXPECT_EQ(network.source.rows(), 3);
    } catch (const Failure& e) {
      EXPECT_NE(expected, "") << c.exclude << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace helmert7
