// SPDX-License-Identifier: MIT
// Geocentric points to grid forms, which go without angles where they can:
// the same grid coordinates as the way through latitude and longitude in degrees,
// at zone edges, near and at the poles, on the axis, in the south, and the same
// refusal 90 degrees and more from a central meridian.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "geodesy/geodesy.h"
#include "numtext/numtext.h"

namespace helmert7::geodesy {
namespace {

// The grid values of `xyz` through the geodetic point in degrees and tm_forward.
Eigen::Vector3d through_degrees(const CoordinateForm& form, const Eigen::Vector3d& xyz,
                                double central_meridian, int zone) {
  const Geodetic point = geodetic_from_geocentric(form.ellipsoid, xyz);
  const bool utm = form.kind == FormKind::utm;
  const GridProjection grid{utm ? 0.9996 : 1, central_meridian, 500000,
                            form.south ? 10000000.0 : 0};
  const GridPoint p = tm_forward(form.ellipsoid, grid, {point.latitude, point.longitude});
  if (utm) return {p.easting, p.northing, point.height};
  return {p.northing, p.easting + zone * kZonePrefixUnit, point.height};
}

TEST(GridFromGeocentric, AgreesWithTheWayThroughDegrees) {
  struct Case {
    const char* form;
    Geodetic point;
    int zone;                 // given to from_geocentric; 0: the zone holding the point
    double central_meridian;  // of the grid the values are in
    int prefix;               // the zone in front of the easting
  };
  const Case cases[] = {
      {"gk3:cgcs2000", {34.3, 108.9, 412.5}, 36, 108, 36},
      {"gk3:cgcs2000", {34.3, 108.9, 412.5}, 0, 108, 36},
      {"gk3:cgcs2000", {34.3, 109.4999, 0}, 0, 108, 36},    // the zone's east edge
      {"gk3:cgcs2000", {34.3, 109.5001, 0}, 0, 111, 37},    // and the next zone
      {"gk3:cgcs2000", {34.3, 109.5001, 0}, 36, 108, 36},   // kept in zone 36
      {"gk6:krassovsky", {-41.2, 174.8, -20}, 0, 177, 30},  // south
      {"gk:iag1975:117", {89.9999999, 150, 1000}, 0, 117, 0},
      {"gk:iag1975:117", {-89.9999999, 30, 1000}, 0, 117, 0},
      {"gk:iag1975:117", {0, 117, 0}, 0, 117, 0},    // the equator on the meridian
      {"gk:iag1975:117", {0.5, 140, 0}, 0, 117, 0},  // 23 degrees out
      {"utm:33S:wgs84", {-30, 15, 5}, 0, 15, 0},
      {"utm:60N:wgs84", {60, 179.9, 5}, 0, 177, 0},
  };
  for (const Case& c : cases) {
    const CoordinateForm form = parse_form(c.form);
    const Eigen::Vector3d xyz = geocentric_from_geodetic(form.ellipsoid, c.point);
    const Eigen::Vector3d expected = through_degrees(form, xyz, c.central_meridian, c.prefix);
    EXPECT_LT((from_geocentric(form, xyz, c.zone) - expected).norm(), 1e-8)
        << c.form << " " << c.point.latitude << " " << c.point.longitude << " zone " << c.zone;
  }
}

TEST(GridFromGeocentric, OnTheAxisThePole) {
  const CoordinateForm form = parse_form("gk3:cgcs2000");
  const double b = form.ellipsoid.a * (1 - form.ellipsoid.f);
  const Eigen::Vector3d values = from_geocentric(form, {0, 0, b + 10}, 39);
  EXPECT_NEAR(values[0], 10001965.7293, 1e-4);  // a quarter of the meridian (GRS80)
  EXPECT_NEAR(values[1], 39500000, 1e-6);
  EXPECT_NEAR(values[2], 10, 1e-8);
}

TEST(GridFromGeocentric, RefusesNinetyDegreesAndMoreFromTheMeridian) {
  const CoordinateForm form = parse_form("gk:wgs84:117");
  for (const double longitude : {-150.0, 20.0, 26.9}) {
    const Eigen::Vector3d xyz = geocentric_from_geodetic(form.ellipsoid, {10, longitude, 0});
    try {
      from_geocentric(form, xyz);
      ADD_FAILURE() << longitude << " was mapped";
    } catch (const Failure& failure) {
      EXPECT_NE(std::string(failure.what()).find("more than 90 degrees from the central meridian"),
                std::string::npos)
          << failure.what();
    }
  }
}

}  // namespace
}  // namespace helmert7::geodesy
