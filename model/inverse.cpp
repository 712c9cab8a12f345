// SPDX-License-Identifier: MIT
// The inverse of the origin-based mapping: the exact model's inverse parameters,
// and for either model the inverse of its matrix with its translation.
#include <Eigen/LU>
#include <string>

#include "model/model.h"

namespace helmert7 {
namespace {

enum : int { kTx, kEx = 3, kM = 6 };

}  // namespace

Eigen::Matrix3d model_matrix(const ParameterVector& params, RotationModel model) {
  if (model == RotationModel::exact) return (1.0 + params(kM)) * rotation_matrix(params);
  const double ex = params(kEx), ey = params(kEx + 1), ez = params(kEx + 2);
  Eigen::Matrix3d small;
  small << 1.0, ez, -ey, -ez, 1.0, ex, ey, -ex, 1.0;
  return (1.0 + params(kM)) * small;
}

AffineMapping affine_mapping(const ParameterVector& origin, RotationModel model) {
  return {model_matrix(origin, model), origin.segment<3>(kTx)};
}

AffineMapping inverse_mapping(const AffineMapping& forward) {
  const Eigen::Matrix3d inverse = forward.matrix.inverse();
  if (!inverse.allFinite()) throw NumericError("the mapping's matrix has no inverse");
  return {inverse, -(inverse * forward.translation)};
}

PointMatrix map_points_back(const CentredTransformation& mapping, const PointMatrix& points) {
  PointMatrix mapped(points.rows(), 3);
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    Eigen::Vector3d point = points.row(i).transpose();  // rows are not contiguous
    map_back_in_place(mapping, point.data(), 1);
    mapped.row(i) = point.transpose();
    if (!mapped.row(i).allFinite()) {
      throw NumericError("test point " + std::to_string(i + 1) +
                         " mapped back into the source system is not finite");
    }
  }
  return mapped;
}

void map_back_in_place(const CentredTransformation& mapping, double* xyz, std::size_t points) {
  const AffineMapping back = inverse_mapping(affine_mapping(mapping.params, mapping.model));
  for (std::size_t i = 0; i < points; ++i, xyz += 3) {
    Eigen::Map<Eigen::Vector3d> point(xyz);
    point = back.matrix * (point - mapping.ave_tar.transpose()) + back.translation +
            mapping.ave_src.transpose();
  }
}

ParameterVector exact_inverse_parameters(const ParameterVector& origin) {
  // X = t + k R x  <=>  x = -R' t / k + (1 / k) R' X
  const Eigen::Matrix3d transposed = rotation_matrix(origin).transpose();
  const double k = 1.0 + origin(kM);
  ParameterVector inverse;
  inverse.segment<3>(kTx) = -(transposed * origin.segment<3>(kTx)) / k;
  inverse.segment<3>(kEx) = rotation_angles(transposed);
  inverse(kM) = 1.0 / k - 1.0;
  return inverse;
}

ParameterCovariance exact_inverse_covariance(const ParameterVector& origin,
                                             const ParameterCovariance& covariance) {
  // A turn d of the forward frame, R -> exp(-[d]x) R, makes R' = R^T become
  // R^T (I + [d]x) = (I - [-R^T d]x) R^T: the inverse's turn is -R^T d. With it
  // t' = -R^T t / k moves by R^T [t]x d / k, and by R^T t / k^2 per unit of m.
  const Eigen::Matrix3d transposed = rotation_matrix(origin).transpose();
  const Eigen::Vector3d t = origin.segment<3>(kTx);
  const double k = 1.0 + origin(kM);
  ParameterCovariance jacobian = ParameterCovariance::Zero();
  jacobian.block<3, 3>(kTx, kTx) = -transposed / k;
  for (int j = 0; j < 3; ++j) {
    jacobian.block<3, 1>(kTx, kEx + j) = transposed * t.cross(Eigen::Vector3d::Unit(j)) / k;
  }
  jacobian.block<3, 1>(kTx, kM) = transposed * t / (k * k);
  jacobian.block<3, 3>(kEx, kEx) = -transposed;
  jacobian(kM, kM) = -1.0 / (k * k);
  return jacobian * covariance * jacobian.transpose();
}

}  // namespace helmert7
