// SPDX-License-Identifier: MIT
// The standard deviations of a run: the texts accepted and refused, and the
// covariances they give in geocentric axes, checked along north, east and up
// written out here from the latitude and longitude.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "driver/steps.h"

namespace helmert7 {
namespace {

TEST(Sigmas, OneValueOrThreePositiveAndFinite) {
  EXPECT_FALSE(read_sigmas({"", "--dessigma"}));
  EXPECT_EQ(*read_sigmas({"0.005", "--dessigma"}), Eigen::Vector3d::Constant(0.005));
  EXPECT_EQ(*read_sigmas({"0.003, 0.003,0.008", "--srcsigma"}),
            Eigen::Vector3d(0.003, 0.003, 0.008));
  const struct {
    const char* text;
    const char* message;
  } refused[] = {{"0", "--dessigma: a standard deviation must be positive and finite, not '0'"},
                 {"-0.01", "must be positive"},
                 {"0.01,0,0.01", "must be positive"},
                 {"nan", "must be positive"},
                 {"inf", "must be positive"},
                 {"0.01,0.02", "--dessigma takes one standard deviation or three"},
                 {"1,2,3,4", "takes one standard deviation or three"},
                 {"five mm", "takes one standard deviation or three"}};
  for (const auto& r : refused) {
    try {
      read_sigmas({r.text, "--dessigma"});
      ADD_FAILURE() << r.text << " accepted";
    } catch (const Failure& e) {
      EXPECT_NE(std::string(e.what()).find(r.message), std::string::npos) << e.what();
    }
  }
}

Eigen::Vector3d axis(const char* name, double lat_deg, double lon_deg) {
  const double pi = std::acos(-1.0);
  const double f = lat_deg * pi / 180, l = lon_deg * pi / 180;
  if (std::string(name) == "north")
    return {-std::sin(f) * std::cos(l), -std::sin(f) * std::sin(l), std::cos(f)};
  if (std::string(name) == "east") return {-std::sin(l), std::cos(l), 0};
  return {std::cos(f) * std::cos(l), std::cos(f) * std::sin(l), std::sin(f)};
}

// The variance along each local axis is the square of the value given for it, in
// the order of the form's values; xyz keeps its own axes.
TEST(Sigmas, CovariancesTurnFromTheFormsAxes) {
  const double lat = 47.3, lon = 8.6;
  const struct {
    const char* form;
    const char* axes[3];
  } cases[] = {{"geodetic:grs80", {"north", "east", "up"}},
               {"gk3:cgcs2000", {"north", "east", "up"}},
               {"utm:32N:wgs84", {"east", "north", "up"}}};
  for (const auto& c : cases) {
    Inputs inputs;
    inputs.forms.target = geodesy::parse_form(c.form);
    inputs.target_sigmas = Eigen::Vector3d(0.01, 0.02, 0.05);
    Network network;
    network.target.resize(1, 3);
    network.target.row(0) =
        geodesy::geocentric_from_geodetic(inputs.forms.target.ellipsoid, {lat, lon, 420.0})
            .transpose();
    const Eigen::Matrix3d covariance = point_precision(inputs, network).target.at(0);
    for (int k = 0; k < 3; ++k) {
      const Eigen::Vector3d u = axis(c.axes[k], lat, lon);
      EXPECT_NEAR(u.dot(covariance * u), std::pow((*inputs.target_sigmas)(k), 2), 1e-12)
          << c.form << " " << c.axes[k];
    }
    EXPECT_TRUE(point_precision(inputs, network).source.empty());
  }
  Inputs xyz;
  xyz.target_sigmas = xyz.source_sigmas = Eigen::Vector3d(0.01, 0.02, 0.05);
  Network network;
  network.source = network.target = PointMatrix::Ones(2, 3);
  const PointPrecision precision = point_precision(xyz, network);
  const Eigen::Matrix3d diagonal = Eigen::Vector3d(1e-4, 4e-4, 25e-4).asDiagonal();
  EXPECT_TRUE(precision.source.at(1).isApprox(diagonal, 1e-14)) << precision.source.at(1);
}

}  // namespace
}  // namespace helmert7
