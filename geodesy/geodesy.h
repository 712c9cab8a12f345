// SPDX-License-Identifier: MIT
// Ellipsoids, geodetic <-> geocentric coordinates, the transverse Mercator
// projection and the coordinate forms of point files ("xyz", "geodetic:wgs84",
// "gk:krassovsky:117", "gk3:cgcs2000", "gk6:iag1975", "utm:50N:wgs84"), and the
// local north, east, up frame of residuals and of what heights determine. Pure
// numerics: nothing here prints or touches files; what the user can mend throws
// helmert7::Failure with a message that names the value.
//
// Units and signs: latitude and longitude in degrees, north and east positive;
// heights above the ellipsoid, grid coordinates and geocentric X, Y, Z in metres.
// Geocentric axes: X through latitude 0, longitude 0; Y through latitude 0,
// longitude 90 east; Z through the north pole. Gauss-Krueger coordinates are
// x (north), y (east), in that order; UTM coordinates are easting, northing.
//
// Methods: geocentric to geodetic by Vermeille's closed form (J. Geodesy 76,
// 2002), about 1 nm from 10 km below to 10,000 km above the ellipsoid. Transverse
// Mercator by Krueger's series to order n^6 (Karney, J. Geodesy 85, 2011): within
// 5 nm of the exact projection up to 6 degrees from the central meridian, within
// 1 mm up to 20 degrees.
#pragma once

#include <Eigen/Core>
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace helmert7::geodesy {

/// An oblate ellipsoid with the constants derived from it, computed once.
struct Ellipsoid {
  std::string name;               ///< "wgs84", or "6378140/298.257" as given
  double a = 0;                   ///< semi-major axis, metres
  double inverse_flattening = 0;  ///< 1/f
  double f = 0;                   ///< flattening
  double e2 = 0;                  ///< first eccentricity squared, f (2 - f)
  double e = 0;                   ///< first eccentricity
  double n = 0;                   ///< third flattening, f / (2 - f)
  double rectifying_radius = 0;   ///< metres of meridian arc per radian of rectifying latitude
  std::array<double, 7> alpha{};  ///< Krueger's series, conformal to rectifying (index 1..6)
  std::array<double, 7> beta{};   ///< and back
  /// The conformal latitude as the geodetic one plus a series of sines of twice
  /// it (index 1..6, to order n^6), and the geodetic as the conformal plus one.
  std::array<double, 7> to_conformal{};
  std::array<double, 7> from_conformal{};
};

/// The ellipsoid of semi-major axis `a` (metres) and inverse flattening `rf`;
/// throws Failure unless a > 0 and rf > 1 (no sphere, no prolate shape).
Ellipsoid make_ellipsoid(std::string name, double a, double rf);

/// wgs84, grs80, cgcs2000, krassovsky, iag1975 (any case), or "A/RF" as numbers
/// ("6378140/298.257"); throws Failure naming the text and the known names.
Ellipsoid ellipsoid_named(std::string_view text);

/// The fields of a text between colons: "gk:wgs84:117" gives gk, wgs84, 117.
std::vector<std::string_view> split_colons(std::string_view text);

/// The names ellipsoid_named knows, for messages: "wgs84, grs80, ...".
std::string known_ellipsoids();

// ---- Angles ----------------------------------------------------------------

/// How a text gives an angle: decimal degrees, or degrees:minutes:seconds.
enum class AngleStyle { decimal, dms };

/// Degrees from "30.52", "-117.5" or "30:31:12.3456" (a leading '-' for south or
/// west; minutes and seconds below 60). Throws Failure naming the text.
double read_degrees(std::string_view text);

/// dms where the text holds a ':', else decimal.
AngleStyle angle_style_of(std::string_view text);

/// Decimal with 10 decimals ("30.5200960000"), or d:m:s with the seconds to 6
/// decimals ("30:31:12.345600", "-0:00:01.500000").
std::string format_degrees(double degrees, AngleStyle style);

/// Throw Failure for a latitude beyond +-90 or a longitude beyond +-360 degrees.
void check_latitude(double degrees);
void check_longitude(double degrees);

/// `longitude` - `central_meridian` brought into (-180, 180] degrees.
double offset_from_meridian(double longitude, double central_meridian);

/// Sine and cosine of an angle in degrees, exact at multiples of 90.
struct SinCos {
  double sin = 0;
  double cos = 1;
};
SinCos sincos_degrees(double degrees);

// ---- Geodetic and geocentric coordinates -----------------------------------

struct Geodetic {
  double latitude = 0;   ///< degrees, north positive
  double longitude = 0;  ///< degrees, east positive
  double height = 0;     ///< metres above the ellipsoid
};

/// Geocentric X, Y, Z (metres) of a geodetic point.
Eigen::Vector3d geocentric_from_geodetic(const Ellipsoid& ellipsoid, const Geodetic& point);

/// The longitude of X, Y, Z in [-180, 180) degrees, as geodetic_from_geocentric's.
double longitude_of(const Eigen::Vector3d& xyz);

/// The geodetic point nearest the ellipsoid for X, Y, Z; longitude in [-180, 180).
Geodetic geodetic_from_geocentric(const Ellipsoid& ellipsoid, const Eigen::Vector3d& xyz);

/// The rotation from geocentric axes to north, east, up at a point: its rows are
/// the unit vectors north, east and up, so that R * dX gives (dN, dE, dU).
Eigen::Matrix3d north_east_up(double latitude, double longitude);

/// north_east_up at the geodetic place of X, Y, Z on `ellipsoid`.
Eigen::Matrix3d north_east_up_at(const Ellipsoid& ellipsoid, const Eigen::Vector3d& xyz);

// ---- Transverse Mercator ---------------------------------------------------

/// Where a projection puts its grid: scale on the central meridian, central
/// meridian (degrees), false easting and northing (metres).
struct GridProjection {
  double scale = 1;
  double central_meridian = 0;
  double false_easting = 500000;
  double false_northing = 0;
};

struct GridPoint {
  double northing = 0;  ///< metres
  double easting = 0;   ///< metres
};

struct LatLon {
  double latitude = 0;   ///< degrees
  double longitude = 0;  ///< degrees
};

/// Grid coordinates of a point at most 90 degrees of longitude from the central
/// meridian (Failure beyond).
GridPoint tm_forward(const Ellipsoid& ellipsoid, const GridProjection& grid, const LatLon& point);

/// Latitude and longitude (in [-180, 180)) of grid coordinates; a northing beyond
/// the pole, or an easting too far out to invert, throws Failure.
LatLon tm_inverse(const Ellipsoid& ellipsoid, const GridProjection& grid, const GridPoint& point);

/// The meridian convergence at a point (degrees): the angle from true north
/// clockwise to the grid's north, positive east of the central meridian in the
/// northern hemisphere. From its series to the fifth power of the longitude
/// offset: within 1e-6 degrees up to 6 degrees from the central meridian, ample
/// for turning standard deviations into the grid's axes.
double meridian_convergence(const Ellipsoid& ellipsoid, const LatLon& point,
                            double central_meridian);

// ---- Coordinate forms ------------------------------------------------------

enum class FormKind { xyz, geodetic, gk, gk3, gk6, utm };

/// Whether points of `kind` are grid coordinates: gk, gk3, gk6, utm.
constexpr bool is_grid(FormKind kind) {
  return kind != FormKind::xyz && kind != FormKind::geodetic;
}

/// Whether `kind` counts zones by a number in front of the easting: gk3, gk6.
constexpr bool is_zoned(FormKind kind) { return kind == FormKind::gk3 || kind == FormKind::gk6; }

/// A coordinate form as read from its text (see parse_form).
struct CoordinateForm {
  std::string text;  ///< as given, for messages and reports
  FormKind kind = FormKind::xyz;
  Ellipsoid ellipsoid;          ///< every kind but xyz
  double central_meridian = 0;  ///< gk: LON0; utm: the zone's; degrees
  int utm_zone = 0;             ///< utm: 1 to 60
  bool south = false;           ///< utm: southern hemisphere (false northing 10^7 m)
};

/// Reads "xyz", "geodetic:ELLIPSOID", "gk:ELLIPSOID:LON0", "gk3:ELLIPSOID",
/// "gk6:ELLIPSOID" or "utm:ZONE:ELLIPSOID" (ZONE as "50N", "33S"); throws Failure
/// naming the text and what it lacks.
CoordinateForm parse_form(std::string_view text);

/// What a zone number in front of a Gauss-Krueger easting is worth: 39500000.0 is
/// zone 39, easting 500000.
constexpr double kZonePrefixUnit = 1e6;

/// The central meridian of a 3-degree (3 zone) or 6-degree (6 zone - 3) zone.
double gk_central_meridian(FormKind kind, int zone);

/// The zone of `kind` (gk3, gk6, utm) whose strip holds `longitude`.
int zone_containing(FormKind kind, double longitude);

/// The zone number in front of the easting of a gk, gk3 or gk6 point's values;
/// 0 where there is none (and for the other forms).
int zone_prefix_of(const CoordinateForm& form, const Eigen::Vector3d& values);

/// The central meridian (degrees) of a grid point's grid (gk, gk3, gk6, utm; its
/// three values as given): LON0 or the UTM zone's, or for gk3 and gk6 that of the
/// zone number in front of the easting. Throws as to_geocentric for a zone
/// number missing or unknown.
double grid_central_meridian(const CoordinateForm& form, const Eigen::Vector3d& values);

/// Geocentric X, Y, Z of a point's three values in `form`. Refuses (Failure) a
/// latitude beyond +-90, a longitude beyond +-360, a zone prefix that disagrees
/// with LON0 or is missing for gk3/gk6, a northing off the ellipsoid.
Eigen::Vector3d to_geocentric(const CoordinateForm& form, const Eigen::Vector3d& values);

/// The three values in `form` of a geocentric point. gk3 and gk6 use `zone`, or
/// where it is 0 the zone holding the point, and put it in front of the easting.
Eigen::Vector3d from_geocentric(const CoordinateForm& form, const Eigen::Vector3d& xyz,
                                int zone = 0);

/// The coordinate forms of a run's two sides; xyz for both unless set.
struct CoordinateForms {
  CoordinateForm source, target;
  /// Whether the run converts: either side is other than xyz.
  bool convert() const { return source.kind != FormKind::xyz || target.kind != FormKind::xyz; }
};

// ---- Local frames ----------------------------------------------------------

/// Geocentric points, one per row (metres).
using PointRows = Eigen::Matrix<double, Eigen::Dynamic, 3>;

/// The Earth's mean radius (metres), and how far from it a point of an xyz network
/// may lie, as a share, to count as near the Earth's surface.
constexpr double kEarthMeanRadius = 6371000.0;
constexpr double kNearSurfaceShare = 0.01;

/// Whether every point lies 0.99 to 1.01 mean radii from the origin.
bool near_earth_surface(const PointRows& points);

/// Geocentric residuals (X, Y, Z interleaved, metres) as north, east, up (one row a
/// point) in the local frame of `ellipsoid` at each of `points`.
PointRows north_east_up_residuals(const Ellipsoid& ellipsoid, const PointRows& points,
                                  const Eigen::VectorXd& residuals);

/// Heights above `ellipsoid` of geocentric points (metres).
Eigen::VectorXd ellipsoidal_heights(const Ellipsoid& ellipsoid, const PointRows& points);

/// Local motions of a network (seen at its centroid's north, east and up) that a
/// similarity transformation makes.
enum class LocalMotion {
  shift_north, shift_east, shift_up, turn_north, turn_east, turn_up, scale
};

/// The motions that the horizontal components of `points` alone leave poorly
/// determined: those whose standard error in a fit of the seven parameters to
/// north and east components only exceeds `growth` times that of a fit to all
/// three. Turns are about axes through the centroid; the local frame is of
/// `ellipsoid` at each point.
std::vector<LocalMotion> motions_without_heights(const Ellipsoid& ellipsoid,
                                                 const PointRows& points, double growth);

}  // namespace helmert7::geodesy
