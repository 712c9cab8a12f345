// SPDX-License-Identifier: MIT
// Geodetic <-> geocentric coordinates, and the local north-east-up frame.
#include <algorithm>
#include <cmath>
#include <limits>

#include "geodesy/directions.h"

namespace helmert7::geodesy {
namespace {

constexpr double kDegreesPerRadian = 180 / 3.14159265358979323846;

struct LatitudeHeight {
  double latitude;  // radians
  double height;    // metres
};

// Vermeille's k, the root of his quartic, for p = (R/a)^2 and q = (1-e2)(z/a)^2.
// The forms below avoid cancellation: the cube root is taken of the larger of
// the two candidates, and u + v is rewritten where u < 0.
double vermeille_k(double e2, double p, double q) {
  const double e4 = e2 * e2;
  const double r = (p + q - e4) / 6;
  const double s = e4 * p * q / 4;  // Vermeille's s times r^3
  const double r2 = r * r, r3 = r * r2;
  const double discriminant = s * (2 * r3 + s);
  double u = r;
  if (discriminant >= 0) {
    const double t3 = r3 + s + std::copysign(std::sqrt(discriminant), r3 + s);
    const double t = std::cbrt(t3);
    u += t + (t != 0 ? r2 / t : 0);
  } else {  // three real roots (then r < 0): the one that keeps u from cancelling
    u += 2 * r * std::cos(std::atan2(std::sqrt(-discriminant), -(s + r3)) / 3);
  }
  const double v = std::sqrt(u * u + e4 * q);
  const double u_plus_v = u < 0 ? e4 * q / (v - u) : u + v;
  const double w = std::max(0.0, e2 * (u_plus_v - q) / (2 * v));
  return u_plus_v / (std::sqrt(u_plus_v + w * w) + w);
}

// So far out that the ellipsoid is a point.
bool far_out(const Ellipsoid& ellipsoid, double distance) {
  return distance > 2 * ellipsoid.a / std::numeric_limits<double>::epsilon();
}

// Within the evolute on the equatorial plane, where Vermeille's k would be 0.
bool inside_evolute(double e2, double p, double q) { return e2 * e2 * q == 0 && p + q <= e2 * e2; }

// Latitude and height of a point at distance R from the axis and z from the
// equatorial plane.
LatitudeHeight latitude_height(const Ellipsoid& ellipsoid, double R, double z) {
  const double a = ellipsoid.a, e2 = ellipsoid.e2, e2m = 1 - e2;
  const double p = (R / a) * (R / a), q = e2m * (z / a) * (z / a);
  if (inside_evolute(e2, p, q)) {
    // On the equatorial plane inside the evolute: the nearest points of the
    // ellipsoid lie off the plane; k would be 0 and the general form 0/0.
    const double zz = std::sqrt((e2 * e2 - p) / e2m), xx = std::sqrt(p);
    const double latitude = std::atan2(zz, xx);
    return {std::signbit(z) ? -latitude : latitude, -a * e2m * std::hypot(xx, zz) / e2};
  }
  const double k = vermeille_k(e2, p, q);
  const double d = k * R / (k + e2);
  return {std::atan2(z / k, R / (k + e2)), (1 - e2m / k) * std::hypot(d, z)};
}

}  // namespace

double longitude_of(const Eigen::Vector3d& xyz) {
  // atan2 gives 180 on the far side (y = +0) and at its rounded edge: -180 here.
  const double longitude = std::atan2(xyz.y(), xyz.x()) * kDegreesPerRadian;
  return longitude >= 180 ? -180 : longitude;
}

Eigen::Vector3d geocentric_from_geodetic(const Ellipsoid& ellipsoid, const Geodetic& point) {
  const SinCos phi = sincos_degrees(point.latitude), lambda = sincos_degrees(point.longitude);
  const double normal_radius = ellipsoid.a / std::sqrt(1 - ellipsoid.e2 * phi.sin * phi.sin);
  const double r = (normal_radius + point.height) * phi.cos;
  return {r * lambda.cos, r * lambda.sin,
          ((1 - ellipsoid.e2) * normal_radius + point.height) * phi.sin};
}

namespace detail {

Eigen::Vector3d geocentric_from_direction(const Ellipsoid& ellipsoid, const Direction& direction,
                                          double height) {
  // cos and sin of the latitude from its tangent, by 1/tau beyond 45 degrees
  // against overflow (and at a pole, where tau is infinite).
  const double tau = direction.tan_latitude;
  double sin_phi = 0, cos_phi = 0;
  if (std::fabs(tau) <= 1) {
    cos_phi = 1 / std::sqrt(1 + tau * tau);
    sin_phi = tau * cos_phi;
  } else {
    const double cot = 1 / tau;
    sin_phi = std::copysign(1 / std::sqrt(1 + cot * cot), tau);
    cos_phi = cot * sin_phi;
  }
  const double normal_radius = ellipsoid.a / std::sqrt(1 - ellipsoid.e2 * sin_phi * sin_phi);
  const double r = (normal_radius + height) * cos_phi;
  return {r * direction.longitude.cos, r * direction.longitude.sin,
          ((1 - ellipsoid.e2) * normal_radius + height) * sin_phi};
}

bool direction_from_geocentric(const Ellipsoid& ellipsoid, const Eigen::Vector3d& xyz,
                               DirectionHeight& point) {
  const double x = xyz.x(), y = xyz.y(), z = xyz.z();
  const double R = std::sqrt(x * x + y * y);
  // Off the axis, and near enough that the squares stay finite.
  if (!(R > 0) || !(R < ellipsoid.a * 1e6 && std::fabs(z) < ellipsoid.a * 1e6)) return false;
  const double a = ellipsoid.a, e2 = ellipsoid.e2, e2m = 1 - e2;
  const double p = (R / a) * (R / a), q = e2m * (z / a) * (z / a);
  if (inside_evolute(e2, p, q)) return false;
  const double k = vermeille_k(e2, p, q);
  const double d = k * R / (k + e2);
  point.direction = {z * (k + e2) / (k * R), {y / R, x / R}};
  point.height = (1 - e2m / k) * std::sqrt(d * d + z * z);
  return true;
}

}  // namespace detail

Geodetic geodetic_from_geocentric(const Ellipsoid& ellipsoid, const Eigen::Vector3d& xyz) {
  const double R = std::hypot(xyz.x(), xyz.y());
  const double longitude = longitude_of(xyz);
  const double distance = std::hypot(R, xyz.z());
  if (far_out(ellipsoid, distance)) {
    // The ellipsoid is a point; halved against overflow.
    const double latitude = std::atan2(xyz.z() / 2, std::hypot(xyz.x() / 2, xyz.y() / 2));
    return {latitude * kDegreesPerRadian, longitude, distance};
  }
  const LatitudeHeight lh = latitude_height(ellipsoid, R, xyz.z());
  return {lh.latitude * kDegreesPerRadian, longitude, lh.height};
}

Eigen::Matrix3d north_east_up(double latitude, double longitude) {
  const SinCos phi = sincos_degrees(latitude), lambda = sincos_degrees(longitude);
  Eigen::Matrix3d rotation;
  rotation << -phi.sin * lambda.cos, -phi.sin * lambda.sin, phi.cos,  //
      -lambda.sin, lambda.cos, 0,                                     //
      phi.cos * lambda.cos, phi.cos * lambda.sin, phi.sin;
  return rotation;
}

}  // namespace helmert7::geodesy
