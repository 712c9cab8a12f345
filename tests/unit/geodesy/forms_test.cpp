// SPDX-License-Identifier: MIT
// Coordinate forms: their texts, their refusals, zones and zone prefixes.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "geodesy/geodesy.h"
#include "numtext/numtext.h"

namespace helmert7::geodesy {
namespace {

/// The message of the Failure that `action` throws, or "" where it throws none.
template <typename Action>
std::string failure_of(Action action) {
  try {
    action();
  } catch (const Failure& failure) {
    return failure.what();
  }
  return "";
}

struct FormCase {
  const char* text;
  FormKind kind;
  double a;
  double inverse_flattening;
  double central_meridian;
  int utm_zone;
  bool south;
};

TEST(ParseForm, ReadsEveryFormAndEllipsoid) {
  const FormCase cases[] = {
      {"xyz", FormKind::xyz, 0, 0, 0, 0, false},
      {"geodetic:wgs84", FormKind::geodetic, 6378137, 298.257223563, 0, 0, false},
      {"geodetic:GRS80", FormKind::geodetic, 6378137, 298.257222101, 0, 0, false},
      {"gk:krassovsky:117", FormKind::gk, 6378245, 298.3, 117, 0, false},
      {"gk:6378140/298.257:-75.5", FormKind::gk, 6378140, 298.257, -75.5, 0, false},
      {"gk3:cgcs2000", FormKind::gk3, 6378137, 298.257222101, 0, 0, false},
      {"gk6:iag1975", FormKind::gk6, 6378140, 298.257, 0, 0, false},
      {"utm:50N:wgs84", FormKind::utm, 6378137, 298.257223563, 117, 50, false},
      {"utm:33s:grs80", FormKind::utm, 6378137, 298.257222101, 15, 33, true},
      {"utm:1S:krassovsky", FormKind::utm, 6378245, 298.3, -177, 1, true},
  };
  for (const FormCase& c : cases) {
    const CoordinateForm form = parse_form(c.text);
    EXPECT_EQ(form.text, c.text);
    EXPECT_EQ(form.kind, c.kind) << c.text;
    EXPECT_EQ(form.ellipsoid.a, c.a) << c.text;
    EXPECT_EQ(form.ellipsoid.inverse_flattening, c.inverse_flattening) << c.text;
    EXPECT_EQ(form.central_meridian, c.central_meridian) << c.text;
    EXPECT_EQ(form.utm_zone, c.utm_zone) << c.text;
    EXPECT_EQ(form.south, c.south) << c.text;
  }
}

TEST(ParseForm, RefusesWithTheTextAndWhatIsWrong) {
  const std::pair<const char*, const char*> cases[] = {
      {"",
       "coordinate form '': unknown form; the forms are xyz, geodetic:ELLIPSOID, "
       "gk:ELLIPSOID:LON0, gk3:ELLIPSOID, gk6:ELLIPSOID, utm:ZONE:ELLIPSOID"},
      {"XYZ", "coordinate form 'XYZ': unknown form"},
      {"latlon:wgs84", "coordinate form 'latlon:wgs84': unknown form"},
      {"xyz:wgs84", "coordinate form 'xyz:wgs84': expected xyz"},
      {"geodetic", "coordinate form 'geodetic': expected geodetic:ELLIPSOID"},
      {"gk:wgs84", "coordinate form 'gk:wgs84': expected gk:ELLIPSOID:LON0"},
      {"gk3:wgs84:117", "coordinate form 'gk3:wgs84:117': expected gk3:ELLIPSOID"},
      {"geodetic:bessel",
       "coordinate form 'geodetic:bessel': unknown ellipsoid 'bessel'; known: "
       "wgs84, grs80, cgcs2000, krassovsky, iag1975, or A/RF such as "
       "6378140/298.257"},
      {"geodetic:6378137/", "unknown ellipsoid '6378137/'"},
      {"geodetic:6378137/0.5",
       "ellipsoid '6378137/0.5': needs a semi-major axis above 0 and an "
       "inverse flattening above 1"},
      {"geodetic:-6378137/298", "needs a semi-major axis above 0"},
      {"gk:wgs84:east", "coordinate form 'gk:wgs84:east': LON0 'east' is not a longitude"},
      {"gk:wgs84:400", "LON0 '400' is not a longitude in degrees"},
      {"utm:50:wgs84", "zone '50' is not 1 to 60 with N or S, such as 50N"},
      {"utm:61N:wgs84", "zone '61N' is not 1 to 60"},
      {"utm:0S:wgs84", "zone '0S' is not 1 to 60"},
      {"utm:50X:wgs84", "zone '50X' is not 1 to 60"},
      {"utm:N:wgs84", "zone 'N' is not 1 to 60"},
      {"utm:wgs84:50N", "zone 'wgs84' is not 1 to 60"},
  };
  for (const auto& [text, message] : cases) {
    const std::string failure = failure_of([&text = text] { parse_form(text); });
    EXPECT_NE(failure.find(message), std::string::npos) << text << " gave: " << failure;
  }
}

TEST(Zones, CentralMeridiansAndTheZonesThatHoldALongitude) {
  EXPECT_EQ(gk_central_meridian(FormKind::gk3, 39), 117);
  EXPECT_EQ(gk_central_meridian(FormKind::gk6, 20), 117);
  const std::tuple<FormKind, double, int> cases[] = {
      {FormKind::gk3, 117, 39},  {FormKind::gk3, 118.49, 39}, {FormKind::gk3, 118.5, 40},
      {FormKind::gk3, 1.5, 1},   {FormKind::gk3, 0, 120},     {FormKind::gk3, -1.4, 120},
      {FormKind::gk6, 114, 20},  {FormKind::gk6, 119.99, 20}, {FormKind::gk6, 0, 1},
      {FormKind::gk6, -3, 60},   {FormKind::utm, 117, 50},    {FormKind::utm, 15, 33},
      {FormKind::utm, -180, 1},  {FormKind::utm, 180, 1},     {FormKind::utm, 179.9, 60},
      {FormKind::utm, -0.1, 30}, {FormKind::xyz, 117, 0},
  };
  for (const auto& [kind, longitude, zone] : cases)
    EXPECT_EQ(zone_containing(kind, longitude), zone) << static_cast<int>(kind) << " " << longitude;
}

// A point near Xi'an, 108.9 E 34.3 N, in each grid form: the zone prefix goes in
// front of the easting for gk3 and gk6, and grid coordinates lead back to it.
TEST(PointForms, ZonePrefixesAndAxisOrder) {
  const Eigen::Vector3d point =
      geocentric_from_geodetic(ellipsoid_named("iag1975"), {34.3, 108.9, 412.5});
  const Eigen::Vector3d gk3 = from_geocentric(parse_form("gk3:iag1975"), point);
  const Eigen::Vector3d gk6 = from_geocentric(parse_form("gk6:iag1975"), point);
  const Eigen::Vector3d gk = from_geocentric(parse_form("gk:iag1975:108"), point);
  const Eigen::Vector3d utm = from_geocentric(parse_form("utm:49N:iag1975"), point);
  EXPECT_EQ(std::floor(gk3[1] / kZonePrefixUnit), 36);  // 3-degree zone 36 at 108 E
  EXPECT_EQ(std::floor(gk6[1] / kZonePrefixUnit), 19);  // 6-degree zone 19 at 111 E
  EXPECT_NEAR(gk3[0], gk[0], 1e-9);  // the same grid as gk at LON0 108, but for the
  EXPECT_NEAR(gk3[1] - 36 * kZonePrefixUnit, gk[1], 1e-8);  // last bit of 3.6e7 m: 7 nm
  EXPECT_GT(gk[1], 500000);                                 // east of 108 E: x north, y east
  EXPECT_NEAR(utm[0], 500000 + 0.9996 * (gk6[1] - 19500000), 1e-6);  // UTM 49 is GK6 19
  EXPECT_NEAR(utm[1], 0.9996 * gk6[0], 1e-6);
  for (const char* text : {"gk3:iag1975", "gk6:iag1975", "gk:iag1975:108", "utm:49N:iag1975"}) {
    const CoordinateForm form = parse_form(text);
    const Eigen::Vector3d values = from_geocentric(form, point);
    EXPECT_LT((to_geocentric(form, values) - point).norm(), 1e-8) << text;
    EXPECT_NEAR(values[2], 412.5, 1e-8) << text;
  }
  // A gk easting may carry its 3- or its 6-degree zone; either gives the point.
  const CoordinateForm gk117 = parse_form("gk:iag1975:117");
  const Eigen::Vector3d plain =
      from_geocentric(gk117, geocentric_from_geodetic(gk117.ellipsoid, {39.9, 116.4, 44}));
  for (const double prefix : {39e6, 20e6})
    EXPECT_LT(
        (to_geocentric(gk117, plain + Eigen::Vector3d(0, prefix, 0)) - to_geocentric(gk117, plain))
            .norm(),
        2e-8);
}

TEST(PointForms, SouthernUtmCountsNorthingsFromTenThousandKilometres) {
  const CoordinateForm form = parse_form("utm:33S:wgs84");
  const Ellipsoid& e = form.ellipsoid;
  const Eigen::Vector3d values = from_geocentric(form, geocentric_from_geodetic(e, {-30, 15, 0}));
  const GridPoint grid = tm_forward(e, {1, 15, 0, 0}, {-30, 15});
  EXPECT_NEAR(values[0], 500000, 1e-9);
  EXPECT_NEAR(values[1], 10000000 + 0.9996 * grid.northing, 1e-8);
}

TEST(PointForms, RefusesWhatCannotBeACoordinateOfItsForm) {
  const std::tuple<const char*, Eigen::Vector3d, const char*> cases[] = {
      {"geodetic:wgs84", {90.5, 0, 0}, "latitude 90.5 lies beyond -90..90 degrees"},
      {"geodetic:wgs84", {-91, 0, 0}, "latitude -91 lies beyond"},
      {"geodetic:wgs84", {0, 360.5, 0}, "longitude 360.5 lies beyond -360..360 degrees"},
      {"geodetic:wgs84", {NAN, 0, 0}, "latitude nan lies beyond"},
      {"gk3:cgcs2000",
       {3500000, 500000, 0},
       "easting 500000.000000 has no zone number in front (gk3:cgcs2000 needs one, such as "
       "39500000.000 in zone 39)"},
      {"gk6:cgcs2000",
       {3500000, 61500000, 0},
       "zone 61 of easting 61500000.000000 does not exist in gk6:cgcs2000"},
      {"gk:krassovsky:117",
       {3500000, 38500000, 0},
       "zone 38 in front of easting 38500000.000000 is neither the 3- nor the 6-degree zone of "
       "central meridian 117 (gk:krassovsky:117)"},
      {"gk:krassovsky:117",
       {10010000, 500000, 0},
       "northing 10010000.000000 lies off the ellipsoid"},
      {"utm:50N:wgs84", {500000, -10010000, 0}, "northing -10010000.000000 lies off the ellipsoid"},
      {"gk:wgs84:117", {0, 5e11, 0}, "easting 500000000000.000000 lies off the ellipsoid"},
  };
  for (const auto& [text, values, message] : cases) {
    const std::string failure =
        failure_of([&text = text, &values = values] { to_geocentric(parse_form(text), values); });
    EXPECT_NE(failure.find(message), std::string::npos) << text << " gave: " << failure;
  }
}

TEST(PointForms, GridCentralMeridianIsTheZonePrefixs) {
  const CoordinateForm form = parse_form("gk3:cgcs2000");
  const Eigen::Vector3d xyz = geocentric_from_geodetic(form.ellipsoid, {31, 121.2, 5});
  // Kept in zone 40 (120 degrees) and in zone 41 (123 degrees) beyond its edge.
  EXPECT_EQ(grid_central_meridian(form, from_geocentric(form, xyz, 40)), 120);
  EXPECT_EQ(grid_central_meridian(form, from_geocentric(form, xyz, 41)), 123);
  EXPECT_EQ(grid_central_meridian(parse_form("utm:51N:wgs84"), {351000, 3430000, 5}), 123);
  EXPECT_EQ(grid_central_meridian(parse_form("gk:krassovsky:117"), {3430000, 500000, 5}), 117);
  EXPECT_THROW(grid_central_meridian(form, {3430000, 519000, 5}), Failure);
  EXPECT_NEAR(longitude_of(xyz), 121.2, 1e-12);
  for (const double y : {0.0, -0.0, 1e-300, -1e-300})
    EXPECT_EQ(longitude_of({-1, y, 0}), -180) << y;
  EXPECT_EQ(zone_containing(form.kind, longitude_of(xyz)), 40);
}

}  // namespace
}  // namespace helmert7::geodesy
