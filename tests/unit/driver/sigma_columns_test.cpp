// SPDX-License-Identifier: MIT
// Standard deviations from point files' columns: a run whose files give in every
// line what --srcsigma and --dessigma would give writes the same output and
// report byte for byte, in geocentric and geodetic forms; points are weighted by
// name, whatever the target file's order; and a side given both ways, or sn, se, su
// for geocentric points, is refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "../test_support.h"
#include "driver/driver.h"
#include "geodesy/geodesy.h"

namespace helmert7 {
namespace {

const char* const kNames[] = {"A", "B", "C", "D", "E", "F"};
// Geocentric source points (metres) and the target's geodetic latitude, longitude
// (degrees) and height, near 47.3 N 8.6 E; the target is the source shifted and
// disturbed by millimetres.
const double kLatLonH[6][3] = {{47.30, 8.60, 420.0},  {47.31, 8.60, 455.2},
                               {47.30, 8.62, 431.7},  {47.315, 8.615, 610.4},
                               {47.305, 8.63, 398.1}, {47.295, 8.61, 502.9}};
const double kNoise[6][3] = {{0.004, -0.002, 0.001}, {-0.003, 0.002, 0.005},
                             {0.001, 0.003, -0.004}, {-0.002, -0.001, 0.002},
                             {0.003, 0.001, -0.003}, {0.0, -0.004, 0.002}};

std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// The points as lines "name x y z", the target's shifted and disturbed, in the
// order given, each followed by its line's `columns` when given.
std::string point_file(bool target, bool geodetic, const std::vector<int>& order,
                       const std::string& header = "",
                       const std::vector<std::string>& columns = {}) {
  const geodesy::Ellipsoid grs80 = geodesy::parse_form("geodetic:grs80").ellipsoid;
  std::string text = header.empty() ? "" : header + "\n";
  for (const int i : order) {
    const auto& p = kLatLonH[i];
    Eigen::Vector3d xyz = geodesy::geocentric_from_geodetic(grs80, {p[0], p[1], p[2]});
    std::string line = std::string(kNames[i]);
    if (target && geodetic) {
      line += " " + number(p[0] + kNoise[i][0] * 1e-5) + " " + number(p[1] + kNoise[i][1] * 1e-5) +
              " " + number(p[2] - 30 + kNoise[i][2]);
    } else {
      if (target)
        xyz += Eigen::Vector3d(12.5 + kNoise[i][0], -7.25 + kNoise[i][1], 3 + kNoise[i][2]);
      for (int k = 0; k < 3; ++k) line += " " + number(xyz(k));
    }
    text += line + (columns.empty() ? "" : " " + columns[static_cast<std::size_t>(i)]) + "\n";
  }
  return text;
}

struct Finished {
  int status;
  std::string output, report, err;
};

Finished run_with(const test::ScratchDir& dir, const std::string& source, const std::string& target,
                  std::vector<std::string> options) {
  test::write_bytes(dir.path("src.txt"), source);
  test::write_bytes(dir.path("des.txt"), target);
  std::vector<std::string> args = {"helmert7",
                                   "--inputsrc",
                                   "@" + dir.path("src.txt"),
                                   "--inputdes",
                                   "@" + dir.path("des.txt"),
                                   "--outfile",
                                   dir.path("out.txt"),
                                   "--reportfile",
                                   dir.path("report.txt")};
  args.insert(args.end(), options.begin(), options.end());
  std::ostringstream out, err;
  const int status = run(args, out, err);
  if (status != kExitSuccess) return {status, "", "", err.str()};
  return {status, test::read_bytes(dir.path("out.txt")), test::read_bytes(dir.path("report.txt")),
          err.str()};
}

const std::vector<int> kInOrder = {0, 1, 2, 3, 4, 5};

TEST(SigmaColumnRuns, AFilesColumnsWeighAsTheOptionDoes) {
  const std::vector<std::string> same(6, "0.003"), axes(6, "0.002 0.004 0.007");
  const struct {
    const char* rule;
    bool geodetic;
    bool source_columns;  // else the target's
    std::string header;
    std::vector<std::string> columns;
    std::vector<std::string> options;  // weighing as the columns do
    std::vector<std::string> forms;
  } cases[] = {
      {"sigma", false, false, "name x y z sigma", same, {"--dessigma", "0.003"}, {}},
      {"sx sy sz",
       false,
       false,
       "name x y z sx sy sz",
       axes,
       {"--dessigma", "0.002,0.004,0.007"},
       {}},
      {"sn se su, geodetic",
       true,
       false,
       "name lat lon h sn se su",
       axes,
       {"--dessigma", "0.002,0.004,0.007"},
       {"--descoords", "geodetic:grs80"}},
      {"sigma, geodetic",
       true,
       false,
       "name lat lon h sigma",
       same,
       {"--dessigma", "0.003"},
       {"--descoords", "geodetic:grs80"}},
      {"source sx sy sz",
       false,
       true,
       "name x y z sx sy sz",
       axes,
       {"--srcsigma", "0.002,0.004,0.007"},
       {"--dessigma", "0.005"}},
  };
  for (const auto& c : cases) {
    test::ScratchDir columns_dir, options_dir;
    const std::string plain_source = point_file(false, c.geodetic, kInOrder);
    const std::string plain_target = point_file(true, c.geodetic, kInOrder);
    const std::string source = c.source_columns
                                   ? point_file(false, c.geodetic, kInOrder, c.header, c.columns)
                                   : plain_source;
    const std::string target = c.source_columns
                                   ? plain_target
                                   : point_file(true, c.geodetic, kInOrder, c.header, c.columns);
    const Finished by_columns = run_with(columns_dir, source, target, c.forms);
    std::vector<std::string> options = c.forms;
    options.insert(options.end(), c.options.begin(), c.options.end());
    const Finished by_options = run_with(options_dir, plain_source, plain_target, options);
    ASSERT_EQ(by_columns.status, kExitSuccess) << c.rule << ": " << by_columns.err;
    ASSERT_EQ(by_options.status, kExitSuccess) << c.rule << ": " << by_options.err;
    EXPECT_NE(by_columns.report.find("## Weighted adjustment"), std::string::npos) << c.rule;
    EXPECT_EQ(by_columns.output, by_options.output) << c.rule;
    EXPECT_EQ(by_columns.report, by_options.report) << c.rule;
    EXPECT_EQ(by_columns.err, by_options.err) << c.rule;
  }
}

// Each target point keeps its own standard deviation by its name: a target file in
// another order with a point the source lacks weighs as one in the source's order,
// and unequal values do weigh.
TEST(SigmaColumnRuns, PointsAreWeightedByName) {
  const std::vector<std::string> sigmas = {"0.001", "0.02", "0.003", "0.05", "0.002", "0.009"};
  const std::vector<int> five = {0, 1, 2, 3, 4};
  test::ScratchDir a, b, c;
  const std::string source = point_file(false, false, five);
  const Finished in_order =
      run_with(a, source, point_file(true, false, kInOrder, "name x y z sigma", sigmas), {});
  const Finished reordered = run_with(
      b, source, point_file(true, false, {5, 3, 1, 4, 0, 2}, "name x y z sigma", sigmas), {});
  const Finished equal =
      run_with(c, source, point_file(true, false, kInOrder), {"--dessigma", "0.003"});
  ASSERT_EQ(in_order.status, kExitSuccess) << in_order.err;
  ASSERT_EQ(reordered.status, kExitSuccess) << reordered.err;
  EXPECT_EQ(in_order.output, reordered.output);
  EXPECT_NE(in_order.output.substr(0, in_order.output.find('\n')),
            equal.output.substr(0, equal.output.find('\n')));
}

TEST(SigmaColumnRuns, RefusesASideGivenTwiceAndLocalAxesForGeocentricPoints) {
  const std::vector<std::string> same(6, "0.003");
  const struct {
    bool source_columns;
    const char* header;
    std::vector<std::string> options;
    const char* message;
  } cases[] = {
      {false,
       "name x y z sigma",
       {"--dessigma", "0.003"},
       "gives standard deviations in its columns sigma, and --dessigma gives them too: give a "
       "side's once"},
      {true,
       "name x y z sigma",
       {"--srcsigma", "0.003", "--dessigma", "0.003"},
       "gives standard deviations in its columns sigma, and --srcsigma gives them too"},
      {false,
       "name x y z sn se su",
       {},
       "gives standard deviations in its columns sn, se, su, along north, east and up, but its "
       "points are geocentric x, y, z"},
      {true, "name x y z sigma", {}, "the source points' standard deviations (the columns of '"},
  };
  for (const auto& c : cases) {
    test::ScratchDir dir;
    const std::vector<std::string> columns = std::string(c.header).find("sn") != std::string::npos
                                                 ? std::vector<std::string>(6, "1 1 1")
                                                 : same;
    const std::string source = point_file(false, false, kInOrder, c.source_columns ? c.header : "",
                                          c.source_columns ? columns : std::vector<std::string>{});
    const std::string target = point_file(true, false, kInOrder, c.source_columns ? "" : c.header,
                                          c.source_columns ? std::vector<std::string>{} : columns);
    const Finished refused = run_with(dir, source, target, c.options);
    EXPECT_EQ(refused.status, kExitFailure) << c.message;
    EXPECT_NE(refused.err.find(c.message), std::string::npos) << refused.err;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"des.txt", "src.txt"})) << c.message;
  }
}

}  // namespace
}  // namespace helmert7
