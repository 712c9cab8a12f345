// SPDX-License-Identifier: MIT
// Point files of a geodetic form: latitude and longitude as decimal or d:m:s
// angles, read whole and streamed, the mapped angles written in each line's own
// style, and the line of each point.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "points/points.h"

namespace helmert7 {
namespace {

constexpr PointFields kAngles{true};

PointFile read_angles(const std::string& text, std::size_t block_bytes = kPointBlockBytes) {
  std::istringstream in(text);
  return read_point_file(in, "geo.txt", block_bytes, kAngles);
}

std::string failure_of(const std::string& text, PointFields fields) {
  std::istringstream in(text);
  try {
    read_point_file(in, "geo.txt", kPointBlockBytes, fields);
  } catch (const Failure& e) {
    return e.what();
  }
  return "(no failure)";
}

// Degrees of d, m, s as a surveyor adds them up.
double dms(double degrees, double minutes, double seconds) {
  return degrees + minutes / 60 + seconds / 3600;
}

TEST(AngleFields, ReadsDecimalAndDmsAnglesWithTheirLines) {
  const struct {
    const char* rule;
    std::string text;
    std::vector<double> coordinates;
    std::vector<std::size_t> lines;
  } cases[] = {
      {"blanks, names",
       "P1 30:31:12.3456 117:30:00 45.5\nP2 30.5 -117.25 10\n",
       {dms(30, 31, 12.3456), dms(117, 30, 0), 45.5, 30.5, -117.25, 10},
       {1, 2}},
      {"south and west", "P1 -0:30:00 -117:15:36 0\n", {-0.5, -dms(117, 15, 36), 0}, {1}},
      {"commas, a remark",
       "P1,30:30:00,117:00:00.5,10,pillar\n",
       {30.5, dms(117, 0, 0.5), 10},
       {1}},
      {"no names", "30:30:00 117:15:00 10\n", {30.5, 117.25, 10}, {1}},
      {"header, comments and blank lines",
       "name lat lon h\n# control\n\nA 1:00:00 2:00:00 3\n\nB 4 5 6\n",
       {1, 2, 3, 4, 5, 6},
       {4, 6}},
      {"CR LF", "A 1:30:00 2 3\r\nB 4 5:15:00 6\r\n", {1.5, 2, 3, 4, 5.25, 6}, {1, 2}},
  };
  for (const auto& c : cases) {
    const PointFile file = read_angles(c.text);
    ASSERT_EQ(file.coordinates.size(), c.coordinates.size()) << c.rule;
    for (std::size_t i = 0; i < c.coordinates.size(); ++i) {
      EXPECT_NEAR(file.coordinates[i], c.coordinates[i], 1e-13) << c.rule << " value " << i;
    }
    EXPECT_EQ(file.lines, c.lines) << c.rule;
  }
}

TEST(AngleFields, LinesCountAcrossBlocks) {
  std::string text = "# points\n";
  std::vector<std::size_t> expected;
  for (std::size_t i = 0; i < 50; ++i) {
    text += "P" + std::to_string(i) + " 30:00:" + std::to_string(10 + i % 40) + " 117 0\n";
    if (i % 7 == 0) text += "\n";
  }
  std::size_t line = 1;
  for (std::size_t i = 0; i < 50; ++i) {
    expected.push_back(++line);
    if (i % 7 == 0) ++line;
  }
  EXPECT_EQ(read_angles(text, 16).lines, expected);
}

TEST(AngleFields, RefusesWhatIsNoAngleOfItsField) {
  const struct {
    std::string text;
    PointFields fields;
    const char* failure;
  } cases[] = {
      {"P1 30 117 0\nP2 30:61:00 117 0\n", kAngles,
       "geo.txt:2: angle '30:61:00': minutes and seconds must be below 60 (latitude)"},
      {"P1 30 117:00:60 0\n", kAngles,
       "geo.txt:1: angle '117:00:60': minutes and seconds must be below 60 (longitude)"},
      {"P1 30 117 0\nP2 30:30 117 0\n", kAngles,
       "geo.txt:2: angle '30:30': expected d:m:s such as 30:31:12.3456, a '-' in front for "
       "south or west (latitude)"},
      {"P1 30 117 0\nP2 30 117 0:00:01\n", kAngles, "geo.txt:2: '0:00:01' is not a number (z)"},
      {"P1 30 117 0\nP2 30:30:00 117 0\n", PointFields{},
       "geo.txt:2: '30:30:00' is not a number (x)"},
      {"P1 30 117 0\nP2 north 117 0\n", kAngles, "geo.txt:2: 'north' is not a number (x)"},
  };
  for (const auto& c : cases) EXPECT_EQ(failure_of(c.text, c.fields), c.failure) << c.text;
}

// Streams `text`, setting each point to `values` (the same for every point), and
// returns what was written, with the lines the points stood on.
struct Streamed {
  std::string text;
  std::vector<std::size_t> lines;
};

Streamed streamed(const std::string& text, PointFields read, const std::vector<double>& values) {
  std::istringstream in(text);
  Streamed out;
  map_point_stream(
      in, "geo.txt",
      [&](double* xyz, std::size_t n, const std::string_view*, const std::size_t* lines) {
        for (std::size_t i = 0; i < n; ++i) std::copy(values.begin(), values.end(), xyz + 3 * i);
        out.lines.insert(out.lines.end(), lines, lines + n);
      },
      [&out](std::string_view chunk) { out.text.append(chunk); }, 8, read, kAngles);
  return out;
}

TEST(AngleFields, WritesMappedAnglesInEachLinesStyle) {
  const struct {
    const char* rule;
    std::string text;
    PointFields read;
    std::vector<double> values;
    std::string written;
  } cases[] = {
      {"d:m:s stays d:m:s",
       "P1 30:31:12.3456 117:30:00 45.5 pillar\n",
       kAngles,
       {dms(30, 31, 12.3456), -dms(117, 30, 0.5), 45.5},
       "P1 30:31:12.345600 -117:30:00.500000 45.500000 pillar\n"},
      {"decimal stays decimal",
       "P1,30.5,117.25,10\n",
       kAngles,
       {30.5, -117.25, 10},
       "P1,30.5000000000,-117.2500000000,10.000000\n"},
      {"each line its own style",
       "# c\nA 1:00:00 2 3\r\nB 4 5:00:00 6",
       kAngles,
       {1.5, 2.25, 3},
       "# c\nA 1:30:00.000000 2:15:00.000000 3.000000" +
           std::string(
#ifdef _WIN32
               "\n"
#else
               "\r\n"
#endif
               ) +
           "B 1.5000000000 2.2500000000 3.000000"},
      {"grid in, decimal out",
       "T1 3800000 36500000 10 x\n",
       PointFields{},
       {34.25, 108, 12.5},
       "T1 34.2500000000 108.0000000000 12.500000 x\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(streamed(c.text, c.read, c.values).text, c.written) << c.rule;
}

TEST(AngleFields, StreamedPointsComeWithTheirLines) {
  const std::string text = "h lat lon h\n\nA 1:00:00 2 3\n# c\nB 4 5 6\n\n\nC 7 8 9\n";
  EXPECT_EQ(streamed(text, kAngles, {1, 2, 3}).lines, (std::vector<std::size_t>{3, 5, 8}));
}

}  // namespace
}  // namespace helmert7
