// SPDX-License-Identifier: MIT
// Private to geodesy/: the steps of the point conversions with a latitude carried
// as its tangent and a longitude as its sine and cosine. A chain of them (grid to
// geocentric, geocentric to grid) then passes no angle from one step to the next,
// and spends no arc function and no sine on one.
#pragma once

#include "geodesy/geodesy.h"

namespace helmert7::geodesy::detail {

struct Direction {
  double tan_latitude = 0;  ///< +-infinity at a pole
  SinCos longitude;         ///< or the longitude's offset from a central meridian
};

/// The sine and cosine of a central meridian (degrees), from a table where it is
/// a multiple of 3 degrees, as every zone's is.
SinCos meridian_sincos(double degrees);

/// sin and cos of longitude + meridian (east) and of longitude - meridian (west).
inline SinCos turned_east(const SinCos& longitude, const SinCos& meridian) {
  return {longitude.sin * meridian.cos + longitude.cos * meridian.sin,
          longitude.cos * meridian.cos - longitude.sin * meridian.sin};
}
inline SinCos turned_west(const SinCos& longitude, const SinCos& meridian) {
  return {longitude.sin * meridian.cos - longitude.cos * meridian.sin,
          longitude.cos * meridian.cos + longitude.sin * meridian.sin};
}

/// The tangent of the conformal latitude for that of the geodetic one, and back.
double conformal_tan(const Ellipsoid& ellipsoid, double tan_latitude);
double geodetic_tan(const Ellipsoid& ellipsoid, double tan_conformal);

/// Grid coordinates of a point whose longitude lies at most 90 degrees from the
/// central meridian: `offset.longitude` is that offset (cos >= 0).
GridPoint tm_forward(const Ellipsoid& ellipsoid, const GridProjection& grid,
                     const Direction& offset);

/// The point of grid coordinates, its longitude as the offset from the central
/// meridian; throws Failure as tm_inverse.
Direction tm_inverse(const Ellipsoid& ellipsoid, const GridProjection& grid,
                     const GridPoint& point);

Eigen::Vector3d geocentric_from_direction(const Ellipsoid& ellipsoid, const Direction& direction,
                                          double height);

struct DirectionHeight {
  Direction direction;
  double height = 0;
};

/// The direction and height of the point nearest the ellipsoid for X, Y, Z; false
/// on the axis, far out, and on the equatorial plane within the evolute, where
/// geodetic_from_geocentric takes its own ways.
bool direction_from_geocentric(const Ellipsoid& ellipsoid, const Eigen::Vector3d& xyz,
                               DirectionHeight& point);

}  // namespace helmert7::geodesy::detail
