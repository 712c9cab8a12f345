// SPDX-License-Identifier: MIT
// The common points as a network: its checks, labels, redundancy and extent, the
// mapping of points as given (not centred) with the centred model.
#include <cmath>
#include <string>

#include "model/model.h"

namespace helmert7 {

Eigen::Index redundancy(Eigen::Index points) { return 3 * points - 7; }

double network_extent(const PointMatrix& centred) {
  return centred.rows() == 0 ? 0.0 : centred.rowwise().norm().maxCoeff();
}

void check_finite(const PointMatrix& points, const char* role) {
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    if (!points.row(i).allFinite()) {
      throw NumericError(std::string(role) + " point " + std::to_string(i + 1) +
                         " has a NaN or infinite coordinate");
    }
  }
}

void check_centroid(const Eigen::RowVector3d& centroid, const char* role) {
  if (!centroid.allFinite()) {
    throw NumericError(std::string("the centroid of the ") + role +
                       " points overflows: the coordinates are too large");
  }
}

PointMatrix map_points(const CentredTransformation& mapping, const PointMatrix& points) {
  PointMatrix mapped(points.rows(), 3);
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    const Eigen::RowVector3d centred = points.row(i) - mapping.ave_src;
    mapped.row(i) =
        transform_point(centred(0), centred(1), centred(2), mapping.params, mapping.model) +
        mapping.ave_tar;
    if (!mapped.row(i).allFinite()) {
      throw NumericError("point " + std::to_string(i + 1) +
                         " maps to a non-finite coordinate (its coordinates are NaN, "
                         "infinite or too large)");
    }
  }
  return mapped;
}

void map_in_place(const CentredTransformation& mapping, double* xyz, std::size_t points) {
  for (std::size_t i = 0; i < points; ++i, xyz += 3) {
    const Eigen::RowVector3d mapped =
        transform_point(xyz[0] - mapping.ave_src(0), xyz[1] - mapping.ave_src(1),
                        xyz[2] - mapping.ave_src(2), mapping.params, mapping.model) +
        mapping.ave_tar;
    xyz[0] = mapped(0);
    xyz[1] = mapped(1);
    xyz[2] = mapped(2);
  }
}

Eigen::VectorXd mapped_residuals(const CentredTransformation& mapping, const PointMatrix& source,
                                 const PointMatrix& target) {
  const PointMatrix mapped = map_points(mapping, source);
  Eigen::VectorXd residuals(3 * source.rows());
  for (Eigen::Index i = 0; i < source.rows(); ++i) {
    residuals.segment<3>(3 * i) = (mapped.row(i) - target.row(i)).transpose();
    if (!residuals.segment<3>(3 * i).allFinite()) {
      throw NumericError("the residual of point " + std::to_string(i + 1) +
                         " is not finite (coordinates too large)");
    }
  }
  return residuals;
}

std::string point_label(const Network& network, Eigen::Index index) {
  const auto i = static_cast<std::size_t>(index);
  return i < network.names.size() ? network.names[i] : std::to_string(index + 1);
}

PointMatrix point_matrix(const std::vector<double>& values) {
  const Eigen::Index n = static_cast<Eigen::Index>(values.size() / 3);
  PointMatrix points(n, 3);
  for (Eigen::Index i = 0; i < n; ++i) {
    points.row(i) << values[3 * i], values[3 * i + 1], values[3 * i + 2];
  }
  return points;
}

}  // namespace helmert7
