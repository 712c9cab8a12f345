// SPDX-License-Identifier: MIT
// The inverse of the origin-based mapping: the exact model's inverse parameters,
// and for either model the inverse of its matrix with its translation.
#include <Eigen/LU>

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

}  // namespace helmert7
