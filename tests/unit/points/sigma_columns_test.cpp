// SPDX-License-Identifier: MIT
// Standard deviations in a point file's columns: the header's names found in any
// case and separator, each point's three values in file order, other named columns
// left as trailing fields, and each refusal with its FILE:LINE message.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "points/points.h"
#include "point_file_support.h"

namespace helmert7 {
namespace {

using test::failure_of;
using test::read_text;

TEST(SigmaColumns, ReadsEachPointsValuesInFileOrder) {
  const struct {
    const char* rule;
    std::string text;
    SigmaAxes axes;
    std::vector<double> values;
  } cases[] = {
      {"sigma",
       "name x y z sigma\nA 1 2 3 0.005\nB 4 5 6 0.01\n",
       SigmaAxes::all,
       {0.005, 0.005, 0.005, 0.01, 0.01, 0.01}},
      {"sx sy sz, out of order",
       "name,x,y,z,sz,sx,sy\nA,1,2,3,0.3,0.1,0.2\n",
       SigmaAxes::cartesian,
       {0.1, 0.2, 0.3}},
      {"sn se su, semicolons",
       "Point;N;E;H;SN;SE;SU\nA;1;2;3;0.003;0.004;0.008\n",
       SigmaAxes::north_east_up,
       {0.003, 0.004, 0.008}},
      {"any case", "name x y z Sigma\nA 1 2 3 2e-3\n", SigmaAxes::all, {0.002, 0.002, 0.002}},
      {"other columns stay trailing fields",
       "name x y z code sigma remark\nA 1 2 3 7 0.5 pillar\n",
       SigmaAxes::all,
       {0.5, 0.5, 0.5}},
      {"byte-order mark, comments",
       "\xEF\xBB\xBF# survey\nname,x,y,z,sigma\n# c\nA,1,2,3,1\n",
       SigmaAxes::all,
       {1, 1, 1}},
      {"no sigma column", "name x y z sigmas\nA 1 2 3 5\n", SigmaAxes::none, {}},
      {"no header", "A 1 2 3 0.5\n", SigmaAxes::none, {}},
      {"header of three fields", "x y z\n1 2 3\n", SigmaAxes::none, {}},
  };
  for (const auto& c : cases) {
    const PointFile file = read_text(c.text);
    EXPECT_EQ(file.sigmas.axes, c.axes) << c.rule;
    EXPECT_EQ(file.sigmas.values, c.values) << c.rule;
    EXPECT_EQ(file.coordinates.size(), file.lines.size() * 3) << c.rule;
  }
}

TEST(SigmaColumns, ValuesSurviveLinesAcrossBlocks) {
  std::string text = "name x y z sx sy sz\n";
  std::vector<double> expected;
  for (int i = 1; i <= 50; ++i) {
    text += "P" + std::to_string(i) + " 1 2 3 " + std::to_string(i) + " " +
            std::to_string(i + 100) + " " + std::to_string(i + 200) + "\n";
    expected.insert(expected.end(), {double(i), double(i + 100), double(i + 200)});
  }
  EXPECT_EQ(read_text(text, 7).sigmas.values, expected);
}

TEST(SigmaColumns, RefusesWithFileAndLine) {
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {"name x y z sigma\nA 1 2 3 0\n",
       "pts.csv:2: '0' is no standard deviation (sigma): it must be a positive, finite number of "
       "metres"},
      {"name x y z sigma\nA 1 2 3 1\nB 4 5 6 -0.1\n",
       "pts.csv:3: '-0.1' is no standard deviation (sigma): it must be a positive, finite number "
       "of metres"},
      {"name x y z sigma\nA 1 2 3 inf\n",
       "pts.csv:2: 'inf' is no standard deviation (sigma): it must be a positive, finite number of "
       "metres"},
      {"name x y z sx sy sz\nA 1 2 3 1 nan 1\n",
       "pts.csv:2: 'nan' is no standard deviation (sy): it must be a positive, finite number of "
       "metres"},
      {"name x y z sx sy sz\nA 1 2 3 1 1 1e999\n",
       "pts.csv:2: '1e999' is no standard deviation (sz): it must be a positive, finite number of "
       "metres"},
      {"name x y z sigma\nA 1 2 3 1\nB 4 5 6\n",
       "pts.csv:3: no standard deviation in the column 'sigma' (the header on line 1): give one "
       "for "
       "every point of the file"},
      {"name,x,y,z,sigma,remark\nA,1,2,3,1,a\nB,4,5,6,,b\n",
       "pts.csv:3: no standard deviation in the column 'sigma' (the header on line 1): give one "
       "for "
       "every point of the file"},
      {"x y z sigma\n1 2 3 0.5\n",
       "pts.csv:2: the column 'sigma' (the header on line 1) stands where the points have their "
       "name "
       "or x, y, z"},
      {"name x y z sx sz\nA 1 2 3 1 1\n",
       "pts.csv:1: the header names sx sz but not sy: standard deviations along axes come three "
       "together"},
      {"name x y z sn\nA 1 2 3 1\n",
       "pts.csv:1: the header names sn but not se su: standard deviations along axes come three "
       "together"},
      {"name x y z sx sy sz sigma\nA 1 2 3 1 1 1 1\n",
       "pts.csv:1: the header names standard deviations of two kinds; give sx sy sz, sn se su or "
       "sigma"},
      {"# c\nname x y z sigma SIGMA\nA 1 2 3 1 1\n",
       "pts.csv:2: the header names the column 'sigma' twice"},
  };
  for (const auto& c : cases) EXPECT_EQ(failure_of(c.text), c.message) << c.text;
}

}  // namespace
}  // namespace helmert7
