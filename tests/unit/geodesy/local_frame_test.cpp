// SPDX-License-Identifier: MIT
// Residuals in north, east, up against displacements made along the meridian, the
// parallel and the normal with the radii of curvature (an independent route to the
// local frame), at the points of the CartConvert fixture; the near-surface test;
// and which motions a network's horizontal components leave undetermined.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geodesy/geodesy.h"

namespace helmert7::geodesy {
namespace {

constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180;

// Geodetic points of the wgs84 lines of the fixture, within 100 km of the
// ellipsoid and away from the poles (where east has no direction).
std::vector<Geodetic> fixture_points() {
  std::ifstream in(std::string(HELMERT7_TEST_DATA) + "/geodesy/geocentric.txt");
  std::vector<Geodetic> points;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string name;
    Geodetic p;
    fields >> name >> p.latitude >> p.longitude >> p.height;
    if (name == "wgs84" && std::fabs(p.latitude) < 89.9 && p.height < 1e5) points.push_back(p);
  }
  EXPECT_GT(points.size(), 100u);
  return points;
}

// Radians of latitude and longitude per metre north and east at `p`: the radii of
// curvature of the meridian, M = a (1 - e2) / W^3, and of the prime vertical, N = a / W.
struct PerMetre {
  double latitude, longitude;
};
PerMetre per_metre(const Ellipsoid& e, const Geodetic& p) {
  const double s = std::sin(p.latitude * kRadiansPerDegree);
  const double w = std::sqrt(1 - e.e2 * s * s);
  const double meridian = e.a * (1 - e.e2) / (w * w * w), prime = e.a / w;
  return {1 / (meridian + p.height),
          1 / ((prime + p.height) * std::cos(p.latitude * kRadiansPerDegree))};
}

TEST(NorthEastUp, ResidualsMatchStepsAlongMeridianParallelAndNormal) {
  const Ellipsoid wgs84 = ellipsoid_named("wgs84");
  const double step = 0.05;  // metres either side of the point
  const Eigen::Vector3d directions[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.6, -0.8, 0.3}};
  double largest = 0;
  for (const Eigen::Vector3d& direction : directions) {
    for (const Geodetic& p : fixture_points()) {
      const PerMetre rate = per_metre(wgs84, p);
      const auto moved = [&](double sign) {
        const Eigen::Vector3d d = sign * step * direction;
        return geocentric_from_geodetic(wgs84, {p.latitude + d(0) * rate.latitude / kRadiansPerDegree,
                                                p.longitude + d(1) * rate.longitude / kRadiansPerDegree,
                                                p.height + d(2)});
      };
      PointRows at(1, 3);
      at.row(0) = geocentric_from_geodetic(wgs84, p).transpose();
      const Eigen::VectorXd residual = moved(1) - moved(-1);
      const Eigen::Vector3d local = north_east_up_residuals(wgs84, at, residual).row(0).transpose();
      const double error = (local - 2 * step * direction).cwiseAbs().maxCoeff();
      largest = std::max(largest, error);
      EXPECT_LT(error, 1e-8) << p.latitude << " " << p.longitude << " " << p.height << " "
                             << local.transpose();
    }
  }
  std::cout << "[ measured ] north, east, up against steps: largest difference " << largest << "\n";
}

TEST(NearEarthSurface, TakesPointsWithinOnePercentOfTheMeanRadius) {
  const struct {
    std::vector<double> radii;  // in mean radii, one point each along a skew axis
    bool near;
  } cases[] = {
      {{1.0, 0.995, 1.005}, true}, {{0.989}, false}, {{1.0, 1.011}, false},
      {{0.991, 1.009}, true},      {{}, false},     {{1e-6}, false},
  };
  const Eigen::RowVector3d axis = Eigen::RowVector3d(1, -2, 0.5).normalized();
  for (const auto& c : cases) {
    PointRows points(static_cast<Eigen::Index>(c.radii.size()), 3);
    for (std::size_t i = 0; i < c.radii.size(); ++i) {
      points.row(static_cast<Eigen::Index>(i)) = c.radii[i] * kEarthMeanRadius * axis;
    }
    EXPECT_EQ(near_earth_surface(points), c.near) << points;
  }
}

// A grid of points on a ring of `spread` degrees around (34, 108), at height `height`
// plus `relief` times a pattern.
PointRows network(double spread, double height, double relief) {
  const Ellipsoid grs80 = ellipsoid_named("grs80");
  PointRows points(9, 3);
  for (int i = 0; i < 9; ++i) {
    const double h = height + relief * ((i * 7) % 5 - 2);
    points.row(i) = geocentric_from_geodetic(
                        grs80, {34 + spread * (i / 3 - 1), 108 + spread * (i % 3 - 1) * 1.3, h})
                        .transpose();
  }
  return points;
}

TEST(MotionsWithoutHeights, ASmallNetworkLeavesTheVerticalMotionsToItsHeights) {
  using M = LocalMotion;
  const std::vector<M> vertical = {M::shift_up, M::turn_north, M::turn_east, M::scale};
  const struct {
    double spread, height, relief;
    std::vector<M> weak;
  } cases[] = {
      {0.1, 0, 0, vertical},      // 11 km across, on the ellipsoid
      {0.1, 500, 300, vertical},  // the same with relief: heights decide the same motions
      {0.5, 0, 0, vertical},
      // 4,000 km across: the tilts show in the horizontal components, but a scale
      // about the Earth's centre (scale and shift up at the centroid) moves points up only.
      {20, 0, 0, {M::shift_up, M::scale}},
  };
  const Ellipsoid grs80 = ellipsoid_named("grs80");
  for (const auto& c : cases) {
    EXPECT_EQ(motions_without_heights(grs80, network(c.spread, c.height, c.relief), 10), c.weak)
        << c.spread << " " << c.relief;
  }
}

}  // namespace
}  // namespace helmert7::geodesy
