// SPDX-License-Identifier: MIT
// The transverse Mercator projection by Krueger's series. Latitude goes to its
// conformal form, the sphere's (Gauss-Schreiber) projection of that gives the
// complex zeta' = xi' + i eta', and the series of sines in 2 zeta' takes it to
// zeta = xi + i eta, the grid in units of the rectifying radius.
//
// Every step works on tangents, sines and cosines: the sines of 2 zeta' follow
// from the Gauss-Schreiber step without a call, the series are summed by
// Clenshaw's recurrence in real arithmetic, and the conformal latitude comes and
// goes by its own series.
#include <algorithm>
#include <cmath>
#include <limits>

#include "geodesy/directions.h"
#include "numtext/numtext.h"

namespace helmert7::geodesy {
namespace {

using detail::Direction;
constexpr double kPi = 3.14159265358979323846;
constexpr double kDegreesPerRadian = 180 / kPi;

struct Pair {
  double re = 0;
  double im = 0;
};

// sin 2 zeta and cos 2 zeta for zeta = x + i y, from sin, cos 2x and sinh, cosh 2y.
struct DoubleAngle {
  double sin_2x, cos_2x, sinh_2y, cosh_2y;
};

// sum of c[j] sin(2 j zeta) for j = 1..6, by Clenshaw's recurrence on
// 2 cos 2 zeta, in real arithmetic.
Pair sine_series(const std::array<double, 7>& c, const DoubleAngle& z) {
  const Pair two_cos{2 * z.cos_2x * z.cosh_2y, -2 * z.sin_2x * z.sinh_2y};
  Pair b1, b2;
  for (int j = 6; j >= 1; --j) {
    // c[j] - b2 apart from the products: the longest chain is then one product and one sum
    const Pair b0{(two_cos.re * b1.re - two_cos.im * b1.im) + (c[j] - b2.re),
                  (two_cos.re * b1.im + two_cos.im * b1.re) - b2.im};
    b2 = b1;
    b1 = b0;
  }
  const Pair sin{z.sin_2x * z.cosh_2y, z.cos_2x * z.sinh_2y};
  return {b1.re * sin.re - b1.im * sin.im, b1.re * sin.im + b1.im * sin.re};
}

// tan(phi + sum c[j] sin(2 j phi)) for tau = tan phi, finite.
double shifted_tan(const std::array<double, 7>& c, double tau) {
  // sin 2 phi and cos 2 phi, by 1/tau beyond 45 degrees against overflow
  const bool steep = std::fabs(tau) > 1;
  const double t = steep ? 1 / tau : tau, t2 = t * t;
  const double inverse = 1 / (1 + t2);
  const double sin_2 = 2 * t * inverse, cos_2 = (steep ? t2 - 1 : 1 - t2) * inverse;
  double b1 = 0, b2 = 0;
  for (int j = 6; j >= 1; --j) {
    const double b0 = 2 * cos_2 * b1 + (c[j] - b2);
    b2 = b1;
    b1 = b0;
  }
  const double shift = b1 * sin_2;  // at most 2n: a few milliradians
  const double s2 = shift * shift;
  const double tan_shift = std::fabs(shift) < 0.01
                               ? shift * (1 + s2 * (1.0 / 3 + s2 * (2.0 / 15 + s2 * (17.0 / 315))))
                               : std::tan(shift);
  return (tau + tan_shift) / (1 - tau * tan_shift);
}

// zeta of the unit grid for a point at most 90 degrees from the central meridian.
Pair unit_forward(const Ellipsoid& ellipsoid, const Direction& offset) {
  if (std::isinf(offset.tan_latitude)) return {std::copysign(kPi / 2, offset.tan_latitude), 0};
  const double tau = detail::conformal_tan(ellipsoid, offset.tan_latitude);
  const double s = offset.longitude.sin, c = offset.longitude.cos;
  // Gauss-Schreiber: tan xi' = tau / c, sinh eta' = s / rho; then cosh eta' =
  // sqrt(1 + tau^2) / rho, which gives the double angles of zeta'.
  const double tau2 = tau * tau, rho2 = tau2 + c * c, rho = std::sqrt(rho2);
  const Pair zeta_sphere{std::atan2(tau, c), std::asinh(s / rho)};
  const double inverse = 1 / rho2;
  const DoubleAngle twice{2 * tau * c * inverse, (c * c - tau2) * inverse,
                          2 * s * std::sqrt(1 + tau2) * inverse, 1 + 2 * s * s * inverse};
  const Pair sum = sine_series(ellipsoid.alpha, twice);
  return {zeta_sphere.re + sum.re, zeta_sphere.im + sum.im};
}

// sinh and cosh of y, odd and even in y.
struct Hyperbolic {
  double sinh, cosh;
};
Hyperbolic hyperbolic(double y) {
  const double u = std::expm1(std::fabs(y));  // e^|y| - 1
  const double sinh = u * (u + 2) / (2 * (u + 1));
  return {std::copysign(sinh, y), sinh + 1 / (u + 1)};
}

// sin, cos, sinh and cosh of d: by their series where |d| < 0.01 (the terms left
// out stay below 1e-20), else by the functions.
struct SmallAngle {
  double sin, cos, sinh, cosh;
};
SmallAngle small_angle(double d) {
  if (!(std::fabs(d) < 0.01)) return {std::sin(d), std::cos(d), std::sinh(d), std::cosh(d)};
  const double d2 = d * d;
  return {
      d * (1 - d2 / 6 * (1 - d2 / 20 * (1 - d2 / 42))), 1 - d2 / 2 * (1 - d2 / 12 * (1 - d2 / 30)),
      d * (1 + d2 / 6 * (1 + d2 / 20 * (1 + d2 / 42))), 1 + d2 / 2 * (1 + d2 / 12 * (1 + d2 / 30))};
}

// The point of the unit grid's zeta: tan of the latitude, the longitude's offset.
// zeta' = zeta - (a small sum): its sines by the sum's sines and zeta's own.
Direction unit_inverse(const Ellipsoid& ellipsoid, const Pair& zeta) {
  const double sin_x = std::sin(zeta.re), cos_x = std::cos(zeta.re);
  const Hyperbolic y = hyperbolic(zeta.im);
  const Pair sum =
      sine_series(ellipsoid.beta, {2 * sin_x * cos_x, (cos_x - sin_x) * (cos_x + sin_x),
                                   2 * y.sinh * y.cosh, 1 + 2 * y.sinh * y.sinh});
  const SmallAngle re = small_angle(sum.re), im = small_angle(sum.im);
  const double sin_xi = sin_x * re.cos - cos_x * re.sin;
  const double s = y.sinh * im.cosh - y.cosh * im.sinh;             // sinh eta'
  const double c = std::max(0.0, cos_x * re.cos + sin_x * re.sin);  // cos xi'
  const double r = std::sqrt(s * s + c * c);
  if (r == 0) return {std::copysign(std::numeric_limits<double>::infinity(), zeta.re), {0, 1}};
  const double inverse = 1 / r;
  return {detail::geodetic_tan(ellipsoid, sin_xi * inverse), {s * inverse, c * inverse}};
}

// A longitude in [-180, 180).
double wrapped(double longitude) {
  const double offset = offset_from_meridian(longitude, 0);
  return offset == 180 ? -180 : offset;
}

}  // namespace

namespace detail {

double conformal_tan(const Ellipsoid& ellipsoid, double tan_latitude) {
  return shifted_tan(ellipsoid.to_conformal, tan_latitude);
}

double geodetic_tan(const Ellipsoid& ellipsoid, double tan_conformal) {
  return std::isinf(tan_conformal) ? tan_conformal
                                   : shifted_tan(ellipsoid.from_conformal, tan_conformal);
}

GridPoint tm_forward(const Ellipsoid& ellipsoid, const GridProjection& grid,
                     const Direction& offset) {
  const Pair zeta = unit_forward(ellipsoid, offset);
  const double unit = ellipsoid.rectifying_radius * grid.scale;
  return {grid.false_northing + unit * zeta.re, grid.false_easting + unit * zeta.im};
}

Direction tm_inverse(const Ellipsoid& ellipsoid, const GridProjection& grid,
                     const GridPoint& point) {
  const double unit = ellipsoid.rectifying_radius * grid.scale;
  const double xi = (point.northing - grid.false_northing) / unit;
  const double eta = (point.easting - grid.false_easting) / unit;
  // A millimetre of slack keeps a pole given to the last digit.
  if (!(std::fabs(xi) <= kPi / 2 + 1e-3 / unit))
    throw Failure("northing " + format_number(point.northing) + " lies off the ellipsoid");
  const Direction direction = unit_inverse(ellipsoid, {xi, eta});
  if (!std::isfinite(direction.longitude.sin) || std::isnan(direction.tan_latitude))
    throw Failure("easting " + format_number(point.easting) + " lies off the ellipsoid");
  return direction;
}

}  // namespace detail

GridPoint tm_forward(const Ellipsoid& ellipsoid, const GridProjection& grid, const LatLon& point) {
  const double offset = offset_from_meridian(point.longitude, grid.central_meridian);
  // At a pole the longitude does not matter.
  if (!(std::fabs(offset) <= 90) && std::fabs(point.latitude) != 90)
    throw Failure("longitude " + format_shortest(point.longitude) +
                  " lies more than 90 degrees from the central meridian " +
                  format_shortest(grid.central_meridian));
  const SinCos phi = sincos_degrees(point.latitude);
  SinCos lambda = sincos_degrees(std::fabs(offset) <= 90 ? offset : 0);
  lambda.cos = std::max(0.0, lambda.cos);
  const double tan_latitude =
      std::fabs(point.latitude) == 90
          ? std::copysign(std::numeric_limits<double>::infinity(), point.latitude)
          : phi.sin / phi.cos;
  return detail::tm_forward(ellipsoid, grid, {tan_latitude, lambda});
}

LatLon tm_inverse(const Ellipsoid& ellipsoid, const GridProjection& grid, const GridPoint& point) {
  const Direction direction = detail::tm_inverse(ellipsoid, grid, point);
  if (std::isinf(direction.tan_latitude))
    return {std::copysign(90.0, direction.tan_latitude), wrapped(grid.central_meridian)};
  return {
      std::atan(direction.tan_latitude) * kDegreesPerRadian,
      wrapped(grid.central_meridian +
              std::atan2(direction.longitude.sin, direction.longitude.cos) * kDegreesPerRadian)};
}

double meridian_convergence(const Ellipsoid& ellipsoid, const LatLon& point,
                            double central_meridian) {
  const double l = offset_from_meridian(point.longitude, central_meridian) / kDegreesPerRadian;
  const SinCos phi = sincos_degrees(point.latitude);
  const double eta2 = ellipsoid.e2 / (1 - ellipsoid.e2) * phi.cos * phi.cos;
  const double lc2 = l * l * phi.cos * phi.cos;
  const double t2 = phi.cos == 0 ? 0 : phi.sin * phi.sin / (phi.cos * phi.cos);
  const double series = 1 + lc2 / 3 * (1 + 3 * eta2 + 2 * eta2 * eta2) + lc2 * lc2 / 15 * (2 - t2);
  return l * phi.sin * series * kDegreesPerRadian;
}

}  // namespace helmert7::geodesy
