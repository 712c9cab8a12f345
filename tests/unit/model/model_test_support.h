// SPDX-License-Identifier: MIT
// Shared by the model tests: the design matrix and the misclosure vector as values.
#pragma once

#include "model/model.h"

namespace helmert7::test {

inline Eigen::MatrixXd design_matrix(const PointMatrix& points, const ParameterVector& params,
                                     RotationModel model = RotationModel::small) {
  Eigen::MatrixXd design;
  fill_design_matrix(points, params, design, model);
  return design;
}

inline Eigen::VectorXd misclosure_vector(const PointMatrix& source, const PointMatrix& target,
                                         const ParameterVector& params) {
  Eigen::VectorXd misclosure;
  fill_misclosure_vector(source, target, params, misclosure);
  return misclosure;
}

}  // namespace helmert7::test
