// SPDX-License-Identifier: MIT
// The conversions against the fixtures of tests/data/geodesy, made with
// GeographicLib's CartConvert and TransverseMercatorProj (exact projection) and
// with PROJ's cct by make_fixtures.sh there. Each test prints the largest
// difference it met.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "geodesy/geodesy.h"

namespace helmert7::geodesy {
namespace {

constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180;

/// One fixture line: a name (ellipsoid or form) and the numbers after it.
struct FixtureLine {
  std::string name;
  std::vector<double> numbers;
};

std::vector<FixtureLine> read_fixture(const std::string& file) {
  std::ifstream in(std::string(HELMERT7_TEST_DATA) + "/geodesy/" + file);
  std::vector<FixtureLine> lines;
  for (std::string text; std::getline(in, text);) {
    std::istringstream fields(text);
    FixtureLine line;
    fields >> line.name;
    for (double value; fields >> value;) line.numbers.push_back(value);
    lines.push_back(line);
  }
  EXPECT_GT(lines.size(), 200u) << file;
  return lines;
}

const Ellipsoid& ellipsoid_of(const std::string& name) {
  static std::map<std::string, Ellipsoid> known;
  if (known.count(name) == 0) known[name] = ellipsoid_named(name);
  return known[name];
}

/// The ground distance, north, east and up, between two geodetic points, in metres
/// (the ellipsoid as a sphere of radius a: 1e-11 degrees is about 1.1 micrometres).
double ground_distance(const Ellipsoid& e, const Geodetic& p, const Geodetic& q) {
  const double radius = e.a + p.height;
  const double north = (p.latitude - q.latitude) * kRadiansPerDegree * radius;
  const double east = offset_from_meridian(p.longitude, q.longitude) * kRadiansPerDegree * radius *
                      std::cos(p.latitude * kRadiansPerDegree);
  return std::sqrt(north * north + east * east + (p.height - q.height) * (p.height - q.height));
}

void report(const char* what, double largest) {
  std::cout << "[ measured ] " << what << ": largest difference " << largest << "\n";
}

TEST(GeocentricFixture, ForwardWithinTenNanometresOfCartConvert) {
  double largest = 0;
  for (const FixtureLine& line : read_fixture("geocentric.txt")) {
    const std::vector<double>& v = line.numbers;
    const Eigen::Vector3d xyz =
        geocentric_from_geodetic(ellipsoid_of(line.name), {v[0], v[1], v[2]});
    const double difference = (xyz - Eigen::Vector3d(v[3], v[4], v[5])).norm();
    EXPECT_LE(difference, 1e-8) << line.name << " " << v[0] << " " << v[1] << " " << v[2];
    largest = std::max(largest, difference);
  }
  report("geodetic to geocentric (m)", largest);
}

TEST(GeocentricFixture, ReverseWithin1e11DegreesAndTenNanometresOfCartConvert) {
  double largest_angle = 0, largest_height = 0;
  for (const FixtureLine& line : read_fixture("geocentric_back.txt")) {
    const std::vector<double>& v = line.numbers;
    const Geodetic g = geodetic_from_geocentric(ellipsoid_of(line.name), {v[3], v[4], v[5]});
    const double angle =
        std::max(std::fabs(g.latitude - v[0]), std::fabs(offset_from_meridian(g.longitude, v[1])));
    EXPECT_LE(angle, 1e-11) << line.name << " " << v[3] << " " << v[4] << " " << v[5];
    EXPECT_LE(std::fabs(g.height - v[2]), 1e-8)
        << line.name << " " << v[3] << " " << v[4] << " " << v[5];
    largest_angle = std::max(largest_angle, angle);
    largest_height = std::max(largest_height, std::fabs(g.height - v[2]));
  }
  report("geocentric to geodetic, latitude and longitude (degrees)", largest_angle);
  report("geocentric to geodetic, height (m)", largest_height);
}

// The X, Y, Z of geocentric.txt are rounded to the nanometre, so the points they
// give back lie within a few nanometres of the exact ones (in degrees, near the
// axis, much more: there ground distance is the measure).
TEST(GeocentricFixture, ReverseOfTheForwardFixtureWithinTenNanometres) {
  double largest = 0;
  for (const FixtureLine& line : read_fixture("geocentric.txt")) {
    const std::vector<double>& v = line.numbers;
    const Ellipsoid& e = ellipsoid_of(line.name);
    const double distance =
        ground_distance(e, geodetic_from_geocentric(e, {v[3], v[4], v[5]}), {v[0], v[1], v[2]});
    EXPECT_LE(distance, 1e-8) << line.name << " " << v[0] << " " << v[1] << " " << v[2];
    largest = std::max(largest, distance);
  }
  report("geocentric to geodetic of the forward fixture (m)", largest);
}

// Within 1e-9 m where doubles resolve it; a coordinate of 6.4e6 m has a last bit
// of 0.93 nm (and 45 degrees one of 0.8 nm on the ground), so each way may round
// it: within three last bits of the coordinates, which most points keep to 1 nm.
TEST(GeocentricFixture, RoundTripsWithinOneNanometreOrThreeLastBits) {
  double largest = 0;
  int within_one_nanometre = 0, points = 0;
  for (const FixtureLine& line : read_fixture("geocentric.txt")) {
    const std::vector<double>& v = line.numbers;
    const Ellipsoid& e = ellipsoid_of(line.name);
    const Geodetic start{v[0], v[1], v[2]};
    const Geodetic back = geodetic_from_geocentric(e, geocentric_from_geodetic(e, start));
    const Eigen::Vector3d xyz(v[3], v[4], v[5]);
    const double there_and_back =
        std::max(ground_distance(e, start, back),
                 (geocentric_from_geodetic(e, geodetic_from_geocentric(e, xyz)) - xyz).norm());
    const double tolerance =
        std::max(1e-9, 3 * std::numeric_limits<double>::epsilon() * xyz.norm());
    EXPECT_LE(there_and_back, tolerance) << line.name << " " << v[0] << " " << v[1] << " " << v[2];
    largest = std::max(largest, there_and_back);
    within_one_nanometre += there_and_back <= 1e-9;
    ++points;
  }
  report("geodetic-geocentric round trip (m)", largest);
  std::cout << "[ measured ] round trips within 1 nm: " << within_one_nanometre << " of " << points
            << "\n";
}

// Up to 6 degrees from the central meridian: within 5 nm of GeographicLib's
// series, both ways, and within 10 nm of its exact projection, whose own rounding
// errors reach 6 nm there (make_fixtures.sh); 6 to 20 degrees out, where the
// series' truncation grows, within 1 mm of the exact projection.
TEST(TransverseMercatorFixture, WithinFiveNanometresOfTheSeriesAndOneMillimetreOfTheExact) {
  double largest[2][3] = {};  // [narrow, wide][series forward, series inverse, exact]
  for (const FixtureLine& line : read_fixture("tmerc.txt")) {
    const std::vector<double>& v = line.numbers;  // k0 lon0 lat lon x y (exact) x y (series)
    const Ellipsoid& e = ellipsoid_of(line.name);
    const GridProjection grid{v[0], v[1], 0, 0};
    const bool narrow = std::fabs(offset_from_meridian(v[3], v[1])) <= 6;
    const GridPoint forward = tm_forward(e, grid, {v[2], v[3]});
    const LatLon inverse = tm_inverse(e, grid, {v[7], v[6]});
    const double errors[3] = {
        std::hypot(forward.easting - v[6], forward.northing - v[7]),
        ground_distance(e, {inverse.latitude, inverse.longitude, 0}, {v[2], v[3], 0}),
        std::hypot(forward.easting - v[4], forward.northing - v[5])};
    const double tolerances[3] = {narrow ? 5e-9 : 1e-3, narrow ? 5e-9 : 1e-3, narrow ? 1e-8 : 1e-3};
    for (int i = 0; i < 3; ++i) {
      EXPECT_LE(errors[i], tolerances[i]) << i << ": " << line.name << " " << v[2] << " " << v[3];
      largest[narrow ? 0 : 1][i] = std::max(largest[narrow ? 0 : 1][i], errors[i]);
    }
  }
  report("transverse Mercator up to 6 degrees out, forward against the series (m)", largest[0][0]);
  report("transverse Mercator up to 6 degrees out, inverse against the series (m)", largest[0][1]);
  report("transverse Mercator up to 6 degrees out, forward against the exact (m)", largest[0][2]);
  report("transverse Mercator 6 to 20 degrees out, forward against the series (m)", largest[1][0]);
  report("transverse Mercator 6 to 20 degrees out, inverse against the series (m)", largest[1][1]);
  report("transverse Mercator 6 to 20 degrees out, forward against the exact (m)", largest[1][2]);
}

TEST(FormFixture, GridFormsAgreeWithProjsPipelinesBothWays) {
  double largest = 0;
  for (const FixtureLine& line : read_fixture("forms.txt")) {
    const std::vector<double>& v = line.numbers;  // three values, then X Y Z
    const CoordinateForm form = parse_form(line.name);
    const Eigen::Vector3d values(v[0], v[1], v[2]), xyz(v[3], v[4], v[5]);
    const double to_error = (to_geocentric(form, values) - xyz).norm();
    const int zone = zone_prefix_of(form, values);
    const double from_error = (from_geocentric(form, xyz, zone) - values).norm();
    EXPECT_LE(to_error, 1e-8) << line.name << " " << v[0] << " " << v[1];
    EXPECT_LE(from_error, 1e-8) << line.name << " " << v[0] << " " << v[1];
    largest = std::max({largest, to_error, from_error});
  }
  report("point forms against cct (m)", largest);
}

}  // namespace
}  // namespace helmert7::geodesy
