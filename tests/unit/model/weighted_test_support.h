// SPDX-License-Identifier: MIT
// Shared by the weighted-adjustment tests: networks whose points carry a priori
// covariances (unequal standard deviations along axes turned as a local north,
// east and up are), observations drawn with exactly those covariances, and large
// rotations.
#pragma once

#include <Eigen/Cholesky>
#include <Eigen/Geometry>

#include "model/model.h"
#include "model_test_support.h"

namespace helmert7::test {

/// Large turns about every axis, a scale of 25 ppm and a translation of some
/// hundred metres (the target is not centred).
inline ParameterVector large_rotation() {
  ParameterVector p;
  p << 120.5, -340.25, 55.125, 0.7, -0.4, 2.1, 2.5e-5;
  return p;
}

/// A covariance with standard deviations `sigmas` along the axes of a frame turned
/// by `turn` about the axis `axis`, as north, east and up turn at a point.
inline Eigen::Matrix3d turned_covariance(const Eigen::Vector3d& sigmas, double turn,
                                         const Eigen::Vector3d& axis) {
  const Eigen::Matrix3d frame = Eigen::AngleAxisd(turn, axis.normalized()).toRotationMatrix();
  return frame * sigmas.cwiseAbs2().asDiagonal() * frame.transpose();
}

/// One covariance per point, standard deviations between `low` and `high`, in
/// frames turned at random.
inline PointCovariances random_covariances(Eigen::Index points, double low, double high,
                                           Gauss& gauss) {
  PointCovariances blocks;
  for (Eigen::Index i = 0; i < points; ++i) {
    Eigen::Vector3d sigmas, axis;
    for (int c = 0; c < 3; ++c) {
      sigmas(c) = low + (high - low) * std::fabs(std::tanh(gauss(1.0)));
      axis(c) = gauss(1.0);
    }
    blocks.push_back(turned_covariance(sigmas, gauss(1.0), axis));
  }
  return blocks;
}

/// `points` plus noise drawn with each point's covariance.
inline PointMatrix with_noise(const PointMatrix& points, const PointCovariances& covariances,
                              Gauss& gauss) {
  PointMatrix noisy = points;
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    const Eigen::Matrix3d root =
        covariances[static_cast<std::size_t>(i)].llt().matrixL().toDenseMatrix();
    Eigen::Vector3d unit;  // drawn in order: arguments are evaluated in any order
    for (int c = 0; c < 3; ++c) unit(c) = gauss(1.0);
    noisy.row(i) += (root * unit).transpose();
  }
  return noisy;
}

/// True source points, a priori covariances of both sides and observations drawn
/// with them: the source observed with its noise, the target as the true source
/// mapped by `truth` plus its noise.
struct WeightedNetwork {
  PointMatrix true_source, source, target;
  PointPrecision precision;
};

inline WeightedNetwork weighted_network(Eigen::Index points, const ParameterVector& truth,
                                        RotationModel model, bool source_errors, Gauss& gauss) {
  WeightedNetwork network;
  network.true_source = random_network(points, 10000, gauss);
  network.precision.target = random_covariances(points, 0.002, 0.015, gauss);
  if (source_errors) network.precision.source = random_covariances(points, 0.001, 0.008, gauss);
  network.source = source_errors ? with_noise(network.true_source, network.precision.source, gauss)
                                 : network.true_source;
  PointMatrix mapped(points, 3);
  for (Eigen::Index i = 0; i < points; ++i) {
    const Eigen::RowVector3d x = network.true_source.row(i);
    mapped.row(i) = transform_point(x(0), x(1), x(2), truth, model);
  }
  network.target = with_noise(mapped, network.precision.target, gauss);
  return network;
}

}  // namespace helmert7::test
