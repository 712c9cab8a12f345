// SPDX-License-Identifier: MIT
// Points and residuals in the local north, east, up frame of an ellipsoid, and
// what a network's horizontal components alone can tell of a similarity.
#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>

#include "geodesy/geodesy.h"

namespace helmert7::geodesy {
namespace {

using Normal = Eigen::Matrix<double, 7, 7>;
using Direction = Eigen::Matrix<double, 7, 1>;

// Eigenvalues below this share of the largest count as this share: the inverse of
// a singular normal matrix stays finite, and its weak directions huge.
constexpr double kEigenvalueFloor = 1e-14;

Eigen::Matrix3d cross_matrix(const Eigen::Vector3d& v) {
  Eigen::Matrix3d m;
  m << 0, -v(2), v(1), v(2), 0, -v(0), -v(1), v(0), 0;
  return m;
}

// The normal matrices of the seven parameters (turns and scale in metres at the
// network's extent) from north, east and up components, and from north and east.
struct Normals {
  Normal full = Normal::Zero(), horizontal = Normal::Zero();
};

Normals normals_of(const Ellipsoid& ellipsoid, const PointRows& points) {
  const Eigen::RowVector3d centroid = points.colwise().mean();
  const PointRows centred = points.rowwise() - centroid;
  const double extent = std::max(centred.rowwise().norm().maxCoeff(), 1.0);
  Normals normals;
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    const Eigen::Vector3d q = centred.row(i).transpose() / extent;
    Eigen::Matrix<double, 3, 7> design;
    design << Eigen::Matrix3d::Identity(), -cross_matrix(q), q;
    const Eigen::Matrix<double, 3, 7> local =
        north_east_up_at(ellipsoid, points.row(i).transpose()) * design;
    normals.full += local.transpose() * local;
    normals.horizontal += local.topRows<2>().transpose() * local.topRows<2>();
  }
  return normals;
}

// The variances along directions of the parameters: c' N^-1 c, with the
// eigenvalues of N floored, the decomposition made once.
class Variances {
 public:
  explicit Variances(const Normal& normal) : solver_(normal) {
    floor_ = kEigenvalueFloor * std::max(solver_.eigenvalues().maxCoeff(), 1e-300);
  }
  double along(const Direction& c) const {
    const Direction projected = solver_.eigenvectors().transpose() * c;
    double variance = 0;
    for (int j = 0; j < 7; ++j)
      variance += projected(j) * projected(j) / std::max(solver_.eigenvalues()(j), floor_);
    return variance;
  }

 private:
  Eigen::SelfAdjointEigenSolver<Normal> solver_;
  double floor_ = 0;
};

// A motion as a direction of the seven parameters, with the centroid's axes.
Direction direction_of(LocalMotion motion, const Eigen::Matrix3d& frame) {
  Direction c = Direction::Zero();
  const int index = static_cast<int>(motion);
  if (motion == LocalMotion::scale) {
    c(6) = 1;
  } else {
    c.segment<3>(index < 3 ? 0 : 3) = frame.row(index % 3).transpose();
  }
  return c;
}

}  // namespace

Eigen::Matrix3d north_east_up_at(const Ellipsoid& ellipsoid, const Eigen::Vector3d& xyz) {
  const Geodetic place = geodetic_from_geocentric(ellipsoid, xyz);
  return north_east_up(place.latitude, place.longitude);
}

bool near_earth_surface(const PointRows& points) {
  const Eigen::VectorXd radii = points.rowwise().norm();
  return points.rows() > 0 &&
         (radii.array() / kEarthMeanRadius - 1.0).abs().maxCoeff() <= kNearSurfaceShare;
}

PointRows north_east_up_residuals(const Ellipsoid& ellipsoid, const PointRows& points,
                                  const Eigen::VectorXd& residuals) {
  PointRows local(points.rows(), 3);
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    local.row(i) = (north_east_up_at(ellipsoid, points.row(i).transpose()) *
                    residuals.segment<3>(3 * i)).transpose();
  }
  return local;
}

Eigen::VectorXd ellipsoidal_heights(const Ellipsoid& ellipsoid, const PointRows& points) {
  Eigen::VectorXd heights(points.rows());
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    heights(i) = geodetic_from_geocentric(ellipsoid, points.row(i).transpose()).height;
  }
  return heights;
}

std::vector<LocalMotion> motions_without_heights(const Ellipsoid& ellipsoid,
                                                 const PointRows& points, double growth) {
  const Normals normals = normals_of(ellipsoid, points);
  const Variances horizontal(normals.horizontal), full(normals.full);
  const Eigen::Matrix3d frame = north_east_up_at(ellipsoid, points.colwise().mean().transpose());
  std::vector<LocalMotion> weak;
  for (int index = 0; index <= static_cast<int>(LocalMotion::scale); ++index) {
    const LocalMotion motion = static_cast<LocalMotion>(index);
    const Direction c = direction_of(motion, frame);
    const double ratio = horizontal.along(c) / full.along(c);
    if (ratio > growth * growth) weak.push_back(motion);
  }
  return weak;
}

}  // namespace helmert7::geodesy
