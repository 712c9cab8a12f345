// SPDX-License-Identifier: MIT
// The small-angle seven-parameter model, its derivative and its misclosures.
// The inner brackets of the model are written once, below, and used both by
// transform_point and by the scale column of design_block, in the same order
// of operations, so the two agree to the last bit.
#include <string>

#include "model/model.h"

namespace helmert7 {
namespace {

enum : int { kTx, kTy, kTz, kEx, kEy, kEz, kM };

double bracket_x(double x, double y, double z, const ParameterVector& p) {
  return (x + p(kEz) * y) - p(kEy) * z;
}

double bracket_y(double x, double y, double z, const ParameterVector& p) {
  return (-(p(kEz) * x) + y) + p(kEx) * z;
}

double bracket_z(double x, double y, double z, const ParameterVector& p) {
  return (p(kEy) * x - p(kEx) * y) + z;
}

}  // namespace

Eigen::RowVector3d transform_point(const double& x, const double& y, const double& z,
                                   const ParameterVector& params) {
  // k = 1 + m is formed anew for each coordinate; it scales the rotated point,
  // and the translation is added after scaling.
  Eigen::RowVector3d point;
  point(0) = (1.0 + params(kM)) * bracket_x(x, y, z, params) + params(kTx);
  point(1) = (1.0 + params(kM)) * bracket_y(x, y, z, params) + params(kTy);
  point(2) = (1.0 + params(kM)) * bracket_z(x, y, z, params) + params(kTz);
  return point;
}

Eigen::Matrix<double, 3, 7> design_block(const double& x, const double& y, const double& z,
                                         const ParameterVector& params) {
  const double m = params(kM);
  Eigen::Matrix<double, 3, 7> block = Eigen::Matrix<double, 3, 7>::Zero();
  block.leftCols<3>().setIdentity();
  // Negative entries negate (1 + m) first and then multiply by the coordinate.
  block(0, kEy) = -(1.0 + m) * z;
  block(0, kEz) = (1.0 + m) * y;
  block(0, kM) = bracket_x(x, y, z, params);
  block(1, kEx) = (1.0 + m) * z;
  block(1, kEz) = -(1.0 + m) * x;
  block(1, kM) = bracket_y(x, y, z, params);
  block(2, kEx) = -(1.0 + m) * y;
  block(2, kEy) = (1.0 + m) * x;
  block(2, kM) = bracket_z(x, y, z, params);
  return block;
}

Eigen::MatrixXd design_matrix(const PointMatrix& points, const ParameterVector& params) {
  // Allocated once and filled point by point, so the cost is linear in n.
  Eigen::MatrixXd design(3 * points.rows(), 7);
  for (Eigen::Index i = 0; i < points.rows(); ++i)
    design.middleRows<3>(3 * i) = design_block(points(i, 0), points(i, 1), points(i, 2), params);
  return design;
}

Eigen::VectorXd misclosure_vector(const PointMatrix& source, const PointMatrix& target,
                                  const ParameterVector& params) {
  if (target.rows() < source.rows())
    throw NumericError("the target set has " + std::to_string(target.rows()) +
                       " points but the source set has " + std::to_string(source.rows()) +
                       "; every source point needs its target point");
  Eigen::VectorXd misclosure(3 * source.rows());
  for (Eigen::Index i = 0; i < source.rows(); ++i) {
    const Eigen::RowVector3d model =
        transform_point(source(i, 0), source(i, 1), source(i, 2), params);
    misclosure.segment<3>(3 * i) = (target.row(i) - model).transpose();
  }
  return misclosure;
}

}  // namespace helmert7
