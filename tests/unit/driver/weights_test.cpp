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

// A grid's standard deviations lie along its own north and east, which the
// meridian convergence turns from the meridian's: checked against the directions
// in which the grid's values move a point (central differences), for a point
// found by name in its list and for UTM's easting-first order.
TEST(Sigmas, GridAxesAreTheGridsOwn) {
  const struct {
    const char* form;
    Eigen::Vector3d first, second;  // the second, 2.5 degrees off its meridian, is used
    int north, east;                // which value moves along the grid's north, east
  } cases[] = {{"gk3:cgcs2000", {3800000, 36500000, 400}, {3790000, 36730000, 420}, 0, 1},
               {"utm:50N:wgs84", {500000, 3800000, 400}, {730000, 3790000, 420}, 1, 0}};
  for (const auto& c : cases) {
    Inputs inputs;
    inputs.forms.target = geodesy::parse_form(c.form);
    inputs.test_forms = inputs.forms;
    inputs.target_list = {c.first(0),  c.first(1),  c.first(2),
                          c.second(0), c.second(1), c.second(2)};
    inputs.target_names = {"A", "B"};
    convert_to_geocentric(inputs);
    const Eigen::Vector3d sigmas(0.01, 0.03, 0.05);  // in the form's own order of values
    inputs.target_sigmas = sigmas;
    Network network;
    network.pairing.by_name = true;
    network.names = {"B"};
    network.target = point_matrix({inputs.target_list.begin() + 3, inputs.target_list.end()});
    const Eigen::Matrix3d covariance = point_precision(inputs, network).target.at(0);
    for (const int k : {c.north, c.east}) {
      Eigen::Vector3d step = Eigen::Vector3d::Zero();
      step(k) = 1;
      const Eigen::Vector3d u =
          (geodesy::to_geocentric(inputs.forms.target, c.second + step) -
           geodesy::to_geocentric(inputs.forms.target, c.second - step)).normalized();
      EXPECT_NEAR(u.dot(covariance * u), sigmas(k) * sigmas(k), 1e-10) << c.form << " " << k;
    }
  }
}

}  // namespace
}  // namespace helmert7
