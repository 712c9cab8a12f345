// SPDX-License-Identifier: MIT
// The input side of the coordinate forms: d:m:s angles in coordinate texts, the
// streamed test points' refusals and far-point warning, and the warning for
// degrees fitted as xyz.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "driver/steps.h"

namespace helmert7 {
namespace {

using geodesy::AngleStyle;

CoordinateText text_of(const char* role, std::string text, std::string path = "") {
  CoordinateText input;
  input.text = std::move(text);
  input.role = role;
  input.origin = role == std::string("source") ? "--inputsrc" : "--inputtest";
  input.path = std::move(path);
  return input;
}

TEST(AnglesAsDecimals, ReadsDmsAnglesOfGeodeticTextsOnly) {
  const struct {
    const char* form;
    const char* text;
    std::vector<double> numbers;
    std::vector<AngleStyle> styles;
  } cases[] = {
      {"geodetic:wgs84",
       "30:30:00,117:15:00,10,-0:30:00, 1:00:00.5 ,0",
       {30.5, 117.25, 10, -0.5, 1 + 0.5 / 3600, 0},
       {AngleStyle::dms, AngleStyle::dms}},
      {"geodetic:wgs84", "30.5,117:15:00,10,", {30.5, 117.25, 10}, {AngleStyle::decimal}},
      {"geodetic:wgs84",
       "-30 : 30 : 36,1,2",
       {-(30 + 30.0 / 60 + 36.0 / 3600), 1, 2},
       {AngleStyle::dms}},
      {"gk3:cgcs2000", "3800000,36500000,10", {3800000, 36500000, 10}, {}},
  };
  for (const auto& c : cases) {
    std::vector<AngleStyle> styles;
    const std::string decimals =
        angles_as_decimals(text_of("source", c.text), geodesy::parse_form(c.form), styles);
    const CoordinateList numbers = read_numbers(decimals);
    ASSERT_EQ(numbers.size(), c.numbers.size()) << c.text;
    for (std::size_t i = 0; i < numbers.size(); ++i)
      EXPECT_NEAR(numbers[i], c.numbers[i], 1e-13) << c.text << " value " << i;
    styles.resize(c.styles.size());  // a trailing comma adds a style of no point
    EXPECT_EQ(styles, c.styles) << c.text;
  }
}

TEST(AnglesAsDecimals, RefusesBadAnglesNamingTextAndPoint) {
  const struct {
    const char* form;
    const char* text;
    const char* failure;  // empty: the text passes as it stands
  } cases[] = {
      {"geodetic:wgs84", "1,2,3,30:60:00,1,2",
       "cannot read the source points (--inputsrc): point 2: angle '30:60:00': minutes and "
       "seconds must be below 60"},
      {"geodetic:wgs84", "1,2:3,3",
       "cannot read the source points (--inputsrc): point 1: angle '2:3': expected d:m:s such as "
       "30:31:12.3456, a '-' in front for south or west"},
      {"geodetic:wgs84", "1,2,0:00:01", ""},  // a height is no angle: read_numbers refuses it
      {"xyz", "30:30:00,1,2", ""},
  };
  for (const auto& c : cases) {
    std::vector<AngleStyle> styles;
    const CoordinateText input = text_of("source", c.text);
    try {
      EXPECT_EQ(angles_as_decimals(input, geodesy::parse_form(c.form), styles), c.text);
      EXPECT_STREQ(c.failure, "") << c.text;
    } catch (const Failure& failure) {
      EXPECT_STREQ(failure.what(), c.failure) << c.text;
    }
  }
}

// Inputs whose sides are the given lists, as xyz unless forms are named.
Inputs inputs_of(CoordinateList source, CoordinateList target, const char* form = "xyz") {
  Inputs inputs;
  inputs.forms = {geodesy::parse_form(form), geodesy::parse_form(form)};
  inputs.test_forms = inputs.forms;
  inputs.source_list = std::move(source);
  inputs.target_list = std::move(target);
  return inputs;
}

TEST(DegreesAsXyz, WarnsWhereBothSidesLookLikeLatitudeAndLongitude) {
  const CoordinateList degrees = {34.11, 108.52, 412.3, 34.02, 109.31, 398.7, 34.63, 108.77, 520.1};
  const CoordinateList shifted = {34.10, 108.51, 559.8, 34.01, 109.30, 547.2, 34.62, 108.76, 667.8};
  const struct {
    const char* rule;
    CoordinateList source, target;
    const char* form;
    bool warned;
  } cases[] = {
      {"both sides degrees", degrees, shifted, "xyz", true},
      {"south and west", {-34, -70, 0, -35, -71, 0, -34.5, -73, 0}, degrees, "xyz", true},
      {"one side geocentric",
       degrees,
       {-1790000, 5020000, 3570000, -1800000, 5010000, 3560000, 0, 0, 0},
       "xyz",
       false},
      {"x beyond 90", {91, 1, 0, 92, 2, 0, 93, 1, 0}, degrees, "xyz", false},
      {"y beyond 180", {1, 179, 0, 2, 181, 0, 3, 180, 0}, degrees, "xyz", false},
      {"spread over more than 5 units", {1, 1, 0, 2, 7, 0, 3, 1, 0}, degrees, "xyz", false},
      {"geodetic forms given", degrees, shifted, "geodetic:wgs84", false},
  };
  for (const auto& c : cases) {
    Inputs inputs = inputs_of(c.source, c.target, c.form);
    warn_degrees_as_xyz(inputs);
    ASSERT_EQ(inputs.form_warnings.size(), c.warned ? 1u : 0u) << c.rule;
    if (c.warned) {
      EXPECT_NE(inputs.form_warnings[0].find("--srccoords geodetic:ELLIPSOID"), std::string::npos);
    }
  }
}

// A chunk of streamed test points in `values`, named T1, T2, ... on lines 2, 4, ...
struct Chunk {
  std::vector<double> values;
  std::vector<std::string> name_texts;
  std::vector<std::string_view> names;
  std::vector<std::size_t> lines;

  explicit Chunk(std::vector<double> given) : values(std::move(given)) {
    for (std::size_t i = 0; i < values.size() / 3; ++i) {
      name_texts.push_back("T" + std::to_string(i + 1));
      lines.push_back(2 * (i + 1));
    }
    names.assign(name_texts.begin(), name_texts.end());
  }
  PointChunk streamed() {
    return {values.data(), values.size() / 3, names.data(), lines.data(), 0};
  }
};

Inputs streamed_inputs(const char* form) {
  Inputs inputs = inputs_of({}, {}, form);
  inputs.test = text_of("test", "@pts.txt", "pts.txt");
  return inputs;
}

TEST(StreamedTestPoints, RefusalsNameFileLineAndPoint) {
  const struct {
    const char* form;
    std::vector<double> values;
    const char* failure;
  } cases[] = {
      {"geodetic:wgs84",
       {30, 117, 0, 30, 117, 0, 95, 117, 0},
       "pts.txt:6: the test point 3 'T3': latitude 95 lies beyond -90..90 degrees"},
      {"geodetic:wgs84",
       {30, -361, 0},
       "pts.txt:2: the test point 1 'T1': longitude -361 lies beyond -360..360 degrees"},
      {"gk3:cgcs2000",
       {3800000, 36500000, 0, 3800000, 500000, 0},
       "pts.txt:4: the test point 2 'T2': easting 500000.000000 has no zone number in front"},
  };
  for (const auto& c : cases) {
    Inputs inputs = streamed_inputs(c.form);
    Chunk chunk(c.values);
    try {
      std::vector<ConvertedPoint> converted(c.values.size() / 3);
      test_points_to_geocentric(inputs, chunk.streamed(), converted.data());
      ADD_FAILURE() << "no failure for " << c.failure;
    } catch (const Failure& failure) {
      EXPECT_EQ(std::string(failure.what()).rfind(c.failure, 0), 0u) << failure.what();
    }
  }
}

TEST(StreamedTestPoints, FarPointsShareOneWarningLine) {
  // zone 36 (central meridian 108): 108.2, then 112.0 to 112.4 degrees east
  const std::vector<double> far = {
      3796958.8506, 36518411.7717, 400, 3804193.4063, 36868345.1310, 400,
      3804561.0620, 36877559.4598, 400, 3804937.8446, 36886774.2103, 400,
      3805323.7576, 36895989.3925, 400, 3805718.8048, 36905205.0169, 400};
  const struct {
    std::size_t points;
    const char* warning;  // empty: none
  } cases[] = {
      {1, ""},
      {2,
       "1 test point lies more than 3.5 degrees of longitude from the central meridian of "
       "gk3:iag1975, where the zone's distortion grows: pts.txt:4 'T2' (4.00 degrees from 108; it "
       "belongs in 3-degree zone 37)"},
      {6,
       "5 test points lie more than 3.5 degrees of longitude from the central meridian of "
       "gk3:iag1975, where the zone's distortion grows: pts.txt:4 'T2' (4.00 degrees from 108; it "
       "belongs in 3-degree zone 37), pts.txt:6 'T3' (4.10 degrees from 108; it belongs in "
       "3-degree zone 37), pts.txt:8 'T4' (4.20 degrees from 108; it belongs in 3-degree zone 37) "
       "and 2 more"},
  };
  for (const auto& c : cases) {
    Inputs inputs = streamed_inputs("gk3:iag1975");
    Chunk chunk(std::vector<double>(far.begin(), far.begin() + 3 * c.points));
    std::vector<ConvertedPoint> converted(c.points);
    test_points_to_geocentric(inputs, chunk.streamed(), converted.data());
    note_far_test_points(inputs, chunk.streamed(), converted.data());
    warn_far_test_points(inputs);
    const std::vector<std::string> expected =
        *c.warning ? std::vector<std::string>{c.warning} : std::vector<std::string>{};
    EXPECT_EQ(inputs.form_warnings, expected) << c.points;
  }
}

// Points at known offsets from the central meridian, on either side and about the
// 3.4 degrees within which no offset is computed: exactly those beyond 3.5 degrees
// are far, each with its offset.
TEST(StreamedTestPoints, FarPointsAreThoseBeyondTheLimitAtEveryOffset) {
  const double offsets[] = {0,    0.5,   -2,    3.3,    -3.3, 3.399, 3.401, -3.401,
                            3.49, -3.49, 3.501, -3.501, 4.2,  -4.2,  4.6};
  const geodesy::CoordinateForm geodetic = geodesy::parse_form("geodetic:iag1975");
  const geodesy::CoordinateForm grid = geodesy::parse_form("gk3:iag1975");
  for (const double latitude : {22.0, 34.3, 61.0}) {
    std::vector<double> values;
    for (const double offset : offsets) {
      const Eigen::Vector3d xyz = geodesy::to_geocentric(geodetic, {latitude, 108 + offset, 400});
      const Eigen::Vector3d point = geodesy::from_geocentric(grid, xyz, 36);
      values.insert(values.end(), {point.x(), point.y(), point.z()});
    }
    Inputs inputs = streamed_inputs("gk3:iag1975");
    Chunk chunk(values);
    std::vector<ConvertedPoint> converted(std::size(offsets));
    test_points_to_geocentric(inputs, chunk.streamed(), converted.data());
    for (std::size_t i = 0; i < std::size(offsets); ++i) {
      const bool far = std::fabs(offsets[i]) > 3.5;
      EXPECT_EQ(std::fabs(converted[i].offset) > 3.5, far) << latitude << " " << offsets[i];
      if (far) {
        EXPECT_NEAR(converted[i].offset, offsets[i], 1e-9) << latitude;
      }
      EXPECT_EQ(converted[i].central_meridian, 108);
    }
  }
}

}  // namespace
}  // namespace helmert7
