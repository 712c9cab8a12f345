// SPDX-License-Identifier: MIT
// Properties that hold whatever the fixtures say: the local frame against finite
// differences, the grid's scale and false origin, the refusals of the projection.
#include <gtest/gtest.h>

#include <cmath>

#include "../test_support.h"
#include "geodesy/geodesy.h"
#include "numtext/numtext.h"

namespace helmert7::geodesy {
namespace {

// North, east and up are the directions in which latitude, longitude and height
// move a point: the rows of north_east_up against central differences.
TEST(NorthEastUp, RowsFollowLatitudeLongitudeAndHeight) {
  const Ellipsoid e = ellipsoid_named("krassovsky");
  for (const auto& [latitude, longitude] :
       {std::pair{34.3, 108.9}, {-33.9, 18.4}, {0.0, -75.0}, {89.0, 180.0}, {-60.5, -120.25}}) {
    const Eigen::Matrix3d rotation = north_east_up(latitude, longitude);
    EXPECT_LT((rotation * rotation.transpose() - Eigen::Matrix3d::Identity()).norm(), 1e-15);
    const double step = 1e-5;
    const Eigen::Vector3d moves[3] = {
        geocentric_from_geodetic(e, {latitude + step, longitude, 100}) -
            geocentric_from_geodetic(e, {latitude - step, longitude, 100}),
        geocentric_from_geodetic(e, {latitude, longitude + step, 100}) -
            geocentric_from_geodetic(e, {latitude, longitude - step, 100}),
        geocentric_from_geodetic(e, {latitude, longitude, 100 + 1}) -
            geocentric_from_geodetic(e, {latitude, longitude, 100 - 1})};
    for (int row = 0; row < 3; ++row)
      EXPECT_LT((moves[row].normalized() - rotation.row(row).transpose()).norm(), 1e-9)
          << latitude << " " << longitude << " row " << row;
  }
}

TEST(TransverseMercator, ScaleAndFalseOriginMoveTheGridOnly) {
  const Ellipsoid e = ellipsoid_named("wgs84");
  const LatLon point{-33.9, 18.4};
  const GridPoint plain = tm_forward(e, {1, 15, 0, 0}, point);
  const GridPoint utm = tm_forward(e, {0.9996, 15, 500000, 10000000}, point);
  EXPECT_NEAR(utm.easting, 500000 + 0.9996 * plain.easting, 1e-8);
  EXPECT_NEAR(utm.northing, 10000000 + 0.9996 * plain.northing, 1e-8);
  const LatLon back = tm_inverse(e, {0.9996, 15, 500000, 10000000}, utm);
  EXPECT_NEAR(back.latitude, point.latitude, 1e-13);
  EXPECT_NEAR(back.longitude, point.longitude, 1e-13);
}

TEST(TransverseMercator, MirrorsAcrossTheEquatorAndTheCentralMeridian) {
  const Ellipsoid e = ellipsoid_named("cgcs2000");
  const GridPoint p = tm_forward(e, {1, 117, 0, 0}, {31.5, 119.25});
  const GridPoint q = tm_forward(e, {1, 117, 0, 0}, {-31.5, 114.75});
  EXPECT_EQ(p.northing, -q.northing);
  EXPECT_EQ(p.easting, -q.easting);
  // On the central meridian the northing is the meridian arc, a quarter of it at the
  // pole (GRS80's, as TransverseMercatorProj gives it), whatever the longitude there.
  EXPECT_EQ(tm_forward(e, {1, 117, 0, 0}, {31.5, 117}).easting, 0);
  EXPECT_NEAR(tm_forward(e, {1, 117, 0, 0}, {90, 0}).northing, 10001965.7292305, 1e-7);
}

TEST(TransverseMercator, RefusesPointsItCannotMap) {
  const Ellipsoid e = ellipsoid_named("wgs84");
  EXPECT_THROW(tm_forward(e, {1, 117, 0, 0}, {10, 117 + 90.5}), Failure);
  EXPECT_NO_THROW(tm_forward(e, {1, 117, 0, 0}, {10, 117 + 90}));
  EXPECT_THROW(tm_inverse(e, {1, 117, 0, 0}, {10001965.73 + 0.01, 0}), Failure);
  EXPECT_NO_THROW(tm_inverse(e, {1, 117, 0, 0}, {10001965.7293127, 0}));
  EXPECT_NEAR(tm_inverse(e, {1, 117, 0, 0}, {-10001965.7293127, 0}).latitude, -90, 1e-9);
}

TEST(Geocentric, FarOutAndAtTheCentre) {
  const Ellipsoid e = ellipsoid_named("wgs84");
  const Geodetic far = geodetic_from_geocentric(e, {3e30, 0, 4e30});
  EXPECT_NEAR(far.latitude, std::atan2(4.0, 3.0) * 180 / test::kPi, 1e-12);
  EXPECT_EQ(far.height, 5e30);
  // The centre is farthest below the poles: h = -b, latitude +-90.
  const Geodetic centre = geodetic_from_geocentric(e, {0, 0, 0});
  EXPECT_NEAR(std::fabs(centre.latitude), 90, 1e-12);
  EXPECT_NEAR(centre.height, -e.a * (1 - e.f), 1e-6);
}

// The convergence against the grid direction of a meridian found by finite
// differences of the projection: going north along the meridian, the grid's
// azimuth of the step is minus the convergence.
TEST(TransverseMercator, ConvergenceIsTheTurnOfTheMeridianOnTheGrid) {
  const Ellipsoid e = ellipsoid_named("krassovsky");
  const GridProjection grid{1, 117, 500000, 0};
  for (const double latitude : {-80.0, -45.0, -0.5, 0.0, 12.0, 34.5, 60.0, 84.0}) {
    for (const double offset : {-6.0, -3.5, -1.0, 0.0, 0.25, 2.0, 4.5, 6.0}) {
      const LatLon point{latitude, 117 + offset};
      const double step = 1e-5;  // degrees of latitude
      const GridPoint south = tm_forward(e, grid, {latitude - step, point.longitude});
      const GridPoint north = tm_forward(e, grid, {latitude + step, point.longitude});
      constexpr double kDegreesPerRadian = 180 / 3.14159265358979323846;
      const double azimuth = std::atan2(north.easting - south.easting,
                                        north.northing - south.northing) *
                             kDegreesPerRadian;
      const double error = meridian_convergence(e, point, grid.central_meridian) + azimuth;
      EXPECT_NEAR(error, 0, 1.5e-6) << latitude << " " << offset;
    }
  }
  EXPECT_EQ(meridian_convergence(e, {34.5, 117}, 117), 0);
}

}  // namespace
}  // namespace helmert7::geodesy

