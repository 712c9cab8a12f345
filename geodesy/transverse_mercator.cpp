// SPDX-License-Identifier: MIT
// The transverse Mercator projection by Krueger's series. Latitude goes to its
// conformal form, the sphere's (Gauss-Schreiber) projection of that gives the
// complex zeta' = xi' + i eta', and the series of sines in 2 zeta' takes it to
// zeta = xi + i eta, the grid in units of the rectifying radius.
#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

#include "geodesy/geodesy.h"
#include "numtext/numtext.h"

namespace helmert7::geodesy {
namespace {

using Complex = std::complex<double>;
constexpr double kPi = 3.14159265358979323846;
constexpr double kDegreesPerRadian = 180 / kPi;

// sum of c[j] sin(2 j zeta) for j = 1..6, by Clenshaw's recurrence.
Complex sine_series(const std::array<double, 7>& c, Complex zeta) {
  const Complex two_cos = 2.0 * std::cos(2.0 * zeta);
  Complex b1 = 0, b2 = 0;
  for (int j = 6; j >= 1; --j) {
    const Complex b0 = two_cos * b1 - b2 + c[j];
    b2 = b1;
    b1 = b0;
  }
  return b1 * std::sin(2.0 * zeta);
}

// tan of the conformal latitude for tau = tan of the latitude.
double conformal_tan(const Ellipsoid& ellipsoid, double tau) {
  const double secant = std::hypot(1.0, tau);
  const double sigma = std::sinh(ellipsoid.e * std::atanh(ellipsoid.e * tau / secant));
  return std::hypot(1.0, sigma) * tau - sigma * secant;
}

// The inverse of conformal_tan by Newton's method; two steps reach double
// precision from this start.
double tan_from_conformal(const Ellipsoid& ellipsoid, double conformal) {
  const double e2m = 1 - ellipsoid.e2;
  const double tolerance =
      0.1 * std::sqrt(std::numeric_limits<double>::epsilon()) * std::max(1.0, std::fabs(conformal));
  double tau = conformal / e2m;
  for (int step = 0; step < 5; ++step) {
    const double trial = conformal_tan(ellipsoid, tau);
    const double change = (conformal - trial) * (1 + e2m * tau * tau) /
                          (e2m * std::hypot(1.0, tau) * std::hypot(1.0, trial));
    tau += change;
    if (!(std::fabs(change) >= tolerance)) break;
  }
  return tau;
}

// zeta' of the sphere's projection for a longitude at most 90 degrees from the
// central meridian.
Complex gauss_schreiber(const Ellipsoid& ellipsoid, double latitude, double longitude_offset) {
  const SinCos lambda = sincos_degrees(longitude_offset);
  if (std::fabs(latitude) == 90) return {std::copysign(kPi / 2, latitude), 0};
  const SinCos phi = sincos_degrees(latitude);
  const double tau_conformal = conformal_tan(ellipsoid, phi.sin / phi.cos);
  const double c = std::max(0.0, lambda.cos);
  return {std::atan2(tau_conformal, c), std::asinh(lambda.sin / std::hypot(tau_conformal, c))};
}

// A longitude in [-180, 180).
double wrapped(double longitude) {
  const double offset = offset_from_meridian(longitude, 0);
  return offset == 180 ? -180 : offset;
}

}  // namespace

GridPoint tm_forward(const Ellipsoid& ellipsoid, const GridProjection& grid, const LatLon& point) {
  const double offset = offset_from_meridian(point.longitude, grid.central_meridian);
  // At a pole the longitude does not matter.
  if (!(std::fabs(offset) <= 90) && std::fabs(point.latitude) != 90)
    throw Failure("longitude " + format_shortest(point.longitude) +
                  " lies more than 90 degrees from the central meridian " +
                  format_shortest(grid.central_meridian));
  const Complex zeta_sphere =
      gauss_schreiber(ellipsoid, point.latitude, std::fabs(offset) <= 90 ? offset : 0);
  const Complex zeta = zeta_sphere + sine_series(ellipsoid.alpha, zeta_sphere);
  const double unit = ellipsoid.rectifying_radius * grid.scale;
  return {grid.false_northing + unit * zeta.real(), grid.false_easting + unit * zeta.imag()};
}

LatLon tm_inverse(const Ellipsoid& ellipsoid, const GridProjection& grid, const GridPoint& point) {
  const double unit = ellipsoid.rectifying_radius * grid.scale;
  const double xi = (point.northing - grid.false_northing) / unit;
  const double eta = (point.easting - grid.false_easting) / unit;
  // A millimetre of slack keeps a pole given to the last digit.
  if (!(std::fabs(xi) <= kPi / 2 + 1e-3 / unit))
    throw Failure("northing " + format_number(point.northing) + " lies off the ellipsoid");
  const Complex zeta_sphere = Complex(xi, eta) - sine_series(ellipsoid.beta, Complex(xi, eta));
  const double s = std::sinh(zeta_sphere.imag());
  const double c = std::max(0.0, std::cos(zeta_sphere.real()));
  const double r = std::hypot(s, c);
  if (!std::isfinite(r))
    throw Failure("easting " + format_number(point.easting) + " lies off the ellipsoid");
  if (r == 0) return {std::copysign(90.0, xi), wrapped(grid.central_meridian)};
  const double tau = tan_from_conformal(ellipsoid, std::sin(zeta_sphere.real()) / r);
  return {std::atan(tau) * kDegreesPerRadian,
          wrapped(grid.central_meridian + std::atan2(s, c) * kDegreesPerRadian)};
}

}  // namespace helmert7::geodesy
