// SPDX-License-Identifier: MIT
// The weighted section of the adjustment report: absent without weights; the
// global test's verdict and meaning, and the points over the critical w, as the
// weights make them.
#include <gtest/gtest.h>

#include <string>

#include "report/report.h"

namespace helmert7 {
namespace {

// Seven points on a 1 km grid, turned a little, with millimetres of noise and a
// blunder of `blunder` in Z of the fourth point.
Network grid_network(double blunder) {
  const double sites[][3] = {{0, 0, 0},      {1000, 0, 20},    {0, 1000, -15}, {-800, 300, 40},
                             {500, -700, 5}, {-300, -600, 25}, {900, 800, -30}};
  const double noise[] = {0.002, -0.003, 0.001, -0.002, 0.003, -0.001, 0.002};
  Network network;
  network.source.resize(7, 3);
  network.target.resize(7, 3);
  for (int i = 0; i < 7; ++i) {
    network.source.row(i) << sites[i][0], sites[i][1], sites[i][2];
    network.target.row(i) << sites[i][0] + 10 - 2e-5 * sites[i][1] + noise[i],
        sites[i][1] + 2e-5 * sites[i][0] + noise[(i + 2) % 7],
        sites[i][2] + noise[(i + 4) % 7] + (i == 3 ? blunder : 0.0);
  }
  network.ave_src = network.source.colwise().mean();
  network.ave_tar = network.target.colwise().mean();
  network.centred_source = network.source.rowwise() - network.ave_src;
  network.centred_target = network.target.rowwise() - network.ave_tar;
  return network;
}

std::string section_of(const Network& network, double target_sigma, bool source_too) {
  PointPrecision precision;
  const Eigen::Matrix3d block = target_sigma * target_sigma * Eigen::Matrix3d::Identity();
  precision.target.assign(7, block);
  if (source_too) precision.source.assign(7, 0.25 * block);
  const WeightedAdjustment adjustment =
      estimate_weighted(network.centred_source, network.centred_target, precision);
  return weighted_report_section(network,
                                 assess_weighted_fit(network, adjustment, TestPoints{}));
}

TEST(WeightedReport, VerdictAndPointsOverTheCriticalValue) {
  const struct {
    double blunder, sigma;
    bool source_too;
    const char* says;
  } cases[] = {
      {0.0, 0.003, false, "target points weighted (Gauss-Newton)"},
      {0.0, 0.003, true, "errors in both systems (Gauss-Helmert)"},
      {0.0, 0.003, false, ": passed\n"},
      {0.0, 0.003, false, "points over it: none\n"},
      {0.0, 0.003, false, "### standard errors at the a priori variance factor 1\n"},
      {0.0, 0.1, false, "failed: the standard deviations are too pessimistic\n"},
      {0.08, 0.003, false,
       "failed: the standard deviations are too optimistic, or a point "
       "holds a gross error\n"},
      {0.02, 0.003, true, "points over it: 4\n"},
  };
  for (const auto& c : cases) {
    const std::string text = section_of(grid_network(c.blunder), c.sigma, c.source_too);
    EXPECT_NE(text.find(c.says), std::string::npos) << c.says << "\n" << text;
  }
  const std::string failed = section_of(grid_network(0.08), 0.003, false);
  EXPECT_EQ(failed.find("variance factor 1\n#"), std::string::npos);  // no errors at 1
}

TEST(WeightedReport, NoneWithoutWeights) {
  const Network network = grid_network(0.0);
  const Fit fit =
      assess_fit(network, estimate_parameters(network.centred_source, network.centred_target),
                 TestPoints{});
  EXPECT_EQ(weighted_report_section(network, fit), "");
}

}  // namespace
}  // namespace helmert7
